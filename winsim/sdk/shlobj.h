// winsim: the shell folder helper the driver uses for its capture folder (shlobj.h).
#pragma once

#include <windows.h>

extern "C" {
// Creates every missing folder of a full path. ERROR_SUCCESS, ERROR_ALREADY_EXISTS when the folder
// was there, or the error of the step that failed (ERROR_BAD_PATHNAME for a relative path).
int WINAPI SHCreateDirectoryExW(HWND hwnd, LPCWSTR pszPath, const SECURITY_ATTRIBUTES* psa);
}  // extern "C"

#define SHCreateDirectoryEx SHCreateDirectoryExW
