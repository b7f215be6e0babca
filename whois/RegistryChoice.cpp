// SPDX-License-Identifier: MIT
#include "whois/RegistryChoice.h"
