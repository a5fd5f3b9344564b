// winsim: the windows.h umbrella: base types, error codes, GUIDs, kernel32 (memory, files, resources,
// device I/O, code pages, debug output, clock), the wingdi.h records stored structures embed, the
// user32 string loader, and, as on Windows, the registry (winreg.h) and synchronisation (synchapi.h).
// WCHAR is 16-bit (char16_t) so that stored records and wide strings match the Windows build.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>

// ---- basic types -----------------------------------------------------------
typedef char16_t WCHAR;
typedef WCHAR *LPWSTR, *PWSTR, *PWCHAR;
typedef const WCHAR *LPCWSTR, *PCWSTR;
typedef char CHAR;
typedef CHAR *LPSTR, *PSTR;
typedef const CHAR *LPCSTR, *PCSTR;
typedef WCHAR TCHAR;
typedef LPWSTR LPTSTR;
typedef LPCWSTR LPCTSTR;

typedef uint8_t BYTE, UCHAR;
typedef BYTE *LPBYTE, *PBYTE;
typedef uint16_t WORD, USHORT;
typedef WORD *LPWORD, *PWORD;
typedef int16_t SHORT;
typedef uint32_t DWORD, ULONG, UINT32;
typedef DWORD *LPDWORD, *PDWORD;
typedef ULONG *PULONG;
typedef int32_t LONG, INT32;
typedef LONG *PLONG, *LPLONG;
typedef int INT;
typedef float FLOAT;
typedef unsigned int UINT;
typedef int64_t LONGLONG, INT64;
typedef uint64_t ULONGLONG, UINT64, DWORD64, DWORDLONG;
typedef int BOOL;
typedef BOOL *LPBOOL, *PBOOL;
typedef BYTE BOOLEAN;
typedef intptr_t INT_PTR, LONG_PTR;
typedef uintptr_t UINT_PTR, ULONG_PTR, DWORD_PTR;
typedef size_t SIZE_T;
typedef LONG HRESULT;
typedef DWORD ACCESS_MASK, REGSAM;
typedef void VOID;
typedef void *LPVOID, *PVOID;
typedef const void *LPCVOID;

typedef void *HANDLE;
typedef HANDLE *LPHANDLE, *PHANDLE;
typedef struct HINSTANCE__ *HINSTANCE;
typedef HINSTANCE HMODULE;
typedef struct HRSRC__ *HRSRC;
typedef HANDLE HGLOBAL, HLOCAL;
typedef struct HKEY__ *HKEY;
typedef HKEY *PHKEY;
typedef struct HWND__ *HWND;

#define WINAPI
#define APIENTRY
#define CALLBACK
#define WINAPIV
#define CONST const

#define TRUE 1
#define FALSE 0
#define MAX_PATH 260

#define LBL_TEXT_(q) u##q
#define TEXT(q) LBL_TEXT_(q)
#define _T(q) LBL_TEXT_(q)

#define INVALID_HANDLE_VALUE ((HANDLE)(LONG_PTR)-1)
#define MAKEINTRESOURCEW(i) ((LPWSTR)((ULONG_PTR)((WORD)(i))))
#define MAKEINTRESOURCE MAKEINTRESOURCEW
#define IS_INTRESOURCE(r) ((((ULONG_PTR)(r)) >> 16) == 0)
#define LOWORD(l) ((WORD)(((DWORD_PTR)(l)) & 0xffff))
#define HIWORD(l) ((WORD)((((DWORD_PTR)(l)) >> 16) & 0xffff))
typedef WORD LANGID;
#define MAKELANGID(p, s) ((WORD)((((WORD)(s)) << 10) | (WORD)(p)))
#define PRIMARYLANGID(lgid) ((WORD)(lgid) & 0x3ff)
#define SUBLANGID(lgid) ((WORD)(lgid) >> 10)
#define LANG_NEUTRAL 0x00
#define LANG_CHINESE 0x04
#define LANG_ENGLISH 0x09
#define LANG_KOREAN 0x12
#define LANG_RUSSIAN 0x19
#define SUBLANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define SUBLANG_ENGLISH_US 0x01
#define MAKELONG(a, b) ((LONG)(((WORD)(((DWORD_PTR)(a)) & 0xffff)) | ((DWORD)((WORD)(((DWORD_PTR)(b)) & 0xffff))) << 16))

