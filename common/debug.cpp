#include "common/debug.h"

#include <cstdarg>

#include "common/wstr.h"

void DbgPrint(LPCWSTR fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  WString line = WFormatV(fmt, ap);
  va_end(ap);
  line += TEXT("\r\n");
  OutputDebugStringW(line.c_str());
}
