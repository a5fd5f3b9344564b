// The output buffer in front of WritePrinter, TWL page files and capture files.
#include <cstring>
#include <memory>

#include "driver_fixture.h"
#include "render/output.h"

using namespace drvtest;

namespace {

// A device with a started spooler job and an empty output buffer.
class OutputBufferTest : public DriverTest {
 protected:
  void SetUp() override {
    DriverTest::SetUp();
    dev = std::make_unique<Device>(printer);
    ASSERT_TRUE(dev->Enable());
    WString doc = W(u"Buffer");
    DOC_INFO_1W info{doc.data(), nullptr, nullptr};
    ASSERT_NE(StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&info)), 0u);
    dev->spooling = true;
  }
  void TearDown() override {
    dev.reset();
    DriverTest::TearDown();
  }
  static std::vector<uint8_t> Pattern(size_t n, uint8_t seed = 0) {
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<uint8_t>(i * 7 + seed);
    return v;
  }
  winsim::SpoolJob Spooled() {
    auto jobs = winsim::SpoolJobs(u"Label One");
    return jobs.empty() ? winsim::SpoolJob{} : jobs.back();
  }
  Pdev* P() { return dev->P(); }

  std::unique_ptr<Device> dev;
};

TEST_F(OutputBufferTest, FullBufferLeavesInOneWriteWhenTheNextByteComes) {
  auto block = Pattern(kOutputBufferLimit);
  EXPECT_EQ(SendBytes(P(), block.data(), DWORD(block.size())), int32_t(kOutputBufferLimit));
  EXPECT_TRUE(Spooled().writes.empty());
  EXPECT_EQ(P()->Buffered, kOutputBufferLimit);

  const uint8_t one = 0x5A;
  EXPECT_EQ(SendBytes(P(), &one, 1), 1);
  EXPECT_EQ(Spooled().writes, std::vector<DWORD>{kOutputBufferLimit});
  EXPECT_EQ(Spooled().data, block);
  EXPECT_EQ(P()->Buffered, 1u);

  EXPECT_TRUE(FlushOutput(P()));
  EXPECT_EQ(Spooled().writes, (std::vector<DWORD>{kOutputBufferLimit, 1}));
  EXPECT_EQ(Spooled().data.back(), one);
  EXPECT_TRUE(FlushOutput(P()));  // empty: no call
  EXPECT_EQ(Spooled().writes.size(), 2u);
}

TEST_F(OutputBufferTest, LargeSendStreamsInBlocksOfTheBufferSize) {
  auto data = Pattern(2 * kOutputBufferLimit + 5, 3);
  EXPECT_EQ(SendBytes(P(), data.data(), DWORD(data.size())), int32_t(data.size()));
  EXPECT_EQ(Spooled().writes, (std::vector<DWORD>{kOutputBufferLimit, kOutputBufferLimit}));
  EXPECT_EQ(P()->Buffered, 5u);
  EXPECT_TRUE(FlushOutput(P()));
  EXPECT_EQ(Spooled().data, data);
}

TEST_F(OutputBufferTest, FailedPdevRefusesSendsAtOnce) {
  P()->State |= kPdevFailed;
  const uint8_t b = 1;
  EXPECT_EQ(SendBytes(P(), &b, 1), -1);
  EXPECT_EQ(P()->Buffered, 0u);
  EXPECT_FALSE(FlushOutput(P()));
  EXPECT_TRUE(Spooled().writes.empty());
}

TEST_F(OutputBufferTest, ShortWriteFailsTheRestOfTheJob) {
  winsim::SetWritePrinterFault(winsim::WriteFault::Short);
  auto block = Pattern(kOutputBufferLimit + 10);
  EXPECT_EQ(SendBytes(P(), block.data(), DWORD(block.size())), -1);
  EXPECT_TRUE(P()->State & kPdevFailed);
  EXPECT_EQ(Spooled().writes, std::vector<DWORD>{kOutputBufferLimit});

  winsim::SetWritePrinterFault(winsim::WriteFault::None);
  EXPECT_EQ(SendBytes(P(), block.data(), 10), -1);
  EXPECT_FALSE(FlushOutput(P()));
  EXPECT_EQ(Spooled().writes.size(), 1u);
}

