#include "common/debug.h"

#include <cstdarg>

#include "common/entry_guard.h"
#include "common/wstr.h"

void DbgPrint(LPCWSTR fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  WString line = WFormatV(fmt, ap);
  va_end(ap);
  line += TEXT("\r\n");
  OutputDebugStringW(line.c_str());
}

void ReportCaughtException(const char* entry, const char* what) noexcept {
  // A fixed buffer: the exception may be a failed allocation. The texts are ASCII (entry names, what()).
  WCHAR line[256];
  size_t n = 0;
  auto put = [&](const char* text) {
    for (; text && *text && n + 3 < sizeof line / sizeof line[0]; ++text)
      line[n++] = static_cast<WCHAR>(static_cast<unsigned char>(*text));
  };
  put(entry);
  put(": exception: ");
  put(what);
  line[n++] = '\r';
  line[n++] = '\n';
  line[n] = 0;
  OutputDebugStringW(line);
}
