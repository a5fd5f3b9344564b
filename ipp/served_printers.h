// The printers `lbl serve` serves are printers of the state folder's machine that have a device:
// `lbl printer add` installs one (as `lbl install` does, on the port "FILE:") and keeps its device
// URI and its printer-id as printer data; their stocks and Printing Preferences are the printer's
// own. These functions act on the machine loaded in this process.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "ipp/model_facts.h"

namespace lblipp {

// Printer-data value names.
constexpr char16_t kDeviceUriValue[] = u"IppDeviceUri";
constexpr char16_t kPrinterIdValue[] = u"IppPrinterId";
// The port a served printer is installed on: the spooler writes nothing anywhere, lbl serve takes
// the job's bytes to the device.
constexpr char kServedPort[] = "FILE:";

struct ServedPrinter {
  std::string name;       // the queue name (PrinterResource gives its path on the server)
  std::string driver;     // "Tarnwell TW-QX"
  std::string port;
  std::string deviceUri;  // usb://..., socket://HOST:PORT, file:///PATH, lblsim://HOST:PORT
  int id = 0;             // the printer-id, stable across restarts
  std::string language;   // "tspl", "zpl", "esc" or "twl": of the printer's default settings (else the model's)
  // ListServedPrinters only: the facts the language was chosen from, and its PrintLanguage.
  std::shared_ptr<ModelFacts> facts;
  uint32_t printLanguage = 0;
};

// The printers of the machine with a device URI, ordered by name. False with a message when a
// printer's data cannot be read.
bool ListServedPrinters(std::vector<ServedPrinter>* out, std::string* error);
// The printer of that name (compared without regard to case, as the spooler compares), served or
// not: false when there is none. `served` tells whether it has a device.
bool FindMachinePrinter(const std::string& name, ServedPrinter* out, bool* served);

// False with the reason when a served printer of another name is served at the path `name` would
// get (PrinterResource: "2x" and "_2x" share /ipp/print/_2x).
bool CheckServedPathFree(const std::string& name, std::string* error);

// Gives the installed printer `name` its device and printer-id (0: the next free one, filled in).
bool SetServedDevice(const std::string& name, const std::string& deviceUri, int* id, std::string* error);
// Makes `language` ("tspl", ...) the print language of the printer's default settings, as its
// Printing Preferences would store it.
bool SetDefaultLanguage(const std::string& name, const std::string& language, std::string* error);

}  // namespace lblipp