typedef struct _POINTL { LONG x; LONG y; } POINTL, *PPOINTL;
typedef struct _RECTL { LONG left; LONG top; LONG right; LONG bottom; } RECTL, *PRECTL;
typedef struct tagPOINT { LONG x; LONG y; } POINT, *PPOINT, *LPPOINT;
typedef struct tagRECT { LONG left; LONG top; LONG right; LONG bottom; } RECT, *PRECT, *LPRECT;
typedef struct tagSIZE { LONG cx; LONG cy; } SIZE, *PSIZE, *LPSIZE;
typedef SIZE SIZEL;
typedef struct _FILETIME { DWORD dwLowDateTime; DWORD dwHighDateTime; } FILETIME, *PFILETIME, *LPFILETIME;
typedef struct _SYSTEMTIME {
  WORD wYear, wMonth, wDayOfWeek, wDay, wHour, wMinute, wSecond, wMilliseconds;
} SYSTEMTIME, *PSYSTEMTIME, *LPSYSTEMTIME;
typedef struct _SECURITY_ATTRIBUTES {
  DWORD nLength; LPVOID lpSecurityDescriptor; BOOL bInheritHandle;
} SECURITY_ATTRIBUTES, *PSECURITY_ATTRIBUTES, *LPSECURITY_ATTRIBUTES;
typedef struct _OVERLAPPED OVERLAPPED, *LPOVERLAPPED;
typedef void *PSECURITY_DESCRIPTOR;

// ---- error codes -------------------------------------------------------------
#define ERROR_SUCCESS 0L
#define NO_ERROR 0L
#define ERROR_INVALID_FUNCTION 1L
#define ERROR_FILE_NOT_FOUND 2L
#define ERROR_PATH_NOT_FOUND 3L
#define ERROR_TOO_MANY_OPEN_FILES 4L
#define ERROR_ACCESS_DENIED 5L
#define ERROR_NO_TOKEN 1008L
#define ERROR_INVALID_OWNER 1307L
#define ERROR_INVALID_ACL 1336L
#define ERROR_INTERNAL_ERROR 1359L
#define ERROR_INVALID_HANDLE 6L
#define ERROR_NOT_ENOUGH_MEMORY 8L
#define ERROR_BAD_FORMAT 11L
#define ERROR_INVALID_DATA 13L
#define ERROR_OUTOFMEMORY 14L
#define ERROR_NO_MORE_FILES 18L
#define ERROR_NOT_READY 21L
#define ERROR_WRITE_FAULT 29L
#define ERROR_SHARING_VIOLATION 32L
#define ERROR_HANDLE_EOF 38L
#define ERROR_NOT_SUPPORTED 50L
#define ERROR_DISK_FULL 112L
#define ERROR_FILE_EXISTS 80L
#define ERROR_INVALID_PARAMETER 87L
#define ERROR_BAD_DRIVER_LEVEL 119L
#define ERROR_CALL_NOT_IMPLEMENTED 120L
#define ERROR_INSUFFICIENT_BUFFER 122L
#define ERROR_INVALID_NAME 123L
#define ERROR_INVALID_LEVEL 124L
#define ERROR_NEGATIVE_SEEK 131L
#define ERROR_MOD_NOT_FOUND 126L
#define ERROR_PROC_NOT_FOUND 127L
#define ERROR_DIR_NOT_EMPTY 145L
#define ERROR_BUSY 170L
#define ERROR_ALREADY_EXISTS 183L
#define ERROR_DIRECTORY 267L
#define ERROR_MORE_DATA 234L
#define ERROR_NO_MORE_ITEMS 259L
#define ERROR_IO_PENDING 997L
#define ERROR_INVALID_FLAGS 1004L
#define ERROR_MR_MID_NOT_FOUND 317L
#define ERROR_INTERNAL_ERROR 1359L
#define ERROR_NO_UNICODE_TRANSLATION 1113L
#define ERROR_CANCELLED 1223L
#define ERROR_INVALID_USER_BUFFER 1784L
#define ERROR_UNKNOWN_PORT 1796L
#define ERROR_UNKNOWN_PRINTER_DRIVER 1797L
#define ERROR_INVALID_PRINTER_NAME 1801L
#define ERROR_PRINTER_ALREADY_EXISTS 1802L
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#define ERROR_RESOURCE_LANG_NOT_FOUND 1815L
#define ERROR_INVALID_MENU_HANDLE 1401L
#define ERROR_INVALID_ICON_HANDLE 1402L
#define ERROR_PRINTER_NOT_FOUND 3012L
#ifndef ERROR_GEN_FAILURE
#define ERROR_GEN_FAILURE 31L
#endif
#ifndef ERROR_BAD_PATHNAME
#define ERROR_BAD_PATHNAME 161L
#endif
#ifndef ERROR_NOACCESS
#define ERROR_NOACCESS 998L
#endif
#ifndef ERROR_BADKEY
#define ERROR_BADKEY 1010L
#endif
#ifndef ERROR_KEY_DELETED
#define ERROR_KEY_DELETED 1018L
#endif
#ifndef ERROR_DEVICE_NOT_CONNECTED
#define ERROR_DEVICE_NOT_CONNECTED 1167L
#endif

