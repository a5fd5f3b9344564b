// winsim: Plug and Play driver updates (newdev.h).
#pragma once

#include <windows.h>

#define INSTALLFLAG_FORCE 0x00000001
#define INSTALLFLAG_READONLY 0x00000002
#define INSTALLFLAG_NONINTERACTIVE 0x00000004

#ifndef ERROR_NO_SUCH_DEVINST
#define ERROR_NO_SUCH_DEVINST 0xE000020BL
#endif

extern "C" {
BOOL WINAPI UpdateDriverForPlugAndPlayDevicesW(HWND hwndParent, LPCWSTR HardwareId, LPCWSTR FullInfPath,
                                               DWORD InstallFlags, PBOOL bRebootRequired);
}  // extern "C"
