// What the user chose on the install page is what gets installed: discovery rebuilding the list meanwhile,
// a typed address beside a selected row, refused names and TCP ports, a failed run, a run that throws,
// and the sheet in the user's language.
#include <algorithm>
#include <functional>
#include <new>
#include <stdexcept>
#include <thread>

#include "installer/guard.h"
#include "tests/installer/wizard_fixture.h"
#include "winsim/devices.h"
#include "winsim/network.h"
#include "winsim/resources.h"

namespace {

class WizardChoices : public WizardFixture {
 protected:
  std::vector<std::string> PortColumn() {
    std::vector<std::string> out;
    for (const auto& row : ui::Rows(P(IDD_INSTALL), IDC_PORT_LIST)) out.push_back(WideToUtf8(row.texts.at(0)));
    return out;
  }
  int RowOf(const std::string& port) {
    const auto ports = PortColumn();
    const auto at = std::find(ports.begin(), ports.end(), port);
    return at == ports.end() ? -1 : int(at - ports.begin());
  }
  std::string SelectedPort() {
    for (const auto& row : ui::Rows(P(IDD_INSTALL), IDC_PORT_LIST))
      if (row.state & LVIS_SELECTED) return WideToUtf8(row.texts.at(0));
    return "";
  }
  // Lets virtual time pass while the sheet handles what the discovery threads send it. The receive threads
  // run in real time: each step waits (10 s at most) until they have handed every queued answer to the
  // page, so that a slow machine does not see a printer miss its pass.
  void PassTime(uint64_t ms) {
    const uint64_t until = winsim::ClockNow() + ms;
    while (winsim::ClockNow() < until) {
      TakeAnswers();
      winsim::AdvanceClock(100);
    }
    TakeAnswers();
  }
  void TakeAnswers() {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    do {
      ui::Settle(sheet);
      if (winsim::QueuedDatagrams() == 0 && winsim::BlockedReceives() >= winsim::OpenSockets()) break;
      std::this_thread::yield();
    } while (std::chrono::steady_clock::now() < end);
    ui::Settle(sheet);
  }
  // Next runs the install; its one printer is on a new standard TCP/IP port of that name and address.
  void NextInstallsOnANewPort(const std::string& port, const std::string& host, DWORD number) {
    ui::QueueProcess();  // the printer's properties
    ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
    ASSERT_TRUE(WaitForLog("Installation complete."));
    EXPECT_NE(ResultLog().find("Add port: " + port + ", " + host + " ...OK\r\n"), std::string::npos) << ResultLog();
    const auto printers = winsim::Printers();
    ASSERT_EQ(printers.size(), 1u);
    EXPECT_EQ(WideToUtf8(printers[0].port), port);
    const auto ports = winsim::TcpIpPorts();
    ASSERT_EQ(ports.size(), 1u);
    EXPECT_EQ(WideToUtf8(ports[0].name), port);
    EXPECT_EQ(WideToUtf8(ports[0].hostAddress), host);
    EXPECT_EQ(ports[0].portNumber, number);
  }
  // Others, FILE: and Next (answering the question "Print to File" raises); returns when the run ended.
  void InstallOnFilePort() {
    HWND page = P(IDD_INSTALL);
    ASSERT_TRUE(ui::Click(page, IDC_PORT_OTHERS));
    ASSERT_TRUE(ui::SelectRow(page, IDC_PORT_LIST, RowOf("FILE:")));
    ui::QueueMessageBox(IDOK);
    ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
    ASSERT_TRUE(WaitForLog("Installation complete."));
  }
  // The wizard with a network printer at 192.0.2.50 that answers discovery, once its row is listed.
  void OpenWithNetworkPrinter() {
    winsim::AddNetworkAdapter({});
    winsim::AddNetworkPrinter("192.0.2.50", "TW-JA");
    Open();
    ASSERT_TRUE(Listed("192.0.2.50"));
  }
  // Whether the port's row gets listed within a minute of virtual time: the discovery threads start and
  // wait in real time, so a slow machine may need a later pass than the test asked for.
  bool Listed(const std::string& port) {
    const uint64_t until = winsim::ClockNow() + 60000;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (RowOf(port) < 0 && winsim::ClockNow() < until && std::chrono::steady_clock::now() < end) {
      TakeAnswers();
      if (RowOf(port) < 0) winsim::AdvanceClock(100);
    }
    return RowOf(port) >= 0;
  }
};

TEST_F(WizardChoices, ARebuiltListKeepsThePortModelAndNameTheUserChose) {
  OpenWithNetworkPrinter();
  HWND page = P(IDD_INSTALL);
  ASSERT_TRUE(ui::Click(page, IDC_PORT_OTHERS));
  ASSERT_TRUE(ui::SelectRow(page, IDC_PORT_LIST, RowOf("FILE:")));
  ASSERT_TRUE(ui::SelectText(page, IDC_MODEL_LIST, u"Tarnwell TW-JB"));
  ASSERT_TRUE(ui::Type(page, IDC_PRINTER_NAME, u"Warehouse"));
  // Another printer answers a later discovery pass: the list is rebuilt while the user is on the page.
  winsim::AddNetworkPrinter("192.0.2.51", "TW-JB");
  PassTime(40000);
  ASSERT_TRUE(Listed("192.0.2.51")) << "the list was rebuilt";
  EXPECT_EQ(SelectedPort(), "FILE:");
  EXPECT_EQ(WideToUtf8(ui::Text(page, IDC_MODEL_LIST)), "Tarnwell TW-JB");
  EXPECT_EQ(WideToUtf8(ui::Text(page, IDC_PRINTER_NAME)), "Warehouse");

  ui::QueueMessageBox(IDOK);  // "Print to File" names no model
  ui::QueueProcess();
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
  ASSERT_TRUE(WaitForLog("Installation complete."));
  EXPECT_EQ(ResultLog(),
            "Installing, please wait a moment....\r\n"
            "Installing the printer driver: Warehouse, at port: FILE:.\r\n"
            "The printer driver is installed successfully\r\n"
            "Installation complete.");
  const auto printers = winsim::Printers();
  ASSERT_EQ(printers.size(), 1u);
  EXPECT_EQ(printers[0].name, u"Warehouse");
  EXPECT_EQ(printers[0].driver, u"Tarnwell TW-JB");
  EXPECT_EQ(printers[0].port, u"FILE:");
  EXPECT_TRUE(winsim::TcpIpPorts().empty()) << "no port made that the install does not use";
}

TEST_F(WizardChoices, ARediscoveryPassThatFindsTheSamePrintersChangesNothing) {
  OpenWithNetworkPrinter();
  HWND page = P(IDD_INSTALL);
  ASSERT_TRUE(ui::Click(page, IDC_PORT_NET));
  ASSERT_TRUE(ui::SelectRow(page, IDC_PORT_LIST, RowOf("192.0.2.50")));
  ASSERT_TRUE(ui::Type(page, IDC_PRINTER_NAME, u"Dock 4"));
  PassTime(65000);  // two passes of 31 s
  EXPECT_EQ(SelectedPort(), "192.0.2.50");
  EXPECT_EQ(WideToUtf8(ui::Text(page, IDC_PRINTER_NAME)), "Dock 4");
  PortLists& lists = w->lists;
  PortListsLock lock(&lists);
  EXPECT_EQ(CountPortList(lists.Network), 1u) << "never emptied between passes";
}

TEST_F(WizardChoices, APrinterThatStopsAnsweringTakesNoOtherRowsPlace) {
  OpenWithNetworkPrinter();
  auto second = winsim::AddNetworkPrinter("192.0.2.51", "TW-JB");
  HWND page = P(IDD_INSTALL);
  ASSERT_TRUE(ui::Click(page, IDC_PORT_OTHERS));
  ASSERT_TRUE(Listed("192.0.2.51"));
  ASSERT_TRUE(ui::SelectRow(page, IDC_PORT_LIST, RowOf("192.0.2.51")));
  // The chosen printer misses a pass (switched off, or its answer lost): its row goes, and no other row
  // becomes the choice behind the user's back.
  second->present = false;
  PassTime(40000);
  ASSERT_EQ(RowOf("192.0.2.51"), -1);
  ASSERT_GE(RowOf("192.0.2.50"), 0);
  EXPECT_EQ(SelectedPort(), "");
  EXPECT_EQ(Buttons(), "back") << "nothing to install until the user chooses again";
  EXPECT_FALSE(ui::Press(sheet, ui::Button::Next));
  EXPECT_EQ(Current(), IDD_INSTALL);
  EXPECT_TRUE(winsim::Printers().empty());
  // Choosing a row again is what gets installed.
  ASSERT_TRUE(ui::SelectRow(page, IDC_PORT_LIST, RowOf("192.0.2.50")));
  EXPECT_EQ(Buttons(), "back next");
}

TEST_F(WizardChoices, AnAddressTypedBeforeAPrinterAnswersIsTheOneInstalled) {
  winsim::AddNetworkAdapter({});
  Open();
  HWND page = P(IDD_INSTALL);
  ASSERT_TRUE(ui::Click(page, IDC_PORT_NET));
  ASSERT_TRUE(ui::SetIpAddress(page, IDC_IP_ADDRESS, u"192.0.2.77"));
  ASSERT_TRUE(ui::Type(page, IDC_TCP_PORT, u"9101"));
  // A printer answers a later discovery pass while the user is still on the page.
  winsim::AddNetworkPrinter("192.0.2.50", "TW-JA");
  PassTime(5000);
  ASSERT_TRUE(Listed("192.0.2.50")) << "the list was rebuilt";
  EXPECT_EQ(WideToUtf8(ui::Text(page, IDC_IP_ADDRESS)), "192.0.2.77");
  EXPECT_EQ(WideToUtf8(ui::Text(page, IDC_TCP_PORT)), "9101");
  EXPECT_EQ(SelectedPort(), "") << "the user chose an address, not the printer that answered";

  NextInstallsOnANewPort("192.0.2.77_9101", "192.0.2.77", 9101);

  // Choosing the printer's row afterwards shows its address again.
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Back));
  ASSERT_TRUE(ui::SelectRow(page, IDC_PORT_LIST, RowOf("192.0.2.50")));
  EXPECT_EQ(WideToUtf8(ui::Text(page, IDC_IP_ADDRESS)), "192.0.2.50");
  EXPECT_EQ(WideToUtf8(ui::Text(page, IDC_TCP_PORT)), "9100");
}

