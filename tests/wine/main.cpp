// lblwinecheck: the Windows build doing real work under Wine. Run by tools/wine-check.sh.
//   lblwinecheck install DRIVER SOURCE-DIR
//   lblwinecheck render DRIVER CASE LANGUAGE OUT-DIR      CASE: defaults | rotated | copies
//   lblwinecheck monitor DRIVER LBLMON-DLL TSPL-JOB-DIR TWL-JOB-DIR OUT-DIR
//   lblwinecheck sheets DRIVER OUT-DIR
//   lblwinecheck wizard INSTALLER-EXE OUT-DIR [LANGUAGE]
//   lblwinecheck spooler DRIVER
#include <cstdio>
#include <string>

#include "check.h"

namespace winecheck {

bool Fail(const char* step, const std::string& message, bool withError) {
  if (withError)
    std::printf("FAIL %s: %s (error %lu)\n", step, message.c_str(), static_cast<unsigned long>(GetLastError()));
  else
    std::printf("FAIL %s: %s\n", step, message.c_str());
  std::fflush(stdout);
  return false;
}

void Ok(const std::string& what) {
  std::printf("ok   %s\n", what.c_str());
  std::fflush(stdout);
}

std::wstring Widen(const std::string& s) {
  const int n = MultiByteToWideChar(CP_UTF8, 0, s.c_str(), int(s.size()), nullptr, 0);
  std::wstring w(size_t(n), 0);
  MultiByteToWideChar(CP_UTF8, 0, s.c_str(), int(s.size()), w.data(), n);
  return w;
}

std::string Narrow(const WCHAR* s) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, s, -1, nullptr, 0, nullptr, nullptr);
  std::string out(size_t(n > 0 ? n - 1 : 0), 0);
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, s, -1, out.data(), n, nullptr, nullptr);
  return out;
}

bool WriteBytes(const std::string& path, const void* data, size_t size) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

bool ReadBytes(const std::string& path, std::vector<uint8_t>* out) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  out->clear();
  uint8_t buf[65536];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out->insert(out->end(), buf, buf + n);
  std::fclose(f);
  return true;
}

}  // namespace winecheck

int main(int argc, char** argv) {
  using namespace winecheck;
  const std::string command = argc > 1 ? argv[1] : "";
  if (command == "install" && argc == 4) return InstallDriver(argv[2], argv[3]);
  if (command == "render" && argc == 6) return RenderJob(argv[2], argv[3], argv[4], argv[5]);
  if (command == "sheets" && argc == 4) {
    if (SheetChecks(argv[2], argv[3])) return 1;
    return PageChecks(argv[2], argv[3]);
  }
  if (command == "printertools" && argc == 4) return PrinterToolsChecks(argv[2], argv[3]);
  if (command == "wizard" && (argc == 4 || argc == 5)) return WizardCheck(argv[2], argv[3], argc == 5 ? argv[4] : "en");
  if (command == "sheets-in" && argc == 5) return LanguageSheetChecks(argv[2], argv[3], argv[4]);
  if (command == "monitor" && argc == 7) return MonitorJobs(argv[2], argv[3], argv[4], argv[5], argv[6]);
  if (command == "spooler" && argc == 3) return SpoolerChecks(argv[2]);
  std::fprintf(stderr,
               "usage: lblwinecheck install DRIVER SOURCE-DIR\n"
               "       lblwinecheck render DRIVER defaults|rotated|copies tspl|zpl|esc|twl OUT-DIR\n"
               "       lblwinecheck monitor DRIVER LBLMON-DLL TSPL-JOB-DIR TWL-JOB-DIR OUT-DIR\n"
               "       lblwinecheck sheets DRIVER OUT-DIR\n"
               "       lblwinecheck printertools DRIVER OUT-DIR\n"
               "       lblwinecheck spooler DRIVER\n"
               "       lblwinecheck wizard INSTALLER-EXE OUT-DIR [en|zh|ko|ru]\n"
               "       lblwinecheck sheets-in DRIVER en|zh|ko|ru OUT-DIR\n");
  return 2;
}
