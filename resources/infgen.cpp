// Writes the driver package INF: a package-aware v3 printer driver with the rendering and
// user-interface DLLs, the data file and the language monitor, for every model of the installer's
// model table, with the USB hardware IDs Plug and Play matches ("USBPRINT\" vendor model checksum).
// The version comes from the command line (the build's product version, year.month.day.build).
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
  char tail = 0;
  if (std::sscanf(version.c_str(), "%u.%u.%u.%u%c", &y, &mo, &d, &b, &tail) != 4 || y < 1980 || y > 65535 ||
      mo < 1 || mo > 12 || d < 1 || d > 31 || b > 65535) {
    std::fprintf(stderr, "infgen: bad version %s\n", version.c_str());
    return 2;
  }
  std::string out;
  auto line = [&out](const std::string& s) { out += s + "\r\n"; };
  char buf[512];
  line(std::string("; ") + LBL_PRODUCT_NAME + " package");
  line("[Version]");
  line("Signature=\"$Windows NT$\"");
  line("Provider=%Provider%");
  line("Class=Printer");
  line("ClassGUID={4D36E979-E325-11CE-BFC1-08002BE10318}");
  // The date and the version of the driver are both the product version.
  std::snprintf(buf, sizeof buf, "DriverVer=%02u/%02u/%04u,%u.%u.%u.%u", mo, d, y, y, mo, d, b);
  line(buf);
  line("PnpLockdown=1");
  // The catalog is made and signed on Windows (tools/windows/sign-catalog.cmd); without it x64 Windows
  // refuses the package in pnputil, Have Disk and UploadPrinterDriverPackageW.
  line("CatalogFile=lblv6.cat");
  line("");
  line("[Manufacturer]");
  line(std::string("%Provider%=") + kProviderName + ",NTamd64,NTx86");
  for (const char* arch : {"NTamd64", "NTx86"}) {
    line("");
    line(std::string("[") + kProviderName + "." + arch + "]");
    for (const auto& row : kModelTable) {
      if (!*row.model) break;
      std::snprintf(buf, sizeof buf, "\"%s %s\" = LBLV6, USBPRINT\\%s%04X, %s%04X", row.vendor, row.model,
                    row.vendorModel, row.checksum, row.vendorModel, row.checksum);
      line(buf);
    }
  }
  line("");
  line("[LBLV6]");
  line("CopyFiles=LBLV6_FILES,LBLV6_MONITOR");
  line("DataSection=LBLV6_DATA");
  line("LanguageMonitor=%Monitor%");
  // 2: the driver may run isolated from the spooler (PrintIsolationHost), so a crash in it does not
  // end spoolsv.
  line("DriverIsolation=2");
  line("");
  line("[LBLV6_DATA]");
  line("DriverFile=lbldrv6.dll");
  line("ConfigFile=lbldrv6ui.dll");
  line("DataFile=lbldrv6.dat");
  line("");
  // The monitor is also a dependent file of the driver: point-and-print clients receive it with the
  // driver, and removing the driver finds its System32 copy by that name.
  line("[LBLV6_FILES]");
  line("lbldrv6.dll");
  line("lbldrv6ui.dll");
  line("lbldrv6.dat");
  line("lblmon.dll");
  line("");
  // The spooler loads a language monitor from System32 (66002: copied there when the driver is
  // installed locally for the native architecture). 0x20: no version dialog on replacing it.
  line("[LBLV6_MONITOR]");
  line("lblmon.dll,,,0x00000020");
  line("");
  line("[PrinterPackageInstallation.amd64]");
  line("PackageAware=TRUE");
  line("");
  line("[PrinterPackageInstallation.x86]");
  line("PackageAware=TRUE");
  line("");
  line("[DestinationDirs]");
  line("DefaultDestDir=66000");
  line("LBLV6_FILES=66000");
  line("LBLV6_MONITOR=66002");
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
  // One field, "display name,DLL name", as the printer class installer reads LanguageMonitor.
  line(std::string("Monitor=\"") + kLanguageMonitorName +  ",lblmon.dll\"");
  line("Disk=\"" LBL_PRODUCT_NAME " Disk\"");
  FILE* f = std::fopen(argv[2], "wb");
  if (!f || std::fwrite(out.data(), 1, out.size(), f) != out.size() || std::fclose(f) != 0) {
    std::fprintf(stderr, "infgen: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
