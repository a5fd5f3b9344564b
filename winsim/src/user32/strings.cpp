// User-interface support: string resources as Windows stores them (RT_STRING blocks of 16 counted
// strings) and the printer-driver directory of the local spooler.
#include <cstring>

#include "internal.h"

using namespace winsim::detail;

extern "C" {

int WINAPI LoadStringW(HINSTANCE hInstance, UINT uID, LPWSTR lpBuffer, int cchBufferMax) {
  if (!lpBuffer || cchBufferMax < 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // Ids are 16-bit; block n (from 1) holds ids 16 (n - 1) to 16 n - 1.
  const WORD id = LOWORD(uID);
  HRSRC res = FindResourceW(hInstance, MAKEINTRESOURCEW((id >> 4) + 1), RT_STRING);
  if (!res) return 0;
  HGLOBAL data = LoadResource(hInstance, res);
  const DWORD bytes = SizeofResource(hInstance, res);
  const auto* p = static_cast<const WCHAR*>(LockResource(data));
  if (!p) return 0;
  const WCHAR* end = p + bytes / sizeof(WCHAR);
  // Each entry is a length word followed by that many characters; a truncated block ends the walk.
  for (unsigned i = 0; i < (id & 0xFu); ++i) {
    if (p >= end) break;
    p += 1 + *p;
  }
  if (p >= end) {
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
  }
  int len = *p;
  if (p + 1 + len > end) len = int(end - p - 1);
  if (len == 0) {
    if (cchBufferMax > 0) lpBuffer[0] = 0;
    SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return 0;
  }
  if (cchBufferMax == 0) {
    const WCHAR* text = p + 1;
    std::memcpy(lpBuffer, &text, sizeof text);  // the caller passed the address of a pointer
    return len;
  }
  int n = len < cchBufferMax - 1 ? len : cchBufferMax - 1;
  std::memcpy(lpBuffer, p + 1, size_t(n) * sizeof(WCHAR));
  lpBuffer[n] = 0;
  return n;
}

BOOL WINAPI GetPrinterDriverDirectoryW(LPWSTR /*pName: the local server only*/, LPWSTR pEnvironment, DWORD Level,
                                       LPBYTE pDriverDirectory, DWORD cbBuf, LPDWORD pcbNeeded) {
  if (Level != 1) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (!pcbNeeded) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string env = pEnvironment && *pEnvironment ? Wide(pEnvironment) : u"Windows x64";
  std::u16string dir;
  if (IEquals(env, u"Windows x64"))
    dir = u"C:\\Windows\\System32\\spool\\DRIVERS\\x64";
  else if (IEquals(env, u"Windows NT x86"))
    dir = u"C:\\Windows\\System32\\spool\\DRIVERS\\W32X86";
  else if (IEquals(env, u"Windows ARM64"))
    dir = u"C:\\Windows\\System32\\spool\\DRIVERS\\ARM64";
  else {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return FALSE;
  }
  const DWORD need = DWORD((dir.size() + 1) * sizeof(WCHAR));
  *pcbNeeded = need;
  if (cbBuf < need || !pDriverDirectory) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(pDriverDirectory, dir.c_str(), need);
  return TRUE;
}

}  // extern "C"