TEST_F(OutputBufferTest, FailedWritePrinterFailsTheFlush) {
  const char text[] = "SIZE";
  ASSERT_EQ(SendBytes(P(), text, 4), 4);
  winsim::SetWritePrinterFault(winsim::WriteFault::Fail);
  EXPECT_FALSE(FlushOutput(P()));
  EXPECT_TRUE(P()->State & kPdevFailed);
  EXPECT_TRUE(Spooled().data.empty());
}

TEST_F(OutputBufferTest, CountBeyondTheBufferIsAFailure) {
  P()->Buffered = kOutputBufferLimit + 1;
  EXPECT_FALSE(FlushOutput(P()));
  EXPECT_EQ(P()->Buffered, kOutputBufferLimit);
  EXPECT_TRUE(P()->State & kPdevFailed);
  EXPECT_TRUE(Spooled().writes.empty());
}

// ---- page files ----------------------------------------------------------------------------

class PageFileTest : public ::testing::Test {
 protected:
  void SetUp() override { winsim::Reset(); }
  static std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }
  static std::vector<uint8_t> Read(const std::string& name) { return winsim::ReadHostFile(Wide(name)); }
};

TEST_F(PageFileTest, NamesPadJobAndPageButPrintLargerNumbersInFull) {
  EXPECT_EQ(PageFileName(0, 7, 1), "c:\\prtmonlog\\pages\\page_0000_jobid_007_1.dat");
  EXPECT_EQ(PageFileName(12, 1234, 0), "c:\\prtmonlog\\pages\\page_0012_jobid_1234_0.dat");
  EXPECT_EQ(PageFileName(12345, 7, 10), "c:\\prtmonlog\\pages\\page_12345_jobid_007_10.dat");
}

TEST_F(PageFileTest, JobLevelFilesTakeTheNextFreeSequenceNumber) {
  const uint8_t header[] = {0x1B, 0x40, 1, 2, 3, 4, 5};
  WritePageFile(0, 7, header, sizeof header);
  WritePageFile(0, 7, "CMD", 3);
  EXPECT_EQ(Read(PageFileName(0, 7, 0)), std::vector<uint8_t>(header, header + sizeof header));
  EXPECT_EQ(Read(PageFileName(0, 7, 1)), (std::vector<uint8_t>{'C', 'M', 'D'}));

  // A file left by someone else keeps its number; another job and page start from 0.
  winsim::WriteHostFile(Wide(PageFileName(3, 8, 0)), "old", 3);
  WritePageFile(3, 8, "new", 3);
  EXPECT_EQ(Read(PageFileName(3, 8, 0)), (std::vector<uint8_t>{'o', 'l', 'd'}));
  EXPECT_EQ(Read(PageFileName(3, 8, 1)), (std::vector<uint8_t>{'n', 'e', 'w'}));
}