TEST_F(WizardChoices, ATypedAddressGetsAPortNamedForItWhateverRowIsSelected) {
  auto usb = std::make_shared<winsim::UsbPrinterDevice>();
  usb->deviceId = "MFG:Tarnwell;CMD:TWL;MDL:TW-JA;";
  usb->portDescription = u"TarnwellTW-JA";
  ASSERT_TRUE(winsim::AttachUsbPrinter(usb));
  Open();
  HWND page = P(IDD_INSTALL);
  ASSERT_TRUE(ui::Click(page, IDC_PORT_NET));
  ASSERT_EQ(SelectedPort(), "USB001") << "a USB printer's row is listed and selected under every type";
  ASSERT_TRUE(ui::SetIpAddress(page, IDC_IP_ADDRESS, u"192.0.2.77"));
  NextInstallsOnANewPort("192.0.2.77_9100", "192.0.2.77", 9100);
}

TEST_F(WizardChoices, NextRefusesANameOrTcpPortWindowsWouldNotTake) {
  Open();
  HWND page = P(IDD_INSTALL);
  ASSERT_TRUE(ui::Click(page, IDC_PORT_OTHERS));
  ASSERT_TRUE(ui::SelectRow(page, IDC_PORT_LIST, RowOf("FILE:")));
  for (const char16_t* name : {u"", u"Left,Right", u"Shelf\\1"}) {
    ASSERT_TRUE(ui::Type(page, IDC_PRINTER_NAME, name));
    ui::QueueMessageBox(IDOK);
    ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
    EXPECT_EQ(Current(), IDD_INSTALL) << WideToUtf8(std::u16string(name));
  }
  ASSERT_TRUE(ui::Type(page, IDC_PRINTER_NAME, u"Labels"));
  ASSERT_TRUE(ui::Click(page, IDC_PORT_NET));
  ASSERT_TRUE(ui::SetIpAddress(page, IDC_IP_ADDRESS, u"192.0.2.10"));
  for (const char16_t* port : {u"0", u"65536", u""}) {
    ASSERT_TRUE(ui::Type(page, IDC_TCP_PORT, port));
    ui::QueueMessageBox(IDOK);
    ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
    EXPECT_EQ(Current(), IDD_INSTALL) << WideToUtf8(std::u16string(port));
  }
  const auto boxes = ui::MessageBoxes();
  ASSERT_EQ(boxes.size(), 6u);
  for (int i = 0; i < 3; ++i)
    EXPECT_EQ(WideToUtf8(boxes[i].text),
              "Please give a printer name of at most 220 characters without \",\" and \"\\\".");
  for (int i = 3; i < 6; ++i) EXPECT_EQ(WideToUtf8(boxes[i].text), "Please input a TCP port from 1 to 65535.");
  EXPECT_TRUE(winsim::Printers().empty());
  EXPECT_TRUE(winsim::XcvCommands().empty());
}