#define ERROR_INVALID_PRINTER_STATE 1906L
#define ERROR_SPL_NO_STARTDOC 3003L
#define ERROR_BAD_PATHNAME 161L
#define ERROR_FILENAME_EXCED_RANGE 206L

#ifndef ERROR_INVALID_PRINT_MONITOR
#define ERROR_INVALID_PRINT_MONITOR 3007L
#endif

#define ERROR_INVALID_ENVIRONMENT 1805L
#define ERROR_DLL_INIT_FAILED 1114L

#define S_OK ((HRESULT)0L)
#define S_FALSE ((HRESULT)1L)
#define E_FAIL ((HRESULT)0x80004005L)
#define E_INVALIDARG ((HRESULT)0x80070057L)
#define E_OUTOFMEMORY ((HRESULT)0x8007000EL)
#define E_NOTIMPL ((HRESULT)0x80004001L)
#define SUCCEEDED(hr) (((HRESULT)(hr)) >= 0)
#define FAILED(hr) (((HRESULT)(hr)) < 0)

// ---- kernel: errors, memory, strings, debug output -----------------------------
extern "C" {
DWORD WINAPI GetLastError(void);
void WINAPI SetLastError(DWORD dwErrCode);

#define LMEM_FIXED 0x0000
#define LMEM_ZEROINIT 0x0040
#define LPTR (LMEM_FIXED | LMEM_ZEROINIT)
HLOCAL WINAPI LocalAlloc(UINT uFlags, SIZE_T uBytes);
HLOCAL WINAPI LocalFree(HLOCAL hMem);

// The ANSI code page (CP_ACP) is Windows-1252, the system code page of an English-language Windows.
#define CP_ACP 0
#define CP_UTF8 65001
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define WC_ERR_INVALID_CHARS 0x00000080
#define MB_ERR_INVALID_CHARS 0x00000008
int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar);
int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar, LPBOOL lpUsedDefaultChar);

void WINAPI OutputDebugStringW(LPCWSTR lpOutputString);
void WINAPI OutputDebugStringA(LPCSTR lpOutputString);

#define INFINITE 0xFFFFFFFF
void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime);
DWORD WINAPI GetTickCount(void);
ULONGLONG WINAPI GetTickCount64(void);
void WINAPI Sleep(DWORD dwMilliseconds);
DWORD WINAPI GetCurrentThreadId(void);
DWORD WINAPI GetCurrentProcessId(void);

