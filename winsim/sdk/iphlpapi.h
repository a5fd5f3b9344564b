// winsim: GetAdaptersInfo over the simulated adapters (winsim/network.h).
// The first call with too small a buffer fails with ERROR_BUFFER_OVERFLOW and the size needed; no adapter
// at all gives ERROR_NO_DATA. Records are chained inside the caller's buffer.
#pragma once

#include <windows.h>

#include <iptypes.h>

#ifndef ERROR_BUFFER_OVERFLOW
#define ERROR_BUFFER_OVERFLOW 111L
#endif
#ifndef ERROR_NO_DATA
#define ERROR_NO_DATA 232L
#endif

extern "C" {
ULONG WINAPI GetAdaptersInfo(PIP_ADAPTER_INFO AdapterInfo, PULONG SizePointer);
}
