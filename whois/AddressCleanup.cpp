// SPDX-License-Identifier: MIT
#include "whois/AddressCleanup.h"
