// The embedded default printer that the lbl command and the tests run on, the data files lbl reads,
// and the printer a command acts on.
#pragma once

#include <string>
#include <vector>

#include "common/platform.h"

namespace lbl {

constexpr const char* kDefaultDriver = "Tarnwell TW-QX";
constexpr const char* kDefaultPort = "USB001";

// Driver names ("<vendor> <model>") that the embedded catalogue knows.
std::vector<std::string> CatalogueDriverNames();
bool IsKnownDriver(const std::string& driverName);

// The module that carries the catalogue resource (registered once per process).
HMODULE CatalogueModule();

// A data file lbl reads ("lbldrv6.dat", "lblv6.inf"): in share/lbl of the tree lbl is installed in
// (beside lib/lbl, the folder of libwinsim.so), else where the build made it (`buildPath`, relative to
// the build's module folder). The installed one when neither exists, for the message.
std::string DataFile(const char* name, const char* buildPath);

// Resets the simulated machine and installs the driver files and one printer named like the driver on
// `port`, as a freshly installed printer. False with a message when the driver is unknown.
bool SetupPrinter(const std::string& driverName, const std::string& port, std::string* error);
// The driver of a model of the catalogue on the machine as it is, as SetupPrinter installs it (the
// embedded printer's way; the install package carries fewer models). False for an unknown driver.
bool AddCatalogueDriver(const std::string& driverName, std::string* error);

// Lets the user-interface library initialise a printer as the spooler does for a new one
// (DrvPrinterEvent(PRINTER_EVENT_INITIALIZE)): its "FORMS" becomes the model's paper list.
bool InitialisePrinter(const std::string& printer, std::string* error);

// As the spooler follows AddPrinter with the driver's printer event (winsim's AddPrinterW does not):
// initialises each printer of the machine that is not in `before` (the printers' names before an
// install ran).
void InitialiseAddedPrinters(const std::vector<std::u16string>& before);
std::vector<std::u16string> PrinterNames();

// The machine of a state folder that has none yet: the embedded default printer, freshly installed and
// initialised, as the default printer.
bool BuildFreshMachine(std::string* error);

// The data file path the installed driver names.
std::u16string DataFilePath();

// The IEEE 1284 device ID a printer of the driver reports when it speaks `commandSet`.
std::string DeviceIdFor(const std::string& driver, const std::string& commandSet);
// Whether the language monitor speaks TWL to a device of this IEEE 1284 ID ("CMD:TWL;" in its first 64
// bytes), and so whether the simulated printer for it is a TWL one.
bool DeviceIdSpeaksTwl(const std::string& deviceId);
// The number of a USB port ("USB001" is 1; the case of the letters aside, as the spooler compares names);
// 0 for a port of another monitor, a TCP/IP port given a USB-like name included.
DWORD UsbPortNumber(const std::string& port);

// The printer a command acts on. `printer` (--printer NAME): that printer of the state's machine;
// `model` (--model DRIVER): a freshly installed and initialised printer of that driver on a machine of
// its own, which is not kept (`scratch`); neither: the state's default printer.
struct TargetPrinter {
  std::string name, driver, port;
  bool scratch = false;
};
bool OpenTargetPrinter(const std::string& printer, const std::string& model, TargetPrinter* out, std::string* error);

}  // namespace lbl
