// The document calls between DrvStartDoc and DrvEndDoc, and DrvEscape.
#include <algorithm>
#include <cstring>
#include <gmock/gmock.h>
#include <utility>

#include "driver_fixture.h"
#include "render/output.h"

using namespace drvtest;

namespace {

class JobTest : public DriverTest {
 protected:
  // Settings whose job-level user commands mark the job start and end in the output.
  PrinterDevmode MarkedSettings() {
    PrinterDevmode dm = Defaults();
    WStrCopy(dm.UserCommands[kUserCommandJobStart], kUserCommandChars, W(u"<JOB>").c_str());
    WStrCopy(dm.UserCommands[kUserCommandJobEnd], kUserCommandChars, W(u"</JOB>").c_str());
    return dm;
  }
  std::string Output() { return Text(winsim::PrinterOutput(u"Label One")); }
  // `dev` enabled with `dm`, the first document of job 41 printed and its second document started.
  void StartSecondDocument(Device& dev, PrinterDevmode& dm) {
    ASSERT_TRUE(dev.Enable(&dm));
    ASSERT_TRUE(dev.StartDoc(u"Part 1", 41));
    ASSERT_TRUE(dev.EndDoc());
    ASSERT_TRUE(dev.StartDoc(u"Part 2", 41));
  }
};

TEST_F(JobTest, DocumentsOfOneJobShareOneHeaderAndOneEnd) {
  PrinterDevmode dm = MarkedSettings();
  Device dev(printer);
  ASSERT_NO_FATAL_FAILURE(StartSecondDocument(dev, dm));
  ASSERT_TRUE(dev.EndDoc());
  std::string out = Output();
  EXPECT_EQ(Count(out, "<JOB>"), 1u);
  EXPECT_EQ(Count(out, "DIRECTION 0,0"), 1u);
  EXPECT_EQ(Count(out, "</JOB>"), 1u);
  EXPECT_LT(out.find("<JOB>"), out.find("DIRECTION"));

  // The next job id starts a job of its own.
  ASSERT_TRUE(dev.StartDoc(u"Next", 42));
  ASSERT_TRUE(dev.EndDoc());
  out = Output();
  EXPECT_EQ(Count(out, "<JOB>"), 2u);
  EXPECT_EQ(Count(out, "</JOB>"), 2u);
}

TEST_F(JobTest, BufferedBytesLeaveBeforeTheCountStartsAgain) {
  PrinterDevmode dm = MarkedSettings();
  Device dev(printer);
  ASSERT_NO_FATAL_FAILURE(StartSecondDocument(dev, dm));
  // What the continued document's pages left in the buffer goes out at its end.
  ASSERT_EQ(SendBytes(dev.P(), "<PAGE2>", 7), 7);
  ASSERT_TRUE(dev.EndDoc());
  EXPECT_EQ(dev.P()->Buffered, 0u);
  std::string out = Output();
  EXPECT_THAT(out, HasSubstr("<PAGE2>"));
  EXPECT_EQ(Count(out, "</JOB>"), 1u);  // still no second job end

  // Bytes still buffered when a document starts belong before it, not nowhere.
  ASSERT_EQ(SendBytes(dev.P(), "<LEFT>", 6), 6);
  ASSERT_TRUE(dev.StartDoc(u"Next", 42));
  out = Output();
  ASSERT_THAT(out, HasSubstr("<LEFT>"));
  ASSERT_TRUE(dev.EndDoc());
  out = Output();
  EXPECT_LT(out.find("<LEFT>"), out.rfind("<JOB>"));
}

TEST_F(JobTest, TestPageIsDitheredAtLevelOne) {
  Device dev(printer);
  ASSERT_TRUE(dev.Enable());
  ASSERT_EQ(dev.P()->Settings.DitherLevel, 8u);
  ASSERT_TRUE(dev.StartDoc(u"Test Pages"));
  EXPECT_EQ(dev.P()->Settings.DitherLevel, 8u);
  ASSERT_TRUE(dev.StartDoc(u"Test Page"));
  EXPECT_EQ(dev.P()->Settings.DitherLevel, 1u);

  Device chinese(printer);
  ASSERT_TRUE(chinese.Enable());
  ASSERT_TRUE(chinese.StartDoc(u"\u6d4b\u8bd5\u9875"));
  EXPECT_EQ(chinese.P()->Settings.DitherLevel, 1u);
}

TEST_F(JobTest, StartDocTakesTheCurrentPaperFromForms) {
  PaperRecord forms[2] = {};
  WStrCopy(forms[0].Name, kPaperNameChars, W(u"USER").c_str());
  forms[0].Width = 40000;
  forms[0].Length = 20000;
  WStrCopy(forms[1].Name, kPaperNameChars, W(u"Shelf").c_str());
  forms[1].Width = 70000;
  forms[1].Length = 35000;
  forms[1].MarginLeft = 1000;
  forms[1].Flags = kPaperBlackMark | kPaperInUse;
  forms[1].GapHeight = 4000;
  forms[1].Speed = 300;
  SetPrinterData(u"FORMS", REG_BINARY, forms, sizeof forms);
  InstalledPaper installed = PaperToInstalled(forms[1]);
  installed.Width = 1;  // the stock list wins over the stored copy
  SetPrinterData(u"InstalledForm", REG_BINARY, &installed, sizeof installed);

  PrinterDevmode dm = Defaults();
  dm.dm.dmFields |= DM_PAPERSIZE | DM_FORMNAME;
  dm.dm.dmPaperSize = kPaperIndexBase + 1;
  Device dev(printer);
  ASSERT_TRUE(dev.Enable(&dm));
  ASSERT_TRUE(dev.StartDoc());
  const InstalledPaper& paper = dev.P()->Paper;
  EXPECT_EQ(paper.Width, 70000);
  EXPECT_EQ(paper.Length, 35000);
  EXPECT_EQ(paper.ImageableArea.Left, 1000);
  EXPECT_EQ(paper.Flags, kPaperBlackMark | kPaperInUse);
  EXPECT_EQ(paper.GapHeight, 4000);
  EXPECT_EQ(paper.Speed, 300);
  ASSERT_TRUE(dev.EndDoc());
  EXPECT_THAT(Output(), HasSubstr("BLINE 4.0 mm"));
}

TEST_F(JobTest, StockValuesNoEditorMakesStandForNone) {
  PaperRecord forms[1] = {};
  WStrCopy(forms[0].Name, kPaperNameChars, W(u"USER").c_str());
  forms[0].Width = 50000;
  forms[0].Length = 30000;
  forms[0].Flags = kPaperGap | kPaperInUse;
  forms[0].Speed = 0x7FFFFFFF;
  forms[0].Darkness = -3;
  forms[0].GapHeight = -1;
  forms[0].GapOffset = -5;
  SetPrinterData(u"FORMS", REG_BINARY, forms, sizeof forms);

  PrinterDevmode dm = Defaults();
  dm.Speed = 300;
  dm.Darkness = 5;
  // The speed and darkness of the current paper after a document on the stored list.
  auto paperAfterADocument = [&] {
    Device dev(printer);
    EXPECT_TRUE(dev.Enable(&dm));
    EXPECT_TRUE(dev.StartDoc());
    const std::pair<int32_t, int32_t> values{dev.P()->Paper.Speed, dev.P()->Paper.Darkness};
    EXPECT_TRUE(dev.EndDoc());
    return values;
  };
  EXPECT_EQ(paperAfterADocument(), (std::pair<int32_t, int32_t>{0, 0}));
  // The settings' values go out instead, and no negative gap.
  EXPECT_THAT(Output(), HasSubstr("SPEED 3.00\r\nDENSITY 4\r\n")) << Output();
  EXPECT_THAT(Output(), HasSubstr("GAP 0.0 mm,0.0 mm\r\n")) << Output();

  // Values within the lists stay the stock's own.
  forms[0].Speed = 200;
  forms[0].Darkness = 2;
  SetPrinterData(u"FORMS", REG_BINARY, forms, sizeof forms);
  EXPECT_EQ(paperAfterADocument(), (std::pair<int32_t, int32_t>{200, 2}));
}

TEST_F(JobTest, UserDefinedSizeOverridesThePaperSize) {
  PrinterDevmode dm = Defaults();
  dm.dm.dmFields |= DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH;
  dm.dm.dmPaperSize = DMPAPER_USER;
  dm.dm.dmPaperWidth = 612;
  dm.dm.dmPaperLength = 333;
  Device dev(printer);
  ASSERT_TRUE(dev.Enable(&dm));
  ASSERT_TRUE(dev.StartDoc());
  EXPECT_EQ(dev.P()->Paper.Width, 61200);
  EXPECT_EQ(dev.P()->Paper.Length, 33300);
}

TEST_F(JobTest, StartPageWhitensTheBitmap) {
  Device dev(printer);
  ASSERT_TRUE(dev.Enable());
  const auto* bits = static_cast<const uint8_t*>(dev.so->pvBits);
  ASSERT_NE(bits[0], 0xFF);  // engine memory is not cleared for the driver
  ASSERT_TRUE(dev.StartDoc());
  ASSERT_TRUE(DrvStartPage(dev.so));
  EXPECT_EQ(std::count(bits, bits + dev.so->cjBits, 0xFF), std::ptrdiff_t(dev.so->cjBits));
}

TEST_F(JobTest, DeviceSurfacePageOnlyFlushes) {
  Device dev(printer);
  ASSERT_TRUE(dev.Enable());
  ASSERT_TRUE(dev.StartDoc());
  ASSERT_TRUE(Output().empty());  // the job header waits in the buffer
  SURFOBJ device = *dev.so;
  device.iType = STYPE_DEVICE;
  EXPECT_TRUE(DrvSendPage(&device));
  EXPECT_THAT(Output(), HasSubstr("DIRECTION 0,0"));
  SURFOBJ other = *dev.so;
  other.iType = STYPE_DEVBITMAP;
  EXPECT_FALSE(DrvSendPage(&other));
}

TEST_F(JobTest, EngineAbortStopsTheJob) {
  PrinterDevmode dm = MarkedSettings();
  Device dev(printer);
  ASSERT_TRUE(dev.Enable(&dm));
  ASSERT_TRUE(dev.StartDoc());
  winsim::SetEngineAbort(true);
  EXPECT_FALSE(DrvStartPage(dev.so));
  EXPECT_TRUE(dev.P()->State & kPdevFailed);
  EXPECT_FALSE(dev.EndDoc());
  winsim::SetEngineAbort(false);
  EXPECT_TRUE(dev.EndDoc());
  EXPECT_TRUE(Output().empty());
}

TEST_F(JobTest, ShortWritePrinterDropsTheRestOfTheJob) {
  PrinterDevmode dm = MarkedSettings();
  Device dev(printer);
  ASSERT_TRUE(dev.Enable(&dm));
  winsim::SetWritePrinterFault(winsim::WriteFault::Short);
  ASSERT_TRUE(dev.StartDoc(u"Label", 50));
  EXPECT_TRUE(dev.EndDoc());  // the document calls still succeed
  EXPECT_TRUE(dev.P()->State & kPdevFailed);
  const size_t calls = winsim::SpoolJobs(u"Label One").back().writes.size();
  EXPECT_EQ(calls, 1u);
  std::string out = Output();
  EXPECT_THAT(out, Not(HasSubstr("</JOB>")));

  winsim::SetWritePrinterFault(winsim::WriteFault::None);
  ASSERT_TRUE(dev.StartDoc(u"Label", 51));
  EXPECT_TRUE(dev.EndDoc());
  EXPECT_EQ(Output(), out);
  EXPECT_EQ(winsim::SpoolJobs(u"Label One").back().writes.size(), calls);
}

// ---- DrvEscape ---------------------------------------------------------------------------------

class EscapeTest : public JobTest {
 protected:
  ULONG Query(ULONG escape) { return DrvEscape(dev->so, QUERYESCSUPPORT, sizeof escape, &escape, 0, nullptr); }
  // The catalogue sets every model's copies limit to 32767; a data file's own limit holds only for
  // a printer whose catalogue has no entry, so a given limit means a model without one.
  void Enable(uint16_t maxCopies = 0) {
    dev.reset();
    lbltest::DataFile data;
    data.u16(90, maxCopies);
    if (maxCopies)
      Install(data, "");
    else
      Install();
    dev = std::make_unique<Device>(printer);
    ASSERT_TRUE(dev->Enable());
  }
  void TearDown() override {
    dev.reset();
    JobTest::TearDown();
  }
  std::unique_ptr<Device> dev;
};

TEST_F(EscapeTest, QueryEscSupport) {
  Enable();
  EXPECT_EQ(Query(QUERYESCSUPPORT), 1u);
  EXPECT_EQ(Query(PASSTHROUGH), 1u);
  EXPECT_EQ(Query(SETCOPYCOUNT), 1u);
  EXPECT_EQ(Query(4242), 0u);
  uint16_t shortInput = PASSTHROUGH;
  SetLastError(0);
  EXPECT_EQ(DrvEscape(dev->so, QUERYESCSUPPORT, sizeof shortInput, &shortInput, 0, nullptr), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  Enable(1);
  EXPECT_EQ(Query(SETCOPYCOUNT), 0u);
}

TEST_F(EscapeTest, SetCopyCountIsCutToTheModelLimit) {
  Enable(10);
  DWORD requested = 50, inForce = 0;
  EXPECT_EQ(DrvEscape(dev->so, SETCOPYCOUNT, sizeof requested, &requested, sizeof inForce, &inForce), 1u);
  EXPECT_EQ(inForce, 10u);
  EXPECT_EQ(dev->P()->Settings.dm.dmCopies, 10);

  requested = 3;
  uint8_t small[4] = {0xEE, 0xEE, 0xEE, 0xEE};
  EXPECT_EQ(DrvEscape(dev->so, SETCOPYCOUNT, sizeof requested, &requested, 2, small), 1u);
  EXPECT_EQ(small[0], 3);
  EXPECT_EQ(small[1], 0);
  EXPECT_EQ(small[2], 0xEE);  // nothing beyond the output size
  EXPECT_EQ(dev->P()->Settings.dm.dmCopies, 3);

  requested = 0;
  EXPECT_EQ(DrvEscape(dev->so, SETCOPYCOUNT, sizeof requested, &requested, 0, nullptr), 0u);
  EXPECT_EQ(DrvEscape(dev->so, SETCOPYCOUNT, 0, nullptr, 0, nullptr), 0u);
  uint16_t tooShort = 5;
  EXPECT_EQ(DrvEscape(dev->so, SETCOPYCOUNT, sizeof tooShort, &tooShort, 0, nullptr), 0u);
  EXPECT_EQ(dev->P()->Settings.dm.dmCopies, 3);
}

TEST_F(EscapeTest, PassthroughSendsTheLengthPrefixedBytes) {
  Enable();
  ASSERT_TRUE(dev->StartDoc());  // leaves the job header buffered
  const uint8_t in[] = {3, 0, 'a', 'b', 'c', 'x'};
  EXPECT_EQ(DrvEscape(dev->so, PASSTHROUGH, sizeof in, const_cast<uint8_t*>(in), 0, nullptr), 3u);
  std::string out = Output();
  ASSERT_GE(out.size(), 3u);
  EXPECT_EQ(out.substr(out.size() - 3), "abc");
  EXPECT_THAT(out, HasSubstr("DIRECTION"));  // buffered bytes went first
}

TEST_F(EscapeTest, PassthroughRefusesBadLengths) {
  Enable();
  ASSERT_TRUE(dev->StartDoc());
  const uint8_t oversized[] = {5, 0, 'a', 'b'};
  SetLastError(0);
  EXPECT_EQ(DrvEscape(dev->so, PASSTHROUGH, sizeof oversized, const_cast<uint8_t*>(oversized), 0, nullptr), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));
  const uint8_t empty[] = {0, 0, 'a'};
  EXPECT_EQ(DrvEscape(dev->so, PASSTHROUGH, sizeof empty, const_cast<uint8_t*>(empty), 0, nullptr), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_DATA));
  const uint8_t prefixOnly[] = {1, 0};
  EXPECT_EQ(DrvEscape(dev->so, PASSTHROUGH, sizeof prefixOnly, const_cast<uint8_t*>(prefixOnly), 0, nullptr), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(Output().empty());

  EXPECT_EQ(DrvEscape(dev->so, 4242, 0, nullptr, 0, nullptr), 0u);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_FUNCTION));
}

TEST_F(EscapeTest, PassthroughAfterAbortSendsNothing) {
  Enable();
  ASSERT_TRUE(dev->StartDoc());
  winsim::SetEngineAbort(true);
  const uint8_t in[] = {1, 0, 'a'};
  EXPECT_EQ(DrvEscape(dev->so, PASSTHROUGH, sizeof in, const_cast<uint8_t*>(in), 0, nullptr), 0u);
  EXPECT_TRUE(dev->P()->State & kPdevFailed);
  winsim::SetEngineAbort(false);
  EXPECT_EQ(DrvEscape(dev->so, PASSTHROUGH, sizeof in, const_cast<uint8_t*>(in), 0, nullptr), 0u);
  EXPECT_TRUE(Output().empty());
}

}  // namespace
