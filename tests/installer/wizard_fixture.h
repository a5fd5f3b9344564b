// The wizard on the simulated machine: the package in "C:\pkg\" (EngineFixture), the program's start,
// its sheet on a UI thread driven through winsim::ui, and its end.
#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "installer/resource.h"
#include "installer/wizard.h"
#include "tests/installer/engine_fixture.h"
#include "winsim/ui.h"

namespace ui = winsim::ui;

class WizardFixture : public EngineFixture {
 protected:
  void TearDown() override {
    Close();
    EngineFixture::TearDown();
  }

  void Open() {
    w = std::make_unique<Wizard>();
    WizardStart(w.get(), TEXT("C:\\pkg\\"));
    thread = std::make_unique<ui::UiThread>([this] { return intptr_t(WizardRun(w.get())); });
    sheet = ui::FindSheet();
    ASSERT_NE(sheet, nullptr);
  }

  // Cancel (answering nothing) and program end; the sheet's result.
  intptr_t Close() {
    if (!thread) return 0;
    if (!thread->Done()) ui::Press(sheet, ui::Button::Cancel);
    intptr_t result = thread->Join();
    thread.reset();
    WizardEnd(w.get());
    w.reset();
    return result;
  }

  WORD Current() {
    HWND page = ui::CurrentPage(sheet);
    for (WORD id : ui::PageIds(sheet))
      if (ui::Page(sheet, id) == page) return id;
    return 0;
  }
  HWND P(WORD id) { return ui::Page(sheet, id); }

  // The wizard buttons as shown: "back", "next", "finish" (enabled) and "finish-off" (shown, disabled).
  std::string Buttons() {
    std::string s;
    auto add = [&s](const char* t) { s += s.empty() ? t : std::string(" ") + t; };
    if (ui::Enabled(sheet, 0x3023)) add("back");
    if (ui::Visible(sheet, 0x3024) && ui::Enabled(sheet, 0x3024)) add("next");
    if (ui::Visible(sheet, 0x3025)) add(ui::Enabled(sheet, 0x3025) ? "finish" : "finish-off");
    return s;
  }

  std::string ResultLog() { return WideToUtf8(ui::Text(P(IDD_RESULT), IDC_RESULT_LOG)); }

  // Moves the clock until the result log has `text` (the run's waits pass on the virtual clock).
  bool WaitForLog(const std::string& text) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < end) {
      ui::Settle(sheet);
      if (ResultLog().find(text) != std::string::npos) return true;
      if (winsim::ThreadsWaitingOnClock()) winsim::AdvanceClock(100);
      else std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return false;
  }

  static std::vector<std::string> PrinterNames() {
    std::vector<std::string> names;
    for (const auto& p : winsim::Printers()) names.push_back(WideToUtf8(p.name));
    return names;
  }

  // A printer of the package, installed by the engine before the wizard starts.
  void PackagePrinter(const WCHAR* name, const WCHAR* port = TEXT("FILE:")) {
    InstallRecord r = Record(TEXT("Tarnwell TW-KB_"), name, port);
    ASSERT_TRUE(Install(r));
    ClearLog();
  }

  std::unique_ptr<Wizard> w;
  std::unique_ptr<ui::UiThread> thread;
  HWND sheet = nullptr;
};
