// The "Printer Settings" page: logging options and their change tracking, the captured jobs (list, view,
// send, delete), and which printers get the firmware section.
#include <gtest/gtest.h>

#include <future>

#include "tools_fixture.h"
#include "winsim/printpath.h"

namespace uitest {
namespace {

class PrinterTools : public ToolsTest {
 protected:
  const std::u16string folder = u"C:\\Captures";
  void Capture(const std::u16string& name, size_t size = 10) {
    std::vector<uint8_t> bytes(size, 'x');
    ASSERT_TRUE(winsim::WriteHostFile(folder + u"\\" + name, bytes.data(), bytes.size()));
  }
  void SetFolder(const std::u16string& f) {
    std::vector<uint8_t> v(520, 0);
    for (size_t i = 0; i < f.size(); ++i) v[2 * i] = uint8_t(f[i]), v[2 * i + 1] = uint8_t(f[i] >> 8);
    winsim::SetPrinterDataValue(printerName, u"LogFolder", REG_SZ, v);
  }
  DWORD StoredFlags() {
    std::vector<uint8_t> data;
    DWORD type = 0;
    if (!winsim::GetPrinterDataValue(printerName, u"PPDataFlags", &type, &data) || data.size() != 4 || type != REG_DWORD)
      return 0xFFFFFFFF;
    return DWORD(data[0] | data[1] << 8 | data[2] << 16 | uint32_t(data[3]) << 24);
  }
};

TEST_F(PrinterTools, DeviceSheetShowsThePageBeforeAbout) {
  InstallTools();
  int count = 0;
  const SheetPage* pages = DeviceSheetPages(&count);
  ASSERT_EQ(count, 2);
  EXPECT_EQ(pages[0].Template, kPrinterToolsTemplate);
  OpenSheet();
  EXPECT_EQ(ui::PageIds(sheet), (std::vector<WORD>{kPrinterToolsTemplate, 101}));
}

TEST_F(PrinterTools, StartShowsFlagsDefaultFolderAndOnlyPrtFiles) {
  InstallTools();
  winsim::SetPrinterDataValue(printerName, u"PPDataFlags", REG_DWORD, {0x0C, 0, 0, 0});
  OpenSheet();
  EXPECT_EQ(ui::Checked(page, kToolsRecordCode), UINT(BST_CHECKED));
  EXPECT_EQ(ui::Checked(page, kToolsLockSettings), UINT(BST_UNCHECKED));
  EXPECT_EQ(ui::Text(page, kToolsFolder), u"C:\\Printer Log\\" + printerName);
  EXPECT_TRUE(ui::Items(page, kToolsCaptureList).empty()) << "a folder that does not exist lists nothing";
  EXPECT_TRUE(ui::MessageBoxes().empty());
  CloseSheet();

  SetFolder(folder);
  for (auto n : {u"b.prt", u"A.PRT", u"b.prtx", u"c.prt.bak", u"d.txt"}) Capture(n);
  OpenSheet();
  EXPECT_EQ(ui::Text(page, kToolsFolder), folder);
  auto items = ui::Items(page, kToolsCaptureList);
  std::sort(items.begin(), items.end());
  EXPECT_EQ(items, (std::vector<std::u16string>{u"A.PRT", u"b.prt"}));
}

TEST_F(PrinterTools, NamesWhosePathDoesNotFitAreSkipped) {
  InstallTools(false);
  const std::u16string longName = std::u16string(246, u'n') + u".prt";
  Capture(u"short.prt");
  Capture(longName);
  WString f = ToWString(folder.c_str());
  auto names = CaptureFiles(f.c_str());
  ASSERT_EQ(names.size(), 1u);
  EXPECT_EQ(U16(names[0].c_str()), u"short.prt");
  EXPECT_EQ(DeleteCaptureFiles(f.c_str()), 1);
  EXPECT_FALSE(winsim::ReadHostFile(folder + u"\\" + longName).empty()) << "left alone";
}

TEST_F(PrinterTools, ChangeTrackingAndApply) {
  InstallTools();
  SetFolder(folder);
  OpenSheet();
  EXPECT_FALSE(ui::PageChanged(sheet, kPrinterToolsTemplate));
  ASSERT_TRUE(ui::Click(page, kToolsRecordCode));
  EXPECT_TRUE(ui::PageChanged(sheet, kPrinterToolsTemplate));
  ASSERT_TRUE(ui::Click(page, kToolsRecordCode));
  EXPECT_FALSE(ui::PageChanged(sheet, kPrinterToolsTemplate)) << "back as stored";

  // Typing a folder does not mark the page changed, but OK still saves it.
  ASSERT_TRUE(ui::Type(page, kToolsFolder, u"D:\\Other Log"));
  EXPECT_FALSE(ui::PageChanged(sheet, kPrinterToolsTemplate));
  ASSERT_TRUE(ui::Click(page, kToolsLockSettings));
  EXPECT_TRUE(ui::PageChanged(sheet, kPrinterToolsTemplate)) << "the folder differs too";
  ASSERT_TRUE(ui::Click(page, kToolsLockSettings));
  EXPECT_TRUE(ui::PageChanged(sheet, kPrinterToolsTemplate)) << "the typed folder still differs";
  CloseSheet(ui::Button::Ok);

  std::vector<uint8_t> data;
  DWORD type = 0;
  ASSERT_TRUE(winsim::GetPrinterDataValue(printerName, u"LogFolder", &type, &data));
  EXPECT_EQ(type, DWORD(REG_SZ));
  ASSERT_EQ(data.size(), 520u);
  EXPECT_EQ(U16(reinterpret_cast<const WCHAR*>(data.data())), u"D:\\Other Log");
  EXPECT_EQ(StoredFlags() & (kPropCaptureCode | kPropLockSettings), 0u);

  // Switching both on is stored as bits 0x08 and 0x10, the other bits kept.
  OpenSheet();
  EXPECT_EQ(ui::Text(page, kToolsFolder), u"D:\\Other Log");
  ASSERT_TRUE(ui::Click(page, kToolsRecordCode));
  ASSERT_TRUE(ui::Click(page, kToolsLockSettings));
  CloseSheet(ui::Button::Ok);
  EXPECT_EQ(StoredFlags(), DWORD(kPropDefaultFlags | kPropCaptureCode | kPropLockSettings));
}

// The folder is stored in a 260-character buffer: the field takes no more than that holds, so what OK
// stores is the folder the page showed, not a path cut short without a word.
TEST_F(PrinterTools, TheFolderFieldTakesWhatTheStoredValueHolds) {
  InstallTools();
  SetFolder(folder);
  OpenSheet();
  const std::u16string longFolder = u"C:\\" + std::u16string(300, u'a');
  ui::Type(page, kToolsFolder, longFolder);
  const std::u16string shown = ui::Text(page, kToolsFolder);
  EXPECT_EQ(shown, longFolder.substr(0, kLogFolderChars - 1));
  CloseSheet(ui::Button::Ok);
  std::vector<uint8_t> data;
  DWORD type = 0;
  ASSERT_TRUE(winsim::GetPrinterDataValue(printerName, u"LogFolder", &type, &data));
  ASSERT_EQ(data.size(), 520u);
  EXPECT_EQ(U16(reinterpret_cast<const WCHAR*>(data.data())), shown);
}

TEST_F(PrinterTools, ApplyThatThePrinterRefusesSaysWhyAndStaysChanged) {
  // A user without the right to administer the printer: the values cannot be written.
  winsim::DriverSpec d = PrepareDriver();
  winsim::AddDriver(d);
  AddPrinter(printerName, false);
  printer = Open(printerName, PRINTER_ACCESS_USE);
  ASSERT_NE(printer, nullptr);
  SetFolder(folder);
  OpenSheet();
  ASSERT_TRUE(ui::Click(page, kToolsRecordCode));
  ui::QueueMessageBox(IDOK);
  ui::Press(sheet, ui::Button::Ok);
  ASSERT_EQ(ui::MessageBoxes().size(), 1u);
  EXPECT_EQ(ui::MessageBoxes()[0].text, u"The printer settings could not be saved.\r\n\r\nAccess is denied.\r\n");
  EXPECT_FALSE(thread->Done()) << "the sheet stays open";
  EXPECT_TRUE(ui::PageChanged(sheet, kPrinterToolsTemplate));
  EXPECT_EQ(StoredFlags(), 0xFFFFFFFFu) << "nothing stored";
  // Back as stored: the page knows what the printer holds.
  ASSERT_TRUE(ui::Click(page, kToolsRecordCode));
  EXPECT_FALSE(ui::PageChanged(sheet, kPrinterToolsTemplate));
  CloseSheet();
  EXPECT_EQ(ui::MessageBoxes().size(), 1u);
}

TEST_F(PrinterTools, BrowseChoosesAFolder) {
  InstallTools();
  OpenSheet();
  ui::QueueFolder(u"C:\\Chosen");
  ASSERT_TRUE(ui::Click(page, kToolsBrowseFolder));
  EXPECT_EQ(ui::Text(page, kToolsFolder), u"C:\\Chosen");
  EXPECT_FALSE(ui::PageChanged(sheet, kPrinterToolsTemplate));
  EXPECT_TRUE(ui::Unexpected().empty());
}

TEST_F(PrinterTools, ViewRunsNotepadAndDeleteTakesTheFileWithoutAsking) {
  InstallTools();
  SetFolder(folder);
  Capture(u"a.prt");
  Capture(u"b.prt");
  OpenSheet();
  ui::QueueProcess(0);
  ASSERT_TRUE(ui::SelectText(page, kToolsCaptureList, u"a.prt"));
  ASSERT_TRUE(ui::Click(page, kToolsView));
  WCHAR windows[MAX_PATH];
  ASSERT_GT(GetWindowsDirectoryW(windows, MAX_PATH), 0u);
  ASSERT_EQ(ui::Processes().size(), 1u);
  EXPECT_EQ(ui::Processes()[0].commandLine, U16(windows) + u"\\notepad.exe \"C:\\Captures\\a.prt\"");

  ASSERT_TRUE(ui::Click(page, kToolsDelete));
  EXPECT_EQ(ui::Items(page, kToolsCaptureList), std::vector<std::u16string>{u"b.prt"});
  EXPECT_TRUE(winsim::ReadHostFile(folder + u"\\a.prt").empty());
  Capture(u"c.prt");
  Capture(u"c.prt.bak");
  ASSERT_TRUE(ui::Click(page, kToolsDeleteAll));
  EXPECT_TRUE(ui::Items(page, kToolsCaptureList).empty());
  EXPECT_FALSE(winsim::ReadHostFile(folder + u"\\c.prt.bak").empty());
  EXPECT_TRUE(ui::MessageBoxes().empty());

  // The list is refilled when the page becomes active again.
  Capture(u"d.prt");
  ASSERT_TRUE(ui::SelectPage(sheet, 101));
  ASSERT_TRUE(ui::SelectPage(sheet, kPrinterToolsTemplate));
  EXPECT_EQ(ui::Items(page, kToolsCaptureList), std::vector<std::u16string>{u"d.prt"});
}

TEST_F(PrinterTools, ViewingAFileDoesNotHoldThePage) {
  InstallTools();
  SetFolder(folder);
  Capture(u"a.prt");
  Capture(u"b.prt");
  OpenSheet();
  ui::QueueProcess(0, true);  // Notepad stays open until the test ends it
  ASSERT_TRUE(ui::SelectText(page, kToolsCaptureList, u"a.prt"));
  auto click = std::async(std::launch::async, [this] { return ui::Click(page, kToolsView); });
  if (click.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
    ui::EndProcess(0, 0);  // let the page go so that the test can end
    click.wait();
    FAIL() << "the page waits for Notepad";
  }
  EXPECT_TRUE(click.get());
  ASSERT_EQ(ui::Processes().size(), 1u);
  // The page answers while Notepad is open.
  ASSERT_TRUE(ui::SelectText(page, kToolsCaptureList, u"b.prt"));
  ASSERT_TRUE(ui::Click(page, kToolsDelete));
  EXPECT_EQ(ui::Items(page, kToolsCaptureList), std::vector<std::u16string>{u"a.prt"});
  EXPECT_TRUE(ui::EndProcess(0, 0));
}

TEST_F(PrinterTools, SendFileRawSendsOnePagePerChunk) {
  InstallTools(false, "", false);
  Capture(u"big.prt", 204799);
  WString name = ToWString(printerName.c_str());
  WString path = ToWString(u"C:\\Captures\\big.prt");
  EXPECT_EQ(SendFileRawResult(name.c_str(), path.c_str()), UINT(IDS_TOOLS_SENT));
  auto jobs = winsim::SpoolJobs(printerName);
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].document, u"C:\\Captures\\big.prt");
  EXPECT_EQ(jobs[0].writes, (std::vector<DWORD>{204798, 1}));
  EXPECT_EQ(jobs[0].data.size(), 204799u);
  EXPECT_TRUE(jobs[0].ended);

