#include "installer/debugtrace.h"

#include <cstdarg>

#include "common/wstr.h"

void DebugTrace(const char* fmt, ...) {
  WCHAR wideFmt[256];
  size_t n = 0;
  for (; fmt && fmt[n] && n < 255; ++n) wideFmt[n] = static_cast<WCHAR>(static_cast<unsigned char>(fmt[n]));
  wideFmt[n] = 0;
  WCHAR line[767];
  va_list ap;
  va_start(ap, fmt);
  WFormatToV(line, 767, wideFmt, ap);  // a cut line is still traced
  va_end(ap);
  OutputDebugStringW(line);
  OutputDebugStringW(TEXT("\n"));
}
