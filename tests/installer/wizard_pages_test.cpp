// The wizard's pages on the simulated machine: start page, transitions and buttons, the install page's
// port list, address fields and refusals, the uninstall list.
#include <algorithm>

#include "tests/installer/wizard_fixture.h"
#include "winsim/devices.h"
#include "winsim/network.h"

namespace {

class WizardPages : public WizardFixture {
 protected:
  std::vector<std::string> PortColumn(WORD page = IDD_INSTALL) {
    std::vector<std::string> out;
    for (const auto& row : ui::Rows(P(page), IDC_PORT_LIST)) out.push_back(WideToUtf8(row.texts.at(0)));
    return out;
  }
  static bool Has(const std::vector<std::string>& v, const std::string& s) {
    return std::find(v.begin(), v.end(), s) != v.end();
  }
};

TEST_F(WizardPages, WithoutAPackagePrinterOpensOnInstallAndBackLeadsToTheModePage) {
  Open();
  EXPECT_EQ(Current(), IDD_INSTALL);
  EXPECT_EQ(WideToUtf8(ui::WindowText(sheet)), "Printer Driver Installation Wizard");
  EXPECT_EQ(ui::PageIds(sheet), (std::vector<WORD>{134, 129, 131, 136, 132, 135}));
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Back));
  EXPECT_EQ(Current(), IDD_MODE) << "the agreement page was never shown, so its flag is clear";
  EXPECT_EQ(Buttons(), "back next");
  EXPECT_EQ(ui::Checked(P(IDD_MODE), IDC_INSTALL_MODE), UINT(BST_CHECKED));

  // Mode page Back: the agreement, which asks for acceptance before Next.
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Back));
  EXPECT_EQ(Current(), IDD_AGREEMENT);
  EXPECT_EQ(Buttons(), "");
  EXPECT_EQ(ui::Checked(P(IDD_AGREEMENT), IDC_DISAGREE), UINT(BST_CHECKED));
  EXPECT_NE(WideToUtf8(ui::Text(P(IDD_AGREEMENT), IDC_AGREEMENT_TEXT)).find("LICENCE"), std::string::npos);
  ASSERT_TRUE(ui::Click(P(IDD_AGREEMENT), IDC_ACCEPT));
  EXPECT_EQ(Buttons(), "next");
  ASSERT_TRUE(ui::Click(P(IDD_AGREEMENT), IDC_DISAGREE));
  EXPECT_EQ(Buttons(), "");
  ASSERT_TRUE(ui::Click(P(IDD_AGREEMENT), IDC_ACCEPT));
  // Shown now, the agreement knows there is no package printer: Next and the install page's Back skip the
  // mode page.
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
  EXPECT_EQ(Current(), IDD_INSTALL);
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Back));
  EXPECT_EQ(Current(), IDD_AGREEMENT);
}

TEST_F(WizardPages, WithAPackagePrinterOpensOnTheModePageWhichChoosesTheNextPage) {
  PackagePrinter(TEXT("Shipping"));
  Open();
  EXPECT_EQ(Current(), IDD_MODE);
  struct Step {
    int button;
    WORD page;
  };
  for (Step s : {Step{IDC_UPGRADE_MODE, IDD_UPGRADE}, Step{IDC_UNINSTALL_MODE, IDD_UNINSTALL},
                 Step{IDC_INSTALL_MODE, IDD_INSTALL}}) {
    ASSERT_TRUE(ui::Click(P(IDD_MODE), s.button));
    ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
    EXPECT_EQ(Current(), s.page);
    EXPECT_EQ(Buttons(), s.page == IDD_INSTALL ? "back" : "back next") << s.page;
    ASSERT_TRUE(ui::Press(sheet, ui::Button::Back));
    EXPECT_EQ(Current(), IDD_MODE) << "Back from " << s.page;
  }
  // Back from the mode page, then the agreement's Next: a package printer exists, so the mode page.
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Back));
  ASSERT_TRUE(ui::Click(P(IDD_AGREEMENT), IDC_ACCEPT));
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
  EXPECT_EQ(Current(), IDD_MODE);
}