TEST_F(WizardChoices, AFailedInstallEndsWithTheReasonAndNoPropertiesDialog) {
  AddForeignDriver(u"Other", u"o.dll", u"o.dat", u"oui.dll");
  ASSERT_TRUE(winsim::AddPrinter({.name = u"Tarnwell TW-KA_", .port = u"LPT1:", .driver = u"Other"}));
  Open();
  ASSERT_NO_FATAL_FAILURE(InstallOnFilePort());
  EXPECT_EQ(ResultLog(),
            "Installing, please wait a moment....\r\n"
            "Installing the printer driver: Tarnwell TW-KA_, at port: FILE:.\r\n"
            "Failed to install the printer driver.\r\n"
            "Error 1802: The printer already exists.\r\n"
            "Installation complete.");
  EXPECT_TRUE(w->runFailed);
  EXPECT_TRUE(ui::Processes().empty());
  EXPECT_EQ(Buttons(), "back finish");
}

TEST_F(WizardChoices, ARunThatThrowsStillEndsAndSaysItFailed) {
  struct Case {
    const char* what;
    std::function<bool(const WCHAR*, WCHAR*, size_t)> hook;
    const char* reason;
    const char* debug;
  };
  const Case cases[] = {
      {"out of memory", [](const WCHAR*, WCHAR*, size_t) -> bool { throw std::bad_alloc(); },
       "Error 8: Not enough memory resources are available to process this command.\r\n", "InstallRun: out of memory."},
      {"another exception", [](const WCHAR*, WCHAR*, size_t) -> bool { throw std::runtime_error("x"); },
       "Error 1359: An internal error occurred.\r\n", "WorkThread: unexpected exception."},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Open();
    // A hook of the engine throws in the middle of the run, after calls that failed and set the last error.
    w->engine.host.usbHardwareId = c.hook;
    ASSERT_NO_FATAL_FAILURE(InstallOnFilePort());
    EXPECT_NE(ResultLog().find(std::string("Failed to install the printer driver.\r\n") + c.reason), std::string::npos)
        << ResultLog();
    EXPECT_TRUE(w->runFailed);
    EXPECT_FALSE(w->busy);
    EXPECT_EQ(Buttons(), "back finish");
    EXPECT_TRUE(DebugHas(c.debug));
    EXPECT_TRUE(winsim::Printers().empty());
    Close();
  }
}

