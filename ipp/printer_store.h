// The printers `lbl serve` shares: name, driver, device and print language, kept in the state folder
// so that `lbl printer add` and the running server see the same list. One small interface, so that the
// list can move onto the persistent simulated machine without touching its users.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace lblipp {

struct PrinterEntry {
  std::string name;      // the queue name (PrinterResource gives its path on the server)
  std::string driver;    // the catalogue's driver name, "Tarnwell TW-QX"
  std::string deviceUri; // usb://..., socket://HOST:PORT, file:///PATH, lblsim://HOST:PORT
  std::string language;  // "tspl", "zpl", "esc" or "twl"; empty: the model's own choice
  int id = 0;            // the printer-id, stable across restarts
};

// The state folder: lbl's --state DIR, else $LBL_STATE_DIR, else $XDG_STATE_HOME/lbl, else
// ~/.local/state/lbl (lbl::StateFolder).
std::string StateDirectory();

// The path the server serves a printer at: "/ipp/print/NAME", with an underscore before a NAME that
// starts with a digit (the printer application keeps such paths apart from job numbers).
std::string PrinterResource(const std::string& name);

// A queue name a URI path can carry unchanged: 1 to 63 letters, digits, '-', '_' and '.', not
// starting with '.' or '-'. False with the reason.
bool CheckPrinterName(const std::string& name, std::string* error);

// The device URI schemes a printer may use, and the form of each; false with the reason.
bool CheckDeviceUri(const std::string& uri, std::string* error);

class PrinterStore {
 public:
  virtual ~PrinterStore() = default;
  // The printers, in the order they were added. False with a message when the store cannot be read
  // (a missing store is an empty list, not an error).
  virtual bool List(std::vector<PrinterEntry>* out, std::string* error) = 0;
  // Adds the printer with the next free id (filled in). False when the name is taken (compared
  // without regard to case, as URL paths of the server are) or the store cannot be written.
  virtual bool Add(PrinterEntry* entry, std::string* error) = 0;
  // False when there is no such printer.
  virtual bool Remove(const std::string& name, std::string* error) = 0;
};

// The store file `printers.json` in `directory` (created when first written). Writes replace the file
// atomically, so a reader never sees half a list.
std::unique_ptr<PrinterStore> OpenFileStore(const std::string& directory);

}  // namespace lblipp