TEST_F(WizardPages, InstallPageStartsWithModelNameDefaultAndHiddenAddress) {
  Open();
  HWND page = P(IDD_INSTALL);
  EXPECT_EQ(ui::Columns(page, IDC_PORT_LIST), (std::vector<std::u16string>{u"Port", u"Description", u""}));
  const auto models = ui::Items(page, IDC_MODEL_LIST);
  ASSERT_EQ(models.size(), 7u);
  EXPECT_EQ(WideToUtf8(models[0]), "Tarnwell TW-KA_");
  EXPECT_EQ(WideToUtf8(models[6]), "Tarnwell TW-JB");
  EXPECT_EQ(WideToUtf8(ui::Text(page, IDC_PRINTER_NAME)), "Tarnwell TW-KA_");
  EXPECT_EQ(ui::Checked(page, IDC_SET_DEFAULT), UINT(BST_CHECKED));
  EXPECT_EQ(WideToUtf8(ui::Text(page, IDC_TCP_PORT)), "9100");
  EXPECT_FALSE(ui::Visible(page, IDC_IP_ADDRESS));
  EXPECT_FALSE(ui::Enabled(page, IDC_PORT_SETTINGS));
  // No printer known: "USB" chosen, the hint shown, no USB port, so no row and only Back.
  EXPECT_EQ(ui::Checked(page, IDC_PORT_USB), UINT(BST_CHECKED));
  EXPECT_TRUE(ui::Visible(page, IDC_CONNECT_HINT));
  EXPECT_EQ(Buttons(), "back");

  ASSERT_TRUE(ui::Select(page, IDC_MODEL_LIST, 5));
  EXPECT_EQ(WideToUtf8(ui::Text(page, IDC_PRINTER_NAME)), "Tarnwell TW-JA");
  ASSERT_TRUE(ui::Click(page, IDC_PORT_NET));
  for (int id : {IDC_IP_LABEL, IDC_IP_ADDRESS, IDC_TCP_LABEL, IDC_TCP_PORT}) EXPECT_TRUE(ui::Visible(page, id)) << id;
  EXPECT_EQ(Buttons(), "back next") << "NET/Wi-Fi needs no row";
  ASSERT_TRUE(ui::Click(page, IDC_PORT_LPT));
  EXPECT_FALSE(ui::Visible(page, IDC_IP_ADDRESS));
  EXPECT_EQ(PortColumn(), (std::vector<std::string>{"LPT1:", "LPT2:", "LPT3:"}));
  EXPECT_EQ(Buttons(), "back") << "no row chosen yet";
  ASSERT_TRUE(ui::SelectRow(page, IDC_PORT_LIST, 0));
  EXPECT_FALSE(ui::Enabled(page, IDC_PORT_SETTINGS)) << "serial ports only";
  EXPECT_EQ(Buttons(), "back next");
  ASSERT_TRUE(ui::Click(page, IDC_PORT_OTHERS));
  EXPECT_TRUE(Has(PortColumn(), "FILE:"));
  EXPECT_FALSE(Has(PortColumn(), "LPT1:"));
  // The record takes the choice at Next ("Printer Port" names no model: asked, Cancel stays).
  ASSERT_TRUE(ui::Click(page, IDC_PORT_LPT));
  ASSERT_TRUE(ui::SelectRow(page, IDC_PORT_LIST, 0));
  ui::QueueMessageBox(IDCANCEL);
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
  EXPECT_EQ(Current(), IDD_INSTALL);
  EXPECT_EQ(w->state.records[0].portName[0], 0) << "a refused Next leaves the record alone";
  ui::QueueMessageBox(IDOK);
  ui::QueueProcess();
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
  EXPECT_EQ(Current(), IDD_RESULT);
  EXPECT_EQ(WideToUtf8(w->state.records[0].portName), "LPT1:");
  EXPECT_EQ(w->state.records[0].portType, kPortTypeLpt);
  EXPECT_EQ(WideToUtf8(w->state.records[0].printerName), "Tarnwell TW-JA");
  ASSERT_TRUE(WaitForLog("Installation complete."));
}

