// Whole runs through the wizard's pages: install, uninstall and upgrade with the result log, the busy
// result page refusing Cancel, and the program's resources.
#include "installer/strings.h"
#include "tests/installer/wizard_fixture.h"

namespace {

class WizardRuns : public WizardFixture {};

TEST_F(WizardRuns, InstallOnAFilePortLogsEachStepAndFinishes) {
  Open();
  HWND page = P(IDD_INSTALL);
  ASSERT_TRUE(ui::Click(page, IDC_PORT_OTHERS));
  ASSERT_TRUE(ui::SelectRow(page, IDC_PORT_LIST, 0));
  ASSERT_TRUE(ui::Select(page, IDC_MODEL_LIST, 1));
  ASSERT_TRUE(ui::Type(page, IDC_PRINTER_NAME, u"Labels"));
  // "Print to File" names no model of the package: the question, answered OK.
  ui::QueueMessageBox(IDOK);
  ui::QueueProcess();  // the printer's properties
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
  ASSERT_EQ(Current(), IDD_RESULT);
  ASSERT_EQ(ui::MessageBoxes().size(), 1u);
  EXPECT_EQ(WideToUtf8(ui::MessageBoxes()[0].text),
            "The printer connected is not supported by this driver. Do you want to continue?");
  ASSERT_TRUE(WaitForLog("Installation complete."));
  EXPECT_EQ(ResultLog(),
            "Installing, please wait a moment....\r\n"
            "Installing the printer driver: Labels, at port: FILE:.\r\n"
            "The printer driver is installed successfully\r\n"
            "Installation complete.");
  EXPECT_EQ(Buttons(), "back finish");
  ASSERT_EQ(PrinterNames(), std::vector<std::string>{"Labels"});
  EXPECT_EQ(WideToUtf8(winsim::Printers()[0].driver), "Tarnwell TW-KB_");
  EXPECT_EQ(WideToUtf8(winsim::DefaultPrinter()), "Labels");
  const auto started = ui::Processes();
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(WideToUtf8(started[0].commandLine), "rundll32.exe printui.dll,PrintUIEntryDPIAware /p /n \"Labels\"");

  // Back to the install page and forward again: a second run with the same record.
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Back));
  EXPECT_EQ(Current(), IDD_INSTALL);
  ui::QueueMessageBox(IDCANCEL);
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
  EXPECT_EQ(Current(), IDD_INSTALL) << "Cancel stays";
  ui::QueueMessageBox(IDOK);
  ui::QueueProcess();
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
  ASSERT_TRUE(WaitForLog("Installation complete."));
  EXPECT_EQ(ResultLog().rfind("Installing, please wait", 0), 0u) << "the log starts afresh";
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Finish));
  EXPECT_TRUE(ui::WaitClosed(sheet));
  EXPECT_EQ(Close(), 1);
  EXPECT_TRUE(ui::Unexpected().empty());
}

TEST_F(WizardRuns, UninstallRemovesTheSelectedPrintersAndRefusesCancelWhileBusy) {
  PackagePrinter(TEXT("Shipping"));
  PackagePrinter(TEXT("Returns"));
  Open();
  ASSERT_TRUE(ui::Click(P(IDD_MODE), IDC_UNINSTALL_MODE));
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
  HWND page = P(IDD_UNINSTALL);
  const auto rows = ui::Rows(page, IDC_PORT_LIST);
  ASSERT_EQ(rows.size(), 2u);
  int shipping = WideToUtf8(rows[0].texts[0]) == "Shipping" ? 0 : 1;
  ASSERT_TRUE(ui::SelectRow(page, IDC_PORT_LIST, shipping));
  ASSERT_TRUE(ui::Click(page, IDC_REMOVE_DRIVER));  // keep the driver: the other printer uses it
  ui::QueueMessageBox(IDOK);                         // "disconnect the printer" before the run
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
  ASSERT_EQ(Current(), IDD_RESULT);
  ASSERT_EQ(w->state.recordCount, 1u);
  EXPECT_EQ(WideToUtf8(w->state.records[0].printerName), "Shipping");
  EXPECT_EQ(WideToUtf8(w->state.records[0].model), "Tarnwell TW-KB_");
  EXPECT_EQ(WideToUtf8(w->state.records[0].portName), "FILE:");

  // The run waits on the clock after deleting the printer: Cancel is refused meanwhile.
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!winsim::ThreadsWaitingOnClock() && std::chrono::steady_clock::now() < end) ui::Settle(sheet);
  ASSERT_TRUE(w->busy);
  EXPECT_EQ(Buttons(), "finish-off");
  ui::Press(sheet, ui::Button::Cancel);
  EXPECT_FALSE(thread->Done());
  EXPECT_EQ(Current(), IDD_RESULT);

  ASSERT_TRUE(WaitForLog("Uninstallation complete."));
  EXPECT_EQ(ResultLog(),
            "Uninstalling, please wait a moment....\r\n"
            "Remove printer: Shipping ...OK\r\n"
            "Uninstallation complete.");
  EXPECT_EQ(Buttons(), "back finish");
  ASSERT_EQ(PrinterNames(), std::vector<std::string>{"Returns"});
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Back));
  EXPECT_EQ(Current(), IDD_UNINSTALL);
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Cancel));
  EXPECT_EQ(Close(), 0);
}

