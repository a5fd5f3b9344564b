// The embedded default printer that the lbl command and the tests run on.
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

// Resets the simulated machine and installs the driver files and one printer named like the
// driver on `port`, as a freshly installed printer. False with a message when the driver is unknown.
bool SetupPrinter(const std::string& driverName, const std::string& port, std::string* error);

// The data file path the installed driver names.
std::u16string DataFilePath();

}  // namespace lbl
