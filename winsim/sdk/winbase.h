// winsim: the parts of winbase.h beyond the core file calls: moving files with flags (including
// deletion at the next restart), profile (INI-format) files, version checks and system messages.
#pragma once

#include <cstdarg>

#include <windows.h>

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_HMODULE 0x00000800
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define FORMAT_MESSAGE_ARGUMENT_ARRAY 0x00002000
#define FORMAT_MESSAGE_MAX_WIDTH_MASK 0x000000FF

#define MOVEFILE_REPLACE_EXISTING 0x00000001
#define MOVEFILE_COPY_ALLOWED 0x00000002
#define MOVEFILE_DELAY_UNTIL_REBOOT 0x00000004
#define MOVEFILE_WRITE_THROUGH 0x00000008

#ifndef ERROR_OLD_WIN_VERSION
#define ERROR_OLD_WIN_VERSION 1150L
#endif

typedef struct _OSVERSIONINFOEXW {
  DWORD dwOSVersionInfoSize;
  DWORD dwMajorVersion;
  DWORD dwMinorVersion;
  DWORD dwBuildNumber;
  DWORD dwPlatformId;
  WCHAR szCSDVersion[128];
  WORD wServicePackMajor;
  WORD wServicePackMinor;
  WORD wSuiteMask;
  BYTE wProductType;
  BYTE wReserved;
} OSVERSIONINFOEXW, *POSVERSIONINFOEXW, *LPOSVERSIONINFOEXW;

static_assert(sizeof(OSVERSIONINFOEXW) == 284);

// Serial ports: the default configuration of a communications device.
typedef struct _DCB {
  DWORD DCBlength;
  DWORD BaudRate;
  DWORD fFlags;  // the SDK's bit fields (fBinary, fParity, ...) as one word
  WORD wReserved;
  WORD XonLim;
  WORD XoffLim;
  BYTE ByteSize;
  BYTE Parity;
  BYTE StopBits;
  char XonChar;
  char XoffChar;
  char ErrorChar;
  char EofChar;
  char EvtChar;
  WORD wReserved1;
} DCB, *LPDCB;
static_assert(sizeof(DCB) == 28);

typedef struct _COMMCONFIG {
  DWORD dwSize;
  WORD wVersion;
  WORD wReserved;
  DCB dcb;
  DWORD dwProviderSubType;
  DWORD dwProviderOffset;
  DWORD dwProviderSize;
  WCHAR wcProviderData[1];
} COMMCONFIG, *LPCOMMCONFIG;
static_assert(sizeof(COMMCONFIG) == 52);
#define PST_RS232 0x00000001
#define NOPARITY 0
#define ONESTOPBIT 0
#define CBR_9600 9600

extern "C" {
BOOL WINAPI MoveFileExW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, DWORD dwFlags);
// System messages only (FORMAT_MESSAGE_FROM_SYSTEM, with or without ALLOCATE_BUFFER); inserts are not
// expanded. Unknown codes fail with ERROR_MR_MID_NOT_FOUND (317).
DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPWSTR lpBuffer,
                            DWORD nSize, va_list* Arguments);
DWORD WINAPI GetPrivateProfileStringW(LPCWSTR lpAppName, LPCWSTR lpKeyName, LPCWSTR lpDefault,
                                      LPWSTR lpReturnedString, DWORD nSize, LPCWSTR lpFileName);
// Serial ports "COM1".."COM9" (and up to COM256) exist; other names fail with ERROR_FILE_NOT_FOUND.
// CommConfigDialogW is a system dialog: it takes the next queued message-box answer (IDOK confirms,
// winsim/ui.h) and records the call as a message box captioned with the device name.
BOOL WINAPI GetDefaultCommConfigW(LPCWSTR lpszName, LPCOMMCONFIG lpCC, LPDWORD lpdwSize);
BOOL WINAPI SetDefaultCommConfigW(LPCWSTR lpszName, LPCOMMCONFIG lpCC, DWORD dwSize);
BOOL WINAPI CommConfigDialogW(LPCWSTR lpszName, HWND hWnd, LPCOMMCONFIG lpCC);
BOOL WINAPI VerifyVersionInfoW(LPOSVERSIONINFOEXW lpVersionInformation, DWORD dwTypeMask,
                               DWORDLONG dwlConditionMask);
}  // extern "C"
