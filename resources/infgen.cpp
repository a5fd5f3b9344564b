// Writes the driver package INF: a v3 printer driver with the rendering and user-interface DLLs,
// the data file and the language monitor, for every model of the installer's model table, with
// the USB hardware IDs Plug and Play matches ("USBPRINT\" vendor model checksum).
#include <cstdio>
#include <string>

#include "installer/model_table.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: infgen VERSION OUT.inf\n");
    return 2;
  }
  std::string version = argv[1];  // "2024.2.4.1"
  unsigned y = 0, mo = 0, d = 0, b = 0;
  if (std::sscanf(version.c_str(), "%u.%u.%u.%u", &y, &mo, &d, &b) != 4 || mo < 1 || mo > 12 || d < 1 || d > 31) {
    std::fprintf(stderr, "infgen: bad version %s\n", version.c_str());
    return 2;
  }
  std::string out;
  auto line = [&out](const std::string& s) { out += s + "\r\n"; };
  char buf[512];
  line("; Tarnwell label printer driver package");
  line("[Version]");
  line("Signature=\"$Windows NT$\"");
  line("Provider=%Provider%");
  line("Class=Printer");
  line("ClassGUID={4D36E979-E325-11CE-BFC1-08002BE10318}");
  std::snprintf(buf, sizeof buf, "DriverVer=%02u/%02u/%04u,%u.%u.%u.%u", mo, d, y, y, mo, d, b);
  line(buf);
  line("");
  line("[Manufacturer]");
  line("%Provider%=Tarnwell,NTamd64,NTx86");
  for (const char* arch : {"NTamd64", "NTx86"}) {
    line("");
    line(std::string("[Tarnwell.") + arch + "]");
    for (const auto& row : kModelTable) {
      if (!*row.model) break;
      std::snprintf(buf, sizeof buf, "\"%s %s\" = LBLV6, USBPRINT\\%s%04X, %s%04X", row.vendor, row.model,
                    row.vendorModel, row.checksum, row.vendorModel, row.checksum);
      line(buf);
    }
  }
  line("");
  line("[LBLV6]");
  line("CopyFiles=LBLV6_FILES");
  line("DataSection=LBLV6_DATA");
  line("LanguageMonitor=%MonitorName%,lblmon.dll");
  line("");
  line("[LBLV6_DATA]");
  line("DriverFile=lbldrv6.dll");
  line("ConfigFile=lbldrv6ui.dll");
  line("DataFile=lbldrv6.dat");
  line("");
  line("[LBLV6_FILES]");
  line("lbldrv6.dll");
  line("lbldrv6ui.dll");
  line("lblmon.dll");
  line("lbldrv6.dat");
  line("");
  line("[DestinationDirs]");
  line("DefaultDestDir=66000");
  line("");
  line("[SourceDisksNames.amd64]");
  line("1=%Disk%,,,amd64");
  line("2=%Disk%,,,dat");
  line("");
  line("[SourceDisksNames.x86]");
  line("1=%Disk%,,,i386");
  line("2=%Disk%,,,dat");
  line("");
  line("[SourceDisksFiles]");
  line("lbldrv6.dll=1");
  line("lbldrv6ui.dll=1");
  line("lblmon.dll=1");
  line("lbldrv6.dat=2");
  line("");
  line("[Strings]");
  line(std::string("Provider=\"") + kProviderName + "\"");
  line(std::string("MonitorName=\"") + kLanguageMonitorName + "\"");
  line("Disk=\"Tarnwell Label Printer Driver Disk\"");
  FILE* f = std::fopen(argv[2], "wb");
  if (!f || std::fwrite(out.data(), 1, out.size(), f) != out.size() || std::fclose(f) != 0) {
    std::fprintf(stderr, "infgen: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