TEST_F(PageFileTest, ZeroLengthWritesNothing) {
  WritePageFile(0, 7, "x", 0);
  EXPECT_EQ(GetFileAttributesA(PageFileName(0, 7, 0).c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_EQ(GetFileAttributesA(LBL_PAGE_FOLDER), INVALID_FILE_ATTRIBUTES);
}

// ---- capture files ---------------------------------------------------------------------------

class CaptureTest : public DriverTest {
 protected:
  // A page drawn and sent on the device.
  static bool Page(Device& dev) { return DrvStartPage(dev.so) && DrvSendPage(dev.so); }
  // The printer opened again, as a second application does; closed at tear-down.
  HANDLE OpenAgain() {
    WString name = W(u"Label One");
    HANDLE h = nullptr;
    EXPECT_TRUE(OpenPrinterW(name.data(), &h, nullptr));
    if (h) others.push_back(h);
    return h;
  }
  void TearDown() override {
    for (HANDLE h : others) ClosePrinter(h);
    DriverTest::TearDown();
  }
  std::vector<HANDLE> others;

  // One document through the entry points; returns what the spooler received for it.
  std::vector<uint8_t> PrintDocument(Device& dev, const char16_t* name) {
    EXPECT_TRUE(dev.StartDoc(name));
    EXPECT_TRUE(dev.EndDoc());
    const DWORD id = dev.spoolJob;
    dev.EndSpoolJob();
    for (const auto& job : winsim::SpoolJobs(u"Label One"))
      if (job.id == id) return job.data;
    return {};
  }
};

TEST_F(CaptureTest, FirstCaptureIsNamedAfterTheDocumentThenNumbered) {
  EnableCapture(u"C:\\Printer Log\\Label One");
  Device dev(printer);
  ASSERT_TRUE(dev.Enable());
  auto first = PrintDocument(dev, u"Label");
  ASSERT_FALSE(first.empty());
  EXPECT_EQ(winsim::ReadHostFile(u"C:\\Printer Log\\Label One\\Label.prt"), first);

  auto second = PrintDocument(dev, u"Label");
  EXPECT_EQ(winsim::ReadHostFile(u"C:\\Printer Log\\Label One\\Label_2.prt"), second);
  EXPECT_EQ(winsim::ReadHostFile(u"C:\\Printer Log\\Label One\\Label.prt"), first);
}

TEST_F(CaptureTest, TwoJobsAtOnceOnThePrinterEachKeepTheirOwnCapture) {
  EnableCapture(u"C:\\Logs");
  // Two applications print to the printer at once; the print host renders both in one process.
  Device a(printer), b(OpenAgain());
  ASSERT_TRUE(a.Enable());
  ASSERT_TRUE(b.Enable());
  ASSERT_TRUE(a.StartDoc(u"First"));
  ASSERT_TRUE(Page(a));
  ASSERT_TRUE(b.StartDoc(u"Second"));
  ASSERT_TRUE(Page(b));
  // The first job goes on after the second began: its capture file is still its own.
  ASSERT_TRUE(Page(a));
  ASSERT_TRUE(a.EndDoc());
  ASSERT_TRUE(Page(b));
  ASSERT_TRUE(b.EndDoc());
  const DWORD jobA = a.spoolJob, jobB = b.spoolJob;
  a.EndSpoolJob();
  b.EndSpoolJob();
  std::vector<uint8_t> sentA, sentB;
  for (const auto& job : winsim::SpoolJobs(u"Label One")) {
    if (job.id == jobA) sentA = job.data;
    if (job.id == jobB) sentB = job.data;
  }
  ASSERT_FALSE(sentA.empty());
  ASSERT_FALSE(sentB.empty());
  EXPECT_EQ(Count(Text(sentA), "PRINT 1,1"), 2u);
  EXPECT_EQ(winsim::ReadHostFile(u"C:\\Logs\\First.prt"), sentA);
  EXPECT_EQ(winsim::ReadHostFile(u"C:\\Logs\\Second_2.prt"), sentB);
  for (const JobCapture& job : a.P()->Shared->Capture.Jobs) EXPECT_EQ(job.File, nullptr) << "both closed";
}

TEST_F(CaptureTest, AJobContinuedOnANewPdevWritesOnIntoItsCapture) {
  EnableCapture(u"C:\\Logs");
  std::vector<uint8_t> first;
  DWORD job = 0;
  {
    // ResetDC: the job's first PDEV goes before its end.
    Device dev(printer);
    ASSERT_TRUE(dev.Enable());
    ASSERT_TRUE(dev.StartDoc(u"Label", 93));
    ASSERT_TRUE(DrvStartPage(dev.so));
    ASSERT_TRUE(DrvSendPage(dev.so));
    job = dev.P()->JobId;
    dev.EndSpoolJob();
  }
  Device next(printer);
  ASSERT_TRUE(next.Enable());
  ASSERT_TRUE(next.StartDoc(u"Label", job));
  ASSERT_TRUE(DrvStartPage(next.so));
  ASSERT_TRUE(DrvSendPage(next.so));
  ASSERT_TRUE(next.EndDoc());
  next.EndSpoolJob();
  const std::string captured = Text(winsim::ReadHostFile(u"C:\\Logs\\Label.prt"));
  EXPECT_EQ(Count(captured, "PRINT 1,1"), 2u) << "both PDEVs' pages in one file";
  EXPECT_EQ(GetFileAttributesW(W(u"C:\\Logs\\Label_2.prt").c_str()), INVALID_FILE_ATTRIBUTES);
}

// ResetDC in a document: GDI lets go of the old PDEV before the new one's DrvStartDoc. Another job starting
// on the printer in between must not close the job's capture, which would leave its pages in two files.
TEST_F(CaptureTest, ResetDcKeepsTheJobsCaptureWhileAnotherJobStarts) {
  EnableCapture(u"C:\\Logs");
  Device old(printer), other(OpenAgain());
  ASSERT_TRUE(old.Enable());
  ASSERT_TRUE(other.Enable());
  ASSERT_TRUE(old.StartDoc(u"Label"));
  ASSERT_TRUE(Page(old));
  const DWORD job = old.spoolJob;

  // The documented order of ResetDC's calls, the spooler job going on.
  Device next(printer);
  ASSERT_TRUE(next.Enable());
  ASSERT_TRUE(DrvResetPDEV(old.pdev, next.pdev));
  old.spooling = false;
  old.Disable();
  ASSERT_TRUE(other.StartDoc(u"Other"));
  next.spooling = true;
  next.spoolJob = job;
  ASSERT_TRUE(next.StartDoc(u"Label", job));
  ASSERT_TRUE(Page(next));
  ASSERT_TRUE(next.EndDoc());
  ASSERT_TRUE(other.EndDoc());
  next.EndSpoolJob();
  other.EndSpoolJob();

  std::vector<uint8_t> sent;
  for (const auto& spooled : winsim::SpoolJobs(u"Label One"))
    if (spooled.id == job) sent = spooled.data;
  EXPECT_EQ(Count(Text(sent), "PRINT 1,1"), 2u);
  EXPECT_EQ(winsim::ReadHostFile(u"C:\\Logs\\Label.prt"), sent) << "both pages in the job's one file";
  EXPECT_EQ(GetFileAttributesW(W(u"C:\\Logs\\Label_3.prt").c_str()), INVALID_FILE_ATTRIBUTES);
  EXPECT_NE(GetFileAttributesW(W(u"C:\\Logs\\Other_2.prt").c_str()), INVALID_FILE_ATTRIBUTES);
}

// The first capture of a process is named after the document alone, so a job of the same name rendered at
// once in another process (or for another printer capturing to the same folder) holds that file open.
TEST_F(CaptureTest, ANameAnotherJobHoldsOpenIsPassedOver) {
  EnableCapture(u"C:\\Logs");
  ASSERT_TRUE(CreateDirectoryW(W(u"C:\\Logs").c_str(), nullptr));
  HANDLE elsewhere = CreateFileW(W(u"C:\\Logs\\Label.prt").c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                 CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(elsewhere, INVALID_HANDLE_VALUE);
  DWORD done = 0;
  ASSERT_TRUE(WriteFile(elsewhere, "theirs", 6, &done, nullptr));
  Device dev(printer);
  ASSERT_TRUE(dev.Enable());
  auto sent = PrintDocument(dev, u"Label");
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(winsim::ReadHostFile(u"C:\\Logs\\Label_2.prt"), sent);
  CloseHandle(elsewhere);
  EXPECT_EQ(winsim::ReadHostFile(u"C:\\Logs\\Label.prt"), (std::vector<uint8_t>{'t', 'h', 'e', 'i', 'r', 's'}));
}

TEST_F(CaptureTest, CaptureHoldsOnlyThisDocumentsBytes) {
  EnableCapture(u"C:\\Logs");
  std::vector<uint8_t> stale(100000, 'Z');
  winsim::WriteHostFile(u"C:\\Logs\\Label.prt", stale.data(), stale.size());
  Device dev(printer);
  ASSERT_TRUE(dev.Enable());
  auto sent = PrintDocument(dev, u"Label");
  EXPECT_EQ(winsim::ReadHostFile(u"C:\\Logs\\Label.prt"), sent);
}

TEST_F(CaptureTest, NoCaptureWithoutTheFlagOrFolder) {
  std::u16string folder = u"C:\\Logs";
  SetPrinterData(u"LogFolder", REG_SZ, folder.c_str(), (folder.size() + 1) * 2);
  Device dev(printer);
  ASSERT_TRUE(dev.Enable());
  PrintDocument(dev, u"Label");
  EXPECT_EQ(GetFileAttributesW(W(u"C:\\Logs").c_str()), INVALID_FILE_ATTRIBUTES);

  EnableCapture(u"");
  PrintDocument(dev, u"Label");
  EXPECT_EQ(dev.P()->Shared->Capture.Counter, 1);
}

TEST_F(CaptureTest, UncreatableCaptureIsLoggedAndSkipped) {
  // The folder's name is taken by a file: neither the folder nor the capture can be made.
  winsim::WriteHostFile(u"C:\\Logs", "x", 1);
  EnableCapture(u"C:\\Logs");
  Device dev(printer);
  ASSERT_TRUE(dev.Enable());
  winsim::ClearDebugLines();
  auto sent = PrintDocument(dev, u"Label");
  EXPECT_FALSE(sent.empty());
  bool logged = false;
  for (const auto& line : winsim::DebugLines()) logged |= line.rfind("WriteFile ", 0) == 0;
  EXPECT_TRUE(logged);
  EXPECT_EQ(dev.P()->CaptureFile, nullptr);
  for (const JobCapture& job : dev.P()->Shared->Capture.Jobs) EXPECT_EQ(job.File, nullptr);
  EXPECT_EQ(dev.P()->Shared->Capture.Counter, 1) << "no number taken";
}

TEST(CaptureFileName, DocumentNamesStayInsideTheFolder) {
  const std::pair<const char16_t*, const char16_t*> cases[] = {
      {u"Label", u"Label.prt"},
      {u"..\\..\\evil", u".._.._evil.prt"},
      {u"a/b", u"a_b.prt"},
      {u"c:x", u"c_x.prt"},  // a drive, or a stream of the file "c"
      {u"*?\"<>|", u"______.prt"},
      {u"tab\there\x01\x1f", u"tab_here__.prt"},
      {u"con", u"_con.prt"},  // devices, whatever the case and the extension
      {u"COM1.txt", u"_COM1.txt.prt"},
      {u"NUL ", u"_NUL .prt"},
      {u"CONSOLE", u"CONSOLE.prt"},
      {u"COM10", u"COM10.prt"},
      {u"\u6d4b\u8bd5", u"\u6d4b\u8bd5.prt"},
  };
  for (const auto& [doc, leaf] : cases) EXPECT_EQ(CaptureFileLeaf(W(doc).c_str(), 1), W(leaf));
  EXPECT_EQ(CaptureFileLeaf(nullptr, 1), W(u".prt"));
  EXPECT_EQ(CaptureFileLeaf(W(u"a:b").c_str(), 3), W(u"a_b_3.prt"));
  EXPECT_EQ(CaptureFileLeaf(W(u"CON").c_str(), 2), W(u"CON_2.prt"));  // no longer a device name
}

TEST_F(CaptureTest, DocumentNameCannotLeaveTheFolder) {
  EnableCapture(u"C:\\Printer Log\\Label One");
  Device dev(printer);
  ASSERT_TRUE(dev.Enable());
  // A captured file outside the folder would need the path to climb out of it, or to name
  // another drive or a stream; each name is captured in the folder instead.
  auto climbed = PrintDocument(dev, u"..\\..\\evil");
  EXPECT_EQ(winsim::ReadHostFile(u"C:\\Printer Log\\Label One\\.._.._evil.prt"), climbed);
  EXPECT_EQ(GetFileAttributesW(W(u"C:\\evil.prt").c_str()), INVALID_FILE_ATTRIBUTES);
  auto slashed = PrintDocument(dev, u"a/b");
  EXPECT_EQ(winsim::ReadHostFile(u"C:\\Printer Log\\Label One\\a_b_2.prt"), slashed);
  EXPECT_EQ(GetFileAttributesW(W(u"C:\\Printer Log\\Label One\\a").c_str()), INVALID_FILE_ATTRIBUTES);
  auto drive = PrintDocument(dev, u"c:x");
  EXPECT_EQ(winsim::ReadHostFile(u"C:\\Printer Log\\Label One\\c_x_3.prt"), drive);
  auto control = PrintDocument(dev, u"line\r\nbreak");
  EXPECT_EQ(winsim::ReadHostFile(u"C:\\Printer Log\\Label One\\line__break_4.prt"), control);
  EXPECT_FALSE(climbed.empty());
}

TEST_F(CaptureTest, LongLogFolderIsReadWhole) {
  // A folder of 200 characters is written as 402 bytes; all of it must be read back.
  std::u16string folder = u"C:\\" + std::u16string(196, u'L');
  EnableCapture(folder);
  Device dev(printer);
  ASSERT_TRUE(dev.Enable());
  auto sent = PrintDocument(dev, u"Label");
  ASSERT_FALSE(sent.empty());
  EXPECT_EQ(winsim::ReadHostFile(folder + u"\\Label.prt"), sent);

  // A value that fills the whole 520 bytes without a terminator ends inside the field.
  std::u16string unterminated(260, u'x');
  SetPrinterData(u"LogFolder", REG_SZ, unterminated.data(), unterminated.size() * 2);
  ASSERT_TRUE(dev.StartDoc(u"Label"));
  EXPECT_EQ(WStrNLen(dev.P()->LogFolder, kLogFolderChars), size_t{kLogFolderChars - 1});
  ASSERT_TRUE(dev.EndDoc());
}

}  // namespace
