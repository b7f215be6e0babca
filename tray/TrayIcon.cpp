// SPDX-License-Identifier: MIT
#include "tray/TrayIcon.h"