// ---- files under the simulated C: root ------------------------------------------
#define FILE_READ_DATA 0x0001
#define FILE_WRITE_DATA 0x0002
#define FILE_APPEND_DATA 0x0004
#define GENERIC_READ 0x80000000UL
#define GENERIC_WRITE 0x40000000UL
#define GENERIC_ALL 0x10000000UL
#define ACCESS_SYSTEM_SECURITY 0x01000000UL
#define FILE_SHARE_READ 0x00000001
#define FILE_SHARE_WRITE 0x00000002
#define FILE_SHARE_DELETE 0x00000004
#define CREATE_NEW 1
#define CREATE_ALWAYS 2
#define OPEN_EXISTING 3
#define OPEN_ALWAYS 4
#define TRUNCATE_EXISTING 5
#define FILE_ATTRIBUTE_READONLY 0x00000001
#define FILE_ATTRIBUTE_HIDDEN 0x00000002
#define FILE_ATTRIBUTE_DIRECTORY 0x00000010
#define FILE_ATTRIBUTE_ARCHIVE 0x00000020
#define FILE_ATTRIBUTE_NORMAL 0x00000080
#define FILE_FLAG_OPEN_REPARSE_POINT 0x00200000
#define INVALID_FILE_ATTRIBUTES ((DWORD)-1)
#define INVALID_FILE_SIZE ((DWORD)0xFFFFFFFF)
#define INVALID_SET_FILE_POINTER ((DWORD)-1)
#define FILE_BEGIN 0
#define FILE_CURRENT 1
#define FILE_END 2

typedef struct _WIN32_FIND_DATAW {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD dwReserved0;
  DWORD dwReserved1;
  WCHAR cFileName[MAX_PATH];
  WCHAR cAlternateFileName[14];
} WIN32_FIND_DATAW, *PWIN32_FIND_DATAW, *LPWIN32_FIND_DATAW;

HANDLE WINAPI CreateFileW(LPCWSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile);
BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped);
BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite, LPDWORD lpNumberOfBytesWritten,
                      LPOVERLAPPED lpOverlapped);
BOOL WINAPI CloseHandle(HANDLE hObject);
DWORD WINAPI GetFileSize(HANDLE hFile, LPDWORD lpFileSizeHigh);
DWORD WINAPI SetFilePointer(HANDLE hFile, LONG lDistanceToMove, PLONG lpDistanceToMoveHigh, DWORD dwMoveMethod);
BOOL WINAPI FlushFileBuffers(HANDLE hFile);
typedef struct _BY_HANDLE_FILE_INFORMATION {
  DWORD dwFileAttributes;
  FILETIME ftCreationTime;
  FILETIME ftLastAccessTime;
  FILETIME ftLastWriteTime;
  DWORD dwVolumeSerialNumber;
  DWORD nFileSizeHigh;
  DWORD nFileSizeLow;
  DWORD nNumberOfLinks;
  DWORD nFileIndexHigh;
  DWORD nFileIndexLow;
} BY_HANDLE_FILE_INFORMATION, *LPBY_HANDLE_FILE_INFORMATION;
BOOL WINAPI GetFileInformationByHandle(HANDLE hFile, LPBY_HANDLE_FILE_INFORMATION lpFileInformation);
DWORD WINAPI GetFileAttributesW(LPCWSTR lpFileName);
DWORD WINAPI GetFileAttributesA(LPCSTR lpFileName);
BOOL WINAPI CreateDirectoryW(LPCWSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
BOOL WINAPI CreateDirectoryA(LPCSTR lpPathName, LPSECURITY_ATTRIBUTES lpSecurityAttributes);
BOOL WINAPI DeleteFileW(LPCWSTR lpFileName);
BOOL WINAPI DeleteFileA(LPCSTR lpFileName);
BOOL WINAPI RemoveDirectoryW(LPCWSTR lpPathName);
BOOL WINAPI MoveFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName);
BOOL WINAPI CopyFileW(LPCWSTR lpExistingFileName, LPCWSTR lpNewFileName, BOOL bFailIfExists);
HANDLE WINAPI FindFirstFileW(LPCWSTR lpFileName, LPWIN32_FIND_DATAW lpFindFileData);
BOOL WINAPI FindNextFileW(HANDLE hFindFile, LPWIN32_FIND_DATAW lpFindFileData);
BOOL WINAPI FindClose(HANDLE hFindFile);

