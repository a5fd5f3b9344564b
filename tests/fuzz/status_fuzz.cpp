// Fuzz target: the printer status reply reader of the language monitor.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "monitor/monitor.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  StatusReply r;
  memset(&r, 0xA5, sizeof r);
  ParseStatusReply(data, size, &r);
  // Two hexadecimal digits at most, six decimal digits at most, the page list only from a full reply.
  if (r.printerStatus < -1 || r.printerStatus > 0xFF) abort();
  if (r.pageCounter > 999999) abort();
  if (r.hasRecentPages != (size >= 24)) abort();
  if (r.hasRecentPages && memcmp(r.recentPages, data + 8, sizeof r.recentPages) != 0) abort();
  return 0;
}
