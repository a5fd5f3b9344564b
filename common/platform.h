// The one platform header of the driver code: the same SDK headers on both builds (on Linux, winsim's
// stand-ins of them come first on the include path).
#pragma once

#ifdef _WIN32
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
#endif
#endif
#include <windows.h>
#include <winspool.h>
#include <winddi.h>
#include <setupapi.h>
#include <winioctl.h>
#include <ntddpar.h>
#include <usbprint.h>
#include <shlobj.h>
#include <winsplp.h>
#ifdef _WIN32
#include "winddiui_wdk.h"  // common/wincompat: winddiui.h and the WDK records MinGW-w64 lacks
#else
#include <winddiui.h>
#endif
