// Wide-string helpers over 16-bit WCHAR. The C library's wcs*/swprintf functions are not used
// anywhere: wchar_t is 32-bit on Linux, and the Windows printf conventions (%s is wide) differ
// from the C library's.
#pragma once

#include "common/platform.h"

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <string>

using WString = std::basic_string<WCHAR>;

// Lengths and comparisons. NULL counts as the empty string.
size_t WStrLen(const WCHAR* s);
size_t WStrNLen(const WCHAR* s, size_t max);  // never reads s[max] or beyond
int WStrCmp(const WCHAR* a, const WCHAR* b);  // ordinal, by code unit
bool WStrEq(const WCHAR* a, const WCHAR* b);
bool WStrEqNoCase(const WCHAR* a, const WCHAR* b);  // folds ASCII letters only
const WCHAR* WStrStr(const WCHAR* hay, const WCHAR* needle);  // NULL when absent; an empty needle matches at hay

// Bounded copies. With cap > 0 the destination is always terminated; the result is false when
// the source did not fit (the destination then holds the first cap-1 characters). cap == 0 writes
// nothing and returns false.
bool WStrCopy(WCHAR* dst, size_t cap, const WCHAR* src);
// As WStrCopy, reading at most srcMax characters of src (for fixed fields that may lack a terminator).
bool WStrCopyN(WCHAR* dst, size_t cap, const WCHAR* src, size_t srcMax);
bool StrCopy(char* dst, size_t cap, const char* src);
// Forces field[cap-1] = 0 when no terminator lies inside the field.
void WStrTerminate(WCHAR* field, size_t cap);

// printf with the Windows conventions:
//   %s %ws %ls   const WCHAR*          %hs %S   const char*
//   %c           int holding a WCHAR   %hc      int holding a char
//   %d %i %u %x %X %o  int / unsigned int; with 'h' short, 'l' 32-bit (LONG, DWORD, as on Windows),
//                'll' or 'I64' 64-bit, 'z' or 'I' size_t
//   %f %e %g %E %G  double            %p  pointer as upper-case hex, zero-padded    %%  percent
// Flags '-', '0', '+', ' ', '#', width and precision (also '*'). Precision on strings caps the
// characters read. A NULL string prints "(null)". Unknown conversions are copied literally.
WString WFormatV(const WCHAR* fmt, va_list ap);
WString WFormat(const WCHAR* fmt, ...);
// Writes at most cap-1 characters and a terminator; returns the characters written, or -1 when
// the text was cut (or cap is 0).
int WFormatTo(WCHAR* buf, size_t cap, const WCHAR* fmt, ...);
int WFormatToV(WCHAR* buf, size_t cap, const WCHAR* fmt, va_list ap);

// Narrow printf (C library conventions) into a std::string.
std::string FormatA(const char* fmt, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;

// Code-page conversions through MultiByteToWideChar / WideCharToMultiByte. The input stops at its
// terminator or after the given count, whichever comes first. Failures yield an empty string.
WString AnsiToWide(const char* s, size_t maxBytes = SIZE_MAX);        // CP_ACP
std::string WideToAnsi(const WCHAR* s, size_t maxChars = SIZE_MAX);   // CP_ACP
WString Utf8ToWide(const std::string& s);                             // CP_UTF8
std::string WideToUtf8(const WCHAR* s);                               // CP_UTF8
// The same for the UTF-16 strings of tests and tools (WCHAR is 16-bit on both builds).
inline std::string WideToUtf8(const std::u16string& s) { return WideToUtf8(reinterpret_cast<const WCHAR*>(s.c_str())); }
inline std::u16string Utf8ToU16(const std::string& s) {
  const WString w = Utf8ToWide(s);
  return std::u16string(reinterpret_cast<const char16_t*>(w.c_str()), w.size());
}

// u"..." literals to WString on both builds (WCHAR is wchar_t under MinGW).
WString ToWString(const char16_t* s);
