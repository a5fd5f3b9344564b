// Fuzz target: an application's DEVMODE through the user-interface library's entry points that take one
// without a dialog, as the spooler calls them in its own process: DrvDeviceCapabilities, document
// properties with DM_IN_BUFFER | DM_OUT_BUFFER, DrvConvertDevMode and the job check DevQueryPrintEx.
// Whatever the record, nothing reads or writes outside the buffers, and every DEVMODE handed back fits
// the buffer it was written into.
//
// Input: byte 0 picks the capability asked; the rest is the DEVMODE. As the spooler does, the library
// gets a buffer of dmSize + dmDriverExtra bytes (the input cut or padded with zeros).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/devmode.h"
#include "common/wstr.h"
#include "tools/embedded.h"
#include "tools/print_job.h"
#include "winsim/printpath.h"
#include "winsim/machine.h"
#include <winddiui.h>

namespace {

[[noreturn]] void Fault(const char* what) {
  std::fprintf(stderr, "ui devmode fuzz: %s\n", what);
  std::abort();
}

template <typename Fn>
Fn* Entry(HMODULE module, const char* name) {
  auto* fn = reinterpret_cast<Fn*>(winsim::GetModuleProc(module, name));
  if (!fn) Fault(name);
  return fn;
}

// A record handed back describes no more bytes than the buffer it was written into.
bool Fits(const PrinterDevmode& d) { return size_t{d.dm.dmSize} + d.dm.dmDriverExtra <= sizeof d; }

constexpr WORD kCapabilities[] = {DC_FIELDS,     DC_PAPERS,     DC_PAPERSIZE,     DC_MINEXTENT,     DC_MAXEXTENT,
                                  DC_SIZE,       DC_EXTRA,      DC_VERSION,       DC_ENUMRESOLUTIONS, DC_PAPERNAMES,
                                  DC_ORIENTATION, DC_COPIES,    DC_COLLATE,       DC_PERSONALITY,   DC_PRINTRATE,
                                  DC_MEDIAREADY, DC_COLORDEVICE, DC_MEDIATYPENAMES, DC_MEDIATYPES,  DC_NUP};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Loaded once for the process, as the spooler keeps it.
  static HMODULE ui = winsim::LoadDriverModule(u"lbldrv6ui", nullptr);
  if (!ui) Fault("cannot load lbldrv6ui");
  static auto* caps = Entry<decltype(DrvDeviceCapabilities)>(ui, "DrvDeviceCapabilities");
  static auto* props = Entry<decltype(DrvDocumentPropertySheets)>(ui, "DrvDocumentPropertySheets");
  static auto* convert = Entry<decltype(DrvConvertDevMode)>(ui, "DrvConvertDevMode");
  static auto* check = Entry<decltype(DevQueryPrintEx)>(ui, "DevQueryPrintEx");
  if (size < 1 + offsetof(DEVMODEW, dmDriverExtra) + sizeof(WORD)) return 0;

  std::string error;
  if (!lbl::InstallInitialisedPrinter(lbl::kDefaultDriver, &error)) Fault(error.c_str());
  WString name = Utf8ToWide(lbl::kDefaultDriver);
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name.data(), &printer, nullptr)) Fault("cannot open the printer");

  std::vector<uint8_t> record(data + 1, data + size);
  const auto* head = reinterpret_cast<const DEVMODEW*>(record.data());
  record.resize(size_t{head->dmSize} + head->dmDriverExtra, 0);
  if (record.size() < offsetof(DEVMODEW, dmDriverExtra) + sizeof(WORD)) record.resize(sizeof(DEVMODEW), 0);
  auto* in = reinterpret_cast<DEVMODEW*>(record.data());

  // Capabilities: the count first, then the array into a buffer of that many of the largest items.
  const WORD index = kCapabilities[data[0] % (sizeof kCapabilities / sizeof kCapabilities[0])];
  const DWORD count = caps(printer, name.data(), index, nullptr, in);
  const bool array = index == DC_PAPERS || index == DC_PAPERSIZE || index == DC_ENUMRESOLUTIONS ||
                     index == DC_PAPERNAMES || index == DC_PERSONALITY || index == DC_MEDIAREADY ||
                     index == DC_MEDIATYPENAMES || index == DC_MEDIATYPES || index == DC_NUP;
  if (array && count != DWORD(-1)) {
    if (count > 100000) Fault("an absurd capability count");
    std::vector<uint8_t> out(size_t{count} * 128 + 16);
    caps(printer, name.data(), index, out.data(), in);
  }

  // Document properties without a dialog: the application's record in, the merged record out.
  PrinterDevmode out{};
  DOCUMENTPROPERTYHEADER h{};
  h.cbSize = sizeof h;
  h.hPrinter = printer;
  h.pszPrinterName = name.data();
  h.pdmIn = in;
  h.pdmOut = &out.dm;
  h.cbOut = sizeof out;
  h.fMode = DM_IN_BUFFER | DM_OUT_BUFFER;
  if (props(nullptr, reinterpret_cast<LPARAM>(&h)) == 1 && !Fits(out)) Fault("document properties");

  // Conversion into the driver's own record.
  PrinterDevmode converted{};
  LONG needed = sizeof converted;
  if (!convert(name.data(), nullptr, &converted.dm, &needed, CDM_DRIVER_DEFAULT)) Fault("CDM_DRIVER_DEFAULT");
  needed = sizeof converted;
  if (convert(name.data(), in, &converted.dm, &needed, CDM_CONVERT) && !Fits(converted)) Fault("CDM_CONVERT");

  // The job check, with an error text buffer that is sometimes too short.
  WCHAR text[256];
  DEVQUERYPRINT_INFO q{};
  q.cbSize = sizeof q;
  q.Level = 1;
  q.hPrinter = printer;
  q.pDevMode = in;
  q.pszErrorStr = text;
  q.cchErrorStr = (data[0] & 0x80) ? 8 : 256;
  check(&q);

  ClosePrinter(printer);
  return 0;
}