// ---- security (winnt.h, securitybaseapi.h; aclapi.h and sddl.h have the rest) ------------------
// Owners, access lists and tokens. Security descriptors and SIDs are opaque LocalAlloc'd blocks made from
// SDDL texts ("O:<sid>D:P(A;OICI;FA;;;<sid>)..."); every file access is checked against the calling
// thread's token (its impersonation token, else the process's: the machine's processes run as SYSTEM).
#define FILE_ATTRIBUTE_REPARSE_POINT 0x00000400
typedef void* PSID;
typedef struct _ACL ACL, *PACL;
typedef DWORD SECURITY_INFORMATION;
#define OWNER_SECURITY_INFORMATION 0x00000001L
#define GROUP_SECURITY_INFORMATION 0x00000002L
#define DACL_SECURITY_INFORMATION 0x00000004L
#define SACL_SECURITY_INFORMATION 0x00000008L
typedef enum { WinLocalSystemSid = 22, WinBuiltinAdministratorsSid = 26 } WELL_KNOWN_SID_TYPE;
BOOL WINAPI IsWellKnownSid(PSID pSid, WELL_KNOWN_SID_TYPE WellKnownSidType);
BOOL WINAPI EqualSid(PSID pSid1, PSID pSid2);
#define TOKEN_QUERY 0x0008
#define TOKEN_IMPERSONATE 0x0004
typedef struct _SID_AND_ATTRIBUTES {
  PSID Sid;
  DWORD Attributes;
} SID_AND_ATTRIBUTES;
typedef struct _TOKEN_USER {
  SID_AND_ATTRIBUTES User;
} TOKEN_USER, *PTOKEN_USER;
typedef enum _TOKEN_INFORMATION_CLASS { TokenUser = 1 } TOKEN_INFORMATION_CLASS;
HANDLE WINAPI GetCurrentThread(void);
BOOL WINAPI OpenThreadToken(HANDLE ThreadHandle, DWORD DesiredAccess, BOOL OpenAsSelf, PHANDLE TokenHandle);
BOOL WINAPI ImpersonateLoggedOnUser(HANDLE hToken);
BOOL WINAPI RevertToSelf(void);
HANDLE WINAPI GetCurrentProcess(void);
BOOL WINAPI OpenProcessToken(HANDLE ProcessHandle, DWORD DesiredAccess, PHANDLE TokenHandle);
BOOL WINAPI GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass,
                                LPVOID TokenInformation, DWORD TokenInformationLength, PDWORD ReturnLength);
typedef enum _SID_NAME_USE { SidTypeUser = 1, SidTypeWellKnownGroup = 5 } SID_NAME_USE, *PSID_NAME_USE;
#define ERROR_NONE_MAPPED 1332L
BOOL WINAPI LookupAccountNameW(LPCWSTR lpSystemName, LPCWSTR lpAccountName, PSID Sid, LPDWORD cbSid,
                               LPWSTR ReferencedDomainName, LPDWORD cchReferencedDomainName, PSID_NAME_USE peUse);

