// winsim: setup class GUIDs (devguid.h).
#pragma once

#include <windows.h>

// Setup class of the USB device node under the printer interface.
inline constexpr GUID GUID_DEVCLASS_USB = {0x36fc9e60, 0xc465, 0x11cf, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};