TEST_F(WizardChoices, TheSheetsCaptionIsInTheUsersLanguage) {
  winsim::SetUserUiLanguage(0x0419);
  Open();
  EXPECT_EQ(WideToUtf8(ui::WindowText(sheet)), "Мастер установки драйвера принтера");
  Close();
  winsim::SetUserUiLanguage(0x0412);
  Open();
  EXPECT_EQ(WideToUtf8(ui::WindowText(sheet)), "프린터 드라이버 설치 마법사");
  Close();
  winsim::SetUserUiLanguage(0x0409);
}

TEST(InstallerGuard, NoExceptionLeavesAnEntryPoint) {
  winsim::Reset();
  SetLastError(0);
  EXPECT_EQ(Guarded("Test", INT_PTR(FALSE), []() -> INT_PTR { throw std::bad_alloc(); }), FALSE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
  winsim::ClearDebugLines();
  EXPECT_EQ(Guarded("Test", DWORD(7), []() -> DWORD { throw std::runtime_error("x"); }), 7u);
  const auto lines = winsim::DebugLines();
  EXPECT_NE(std::find(lines.begin(), lines.end(), "Test: unexpected exception."), lines.end());
  EXPECT_EQ(Guarded("Test", 0, [] { return 5; }), 5);
}

}  // namespace
