// user32: string resources as Windows stores them (RT_STRING blocks of 16 counted strings).
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

}  // extern "C"
