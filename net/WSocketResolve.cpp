// SPDX-License-Identifier: MIT
#include "net/WSocketResolve.h"
