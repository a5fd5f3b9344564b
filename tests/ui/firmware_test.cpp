// Firmware update on the "Printer Settings" page of a TWL printer: the header of a chosen file, the poll of
// version, checksum and state, SetUpdateMode, and whole transfers to the simulated printer (success,
// the printer's faults, the sheet closed during a transfer), all on the virtual clock.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "tools_fixture.h"

namespace uitest {
namespace {

TEST(FirmwareHeaderTest, TagsLengthAndTerminators) {
  std::vector<uint8_t> f = winsim::TwlPrinterDevice::MakeFirmwareFile("M", "V1", 4);
  FirmwareFileInfo info;
  // A full 12-character version and a 64-character model are ended inside the record.
  memset(&f[6], 'v', 12);
  memset(&f[20], 'm', 64);
  f[89] = 0x34;
  f[90] = 0x92;
  ASSERT_TRUE(ParseFirmwareHeader(f.data(), 91, &info));
  EXPECT_EQ(std::string(info.Version), std::string(12, 'v'));
  EXPECT_EQ(std::string(info.Model), std::string(64, 'm'));
  EXPECT_EQ(info.Checksum, int16_t(0x9234));
  EXPECT_FALSE(ParseFirmwareHeader(f.data(), 90, &info)) << "fewer than 91 bytes";
  EXPECT_EQ(info.Model[0], 0) << "zeroed on failure";
  f[2] = 'x';
  EXPECT_TRUE(ParseFirmwareHeader(f.data(), f.size(), &info)) << "byte 2 is any value";
  for (int at : {0, 1, 3}) {
    auto bad = f;
    bad[size_t(at)] = 'Z';
    EXPECT_FALSE(ParseFirmwareHeader(bad.data(), bad.size(), &info)) << at;
  }
}

TEST(FirmwareHeaderTest, StateStatus) {
  EXPECT_EQ(UpdateStateStatus(0x00), kFwStatusReady);
  EXPECT_EQ(UpdateStateStatus(0x01), kFwStatusReady);
  EXPECT_EQ(UpdateStateStatus(0x04), kFwStatusReady) << "not in update mode";
  EXPECT_EQ(UpdateStateStatus(0x05), kFwStatusCheckingCrc);
  EXPECT_EQ(UpdateStateStatus(0x03), kFwStatusVerifyFailed);
  EXPECT_EQ(UpdateStateStatus(0x07), kFwStatusVerifyFailed);
}

class Firmware : public ToolsTest {
 protected:
  // SetUpdateMode on a thread of its own while the test moves the clock.
  BOOL SwitchMode(bool on) {
    std::atomic<int> result{-1};
    std::thread t([&] { result = SetUpdateMode(printer, on); });
    for (int i = 0; i < 20000 && result < 0; ++i) {
      for (int k = 0; k < 200 && result < 0 && winsim::ThreadsWaitingOnClock() == 0; ++k)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      if (result < 0) winsim::AdvanceClock(50);
    }
    t.join();
    return result == 1;
  }
  void Choose(const std::u16string& path) {
    ui::QueueFileName(path);
    ASSERT_TRUE(ui::Click(page, kToolsBrowseFirmware));
  }
};

TEST_F(Firmware, FileIsOpenedByItsWidePath) {
  InstallTools();
  const std::u16string path = FirmwareFile(u"C:\\Прошивка\\新しい.bin");
  WString wide = ToWString(path.c_str());
  FirmwareFileInfo info;
  ASSERT_EQ(ReadFirmwareFile(wide.c_str(), &info), FirmwareFileResult::Ok);
  EXPECT_STREQ(info.Version, "V2.00");
  EXPECT_STREQ(info.Model, "Tarnwell TW-T4");
  WString missing = ToWString(u"C:\\none.bin");
  EXPECT_EQ(ReadFirmwareFile(missing.c_str(), &info), FirmwareFileResult::OpenFailed);
  std::vector<uint8_t> shortFile(90, 'H');
  winsim::WriteHostFile(u"C:\\short.bin", shortFile.data(), shortFile.size());
  WString shortPath = ToWString(u"C:\\short.bin");
  EXPECT_EQ(ReadFirmwareFile(shortPath.c_str(), &info), FirmwareFileResult::NotFirmware);
}

TEST_F(Firmware, PollShowsVersionChecksumAndState) {
  InstallTools();
  OpenSheet();
  ui::Advance(1000);
  EXPECT_EQ(ui::Text(page, kToolsFirmwareVersion), u"V1.00");
  EXPECT_EQ(ui::Text(page, kToolsFirmwareCrc), u"0x1111");
  EXPECT_EQ(Status(), u"Printer is ready");
  EXPECT_TRUE(ui::Visible(page, kToolsUpdate));
  EXPECT_FALSE(ui::Enabled(page, kToolsUpdate));

  twl->SetVendorReply(5, {0x05});
  ui::Advance(1000);
  EXPECT_EQ(Status(), u"Checking CRC.");
  twl->SetVendorReply(5, {0x07});
  ui::Advance(1000);
  EXPECT_EQ(Status(), u"Data verification failure");
  twl->SetOffline(true);
  ui::Advance(1000);
  EXPECT_EQ(Status(), u"Printer offline");
  // Version and checksum are read once: a changed printer does not change the fields.
  twl->SetOffline(false);
  twl->SetVendorReply(5, {0x00});
  twl->SetFirmware("V9.99", 0x2222);
  ui::Advance(1000);
  EXPECT_EQ(Status(), u"Printer is ready");
  EXPECT_EQ(ui::Text(page, kToolsFirmwareVersion), u"V1.00");
}

TEST_F(Firmware, ChecksumZeroLeavesTheFieldEmpty) {
  InstallTools();
  twl->SetFirmware("V1.00", 0);
  OpenSheet();
  ui::Advance(1000);
  EXPECT_EQ(ui::Text(page, kToolsFirmwareVersion), u"V1.00");
  EXPECT_TRUE(ui::Text(page, kToolsFirmwareCrc).empty());
}

TEST_F(Firmware, ChoosingAFileShowsItsHeaderAndAsksOnAnotherModel) {
  InstallTools();
  OpenSheet();
  Choose(FirmwareFile(u"C:\\fw\\good.bin"));
  EXPECT_EQ(ui::Text(page, kToolsUpdateFile), u"C:\\fw\\good.bin");
  EXPECT_EQ(ui::Text(page, kToolsFileVersion), u"V2.00");
  EXPECT_EQ(ui::Text(page, kToolsFileModel), u"Tarnwell TW-T4");
  auto bytes = winsim::ReadHostFile(u"C:\\fw\\good.bin");
  EXPECT_EQ(ui::Text(page, kToolsFileCrc), Hex(uint16_t(bytes[89] | bytes[90] << 8)));
  EXPECT_TRUE(ui::Enabled(page, kToolsUpdate)) << "the printer's name is in the model text";
  EXPECT_TRUE(ui::MessageBoxes().empty());

  // Another model: the question; No disables, Yes enables.
  FirmwareFile(u"C:\\fw\\other.bin", "Tarnwell TW-Q9");
  ui::QueueMessageBox(IDNO);
  Choose(u"C:\\fw\\other.bin");
  ASSERT_EQ(ui::MessageBoxes().size(), 1u);
  EXPECT_EQ(ui::MessageBoxes()[0].text, u"This firmware does not match the current printer model. Force to update it?");
  EXPECT_EQ(ui::MessageBoxes()[0].type & 0xF, UINT(MB_YESNO));
  EXPECT_FALSE(ui::Enabled(page, kToolsUpdate));
  ui::QueueMessageBox(IDYES);
  Choose(u"C:\\fw\\other.bin");
  EXPECT_TRUE(ui::Enabled(page, kToolsUpdate));

  // A file without the header, or one that cannot be opened, leaves nothing to update with.
  std::vector<uint8_t> junk(200, 'x');
  winsim::WriteHostFile(u"C:\\fw\\junk.bin", junk.data(), junk.size());
  Choose(u"C:\\fw\\junk.bin");
  EXPECT_FALSE(ui::Enabled(page, kToolsUpdate));
  EXPECT_TRUE(ui::Text(page, kToolsFileVersion).empty());
  EXPECT_TRUE(ui::Text(page, kToolsFileModel).empty());
  EXPECT_TRUE(ui::Text(page, kToolsFileCrc).empty());
}

TEST_F(Firmware, RenamingThePrinterBringsTheQuestion) {
  printerName = u"Shipping desk";
  InstallTools();
  OpenSheet();
  ui::QueueMessageBox(IDNO);
  Choose(FirmwareFile(u"C:\\fw\\good.bin"));
  EXPECT_EQ(ui::MessageBoxes().size(), 1u);
  EXPECT_FALSE(ui::Enabled(page, kToolsUpdate));
}

TEST_F(Firmware, SetUpdateModeNeedsTheBitWithinTenReads) {
  InstallTools();
  EXPECT_TRUE(SwitchMode(false)) << "not in update mode: nothing to leave";
  EXPECT_TRUE(SwitchMode(true));
  EXPECT_TRUE(twl->InUpdateMode());
  // Leaving with no file sent: the printer refuses the empty file and stays in update mode, so ten
  // reads show the bit still set and the switch fails.
  EXPECT_FALSE(SwitchMode(false));
  EXPECT_TRUE(twl->InUpdateMode());
  EXPECT_EQ(twl->TransferState(), 1);
}

TEST_F(Firmware, SetUpdateModeFailures) {
  InstallTools();
  twl->NeverEnterUpdateMode(true);
  EXPECT_FALSE(SwitchMode(true));
  twl->NeverEnterUpdateMode(false);
  twl->SetOffline(true);
  EXPECT_FALSE(SwitchMode(true)) << "the request itself fails";
}

TEST_F(Firmware, AWholeUpdateShowsTheNewVersionAfterTheRestart) {
  InstallTools();
  OpenSheet();
  ui::Advance(1000);
  ASSERT_EQ(ui::Text(page, kToolsFirmwareVersion), u"V1.00");
  const std::u16string path = FirmwareFile(u"C:\\fw\\new.bin", "Tarnwell TW-T4", "V2.00", 20000);
  const auto file = winsim::ReadHostFile(path);
  Choose(path);
  ASSERT_TRUE(ui::Click(page, kToolsUpdate));
  ASSERT_TRUE(WaitTransfers());
  EXPECT_EQ(twl->FirmwareReceived(), file);
  EXPECT_EQ(twl->FirmwareUpdates(), 1u);
  EXPECT_EQ(Status(), u"Printer is ready");
  EXPECT_EQ(ui::Position(page, kToolsProgress), 100);
  EXPECT_TRUE(ui::Enabled(page, kToolsUpdate));
  // Emptied to be read again; a poll that came due during the transfer may already have read it.
  EXPECT_NE(ui::Text(page, kToolsFirmwareVersion), u"V1.00") << "the old version is not kept";
  ui::Advance(1000);
  EXPECT_EQ(ui::Text(page, kToolsFirmwareVersion), u"V2.00");
  EXPECT_EQ(ui::Text(page, kToolsFirmwareCrc), Hex(uint16_t(file[89] | file[90] << 8)));
  EXPECT_TRUE(ui::Unexpected().empty());
}

TEST_F(Firmware, PrinterFaultsEndTheTransferWithTheirStatusAndThePrintersOwn) {
  // `status`: the transfer's own failure; `after`: the status line once the page has polled the printer
  // again (the printer's verdict where it has one, otherwise the failure stays).
  struct Case {
    const char* what;
    std::function<void(winsim::TwlPrinterDevice&)> fault;
    const char16_t* status;
    const char16_t* after;
    uint8_t transferState;
  } cases[] = {
      {"never enters update mode", [](auto& p) { p.NeverEnterUpdateMode(true); }, u"Failed to switch mode.",
       u"Failed to switch mode.", 0},
      {"stays in update mode", [](auto& p) { p.StayInUpdateMode(true); }, u"Failed to switch mode.",
       u"Failed to switch mode.", 0},
      {"wrong checksum", [](auto& p) { p.CorruptFirmwareChecksum(true); }, u"Failed to switch mode.",
       u"Data verification failure", 3},
      {"a write fails", [](auto& p) { p.FailNextWrites(1); }, u"Error sending data. Please try again.",
       u"Error sending data. Please try again.", 0},
      {"a short write", [](auto& p) { p.SetWriteFaults(false, 1000); }, u"Error sending data. Please try again.",
       u"Error sending data. Please try again.", 0},
      {"offline", [](auto& p) { p.SetOffline(true); }, u"Failed to switch mode.", u"Printer offline", 0},
  };
  for (const Case& c : cases) {
    ReinstallTools();
    OpenSheet();
    Choose(FirmwareFile(u"C:\\fw\\new.bin"));
    c.fault(*twl);
    ASSERT_TRUE(ui::Click(page, kToolsUpdate)) << c.what;
    ASSERT_TRUE(WaitTransfers()) << c.what;
    EXPECT_EQ(Status(), c.status) << c.what;
    EXPECT_TRUE(ui::Enabled(page, kToolsUpdate)) << c.what;
    EXPECT_TRUE(ui::Enabled(page, kToolsBrowseFirmware)) << c.what;
    EXPECT_EQ(twl->FirmwareUpdates(), 0u) << c.what;
    EXPECT_EQ(twl->TransferState(), c.transferState) << c.what;
    // The page polls again and shows what the printer says about it.
    const unsigned polls = twl->StatusRequests();
    ui::Advance(2000);
    EXPECT_EQ(Status(), c.after) << c.what;
    if (c.after != std::u16string(u"Printer offline")) {
      EXPECT_GT(twl->StatusRequests(), polls) << c.what;
    }
    CloseSheet();
  }
}

TEST_F(Firmware, AFileThePrinterRefusesEndsWithThePrintersVerdict) {
  // Files with a good header that the printer's own check refuses: cut short, a changed byte, a model of
  // another printer sent anyway. The mode switch fails; the printer then says why.
  auto good = winsim::TwlPrinterDevice::MakeFirmwareFile("Tarnwell TW-T4", "V2.00", 20000);
  auto cut = good;
  cut.resize(good.size() - 5000);
  auto changed = good;
  changed[5000] ^= 0x40;
  const auto other = winsim::TwlPrinterDevice::MakeFirmwareFile("Tarnwell TW-Q9", "V2.00", 20000);
  for (const auto& bytes : {cut, changed, other}) {
    ReinstallTools();
    OpenSheet();
    winsim::WriteHostFile(u"C:\\fw\\bad.bin", bytes.data(), bytes.size());
    ui::QueueMessageBox(IDYES);  // the question for the other model
    Choose(u"C:\\fw\\bad.bin");
    ASSERT_TRUE(ui::Click(page, kToolsUpdate));
    ASSERT_TRUE(WaitTransfers());
    EXPECT_EQ(twl->FirmwareReceived(), bytes) << "the file as it is, whole";
    EXPECT_EQ(Status(), u"Failed to switch mode.");
    EXPECT_TRUE(twl->InUpdateMode());
    ui::Advance(1000);
    EXPECT_EQ(Status(), u"Data verification failure") << bytes.size();
    EXPECT_EQ(twl->FirmwareVersion(), "V1.00");
    CloseSheet();
  }
}

TEST_F(Firmware, OneTransferAtATimePerPrinter) {
  InstallTools();
  OpenSheet();
  const std::u16string path = FirmwareFile(u"C:\\fw\\new.bin");
  const auto file = winsim::ReadHostFile(path);
  Choose(path);
  ASSERT_TRUE(ui::Click(page, kToolsUpdate));
  // Both buttons are off before the transfer thread has said anything: a second click finds nothing.
  EXPECT_FALSE(ui::Enabled(page, kToolsUpdate));
  EXPECT_FALSE(ui::Enabled(page, kToolsBrowseFirmware));
  EXPECT_FALSE(ui::Click(page, kToolsUpdate));
  EXPECT_EQ(FirmwareTransfersRunning(), 1);

  // A second sheet of the same printer in the process is refused while the first one sends.
  HANDLE second = Open(printerName, PRINTER_ALL_ACCESS);
  ASSERT_NE(second, nullptr);
  WString secondName = ToWString(printerName.c_str());
  DEVICEPROPERTYHEADER secondHeader{sizeof(DEVICEPROPERTYHEADER), 0, second, secondName.data()};
  ui::UiThread secondThread([&] {
    DWORD result = 0;
    return intptr_t(CommonPropertySheetUIW(nullptr, DrvDevicePropertySheets, reinterpret_cast<LPARAM>(&secondHeader), &result));
  });
  HWND secondSheet = nullptr;
  for (int i = 0; i < 500 && (!secondSheet || secondSheet == sheet); ++i) {
    secondSheet = ui::FindSheet();
    if (secondSheet == sheet) std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ASSERT_NE(secondSheet, sheet);
  HWND secondPage = ui::Page(secondSheet, kPrinterToolsTemplate);
  ASSERT_NE(secondPage, nullptr);
  ui::Settle(secondPage);
  ui::QueueFileName(path);
  ASSERT_TRUE(ui::Click(secondPage, kToolsBrowseFirmware));
  ui::QueueMessageBox(IDOK);
  EXPECT_TRUE(ui::Click(secondPage, kToolsUpdate));
  const auto boxes = ui::MessageBoxes();
  EXPECT_EQ(boxes.size(), 1u);
  if (!boxes.empty()) {
    EXPECT_EQ(boxes[0].text, u"A firmware update of this printer is already running.");
  }
  EXPECT_EQ(FirmwareTransfersRunning(), 1);
  EXPECT_TRUE(ui::Enabled(secondPage, kToolsUpdate)) << "it may try again later";
  EXPECT_TRUE(WaitTransfers());  // a sheet whose own transfer still ran could not close
  ui::Press(secondSheet, ui::Button::Cancel);
  secondThread.Join();
  ClosePrinter(second);

  EXPECT_EQ(twl->FirmwareReceived(), file) << "one file, once";
  EXPECT_EQ(twl->FirmwareUpdates(), 1u);
  EXPECT_TRUE(ui::Enabled(page, kToolsUpdate));
  EXPECT_TRUE(ui::Enabled(page, kToolsBrowseFirmware));
  // Done: the printer is free for the next update at once.
  ASSERT_TRUE(ui::Click(page, kToolsUpdate));
  EXPECT_EQ(FirmwareTransfersRunning(), 1);
  ASSERT_TRUE(WaitTransfers());
  EXPECT_EQ(twl->FirmwareUpdates(), 2u);
  EXPECT_EQ(ui::MessageBoxes().size(), 1u);
}

// Two queues on one port are one printer on the wire: a second transfer through the other queue would
// mix two files on the device as surely as one through the same queue.
TEST_F(Firmware, TwoQueuesOfOnePortTakeOneTransfer) {
  InstallTools();
  AddPrinter(u"TW-T4 second queue");  // on USB001 too
  OpenSheet();
  const std::u16string path = FirmwareFile(u"C:\\fw\\new.bin");
  const auto file = winsim::ReadHostFile(path);
  Choose(path);
  ASSERT_TRUE(ui::Click(page, kToolsUpdate));
  ASSERT_EQ(FirmwareTransfersRunning(), 1);
  const WString wide = ToWString(path.c_str());
  FirmwareImage image;
  ASSERT_EQ(LoadFirmwareFile(wide.c_str(), nullptr, &image), FirmwareLoad::Ok);
  EXPECT_EQ(StartFirmwareTransfer(nullptr, TEXT("TW-T4 second queue"), &image), FirmwareStart::Busy);
  EXPECT_EQ(image.Data, nullptr) << "the image is taken and freed also when refused";
  ASSERT_TRUE(WaitTransfers());
  EXPECT_EQ(twl->FirmwareReceived(), file) << "one file, once";
  EXPECT_EQ(twl->FirmwareUpdates(), 1u);
}

TEST_F(Firmware, TheFileIsReadOnceAtUpdateAndMustStillBeTheChosenOne) {
  InstallTools();
  OpenSheet();
  const auto chosen = winsim::TwlPrinterDevice::MakeFirmwareFile("Tarnwell TW-T4", "V2.00", 20000);
  const auto newer = winsim::TwlPrinterDevice::MakeFirmwareFile("Tarnwell TW-T4", "V2.01", 20000);
  auto cut = chosen;
  cut.resize(chosen.size() - 1);
  const std::vector<uint8_t> empty;
  const std::vector<uint8_t>* replacements[] = {&newer, &cut, &empty};
  for (const std::vector<uint8_t>* replaced : replacements) {
    winsim::WriteHostFile(u"C:\\fw\\new.bin", chosen.data(), chosen.size());
    Choose(u"C:\\fw\\new.bin");
    ASSERT_TRUE(ui::Enabled(page, kToolsUpdate));
    winsim::WriteHostFile(u"C:\\fw\\new.bin", replaced->data(), replaced->size());
    const size_t boxes = ui::MessageBoxes().size();
    ui::QueueMessageBox(IDOK);
    ASSERT_TRUE(ui::Click(page, kToolsUpdate));
    ASSERT_EQ(ui::MessageBoxes().size(), boxes + 1) << replaced->size();
    EXPECT_EQ(ui::MessageBoxes().back().text,
              u"The firmware file has changed since it was chosen, or it is not a complete firmware file. Choose the "
              u"file again.");
    EXPECT_EQ(FirmwareTransfersRunning(), 0);
    EXPECT_FALSE(ui::Enabled(page, kToolsUpdate)) << "choose again";
    EXPECT_TRUE(twl->SetRequests().empty()) << "the printer was not asked into update mode";
  }

  // A header and nothing after it is no firmware to send.
  std::vector<uint8_t> headerOnly(chosen.begin(), chosen.begin() + 91);
  winsim::WriteHostFile(u"C:\\fw\\header.bin", headerOnly.data(), headerOnly.size());
  Choose(u"C:\\fw\\header.bin");
  EXPECT_FALSE(ui::Enabled(page, kToolsUpdate));

  // What was read at Update is what the printer gets, whatever happens to the file meanwhile.
  winsim::WriteHostFile(u"C:\\fw\\new.bin", chosen.data(), chosen.size());
  Choose(u"C:\\fw\\new.bin");
  ASSERT_TRUE(ui::Click(page, kToolsUpdate));
  std::vector<uint8_t> junk(chosen.size(), 'j');
  winsim::WriteHostFile(u"C:\\fw\\new.bin", junk.data(), junk.size());
  ASSERT_TRUE(WaitTransfers());
  EXPECT_EQ(twl->FirmwareReceived(), chosen);
  EXPECT_EQ(twl->FirmwareVersion(), "V2.00");
}

TEST_F(Firmware, FilesOverTheLimitAreNoFirmware) {
  InstallTools();
  auto bytes = winsim::TwlPrinterDevice::MakeFirmwareFile("Tarnwell TW-T4", "V2.00", 100);
  winsim::WriteHostFile(u"C:\\fw\\huge.bin", bytes.data(), bytes.size());
  const std::string host = winsim::HostPath(u"C:\\fw\\huge.bin");
  WString path = ToWString(u"C:\\fw\\huge.bin");
  FirmwareFileInfo info;
  FirmwareImage image;
  std::filesystem::resize_file(host, kFirmwareMaxBytes);  // sparse: no real 64 MiB written
  EXPECT_EQ(ReadFirmwareFile(path.c_str(), &info), FirmwareFileResult::Ok);
  EXPECT_EQ(info.Size, kFirmwareMaxBytes);
  std::filesystem::resize_file(host, kFirmwareMaxBytes + 1);
  EXPECT_EQ(ReadFirmwareFile(path.c_str(), &info), FirmwareFileResult::NotFirmware);
  EXPECT_EQ(LoadFirmwareFile(path.c_str(), nullptr, &image), FirmwareLoad::NotFirmware);
  EXPECT_EQ(image.Data, nullptr);
}
TEST_F(Firmware, AMissingFileOrDeviceIsAnOpeningError) {
  InstallTools();
  OpenSheet();
  Choose(FirmwareFile(u"C:\\fw\\new.bin"));
  std::string host = winsim::HostPath(u"C:\\fw\\new.bin");
  ASSERT_EQ(std::remove(host.c_str()), 0);
  ASSERT_TRUE(ui::Click(page, kToolsUpdate));
  ASSERT_TRUE(WaitTransfers());
  EXPECT_EQ(Status(), u"File opening error");
  Choose(FirmwareFile(u"C:\\fw\\new.bin"));
  twl->present = false;  // unplugged: no device path for the port
  ASSERT_TRUE(ui::Click(page, kToolsUpdate));
  ASSERT_TRUE(WaitTransfers());
  EXPECT_EQ(Status(), u"File opening error");
}

TEST_F(Firmware, ClosingTheSheetIsRefusedDuringATransfer) {
  InstallTools();
  OpenSheet();
  Choose(FirmwareFile(u"C:\\fw\\new.bin", "Tarnwell TW-T4", "V3.00", 50000));
  ASSERT_TRUE(ui::Click(page, kToolsUpdate));
  ASSERT_EQ(FirmwareTransfersRunning(), 1);
  // Cancel, OK, the window's close box and another tab: each is refused with the reason.
  for (int i = 0; i < 4; ++i) ui::QueueMessageBox(IDOK);
  ui::Press(sheet, ui::Button::Cancel);
  ui::Press(sheet, ui::Button::Ok);
  PostMessageW(sheet, WM_CLOSE, 0, 0);
  ui::Settle(sheet);
  EXPECT_FALSE(ui::SelectPage(sheet, 101));
  ASSERT_EQ(ui::MessageBoxes().size(), 4u);
  for (const auto& box : ui::MessageBoxes())
    EXPECT_EQ(box.text, u"The firmware is being sent to the printer. Wait until the update has ended before you "
                        u"close this window.");
  EXPECT_FALSE(thread->Done());
  EXPECT_EQ(ui::CurrentPage(sheet), page);

  ASSERT_TRUE(WaitTransfers());
  EXPECT_EQ(twl->FirmwareUpdates(), 1u);
  EXPECT_EQ(twl->FirmwareVersion(), "V3.00");
  CloseSheet();
  EXPECT_EQ(ui::MessageBoxes().size(), 4u) << "closes without a word once the transfer has ended";
}

}  // namespace
}  // namespace uitest
