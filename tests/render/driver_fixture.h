// Shared setup of the rendering DLL tests: a printer of a small test model, and a device driven
// through the entry points the way GDI does.
#pragma once

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/fixture.h"
#include "render/job.h"
#include "render/module.h"
#include "render/pdev.h"
#include "winsim/printpath.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID reserved);

namespace drvtest {

using lbltest::W;
// The matchers of the checks on what a job sent.
using ::testing::HasSubstr;
using ::testing::Not;

// A 50 x 30 mm label the catalogue gives the test model.
inline std::string TestCatalogue(const std::string& modelExtra = "", int languages = 2) {
  std::string model = lbltest::Model("TW-QX", modelExtra);
  const std::string from = R"("Printer Languages":{"Value":2)";
  model.replace(model.find(from), from.size(), R"("Printer Languages":{"Value":)" + std::to_string(languages));
  return lbltest::Catalogue(model, lbltest::Paper("50 x 30", 50, 30));
}

using lbltest::Count;
using lbltest::Text;

// One printer "Label One" of driver "Tarnwell TW-QX" with the given data file and catalogue; the
// rendering code is attached to the catalogue module as DllMain would.
class DriverTest : public ::testing::Test {
 protected:
  void SetUp() override { Install(); }
  void TearDown() override {
    if (printer) ClosePrinter(printer);
    winsim::SetWritePrinterFault(winsim::WriteFault::None);
    winsim::SetEngineAbort(false);
  }
  void Install(const lbltest::DataFile& data = lbltest::DataFile(), const std::string& catalogue = TestCatalogue()) {
    if (printer) ClosePrinter(printer);
    winsim::Reset();
    ResetJobState();
    DllMain(reinterpret_cast<HINSTANCE>(lbltest::ModuleWithCatalogue(catalogue)), DLL_PROCESS_ATTACH, nullptr);
    printer = lbltest::InstallPrinter(u"Tarnwell TW-QX", data.b);
    ASSERT_NE(printer, nullptr);
  }
  // The printer's defaults with a valid private block, as an application would send them back.
  PrinterDevmode Defaults() {
    PrinterDevmode dm{};
    ModelRecord* model = LoadModelRecord(printer, nullptr, RenderModule());
    EXPECT_NE(model, nullptr);
    if (model) FillDevmodeDefaults(model, W(u"Label One").c_str(), &dm);
    FreeModelRecord(model);
    return dm;
  }
  void SetPrinterData(const std::u16string& name, DWORD type, const void* data, size_t size) {
    const auto* p = static_cast<const uint8_t*>(data);
    winsim::SetPrinterDataValue(u"Label One", name, type, std::vector<uint8_t>(p, p + size));
  }
  void EnableCapture(const std::u16string& folder) {
    DWORD flags = kPropCaptureCode;
    SetPrinterData(u"PPDataFlags", REG_DWORD, &flags, sizeof flags);
    SetPrinterData(u"LogFolder", REG_SZ, folder.c_str(), (folder.size() + 1) * 2);
  }

  HANDLE printer = nullptr;
};

// A PDEV made and completed through the entry points, with its surface.
struct Device {
  explicit Device(HANDLE printerHandle) : printer(printerHandle) {}
  Device(const Device&) = delete;
  ~Device() { Disable(); }

  bool Enable(const PrinterDevmode* dm = nullptr) {
    hdev = winsim::CreateEngineDevice();
    HSURF patterns[HS_DDI_MAX];
    WString name = W(u"Label One");
    pdev = DrvEnablePDEV(dm ? const_cast<DEVMODEW*>(&dm->dm) : nullptr, nullptr, HS_DDI_MAX, patterns, sizeof gi,
                         reinterpret_cast<ULONG*>(&gi), sizeof di, &di, hdev, name.data(), printer);
    if (!pdev) return false;
    winsim::SetEngineDevicePdev(hdev, pdev);
    DrvCompletePDEV(pdev, hdev);
    surface = DrvEnableSurface(pdev);
    so = surface ? EngLockSurface(surface) : nullptr;
    return so != nullptr;
  }
  // StartDocPrinterW for a spooler job, then DrvStartDoc with its id (or `jobId` when given).
  BOOL StartDoc(const char16_t* document = u"Label", DWORD jobId = 0) {
    WString doc = W(document);
    DOC_INFO_1W info{doc.data(), nullptr, nullptr};
    if (!spooling) {
      spoolJob = StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&info));
      spooling = spoolJob != 0;
    }
    return DrvStartDoc(so, doc.data(), jobId ? jobId : spoolJob);
  }
  BOOL EndDoc() { return DrvEndDoc(so, 0); }
  void EndSpoolJob() {
    if (spooling) EndDocPrinter(printer);
    spooling = false;
  }
  void Disable() {
    EndSpoolJob();
    if (surface) DrvDisableSurface(pdev);
    if (pdev) DrvDisablePDEV(pdev);
    if (hdev) winsim::DeleteEngineDevice(hdev);
    surface = nullptr;
    pdev = nullptr;
    hdev = nullptr;
  }
  Pdev* P() const { return reinterpret_cast<Pdev*>(pdev); }

  HANDLE printer;
  HDEV hdev = nullptr;
  DHPDEV pdev = nullptr;
  HSURF surface = nullptr;
  SURFOBJ* so = nullptr;
  GDIINFO gi{};
  DEVINFO di{};
  DWORD spoolJob = 0;
  bool spooling = false;
};

}  // namespace drvtest
