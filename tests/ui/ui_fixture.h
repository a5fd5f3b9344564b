// A printer for the user-interface code: a data file, a catalogue module carrying the string table,
// and helpers for "FORMS", "InstalledForm" and caller DEVMODEs.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/devmode.h"
#include "common/wstr.h"
#include "common/fixture.h"
#include "ui/context.h"
#include "ui/module.h"
#include "winsim/machine.h"

namespace uitest {

inline const std::u16string kDriver = u"Tarnwell TW-T1";
inline const std::u16string kPrinter = u"Label One";

// A model like the catalogue's, with the keys these tests vary.
inline std::string ModelJson(const std::string& name, int speed = 400, int language = 2, const std::string& extra = "") {
  std::string m = R"({"Model Name":")" + name + R"(","DPI":203,"Speed":{"Value":)" + std::to_string(speed) +
                  R"(,"SendThis":1,"Step":50,"Option":[200,300,400]},)"
                  R"("Density":{"Value":8,"SendThis":1,"Option":[1,2,3,4,5,6,7,8]},)"
                  R"("Memory Size":{"SDRAM":8192,"FLASH":4096},"Paper Alignment":{"Value":0,"OutDirection":0},)"
                  R"("Maximum Print Width":104,"Maximum Print Length":2286,"Minimum Label Width":20,)"
                  R"("Minimum Label Length":10,"Printer Languages":{"Value":)" + std::to_string(language) +
                  R"(,"Option":[1,2,4,8]})";
  if (!extra.empty()) m += "," + extra;
  return m + "}";
}

inline PaperRecord Paper(const char16_t* name, int32_t width, int32_t length, int32_t marginRight = 0,
                         int32_t marginBottom = 0) {
  PaperRecord p{};
  WString n = ToWString(name);
  WStrCopy(p.Name, kPaperNameChars, n.c_str());
  p.Width = width;
  p.Length = length;
  p.MarginRight = marginRight;
  p.MarginBottom = marginBottom;
  p.Flags = kPaperGap | kPaperDirectThermal | kPaperInUse;
  p.GapHeight = 3000;
  return p;
}

inline InstalledPaper Installed(const char16_t* name, int32_t width, int32_t length) {
  return PaperToInstalled(Paper(name, width, length));
}

inline std::vector<uint8_t> Bytes(const void* p, size_t n) {
  const auto* b = static_cast<const uint8_t*>(p);
  return std::vector<uint8_t>(b, b + n);
}

inline std::u16string U16(const WCHAR* s, size_t max = SIZE_MAX) {
  std::u16string r;
  for (size_t i = 0; i < max && s[i]; ++i) r += char16_t(s[i]);
  return r;
}

// The defaults of the test data file, as an application would hold them.
inline PrinterDevmode DefaultDevmode() {
  lbltest::ModelPtr model(lbltest::DataFile().Parse());
  PrinterDevmode dm{};
  FillDevmodeDefaults(model.get(), TEXT("Label One"), &dm);
  return dm;
}

class UiTest : public ::testing::Test {
 protected:
  // Model catalogue of the test module; tests that need another set it before Install().
  std::string catalogue = lbltest::Catalogue(ModelJson("TW-T1"), lbltest::Paper("4 x 6", 101.6, 152.4) + "," +
                                                                     lbltest::Paper("Tiny", 15, 10) + "," +
                                                                     lbltest::Paper("2 x 1", 50.8, 25.4));
  lbltest::DataFile dataFile;
  HMODULE module = nullptr;
  HANDLE printer = nullptr;

  void SetUp() override { winsim::Reset(); }
  void TearDown() override {
    if (printer) ClosePrinter(printer);
  }

  // The UI module with the test catalogue and the data file in the driver folder; the driver's files.
  winsim::DriverSpec PrepareDriver() {
    module = lbltest::ModuleWithCatalogue(catalogue);
    RegisterUiResources(module);
    SetUiModule(module);
    const std::u16string dat = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\lbldrv6.dat";
    winsim::WriteHostFile(dat, dataFile.b.data(), dataFile.b.size());
    winsim::DriverSpec d;
    d.name = kDriver;
    d.dataFile = dat;
    d.driverPath = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\lbldrv6.dll";
    d.configFile = u"C:\\Windows\\System32\\spool\\drivers\\x64\\3\\lbldrv6ui.dll";
    return d;
  }

  // Installs the driver and `name`, opens it with `access`.
  void Install(const std::u16string& name = kPrinter, DWORD access = PRINTER_ALL_ACCESS, bool mayAdminister = true) {
    winsim::DriverSpec d = PrepareDriver();
    d.helpFile = helpFile;
    winsim::AddDriver(d);
    AddPrinter(name, mayAdminister);
    printer = Open(name, access);
    ASSERT_NE(printer, nullptr);
  }
  std::u16string helpFile;

  // A fresh machine with the current catalogue and data file.
  void Reinstall(const std::u16string& name = kPrinter) {
    if (printer) ClosePrinter(printer);
    printer = nullptr;
    winsim::Reset();
    Install(name);
  }

  static void AddPrinter(const std::u16string& name, bool mayAdminister = true) {
    winsim::PrinterSpec p;
    p.name = name;
    p.driver = kDriver;
    p.userMayAdminister = mayAdminister;
    ASSERT_TRUE(winsim::AddPrinter(p));
  }

  static HANDLE Open(const std::u16string& name, DWORD access = PRINTER_ACCESS_USE) {
    PRINTER_DEFAULTSW def{nullptr, nullptr, access};
    WString n = ToWString(name.c_str());
    HANDLE h = nullptr;
    return OpenPrinterW(n.data(), &h, &def) ? h : nullptr;
  }

  static void SetForms(const std::vector<PaperRecord>& list, const std::u16string& name = kPrinter) {
    winsim::SetPrinterDataValue(name, u"FORMS", REG_BINARY, Bytes(list.data(), list.size() * sizeof(PaperRecord)));
  }
  static std::vector<PaperRecord> Forms(const std::u16string& name = kPrinter) {
    std::vector<uint8_t> data;
    if (!winsim::GetPrinterDataValue(name, u"FORMS", nullptr, &data)) return {};
    std::vector<PaperRecord> list(data.size() / sizeof(PaperRecord));
    if (!list.empty()) std::memcpy(list.data(), data.data(), list.size() * sizeof(PaperRecord));
    return list;
  }
  static void SetInstalled(const InstalledPaper& paper, const std::u16string& name = kPrinter) {
    winsim::SetPrinterDataValue(name, u"InstalledForm", REG_BINARY, Bytes(&paper, sizeof paper));
  }
  static void SetFlags(DWORD flags) {
    winsim::SetPrinterDataValue(kPrinter, u"PPDataFlags", REG_DWORD, Bytes(&flags, sizeof flags));
  }

  // Five stock entries: "USER", then four labels, the first with margins.
  static std::vector<PaperRecord> FiveEntries() {
    return {Paper(u"USER", 101600, 152400), Paper(u"4 x 6", 101600, 152400, 2000, 1000),
            Paper(u"76.04", 76040, 130000), Paper(u"76.05", 76050, 130000), Paper(u"2 x 1", 50800, 25400)};
  }
};

// The context as a scoped value.
struct Mapped {
  PrinterContext* ctx;
  explicit Mapped(PrinterContext* c) : ctx(c) {}
  ~Mapped() { UnmapPrinter(ctx); }
  PrinterContext* operator->() const { return ctx; }
};

}  // namespace uitest
