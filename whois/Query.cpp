// SPDX-License-Identifier: MIT
#include "whois/Query.h"
