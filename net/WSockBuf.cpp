// SPDX-License-Identifier: MIT
#include "net/WSockBuf.h"