// ---- module resources ------------------------------------------------------------
#define RT_CURSOR MAKEINTRESOURCEW(1)
#define RT_BITMAP MAKEINTRESOURCEW(2)
#define RT_ICON MAKEINTRESOURCEW(3)
#define RT_MENU MAKEINTRESOURCEW(4)
#define RT_DIALOG MAKEINTRESOURCEW(5)
#define RT_STRING MAKEINTRESOURCEW(6)
#define RT_RCDATA MAKEINTRESOURCEW(10)
#define RT_GROUP_CURSOR MAKEINTRESOURCEW(12)
#define RT_GROUP_ICON MAKEINTRESOURCEW(14)
#define RT_VERSION MAKEINTRESOURCEW(16)
#define RT_MANIFEST MAKEINTRESOURCEW(24)
#define CREATEPROCESS_MANIFEST_RESOURCE_ID MAKEINTRESOURCEW(1)
#define ISOLATIONAWARE_MANIFEST_RESOURCE_ID MAKEINTRESOURCEW(2)
// FindResourceW looks in the thread's UI language, the user's, then neutral, English and any other;
// FindResourceExW with a language other than 0 takes only that language.
HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType);
HRSRC WINAPI FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName, WORD wLanguage);
HGLOBAL WINAPI LoadResource(HMODULE hModule, HRSRC hResInfo);
LPVOID WINAPI LockResource(HGLOBAL hResData);
DWORD WINAPI SizeofResource(HMODULE hModule, HRSRC hResInfo);
BOOL WINAPI FreeResource(HGLOBAL hResData);
HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName);
// ---- activation contexts (winbase.h) --------------------------------------------------------------
// Only a loaded module's RT_MANIFEST resource can be made into a context (ACTCTX_FLAG_HMODULE_VALID with
// ACTCTX_FLAG_RESOURCE_NAME_VALID; winsim reads no image files, so anything else fails with
// ERROR_NOT_SUPPORTED). A missing resource fails with ERROR_RESOURCE_TYPE_NOT_FOUND or
// ERROR_RESOURCE_NAME_NOT_FOUND, a text that is no assembly manifest with ERROR_SXS_CANT_GEN_ACTCTX.
// What winsim keeps of a manifest is whether it depends on Common Controls 6: windows created while
// such a context is active on the thread are version 6 controls (winsim::ui::CommonControlsVersion).
// Deactivating any but the thread's newest activation ends the process, as Windows raises an exception.
#define ACTCTX_FLAG_PROCESSOR_ARCHITECTURE_VALID 0x001
#define ACTCTX_FLAG_LANGID_VALID 0x002
#define ACTCTX_FLAG_ASSEMBLY_DIRECTORY_VALID 0x004
#define ACTCTX_FLAG_RESOURCE_NAME_VALID 0x008
#define ACTCTX_FLAG_SET_PROCESS_DEFAULT 0x010
#define ACTCTX_FLAG_APPLICATION_NAME_VALID 0x020
#define ACTCTX_FLAG_HMODULE_VALID 0x080
#define ERROR_SXS_CANT_GEN_ACTCTX 14001L
typedef struct tagACTCTXW {
  ULONG cbSize;
  DWORD dwFlags;
  LPCWSTR lpSource;
  USHORT wProcessorArchitecture;
  LANGID wLangId;
  LPCWSTR lpAssemblyDirectory;
  LPCWSTR lpResourceName;
  LPCWSTR lpApplicationName;
  HMODULE hModule;
} ACTCTXW, *PACTCTXW;
typedef const ACTCTXW* PCACTCTXW;
HANDLE WINAPI CreateActCtxW(PCACTCTXW pActCtx);
BOOL WINAPI ActivateActCtx(HANDLE hActCtx, ULONG_PTR* lpCookie);
BOOL WINAPI DeactivateActCtx(DWORD dwFlags, ULONG_PTR ulCookie);
void WINAPI AddRefActCtx(HANDLE hActCtx);
void WINAPI ReleaseActCtx(HANDLE hActCtx);
#define CreateActCtx CreateActCtxW
#define ACTCTX ACTCTXW

// Module references (libloaderapi.h). FROM_ADDRESS finds the loaded project module holding the address
// (code linked into the program itself belongs to the process module, which is never unloaded).
#define GET_MODULE_HANDLE_EX_FLAG_PIN 0x1
#define GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT 0x2
#define GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS 0x4
BOOL WINAPI GetModuleHandleExW(DWORD dwFlags, LPCWSTR lpModuleName, HMODULE* phModule);
BOOL WINAPI FreeLibrary(HMODULE hLibModule);
// Drops the reference and ends the calling thread (a thread CreateThread started) with dwExitCode.
__attribute__((noreturn)) void WINAPI FreeLibraryAndExitThread(HMODULE hLibModule, DWORD dwExitCode);
__attribute__((noreturn)) void WINAPI ExitThread(DWORD dwExitCode);
// System DLLs (riched20.dll, comctl32.dll, ...) and modules already registered load; others fail with
// ERROR_MOD_NOT_FOUND.
HMODULE WINAPI LoadLibraryW(LPCWSTR lpLibFileName);
// ---- UI languages (winnls.h)
LANGID WINAPI GetUserDefaultUILanguage(void);
LANGID WINAPI GetThreadUILanguage(void);
LANGID WINAPI SetThreadUILanguage(LANGID LangId);
}  // extern "C"

