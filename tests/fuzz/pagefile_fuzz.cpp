// Fuzz target: the page-file name readers. The input bytes are a path, one character per byte; the
// readers must stay inside the terminated name and agree with the writer's format, and the strict
// reader must read narrow and wide names alike.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/pagefile.h"
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
  const std::string built = PageFileName(int(p), j, static_cast<int>(size));
  WString name(built.begin(), built.end());
  DWORD page2 = 1, job2 = 1;
  ParsePageFileName(name.c_str(), &page2, &job2);
  if (page2 != p || job2 != j) abort();
  int lp = -1, lj = -1, ls = -1;
  const std::string leaf = PageFileLeaf(int(p), j, static_cast<int>(size));
  if (!ParsePageFileLeaf(leaf, &lp, &lj, &ls) || DWORD(lp) != p || DWORD(lj) != j || size_t(ls) != size) abort();

  int np = -1, nj = -1, ns = -1, wp = -2, wj = -2, ws = -2;
  const std::string narrow(data, data + size);
  const bool n = ParsePageFileLeaf(narrow, &np, &nj, &ns);
  const bool w = ParsePageFileLeaf(path.data(), &wp, &wj, &ws);
  // A NUL inside ends the wide name early; the narrow one is refused whole.
  if (narrow.find('\0') == std::string::npos && (n != w || (n && (np != wp || nj != wj || ns != ws)))) abort();
  return 0;
}
