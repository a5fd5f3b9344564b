// The one platform header of the driver code: the Windows SDK on Windows, winsim elsewhere.
#pragma once

#ifdef _WIN32
#ifndef UNICODE
#define UNICODE
#endif
#ifndef _UNICODE
#define _UNICODE
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
#include "winddiui_wdk.h"  // common/wincompat: winddiui.h and the WDK records MinGW-w64 lacks
#else
#include <windows.h>
#endif
