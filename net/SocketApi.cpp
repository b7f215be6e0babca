// SPDX-License-Identifier: MIT
#include "net/SocketApi.h"
