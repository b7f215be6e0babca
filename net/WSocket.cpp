// SPDX-License-Identifier: MIT
#include "net/WSocket.h"