// "Port Settings" opens the serial dialog of the device the chosen COM port names (no colon); other port
// types keep it disabled.
TEST_F(WizardPages, PortSettingsOpensTheSerialDialogOfTheChosenComPort) {
  winsim::AttachSerialPort(2);
  Open();
  HWND page = P(IDD_INSTALL);
  ASSERT_TRUE(ui::Click(page, IDC_PORT_COM));
  const auto ports = PortColumn();
  const auto com2 = std::find(ports.begin(), ports.end(), "COM2:");
  ASSERT_NE(com2, ports.end()) << "serial ports are listed under COM/BT";
  EXPECT_EQ(std::count(ports.begin(), ports.end(), "COM1:"), 0) << "a serial port without hardware is left out";
  ASSERT_TRUE(ui::SelectRow(page, IDC_PORT_LIST, int(com2 - ports.begin())));
  ASSERT_TRUE(ui::Enabled(page, IDC_PORT_SETTINGS));
  for (int answer : {IDCANCEL, IDOK}) {
    ui::QueueMessageBox(answer);
    ASSERT_TRUE(ui::Click(page, IDC_PORT_SETTINGS));
    ui::Settle(sheet);
  }
  const auto boxes = ui::MessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  for (const auto& b : boxes) EXPECT_EQ(WideToUtf8(b.text), "COM2 Properties");
  EXPECT_EQ(boxes[1].answer, IDOK);
  EXPECT_EQ(Current(), IDD_INSTALL);
  EXPECT_EQ(Buttons(), "back next") << "the chosen row stays";
  ASSERT_TRUE(ui::Click(page, IDC_PORT_OTHERS));
  EXPECT_FALSE(ui::Enabled(page, IDC_PORT_SETTINGS));
}

TEST_F(WizardPages, NextRefusesWithoutAddressOrPort) {
  Open();
  HWND page = P(IDD_INSTALL);
  ASSERT_TRUE(ui::Click(page, IDC_PORT_OTHERS));
  ASSERT_EQ(Buttons(), "back");
  ASSERT_TRUE(ui::Click(page, IDC_PORT_NET));
  ui::QueueMessageBox(IDOK);
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
  EXPECT_EQ(Current(), IDD_INSTALL);
  auto boxes = ui::MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(WideToUtf8(boxes[0].text), "Please input the IP Address.");
  EXPECT_EQ(WideToUtf8(boxes[0].caption), "Prompt");
}

TEST_F(WizardPages, AddressAndPortWithoutARowNameTheNewPort) {
  Open();
  HWND page = P(IDD_INSTALL);
  ASSERT_TRUE(ui::Click(page, IDC_PORT_NET));
  ASSERT_TRUE(ui::SetIpAddress(page, IDC_IP_ADDRESS, u"192.168.1.20"));
  ui::QueueProcess();  // the printer's properties after the install
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
  EXPECT_EQ(Current(), IDD_RESULT);
  const InstallRecord& r = w->state.records[0];
  EXPECT_EQ(WideToUtf8(r.portName), "192.168.1.20_9100");
  EXPECT_EQ(WideToUtf8(r.ipAddress), "192.168.1.20");
  EXPECT_EQ(r.tcpPort, 9100u);
  EXPECT_EQ(r.portType, kPortTypeTcpIp);
  ASSERT_TRUE(WaitForLog("Installation complete."));
  const auto ports = winsim::TcpIpPorts();
  ASSERT_EQ(ports.size(), 1u);
  EXPECT_EQ(WideToUtf8(ports[0].name), "192.168.1.20_9100");
}

TEST_F(WizardPages, ADiscoveredNetworkPrinterIsListedUnderEveryPortType) {
  winsim::AddNetworkAdapter({});
  winsim::AddNetworkPrinter("192.0.2.50", "TW-JA");
  Open();
  HWND page = P(IDD_INSTALL);
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!Has(PortColumn(), "192.0.2.50") && std::chrono::steady_clock::now() < end) ui::Settle(sheet);
  ASSERT_TRUE(Has(PortColumn(), "192.0.2.50"));
  EXPECT_FALSE(ui::Visible(page, IDC_CONNECT_HINT));
  for (int id : {IDC_PORT_USB, IDC_PORT_NET, IDC_PORT_COM, IDC_PORT_LPT, IDC_PORT_OTHERS}) {
    ASSERT_TRUE(ui::Click(page, id));
    EXPECT_TRUE(Has(PortColumn(), "192.0.2.50")) << id;
    EXPECT_EQ(Buttons(), "back next") << "the printer's row ends selected";
  }
  // Its row is selected: the model it answered with, and its address in the fields.
  EXPECT_EQ(WideToUtf8(ui::Text(page, IDC_PRINTER_NAME)), "Tarnwell TW-JA");
  EXPECT_EQ(WideToUtf8(ui::Text(page, IDC_IP_ADDRESS)), "192.0.2.50");
  ui::QueueProcess();
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
  EXPECT_EQ(Current(), IDD_RESULT);
  EXPECT_EQ(WideToUtf8(w->state.records[0].portName), "192.0.2.50") << "the port named for the printer's address";
  EXPECT_EQ(WideToUtf8(w->state.records[0].ipAddress), "192.0.2.50");
  EXPECT_EQ(w->state.records[0].tcpPort, 9100u);
  EXPECT_EQ(w->state.records[0].portType, kPortTypeNet);
  ASSERT_TRUE(WaitForLog("Installation complete."));
}

