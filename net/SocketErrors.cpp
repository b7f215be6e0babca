// SPDX-License-Identifier: MIT
#include "net/SocketErrors.h"
