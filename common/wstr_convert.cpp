// Code-page conversions, apart from the pure helpers in wstr.cpp so that code using only those
// does not pull in the Windows conversion calls.
#include "common/wstr.h"

#include <climits>

namespace {

size_t NarrowLen(const char* s, size_t max) {
  size_t n = 0;
  while (n < max && s[n]) ++n;
  return n;
}

WString ToWide(UINT codePage, const char* s, size_t len) {
  WString out;
  if (!s || len == 0 || len > INT_MAX) return out;
  int n = MultiByteToWideChar(codePage, 0, s, static_cast<int>(len), nullptr, 0);
  if (n <= 0) return out;
  out.resize(static_cast<size_t>(n));
  n = MultiByteToWideChar(codePage, 0, s, static_cast<int>(len), &out[0], n);
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

std::string ToNarrow(UINT codePage, const WCHAR* s, size_t len) {
  std::string out;
  if (!s || len == 0 || len > INT_MAX) return out;
  int n = WideCharToMultiByte(codePage, 0, s, static_cast<int>(len), nullptr, 0, nullptr, nullptr);
  if (n <= 0) return out;
  out.resize(static_cast<size_t>(n));
  n = WideCharToMultiByte(codePage, 0, s, static_cast<int>(len), &out[0], n, nullptr, nullptr);
  out.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return out;
}

}  // namespace

WString AnsiToWide(const char* s, size_t maxBytes) {
  return s ? ToWide(CP_ACP, s, NarrowLen(s, maxBytes)) : WString();
}

std::string WideToAnsi(const WCHAR* s, size_t maxChars) { return ToNarrow(CP_ACP, s, WStrNLen(s, maxChars)); }

WString Utf8ToWide(const std::string& s) { return ToWide(CP_UTF8, s.data(), NarrowLen(s.data(), s.size())); }

std::string WideToUtf8(const WCHAR* s) { return ToNarrow(CP_UTF8, s, WStrLen(s)); }
