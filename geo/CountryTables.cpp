// SPDX-License-Identifier: MIT
#include "geo/LibOstrand.h"