TEST_F(WizardRuns, UpgradeReinstallsTheTickedDriversAndOffersFinish) {
  PackagePrinter(TEXT("Shipping"));
  // The driver as an older release installed it.
  for (auto d : winsim::Drivers()) {
    d.driverVersion = (uint64_t(2023) << 48) | (uint64_t(11) << 32) | (uint64_t(20) << 16) | 3u;
    winsim::AddDriver(d);
  }
  Open();
  ASSERT_TRUE(ui::Click(P(IDD_MODE), IDC_UPGRADE_MODE));
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
  HWND page = P(IDD_UPGRADE);
  EXPECT_EQ(ui::Columns(page, IDC_UPGRADE_LIST),
            (std::vector<std::u16string>{u"Printer Name", u"Printer Model", u"Version", u"Port"}));
  auto rows = ui::Rows(page, IDC_UPGRADE_LIST);
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(WideToUtf8(rows[0].texts[0]), "Shipping");
  EXPECT_EQ(WideToUtf8(rows[0].texts[1]), "Tarnwell TW-KB_");
  EXPECT_EQ(WideToUtf8(rows[0].texts[2]), "2023.11.20.3");
  EXPECT_EQ(WideToUtf8(rows[0].texts[3]), "FILE:");
  EXPECT_TRUE(rows[0].checked) << "older than the package";
  EXPECT_EQ(Buttons(), "back next");
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
  EXPECT_EQ(Current(), IDD_UPGRADE) << "the upgrade stays on its page";
  EXPECT_EQ(WideToUtf8(ui::Text(page, IDC_UPGRADE_STATUS)), "The printer driver is successfully upgraded.");
  EXPECT_EQ(Buttons(), "back finish");
  rows = ui::Rows(page, IDC_UPGRADE_LIST);
  EXPECT_EQ(WideToUtf8(rows.at(0).texts[2]), "2024.2.4.1");
  EXPECT_FALSE(rows.at(0).checked);
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Finish));
  EXPECT_EQ(Close(), 1);
}

TEST_F(WizardRuns, AFailedUpgradeStaysOnItsPageAndCountsAsAFailedRun) {
  PackagePrinter(TEXT("Shipping"));
  for (auto d : winsim::Drivers()) {
    d.driverVersion = (uint64_t(2023) << 48) | 1u;
    winsim::AddDriver(d);
  }
  ASSERT_TRUE(DeleteFileW(TEXT("C:\\pkg\\lblv6.inf")));  // the upload cannot succeed
  Open();
  ASSERT_TRUE(ui::Click(P(IDD_MODE), IDC_UPGRADE_MODE));
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
  HWND page = P(IDD_UPGRADE);
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
  EXPECT_EQ(WideToUtf8(ui::Text(page, IDC_UPGRADE_STATUS)), "Failed to upgrade the printer driver.");
  EXPECT_TRUE(w->runFailed) << "a caller must be able to tell a failed upgrade from a done one";
  EXPECT_EQ(Buttons(), "back next");
  EXPECT_TRUE(ui::Rows(page, IDC_UPGRADE_LIST).at(0).checked);
}

TEST(WizardResources, EveryStringPageAndTheIconAreInTheProgram) {
  for (UINT id = IDS_MODE_TITLE; id <= IDS_INPUT_IP; ++id) EXPECT_NE(InstallerString(id)[0], 0) << id;
  EXPECT_EQ(WideToUtf8(InstallerString(IDS_INSTALLING)), "Installing the printer driver: %ws, at port: %ws.\r\n");
  EXPECT_EQ(InstallerString(999)[0], 0);
  HMODULE m = InstallerModule();
  for (WORD d : {IDD_AGREEMENT, IDD_MODE, IDD_INSTALL, IDD_UPGRADE, IDD_UNINSTALL, IDD_RESULT})
    EXPECT_NE(FindResourceW(m, MAKEINTRESOURCEW(d), MAKEINTRESOURCEW(5)), nullptr) << d;  // RT_DIALOG
  EXPECT_NE(LoadIconW(m, MAKEINTRESOURCEW(IDI_LBLINST32)), nullptr) << "the icon the sheet asks for";
  EXPECT_NE(FindResourceW(m, MAKEINTRESOURCEW(IDR_LICENCE), MAKEINTRESOURCEW(10)), nullptr);
}

}  // namespace