// ---- GDI records that stored structures embed -----------------------------------
#define CCHDEVICENAME 32
#define CCHFORMNAME 32

typedef struct _devicemodeW {
  WCHAR dmDeviceName[CCHDEVICENAME];
  WORD dmSpecVersion;
  WORD dmDriverVersion;
  WORD dmSize;
  WORD dmDriverExtra;
  DWORD dmFields;
  union {
    struct {
      SHORT dmOrientation;
      SHORT dmPaperSize;
      SHORT dmPaperLength;
      SHORT dmPaperWidth;
      SHORT dmScale;
      SHORT dmCopies;
      SHORT dmDefaultSource;
      SHORT dmPrintQuality;
    };
    struct {
      POINTL dmPosition;
      DWORD dmDisplayOrientation;
      DWORD dmDisplayFixedOutput;
    };
  };
  SHORT dmColor;
  SHORT dmDuplex;
  SHORT dmYResolution;
  SHORT dmTTOption;
  SHORT dmCollate;
  WCHAR dmFormName[CCHFORMNAME];
  WORD dmLogPixels;
  DWORD dmBitsPerPel;
  DWORD dmPelsWidth;
  DWORD dmPelsHeight;
  union {
    DWORD dmDisplayFlags;
    DWORD dmNup;
  };
  DWORD dmDisplayFrequency;
  DWORD dmICMMethod;
  DWORD dmICMIntent;
  DWORD dmMediaType;
  DWORD dmDitherType;
  DWORD dmReserved1;
  DWORD dmReserved2;
  DWORD dmPanningWidth;
  DWORD dmPanningHeight;
} DEVMODEW, *PDEVMODEW, *LPDEVMODEW;

static_assert(sizeof(DEVMODEW) == 220, "DEVMODEW is 220 bytes");
static_assert(offsetof(DEVMODEW, dmSpecVersion) == 64);
static_assert(offsetof(DEVMODEW, dmFields) == 72);
static_assert(offsetof(DEVMODEW, dmOrientation) == 76);
static_assert(offsetof(DEVMODEW, dmPrintQuality) == 90);
static_assert(offsetof(DEVMODEW, dmColor) == 92);
static_assert(offsetof(DEVMODEW, dmFormName) == 102);
static_assert(offsetof(DEVMODEW, dmLogPixels) == 166);
static_assert(offsetof(DEVMODEW, dmBitsPerPel) == 168);
static_assert(offsetof(DEVMODEW, dmICMMethod) == 188);
static_assert(offsetof(DEVMODEW, dmPanningWidth) == 212);

#define DM_SPECVERSION 0x0401
#define DM_ORIENTATION 0x00000001L
#define DM_PAPERSIZE 0x00000002L
#define DM_PAPERLENGTH 0x00000004L
#define DM_PAPERWIDTH 0x00000008L
#define DM_SCALE 0x00000010L
#define DM_POSITION 0x00000020L
#define DM_NUP 0x00000040L
#define DM_COPIES 0x00000100L
#define DM_DEFAULTSOURCE 0x00000200L
#define DM_PRINTQUALITY 0x00000400L
#define DM_COLOR 0x00000800L
#define DM_DUPLEX 0x00001000L
#define DM_YRESOLUTION 0x00002000L
#define DM_TTOPTION 0x00004000L
#define DM_COLLATE 0x00008000L
#define DM_FORMNAME 0x00010000L
#define DM_LOGPIXELS 0x00020000L
#define DM_BITSPERPEL 0x00040000L
#define DM_PELSWIDTH 0x00080000L
#define DM_PELSHEIGHT 0x00100000L
#define DM_DISPLAYFLAGS 0x00200000L
#define DM_DISPLAYFREQUENCY 0x00400000L
#define DM_ICMMETHOD 0x00800000L
#define DM_ICMINTENT 0x01000000L
#define DM_MEDIATYPE 0x02000000L
#define DM_DITHERTYPE 0x04000000L
#define DMORIENT_PORTRAIT 1
#define DMORIENT_LANDSCAPE 2
#define DMPAPER_USER 256
#define DMRES_DRAFT (-1)
#define DMRES_LOW (-2)
#define DMRES_MEDIUM (-3)
#define DMRES_HIGH (-4)
#define DMCOLOR_MONOCHROME 1
#define DMCOLOR_COLOR 2
#define DMDUP_SIMPLEX 1

