// The device sheet's "Printer Settings" page on winsim: a printer whose driver names lblmon, optionally
// with the simulated TWL printer on its USB port, the device sheet opened through compstui on a UI
// thread, and the virtual clock for the page's timer and the firmware waits.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "ui/firmware.h"
#include "ui/printertools.h"
#include "ui/sheets.h"
#include "ui_fixture.h"
#include "winsim/clock.h"
#include "winsim/monitorhost.h"
#include "winsim/twlprinter.h"
#include "winsim/ui.h"

namespace uitest {

namespace ui = winsim::ui;

inline const std::u16string kTwlPrinter = u"Tarnwell TW-T4";

class ToolsTest : public UiTest {
 protected:
  std::shared_ptr<winsim::TwlPrinterDevice> twl;
  std::u16string printerName = kTwlPrinter;
  std::unique_ptr<ui::UiThread> thread;
  HWND sheet = nullptr;
  HWND page = nullptr;
  DEVICEPROPERTYHEADER header{};
  WString headerName;

  void TearDown() override {
    CloseSheet();
    WaitTransfers();
    if (printer) ClosePrinter(printer);
    printer = nullptr;
    ClosePorts();
  }

  // Closing a port waits for the monitor's delivery thread, which sleeps on the virtual clock.
  static void ClosePorts() {
    std::atomic<bool> done{false};
    std::thread closer([&] {
      winsim::CloseLanguageMonitorPorts();
      done = true;
    });
    while (!done) {
      winsim::AdvanceClock(50);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    closer.join();
  }

  // The driver with lblmon as its language monitor and the printer on USB001; `device`: the TWL printer
  // attached there (its device ID names TWL unless `commandSet` says otherwise).
  // `monitor` false: a plain driver whose jobs the spooler keeps.
  void InstallTools(bool device = true, const std::string& commandSet = "TWL", bool monitor = true) {
    winsim::DriverSpec d = PrepareDriver();
    if (monitor) d.monitorName = u"Tarnwell Language Monitor V6";
    winsim::AddDriver(d);
    std::string error;
    if (monitor) {
      ASSERT_TRUE(winsim::AddLanguageMonitor(d.monitorName, u"lblmon", &error)) << error;
    }
    if (device) {
      twl = std::make_shared<winsim::TwlPrinterDevice>();
      twl->deviceId = "MFG:Tarnwell;CMD:" + commandSet + ";MDL:TW-T4;CLS:PRINTER;";
      twl->SetFirmware("V1.00", 0x1111);
      ASSERT_TRUE(winsim::AttachUsbPrinter(twl));
    }
    AddPrinter(printerName);
    printer = Open(printerName, PRINTER_ALL_ACCESS);
    ASSERT_NE(printer, nullptr);
    winsim::UseVirtualClock();
  }

  // A fresh machine for the next case of a table.
  void ReinstallTools(bool device = true) {
    CloseSheet();
    WaitTransfers();
    if (printer) ClosePrinter(printer);
    printer = nullptr;
    twl.reset();
    ClosePorts();
    winsim::Reset();
    InstallTools(device);
  }

  void OpenSheet() {
    headerName = ToWString(printerName.c_str());
    header = DEVICEPROPERTYHEADER{sizeof(DEVICEPROPERTYHEADER), 0, printer, headerName.data()};
    thread = std::make_unique<ui::UiThread>([this] {
      DWORD result = 0;
      return intptr_t(CommonPropertySheetUIW(nullptr, DrvDevicePropertySheets, reinterpret_cast<LPARAM>(&header), &result));
    });
    sheet = ui::FindSheet();
    ASSERT_NE(sheet, nullptr);
    page = ui::Page(sheet, kPrinterToolsTemplate);
    ASSERT_NE(page, nullptr);
    ui::Settle(page);  // the start command the page posts to itself
  }

  void CloseSheet(ui::Button b = ui::Button::Cancel) {
    if (!thread) return;
    ui::Press(sheet, b);
    thread->Join();
    thread.reset();
    sheet = page = nullptr;
  }

  // Moves the virtual clock until no transfer thread is left (at most `maxMs` of virtual time), then lets
  // the page take what the thread posted.
  // The clock moves in steps of 50 ms while transfers run, up to maxMs; a loaded machine may keep the
  // transfer thread from running while other threads wait on the clock, so it also gets 5 s of real
  // time before it counts as hung.
  bool WaitTransfers(DWORD maxMs = 30000) {
    const auto realEnd = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    for (DWORD t = 0; FirmwareTransfersRunning() > 0 && (t < maxMs || std::chrono::steady_clock::now() < realEnd);
         t += 50) {
      // Give the thread the moment to reach its next wait before the clock moves past it.
      for (int i = 0; i < 200 && FirmwareTransfersRunning() > 0 && winsim::ThreadsWaitingOnClock() == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      winsim::AdvanceClock(50);
    }
    if (page) ui::Settle(page);
    return FirmwareTransfersRunning() == 0;
  }

  std::u16string Status() { return ui::Text(page, kToolsStatus); }

  // A firmware file on C: for the printer.
  static std::u16string FirmwareFile(const std::u16string& path, const std::string& model = "Tarnwell TW-T4",
                                     const std::string& version = "V2.00", size_t body = 20000) {
    auto bytes = winsim::TwlPrinterDevice::MakeFirmwareFile(model, version, body);
    winsim::WriteHostFile(path, bytes.data(), bytes.size());
    return path;
  }
  static std::u16string Hex(uint16_t v) {
    char text[16];
    snprintf(text, sizeof text, "0x%02x", unsigned(v));
    return std::u16string(text, text + strlen(text));
  }
};

}  // namespace uitest