TEST_F(WizardPages, AnExistingTcpIpPortFillsAddressAndPort) {
  winsim::TcpIpPort port;
  port.name = u"IP_10.0.0.7";
  port.hostAddress = u"10.0.0.7";
  port.portNumber = 9101;
  winsim::AddTcpIpPortRecord(port);
  Open();
  HWND page = P(IDD_INSTALL);
  ASSERT_TRUE(ui::Click(page, IDC_PORT_NET));
  const auto ports = PortColumn();
  ASSERT_EQ(ports, std::vector<std::string>{"IP_10.0.0.7"});
  ASSERT_TRUE(ui::SelectRow(page, IDC_PORT_LIST, 0));
  EXPECT_EQ(WideToUtf8(ui::Text(page, IDC_IP_ADDRESS)), "10.0.0.7");
  EXPECT_EQ(WideToUtf8(ui::Text(page, IDC_TCP_PORT)), "9101");
  // Next with the fields as filled: the existing port is used (and updated), no new one is made.
  ui::QueueMessageBox(IDOK);  // "Standard TCP/IP Port" names no model
  ui::QueueProcess();
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
  EXPECT_EQ(WideToUtf8(w->state.records[0].portName), "IP_10.0.0.7");
  EXPECT_EQ(w->state.records[0].tcpPort, 9101u);
  ASSERT_TRUE(WaitForLog("Installation complete."));
  EXPECT_EQ(winsim::TcpIpPorts().size(), 1u);
}

TEST(WizardIpAddress, OnlyADottedAddressOfAtMostFifteenCharactersFillsTheRecord) {
  struct Case {
    const WCHAR* port;
    const char* ip;
  };
  for (Case c : {Case{TEXT("192.168.1.20"), "192.168.1.20"}, Case{TEXT("255.255.255.255"), "255.255.255.255"},
                 Case{TEXT("1.2.3.4"), "1.2.3.4"}, Case{TEXT("IP_192.168.1.20"), ""},
                 Case{TEXT("192.168.100.200_9100"), ""}, Case{TEXT("0192.168.1.2"), ""},
                 Case{TEXT("300.1.1.1"), ""}, Case{TEXT("1.2.3"), ""}, Case{TEXT("1..2.3"), ""},
                 Case{TEXT("1.2.3.4."), ""}, Case{TEXT("printer.example.com"), ""}, Case{TEXT(""), ""}}) {
    WCHAR ip[20];
    std::fill(std::begin(ip), std::end(ip), WCHAR('x'));
    IpAddressFromPortName(c.port, ip);
    EXPECT_EQ(WideToUtf8(ip), c.ip) << WideToUtf8(c.port);
  }
}

TEST_F(WizardPages, TheUninstallListShowsEveryLocalPrinter) {
  PackagePrinter(TEXT("Shipping"));
  AddForeignDriver(u"Other Vendor Laser", u"other.dll", u"other.dat", u"otherui.dll");
  ASSERT_TRUE(winsim::AddPrinter({.name = u"Office", .port = u"FILE:", .driver = u"Other Vendor Laser"}));
  Open();
  ASSERT_TRUE(ui::Click(P(IDD_MODE), IDC_UNINSTALL_MODE));
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
  ASSERT_EQ(Current(), IDD_UNINSTALL);
  HWND page = P(IDD_UNINSTALL);
  const auto rows = ui::Rows(page, IDC_PORT_LIST);
  ASSERT_EQ(rows.size(), 2u);
  std::vector<std::string> names{WideToUtf8(rows[0].texts[0]), WideToUtf8(rows[1].texts[0])};
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"Office", "Shipping"}));
  EXPECT_EQ(ui::Checked(page, IDC_DELETE_PRINTER), UINT(BST_CHECKED));
  EXPECT_FALSE(ui::Enabled(page, IDC_DELETE_PRINTER));
  EXPECT_EQ(ui::Checked(page, IDC_DELETE_PORT), UINT(BST_CHECKED));
  EXPECT_EQ(ui::Checked(page, IDC_REMOVE_DRIVER), UINT(BST_CHECKED));
  EXPECT_EQ(ui::Checked(page, IDC_REMOVE_PACKAGE), UINT(BST_UNCHECKED));
  // Nothing selected: Next stays, without a message.
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Next));
  EXPECT_EQ(Current(), IDD_UNINSTALL);
  EXPECT_TRUE(ui::MessageBoxes().empty());
}

}  // namespace
