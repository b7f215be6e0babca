// SPDX-License-Identifier: MIT
#pragma once
#include "net/SocketApi.h"
#include "net/SocketErrors.h"
#include "net/SocketException.h"
#include "net/WSockBuf.h"
#include "net/WSocketResolve.h"
