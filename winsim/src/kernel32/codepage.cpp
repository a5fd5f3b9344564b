// Code page conversions. CP_ACP is Windows-1252, the ANSI code page of an English-language Windows:
// 0x00-0x7F and 0xA0-0xFF equal Unicode, 0x80-0x9F follow the 1252 table (its five unassigned bytes map
// to the C1 control of the same value, as Windows does). No best-fit mapping: unmappable characters
// become the default character.
#include <cstring>
#include <vector>

#include "internal.h"

using namespace winsim::detail;

namespace {
const char16_t k1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,  // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,  // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,  // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,  // 98-9F
};

// Returns the 1252 byte for c, or -1.
int To1252(char16_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return c;
  for (int i = 0; i < 32; ++i)
    if (k1252High[i] == c) return 0x80 + i;
  return -1;
}

// Decodes UTF-8; false when invalid and `strict`. Invalid sequences become U+FFFD, one per maximal
// ill-formed subpart.
bool DecodeUtf8(const unsigned char* s, size_t n, bool strict, std::u16string* out) {
  size_t i = 0;
  while (i < n) {
    unsigned char b = s[i];
    if (b < 0x80) {
      out->push_back(b);
      ++i;
      continue;
    }
    int need = 0;
    uint32_t c = 0, min = 0;
    if (b >= 0xC2 && b <= 0xDF) need = 1, c = b & 0x1F, min = 0x80;
    else if (b >= 0xE0 && b <= 0xEF) need = 2, c = b & 0x0F, min = 0x800;
    else if (b >= 0xF0 && b <= 0xF4) need = 3, c = b & 0x07, min = 0x10000;
    size_t j = i + 1;
    bool ok = need > 0;
    for (int k = 0; ok && k < need; ++k, ++j) {
      if (j >= n || (s[j] & 0xC0) != 0x80) {
        ok = false;
        break;
      }
      c = (c << 6) | (s[j] & 0x3F);
      // Reject overlongs, surrogates and > U+10FFFF as soon as the second byte tells.
      if (k == 0 && ((need == 2 && ((b == 0xE0 && s[j] < 0xA0) || (b == 0xED && s[j] > 0x9F))) ||
                     (need == 3 && ((b == 0xF0 && s[j] < 0x90) || (b == 0xF4 && s[j] > 0x8F))))) {
        ok = false;
        break;
      }
    }
    if (!ok || c < min) {
      if (strict) return false;
      out->push_back(0xFFFD);
      i = (j > i + 1) ? j : i + 1;
      continue;
    }
    if (c >= 0x10000) {
      c -= 0x10000;
      out->push_back(char16_t(0xD800 + (c >> 10)));
      out->push_back(char16_t(0xDC00 + (c & 0x3FF)));
    } else {
      out->push_back(char16_t(c));
    }
    i = j;
  }
  return true;
}

// The checks both conversions make first: a source with a length of -1 (to its NUL) or more than 0, a
// destination whenever its size is not 0 and never the source itself, and a code page converted here.
bool ConversionArgs(UINT codePage, const void* src, int srcLength, const void* dst, int dstSize) {
  if (!src || srcLength == 0 || srcLength < -1 || dstSize < 0 || (dstSize > 0 && !dst) || (dst && dst == src) ||
      (codePage != CP_ACP && codePage != CP_UTF8)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  return true;
}
}  // namespace

extern "C" {

int WINAPI MultiByteToWideChar(UINT CodePage, DWORD dwFlags, LPCSTR lpMultiByteStr, int cbMultiByte,
                               LPWSTR lpWideCharStr, int cchWideChar) {
  if (!ConversionArgs(CodePage, lpMultiByteStr, cbMultiByte, lpWideCharStr, cchWideChar)) return 0;
  if (CodePage == CP_UTF8 && (dwFlags & ~DWORD(MB_ERR_INVALID_CHARS))) {
    SetLastError(ERROR_INVALID_FLAGS);
    return 0;
  }
  size_t n = cbMultiByte == -1 ? strlen(lpMultiByteStr) + 1 : size_t(cbMultiByte);
  const auto* s = reinterpret_cast<const unsigned char*>(lpMultiByteStr);
  std::u16string out;
  out.reserve(n);
  if (CodePage == CP_UTF8) {
    if (!DecodeUtf8(s, n, dwFlags & MB_ERR_INVALID_CHARS, &out)) {
      SetLastError(ERROR_NO_UNICODE_TRANSLATION);
      return 0;
    }
  } else {
    for (size_t i = 0; i < n; ++i) out.push_back(s[i] >= 0x80 && s[i] < 0xA0 ? k1252High[s[i] - 0x80] : s[i]);
  }
  if (cchWideChar == 0) return int(out.size());
  if (out.size() > size_t(cchWideChar)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(lpWideCharStr, out.data(), out.size() * sizeof(WCHAR));
  return int(out.size());
}

int WINAPI WideCharToMultiByte(UINT CodePage, DWORD dwFlags, LPCWSTR lpWideCharStr, int cchWideChar,
                               LPSTR lpMultiByteStr, int cbMultiByte, LPCSTR lpDefaultChar,
                               LPBOOL lpUsedDefaultChar) {
  if (!ConversionArgs(CodePage, lpWideCharStr, cchWideChar, lpMultiByteStr, cbMultiByte)) return 0;
  if (CodePage == CP_UTF8) {
    if (lpDefaultChar || lpUsedDefaultChar) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return 0;
    }
    if (dwFlags & ~DWORD(WC_ERR_INVALID_CHARS)) {
      SetLastError(ERROR_INVALID_FLAGS);
      return 0;
    }
  }
  size_t n = 0;
  if (cchWideChar == -1) {
    while (lpWideCharStr[n]) ++n;
    ++n;
  } else {
    n = size_t(cchWideChar);
  }
  std::u16string_view in(lpWideCharStr, n);
  std::string out;
  if (CodePage == CP_UTF8) {
    if (dwFlags & WC_ERR_INVALID_CHARS) {
      for (size_t i = 0; i < n; ++i) {
        char16_t c = in[i];
        bool high = c >= 0xD800 && c <= 0xDBFF, low = c >= 0xDC00 && c <= 0xDFFF;
        if (high && i + 1 < n && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
          ++i;
        } else if (high || low) {
          SetLastError(ERROR_NO_UNICODE_TRANSLATION);
          return 0;
        }
      }
    }
    out = ToUtf8(in);
  } else {
    const char def = lpDefaultChar ? *lpDefaultChar : '?';
    bool usedDefault = false;
    for (size_t i = 0; i < n; ++i) {
      int b = To1252(in[i]);
      if (b < 0) {
        usedDefault = true;
        b = static_cast<unsigned char>(def);
        // A surrogate pair is one character and gets one default character.
        if (in[i] >= 0xD800 && in[i] <= 0xDBFF && i + 1 < n && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) ++i;
      }
      out.push_back(char(b));
    }
    if (lpUsedDefaultChar) *lpUsedDefaultChar = usedDefault ? TRUE : FALSE;
  }
  if (cbMultiByte == 0) return int(out.size());
  if (out.size() > size_t(cbMultiByte)) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  memcpy(lpMultiByteStr, out.data(), out.size());
  return int(out.size());
}

}  // extern "C"
