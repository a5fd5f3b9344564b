// winsim: device I/O control codes (winioctl.h). DeviceIoControl itself comes with windows.h.
#pragma once

#include <windows.h>

#define CTL_CODE(DeviceType, Function, Method, Access) (((DeviceType) << 16) | ((Access) << 14) | ((Function) << 2) | (Method))
#define METHOD_BUFFERED 0
#define FILE_ANY_ACCESS 0
#define FILE_DEVICE_PARALLEL_PORT 0x00000016
#define FILE_DEVICE_UNKNOWN 0x00000022
