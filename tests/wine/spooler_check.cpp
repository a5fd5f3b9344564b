// lblwinecheck spooler DRIVER: what Wine's spooler refuses when printers are added, beside what winsim's
// spooler refuses (the installer's tests run against winsim). Each case prints one line "same" or
// "differs" with both error codes; the check fails only when a case cannot be run. Printers the spooler
// takes are deleted again.
#include "check.h"  // first: windows.h

#include <winspool.h>

#include <string>

namespace winecheck {
namespace {

struct Case {
  const char* what;
  std::wstring name, port, driver;
  DWORD winsim;  // what winsim's AddPrinterW answers
};

DWORD TryAddPrinter(const Case& c) {
  std::wstring name = c.name, port = c.port, driver = c.driver, processor = TEXT("WinPrint"), datatype = TEXT("RAW");
  PRINTER_INFO_2W p{};
  p.pPrinterName = name.data();
  p.pPortName = port.data();
  p.pDriverName = driver.data();
  p.pPrintProcessor = processor.data();
  p.pDatatype = datatype.data();
  p.Attributes = PRINTER_ATTRIBUTE_LOCAL;
  // A printer of that name that is there already must stay whatever AddPrinterW answers.
  HANDLE before = nullptr;
  const bool existed = !name.empty() && OpenPrinterW(name.data(), &before, nullptr);
  if (existed) ClosePrinter(before);
  SetLastError(0);
  HANDLE h = AddPrinterW(nullptr, 2, reinterpret_cast<LPBYTE>(&p));
  if (!h) return GetLastError();
  if (!existed) DeletePrinter(h);  // taken: not left behind
  ClosePrinter(h);
  return ERROR_SUCCESS;
}

}  // namespace

int SpoolerChecks(const std::string& driverName) {
  const std::wstring driver = Widen(driverName);
  int differences = 0;
  const Case cases[] = {
      {"empty name", TEXT(""), TEXT("FILE:"), driver, ERROR_INVALID_PRINTER_NAME},
      {"name with ','", TEXT("Left,Right"), TEXT("FILE:"), driver, ERROR_INVALID_PRINTER_NAME},
      {"name with '\\'", TEXT("Shelf\\1"), TEXT("FILE:"), driver, ERROR_INVALID_PRINTER_NAME},
      {"name of 221 characters", std::wstring(221, TEXT('n')), TEXT("FILE:"), driver, ERROR_INVALID_PRINTER_NAME},
      {"name of 220 characters", std::wstring(220, TEXT('n')), TEXT("FILE:"), driver, ERROR_SUCCESS},
      {"unknown port", TEXT("Probe"), TEXT("NOPORT:"), driver, ERROR_UNKNOWN_PORT},
      {"unknown driver", TEXT("Probe"), TEXT("FILE:"), TEXT("No Such Driver"), ERROR_UNKNOWN_PRINTER_DRIVER},
      {"name in use", driver, TEXT("FILE:"), driver, ERROR_PRINTER_ALREADY_EXISTS},
  };
  for (const Case& c : cases) {
    const DWORD wine = TryAddPrinter(c);
    const bool same = wine == c.winsim;
    differences += same ? 0 : 1;
    std::printf("%s AddPrinterW, %s: Wine %lu, winsim %lu\n", same ? "same   " : "differs", c.what,
                static_cast<unsigned long>(wine), static_cast<unsigned long>(c.winsim));
  }
  // The standard TCP/IP port monitor's transceive object (winsim has one; the engine logs its answers).
  PRINTER_DEFAULTSW admin{nullptr, nullptr, SERVER_ACCESS_ADMINISTER};
  HANDLE xcv = nullptr;
  std::wstring object = TEXT(",XcvMonitor Standard TCP/IP Port");
  const bool opened = OpenPrinterW(object.data(), &xcv, &admin) != FALSE;
  std::printf("%s OpenPrinterW(\",XcvMonitor Standard TCP/IP Port\"): Wine %s, winsim opens it\n",
              opened ? "same   " : "differs", opened ? "opens it" : ("error " + std::to_string(GetLastError())).c_str());
  if (opened) ClosePrinter(xcv);
  else ++differences;
  std::fflush(stdout);
  Ok("Wine's spooler probed: " + std::to_string(differences) + " difference(s) from winsim");
  return 0;
}

}  // namespace winecheck
