// Fuzz target: the page-file name reader of the language monitor. The input bytes are a path, one
// character per byte; the reader must stay inside the terminated name and agree with the writer's format.
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "common/wstr.h"
#include "monitor/monitor.h"

namespace {

bool Contains(const std::vector<WCHAR>& s, const char* text) {
  for (size_t i = 0; i < s.size(); ++i) {
    size_t k = 0;
    while (text[k] && i + k < s.size() && s[i + k] == static_cast<WCHAR>(text[k])) ++k;
    if (!text[k]) return true;
  }
  return false;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Exactly the name and its terminator, so that a read past the terminator is caught.
  std::vector<WCHAR> path(data, data + size);
  path.push_back(0);
  DWORD page = 0xA5A5A5A5, job = 0xA5A5A5A5;
  ParsePageFileName(path.data(), &page, &job);
  if (job != 0 && !Contains(path, "_jobid_")) abort();
  if (page == 0xA5A5A5A5 || job == 0xA5A5A5A5) abort();

  // Whatever numbers came out, the name the rendering DLL writes for them reads back the same.
  const DWORD p = page % 100000, j = job % 100000;
  WString name = WFormat(TEXT("c:\\prtmonlog\\page_%04d_jobid_%03d_%d.dat"), p, j, static_cast<int>(size));
  DWORD page2 = 1, job2 = 1;
  ParsePageFileName(name.c_str(), &page2, &job2);
  if (page2 != p || job2 != j) abort();
  return 0;
}