  // Any failed write, short or refused, reports the failure, not only a refused document.
  for (auto fault : {winsim::WriteFault::Fail, winsim::WriteFault::Short}) {
    winsim::SetWritePrinterFault(fault, 1);
    EXPECT_EQ(SendFileRawResult(name.c_str(), path.c_str()), UINT(IDS_TOOLS_SEND_FAILED));
    winsim::SetWritePrinterFault(winsim::WriteFault::None);
  }
  WString missing = ToWString(u"C:\\Captures\\none.prt");
  EXPECT_EQ(SendFileRawResult(name.c_str(), missing.c_str()), UINT(IDS_TOOLS_SEND_FAILED));
  WString nobody = ToWString(u"No Such Printer");
  EXPECT_EQ(SendFileRawResult(nobody.c_str(), path.c_str()), UINT(IDS_TOOLS_SEND_FAILED));
}

TEST_F(PrinterTools, SendToPrinterShowsTheResult) {
  InstallTools(false, "", false);
  SetFolder(folder);
  Capture(u"a.prt", 100);
  OpenSheet();
  ui::QueueMessageBox(IDOK);
  ASSERT_TRUE(ui::SelectText(page, kToolsCaptureList, u"a.prt"));
  ASSERT_TRUE(ui::Click(page, kToolsSend));
  ASSERT_EQ(ui::MessageBoxes().size(), 1u);
  EXPECT_EQ(ui::MessageBoxes()[0].text, u"The file was sent to the printer.");
  EXPECT_EQ(ui::MessageBoxes()[0].caption, u"Information");
  EXPECT_EQ(ui::MessageBoxes()[0].type & 0xF, UINT(MB_OK));
}

TEST_F(PrinterTools, FirmwareSectionOnlyForTwlPrinters) {
  InstallTools(true, "TSPL");
  OpenSheet();
  for (int id : {kToolsFirmwareVersion, kToolsUpdate, kToolsProgress, 1063, 1069})
    EXPECT_FALSE(ui::Visible(page, id)) << id;
  EXPECT_TRUE(ui::Visible(page, kToolsCaptureList));
  ui::Advance(3500);
  EXPECT_EQ(twl->StatusRequests(), 0u) << "never polled";
  EXPECT_TRUE(ui::Text(page, kToolsFirmwareVersion).empty());
}

}  // namespace
}  // namespace uitest