typedef struct tagCOLORADJUSTMENT {
  WORD caSize;
  WORD caFlags;
  WORD caIlluminantIndex;
  WORD caRedGamma;
  WORD caGreenGamma;
  WORD caBlueGamma;
  WORD caReferenceBlack;
  WORD caReferenceWhite;
  SHORT caContrast;
  SHORT caBrightness;
  SHORT caColorfulness;
  SHORT caRedGreenTint;
} COLORADJUSTMENT, *PCOLORADJUSTMENT, *LPCOLORADJUSTMENT;
static_assert(sizeof(COLORADJUSTMENT) == 24);

// winddi.h colour description
typedef LONG LDECI4;
typedef struct _CIECHROMA { LDECI4 x; LDECI4 y; LDECI4 Y; } CIECHROMA;
typedef struct _COLORINFO {
  CIECHROMA Red, Green, Blue, Cyan, Magenta, Yellow, AlignmentWhite;
  LDECI4 RedGamma, GreenGamma, BlueGamma;
  LDECI4 MagentaInCyanDye, YellowInCyanDye, CyanInMagentaDye, YellowInMagentaDye, CyanInYellowDye, MagentaInYellowDye;
} COLORINFO, *PCOLORINFO;
static_assert(sizeof(COLORINFO) == 120);

#define READ_CONTROL 0x00020000L
#define STANDARD_RIGHTS_REQUIRED 0x000F0000L
#define REG_NONE 0
#define REG_SZ 1
#define REG_EXPAND_SZ 2
#define REG_BINARY 3
#define REG_DWORD 4
#define REG_MULTI_SZ 7

// ---- GUIDs (guiddef.h) ---------------------------------------------------------------------
#ifndef GUID_DEFINED
#define GUID_DEFINED
typedef struct _GUID {
  uint32_t Data1;
  uint16_t Data2;
  uint16_t Data3;
  uint8_t Data4[8];
} GUID;
inline bool IsEqualGUID(const GUID& a, const GUID& b) {
  if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
  for (int i = 0; i < 8; ++i)
    if (a.Data4[i] != b.Data4[i]) return false;
  return true;
}
inline bool operator==(const GUID& a, const GUID& b) { return IsEqualGUID(a, b); }
#endif
typedef GUID *LPGUID;
typedef const GUID *LPCGUID;
static_assert(sizeof(GUID) == 16);

// ---- window messages' parameters and icons (windef.h) ------------------------------------------
typedef LONG_PTR LPARAM;
typedef UINT_PTR WPARAM;
typedef LONG_PTR LRESULT;
typedef struct HICON__* HICON;

extern "C" {
// ---- strings (user32): RT_STRING blocks of 16 counted strings; block n holds ids 16(n-1)..16n-1 --
// cchBufferMax 0 stores a read-only pointer to the string (not terminated) and returns its length.
int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax);

// ---- device I/O control (kernel32)
BOOL WINAPI DeviceIoControl(HANDLE hDevice, DWORD dwIoControlCode, LPVOID lpInBuffer, DWORD nInBufferSize,
                            LPVOID lpOutBuffer, DWORD nOutBufferSize, LPDWORD lpBytesReturned,
                            LPOVERLAPPED lpOverlapped);
}  // extern "C"

#define CreateFile CreateFileW
#define GetFileAttributes GetFileAttributesW
#define CreateDirectory CreateDirectoryW
#define DeleteFile DeleteFileW
#define FindResource FindResourceW
#define OutputDebugString OutputDebugStringW
typedef DEVMODEW DEVMODE;
typedef PDEVMODEW PDEVMODE;
#define LoadString LoadStringW

#include <synchapi.h>
#include <sysinfoapi.h>
#include <winbase.h>
#include <winreg.h>
#include <wingdi.h>
#include <winuser.h>
#include <processthreadsapi.h>
