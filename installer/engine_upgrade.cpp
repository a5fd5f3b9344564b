// Upgrade mode: the package is uploaded once, then the driver of every ticked printer is reinstalled
// from it and its new version shown.
#include <cstdio>
#include <vector>

#include "installer/engine.h"
#include "installer/strings.h"

#ifdef _WIN32
extern "C" __declspec(dllimport) HRESULT WINAPI InstallPrinterDriverFromPackageW(LPCWSTR, LPCWSTR, LPCWSTR, LPCWSTR,
                                                                                DWORD);
#endif
#ifndef UPDP_SILENT_UPLOAD
#define UPDP_SILENT_UPLOAD 0x00000001
#endif
#ifndef IPDFP_COPY_ALL_FILES
#define IPDFP_COPY_ALL_FILES 0x00000001
#endif

uint64_t ParseVersion(const WCHAR* text) {
  const std::string s = WideToAnsi(text);
  int a = 0, b = 0, c = 0, d = 0;
  if (std::sscanf(s.c_str(), "%d.%d.%d.%d", &a, &b, &c, &d) != 4) return 0;
  return (uint64_t(a & 0xFFFF) << 48) | (uint64_t(b & 0xFFFF) << 32) | (uint64_t(c & 0xFFFF) << 16) |
         uint64_t(d & 0xFFFF);
}

void FormatVersion(uint64_t v, WCHAR (&out)[32]) {
  WFormatTo(out, 32, TEXT("%d.%d.%d.%d"), int((v >> 48) & 0xFFFF), int((v >> 32) & 0xFFFF), int((v >> 16) & 0xFFFF),
            int(v & 0xFFFF));
}

uint64_t GetDriverVersion(const WCHAR* printerName) {
  HANDLE h = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(printerName), &h, nullptr) || !h) return 0;
  DWORD needed = 0;
  LPWSTR env = const_cast<LPWSTR>(EnvironmentArgument());
  GetPrinterDriverW(h, env, 8, nullptr, 0, &needed);
  uint64_t version = 0;
  if (needed >= sizeof(DRIVER_INFO_8W)) {
    std::vector<BYTE> buf(needed);
    if (GetPrinterDriverW(h, env, 8, buf.data(), needed, &needed))
      version = reinterpret_cast<DRIVER_INFO_8W*>(buf.data())->dwlDriverVersion;
  }
  ClosePrinter(h);
  return version;
}

bool UpgradeDrivers(const Engine& e, std::vector<UpgradeRow>& rows, const std::function<void(UINT)>& status) {
  WCHAR inf[MAX_PATH], dest[MAX_PATH] = {};
  bool uploaded = false, done = false;
  for (UpgradeRow& row : rows) {
    if (!row.ticked) continue;
    if (status) status(IDS_UPGRADING);
    if (!uploaded) {
      ULONG cch = MAX_PATH;
      if (!PackageInfPath(e, inf) ||
          UploadPrinterDriverPackageW(nullptr, inf, EnvironmentArgument(), UPDP_SILENT_UPLOAD, nullptr, dest, &cch) < 0) {
        if (status) status(IDS_UPGRADE_FAILED);
        return done;
      }
      uploaded = true;
    }
    if (InstallPrinterDriverFromPackageW(nullptr, dest, row.model, EnvironmentArgument(), IPDFP_COPY_ALL_FILES) != 0) {
      if (status) status(IDS_UPGRADE_FAILED);
      return done;
    }
    FormatVersion(GetDriverVersion(row.printerName), row.version);
    row.ticked = false;
    if (status) status(IDS_UPGRADE_OK);
    done = true;
  }
  return done;
}
