// lbl's own modules (lblpdf.so, lblpng.so, lbljpeg.so): the libraries of one kind of input, loaded
// beside the driver modules the first time lbl meets that input, so that a command loads only the
// libraries it uses. Each exports one function that returns its table, whose first member is the
// table's version.
#pragma once

#include <cstdint>
#include <string>

namespace lbl {

// The table `entry` of module `file` returns, when its version is `version`; loaded once per process.
// Null with a message otherwise.
const void* LoadLblModuleTable(const char* file, const char* entry, uint32_t version, std::string* error);

template <class Table>
const Table* LoadLblModule(const char* file, const char* entry, std::string* error) {
  return static_cast<const Table*>(LoadLblModuleTable(file, entry, Table::kVersion, error));
}

}  // namespace lbl
