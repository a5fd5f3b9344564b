// The lbl commands that run the install engine on the simulated machine: install and uninstall.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "installer/engine.h"

#include "tools/command_help.h"
#include "winsim/devices.h"

namespace lbl {

// The package folder on the simulated machine's C: - the generated INF, and stand-ins for the DLLs and the
// data file (the spooler here loads the built modules by name, not these bytes).
extern const char16_t kPackage[];
bool PreparePackage(std::string* error);

// Options the install commands and lbl wizard take to set up the machine first.
struct Setup {
  std::vector<std::string> usbPrinters;  // device ID texts
  std::vector<std::string> installed;    // MODEL,PRINTER,PORT
};
// args[i] is --usb-printer or --installed: takes it and its value (error set when it has none); false for
// any other option.
bool TakeSetupOption(const std::vector<std::string>& args, size_t& i, Setup& s, std::string* error);
// Plugs a USB printer with this IEEE 1284 device ID into the first USB port no attached printer uses
// (USB001, USB002, ...: the machine keeps the printers plugged in by earlier commands), with a serial
// number of its own. Null with a message when it cannot be attached.
std::shared_ptr<winsim::UsbPrinterDevice> PlugUsbPrinter(const std::string& deviceId, std::string* error);
// The "Port Description" USB printing keeps for a printer with this IEEE 1284 device ID ("MFG:...;MDL:...;"):
// the MFG value followed by the MDL value, as the printer reports them.
std::u16string UsbDescriptionFromDeviceId(const std::string& deviceId);
// Attaches the USB printers (described by their device IDs), then installs the printers with `e` (its log
// and questions left out).
bool ApplySetup(const Setup& s, Engine& e, std::string* error);

// One printer installed on the state's machine with the install engine, as lbl install installs it
// (and initialised as the spooler initialises a new printer); false with the system's reason. The
// engine's result log goes to `log` when given.
bool InstallOnMachine(const std::string& model, const std::string& printer, const std::string& port, std::string* error,
                      std::string* log = nullptr);
// The printer removed with the install engine, as lbl uninstall removes it; false when it is still there.
bool UninstallFromMachine(const std::string& printer, std::string* error);

CommandSpec InstallCommand();
CommandSpec UninstallCommand();

}  // namespace lbl
