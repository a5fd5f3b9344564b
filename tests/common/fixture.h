// Builders shared by the shared-library tests: data file images, catalogues and printers.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "common/devmode.h"
#include "common/model.h"
#include "common/wstr.h"
#include "winsim/machine.h"

namespace lbltest {

// A 360-byte data file header with sane values; tests change single fields.
struct DataFile {
  std::vector<uint8_t> b = std::vector<uint8_t>(360, 0);
  DataFile() {
    std::memcpy(b.data(), "Tnwl", 4);
    u16(8, 360);
    std::memcpy(b.data() + 12, "Label Printer", 13);
    i32(44, 104000);  // MaxWidth
    i32(48, 2286000); // MaxLength
    u32(68, 0x81);    // raster, roll paper
    u32(72, 203);
    u32(76, 203);
    u16(80, 203);
    u16(82, 203);
    u16(86, 400);  // MaxScale
    u16(90, 999);  // MaxCopies
    u16(94, 4);    // MaxQuality
  }
  DataFile& u16(size_t off, uint16_t v) { b[off] = v & 0xFF; b[off + 1] = v >> 8; return *this; }
  DataFile& u32(size_t off, uint32_t v) {
    for (int i = 0; i < 4; ++i) b[off + i] = (v >> (8 * i)) & 0xFF;
    return *this;
  }
  DataFile& i32(size_t off, int32_t v) { return u32(off, static_cast<uint32_t>(v)); }
  ModelRecord* Parse() const { return ParseDataFile(b.data(), b.size()); }
};

struct ModelPtr {
  ModelRecord* p = nullptr;
  explicit ModelPtr(ModelRecord* r) : p(r) {}
  ~ModelPtr() { FreeModelRecord(p); }
  ModelRecord* operator->() const { return p; }
  ModelRecord* get() const { return p; }
  explicit operator bool() const { return p != nullptr; }
};

inline WString W(const char16_t* s) { return ToWString(s); }

// Printer output as text, and how often `needle` stands in it (not overlapping).
inline std::string Text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }
inline size_t Count(const std::string& hay, const std::string& needle) {
  size_t n = 0;
  for (size_t at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + needle.size())) ++n;
  return n;
}

// One vendor "Tarnwell" with the given model objects and paper objects (JSON fragments).
inline std::string Catalogue(const std::string& models, const std::string& papers = "") {
  return R"({"Venders":[{"Vender Name":"Tarnwell","Models":[)" + models + R"(],"Papers":[)" + papers + "]}]}";
}

inline std::string Paper(const std::string& name, double w, double h, int type = 1, double gap = 3,
                         const std::string& margin = R"({"Left":0,"Right":0,"Top":0,"Bottom":0})") {
  return "{\"Paper Name\":\"" + name + "\",\"Type\":" + std::to_string(type) + ",\"Width\":" + std::to_string(w) +
         ",\"Height\":" + std::to_string(h) + ",\"Margin\":" + margin + ",\"Gap\":" + std::to_string(gap) +
         ",\"GapOffset\":0}";
}

// A model object like the example model; `extra` adds keys (lookups find the first of duplicate keys).
inline std::string Model(const std::string& name, const std::string& extra = "", int dpi = 203) {
  std::string m = R"({"Model Name":")" + name + R"(","DPI":)" + std::to_string(dpi) + R"(,"Speed":{"Value":400,"Step":100,"Option":[200,300,400]},)"
                  R"("Density":{"Value":8,"Option":[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16]},)"
                  R"("Memory Size":{"SDRAM":8192,"FLASH":4096},"Accesories":{"Cutter":1,"Peeler":0},"RFID":false,)"
                  R"("Paper Alignment":{"Value":0,"Option":[0,1,2],"OutDirection":0},"Maximum Print Width":104,)"
                  R"("Maximum Print Length":2286,"Minimum Label Width":20,"Minimum Label Length":10,)"
                  R"("Printing Mode":{"Value":0,"Option":[0,1]},"Sensor Type":{"Value":2,"Option":[0,1,2]},)"
                  R"("Gap High":3,"Gap High Offset":0,"Printer Languages":{"Value":2,"Option":[2,4]})";
  if (!extra.empty()) m += "," + extra;
  return m + "}";
}

// Installs driver `driver` with the given data file and a printer named `printer` on USB001;
// returns an open handle with the given access.
HANDLE InstallPrinter(const std::u16string& driver, const std::vector<uint8_t>& dataFile,
                      const std::u16string& printer = u"Label One", DWORD access = PRINTER_ALL_ACCESS);

HMODULE ModuleWithCatalogue(const std::string& json);

}  // namespace lbltest
