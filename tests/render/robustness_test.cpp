// Pages are printed whole or the page call fails (missing memory, page files that cannot be
// written); page file names; capture files of jobs that follow one another; out of memory in the
// model record, the image operations, the PDEV and its surface.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <functional>
#include <gmock/gmock.h>

#include "common/service_folder.h"
#include "driver_fixture.h"
#include "image/image.h"
#include "render/module.h"
#include "render/output.h"

using namespace drvtest;

namespace {

class RobustnessTest : public DriverTest {
 protected:
  void TearDown() override {
    winsim::SetAllocationFault(0);
    DriverTest::TearDown();
  }
  // The printer's defaults for `language`, `copies` copies.
  PrinterDevmode Settings(uint32_t language, SHORT copies = 1) {
    PrinterDevmode dm = Defaults();
    dm.PrintLanguage = language;
    dm.dm.dmCopies = copies;
    return dm;
  }
  std::string Output() { return Text(winsim::PrinterOutput(u"Label One")); }
  static void DrawBar(Device& dev) {
    auto* bits = static_cast<uint8_t*>(dev.so->pvScan0);
    for (int y = 0; y < 8 && y < dev.so->sizlBitmap.cy; ++y)
      std::memset(bits + ptrdiff_t(y) * dev.so->lDelta, 0, size_t(dev.so->sizlBitmap.cx) * 3);
  }
};

std::vector<std::string> PageFilesOf(DWORD jobId) {
  char tag[32];
  std::snprintf(tag, sizeof tag, "_jobid_%03u_", static_cast<unsigned>(jobId));
  std::vector<std::string> names;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(winsim::HostPath(u"C:\\prtmonlog\\pages"), ec)) {
    const std::string name = entry.path().filename().string();
    if (name.find(tag) != std::string::npos) names.push_back(name);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A page whose raster cannot be made fails with ERROR_NOT_ENOUGH_MEMORY and sends nothing; an
// all-white page that paper saving takes to no rows is no failure.
TEST_F(RobustnessTest, PageWithoutMemoryFailsAndBlankPageDoesNot) {
  PrinterDevmode dm = Settings(kLangTspl);
  dm.PaperSaving = 3;
  Device dev(printer);
  ASSERT_TRUE(dev.Enable(&dm));
  ASSERT_TRUE(dev.StartDoc());
  ASSERT_TRUE(DrvStartPage(dev.so));
  EXPECT_TRUE(DrvSendPage(dev.so));  // all white, paper saving: a page of no rows

  ASSERT_TRUE(DrvStartPage(dev.so));
  DrawBar(dev);
  const size_t before = Output().size();
  winsim::SetAllocationFault(1);  // the working image
  EXPECT_FALSE(DrvSendPage(dev.so));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
  winsim::SetAllocationFault(0);
  EXPECT_EQ(Output().size(), before);
}

// Writers that cannot allocate their buffers, and TWL page files that cannot be written, fail the
// page; TWL sends no marker for a copy whose file is missing.
TEST_F(RobustnessTest, WriterFailuresFailThePage) {
  for (uint32_t language : {kLangZpl, kLangEsc, kLangTwl}) {
    SCOPED_TRACE(language);
    Install();
    PrinterDevmode dm = Settings(language);
    Device dev(printer);
    ASSERT_TRUE(dev.Enable(&dm));
    ASSERT_TRUE(dev.StartDoc(u"Label", 50 + language));
    // Count the page's allocations, then fail the last one: the writer's own buffer. The first page
    // also makes the raster block the PDEV keeps for the pages after it, so the count is taken on
    // the second.
    ASSERT_TRUE(DrvStartPage(dev.so));
    DrawBar(dev);
    ASSERT_TRUE(DrvSendPage(dev.so));
    ASSERT_TRUE(DrvStartPage(dev.so));
    DrawBar(dev);
    winsim::SetAllocationFault(0);
    ASSERT_TRUE(DrvSendPage(dev.so));
    const unsigned allocations = winsim::AllocationCount();
    const std::string before = Output();
    const size_t filesBefore = PageFilesOf(50 + language).size();

    ASSERT_TRUE(DrvStartPage(dev.so));
    DrawBar(dev);
    winsim::SetAllocationFault(allocations);
    EXPECT_FALSE(DrvSendPage(dev.so));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
    winsim::SetAllocationFault(0);
    if (language == kLangTwl) {
      EXPECT_EQ(Output(), before);  // no marker
      EXPECT_EQ(PageFilesOf(50 + language).size(), filesBefore);
    }
  }
}

TEST_F(RobustnessTest, UnwritableTwlPageFileSendsNoMarker) {
  PrinterDevmode dm = Settings(kLangTwl, 2);
  Device dev(printer);
  ASSERT_TRUE(dev.Enable(&dm));
  ASSERT_TRUE(dev.StartDoc(u"Label", 61));
  // The page folder's name is taken by a file: no page file can be made.
  for (const std::string& name : PageFilesOf(61)) DeleteFileA(("c:\\prtmonlog\\pages\\" + name).c_str());
  RemoveDirectoryW(TEXT("c:\\prtmonlog\\pages"));
  winsim::WriteHostFile(u"C:\\prtmonlog\\pages", "x", 1);
  ASSERT_TRUE(DrvStartPage(dev.so));
  DrawBar(dev);
  EXPECT_FALSE(DrvSendPage(dev.so));
  EXPECT_NE(GetLastError(), DWORD(ERROR_SUCCESS));
  EXPECT_THAT(Output(), Not(HasSubstr("\x1D\x1D\x76\x76")));
}

// ---- page file names ----

TEST_F(RobustnessTest, PageFileHeldOpenIsPassedOverNotOverwritten) {
  const std::string first = PageFileName(5, 9, 0);
  ASSERT_TRUE(PreparePageFolder());
  HANDLE held = CreateFileA(first.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(held, "held", 4, &written, nullptr));
  EXPECT_EQ(WritePageFile(5, 9, "page", 4), DWORD(ERROR_SUCCESS));
  CloseHandle(held);
  EXPECT_EQ(winsim::ReadHostFile(u"C:\\prtmonlog\\pages\\page_0005_jobid_009_0.dat"),
            (std::vector<uint8_t>{'h', 'e', 'l', 'd'}));
  EXPECT_EQ(winsim::ReadHostFile(u"C:\\prtmonlog\\pages\\page_0005_jobid_009_1.dat"),
            (std::vector<uint8_t>{'p', 'a', 'g', 'e'}));
  // Two writers of the same job and page get a file each.
  EXPECT_EQ(WritePageFile(5, 9, "again", 5), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(winsim::ReadHostFile(u"C:\\prtmonlog\\pages\\page_0005_jobid_009_2.dat").size(), 5u);
}

// ---- capture files ----

TEST_F(RobustnessTest, CaptureOfAContinuedDocumentDoesNotAbsorbTheNextJob) {
  EnableCapture(u"C:\\Logs");
  PrinterDevmode dm = Settings(kLangTspl);
  Device dev(printer);
  ASSERT_TRUE(dev.Enable(&dm));
  // Job 71: two documents; the second continues the job and keeps its capture file open.
  ASSERT_TRUE(dev.StartDoc(u"First", 71));
  ASSERT_TRUE(dev.EndDoc());
  ASSERT_TRUE(dev.StartDoc(u"First", 71));
  ASSERT_TRUE(DrvStartPage(dev.so));
  ASSERT_TRUE(DrvSendPage(dev.so));
  ASSERT_TRUE(dev.EndDoc());
  // Job 72 gets a capture file of its own.
  ASSERT_TRUE(dev.StartDoc(u"Second", 72));
  ASSERT_TRUE(dev.EndDoc());
  const auto first = winsim::ReadHostFile(u"C:\\Logs\\First_2.prt");
  const auto second = winsim::ReadHostFile(u"C:\\Logs\\Second_3.prt");
  EXPECT_THAT(Text(first), HasSubstr("PRINT 1,1"));
  ASSERT_FALSE(second.empty());
  EXPECT_THAT(Text(second), HasSubstr("DIRECTION 0,0"));
  EXPECT_THAT(Text(first), Not(HasSubstr("DIRECTION 0,0")));
}

// Two jobs rendered at once on the printer: a job's second document is told from a new job by the job's own
// id, not by the printer's last one, so another job starting in between adds no second job header to it.
TEST_F(RobustnessTest, AnotherJobBetweenTheDocumentsOfAJobChangesNothingOfIt) {
  PrinterDevmode dm = Settings(kLangTspl);
  HANDLE second = nullptr;
  WString name = W(u"Label One");
  ASSERT_TRUE(OpenPrinterW(name.data(), &second, nullptr));
  Device a(printer), b(second);
  ASSERT_TRUE(a.Enable(&dm));
  ASSERT_TRUE(b.Enable(&dm));
  ASSERT_TRUE(a.StartDoc(u"First", 71));
  ASSERT_TRUE(a.EndDoc());
  ASSERT_TRUE(b.StartDoc(u"Other", 72));
  ASSERT_TRUE(a.StartDoc(u"First", 71));
  ASSERT_TRUE(DrvStartPage(a.so));
  ASSERT_TRUE(DrvSendPage(a.so));
  ASSERT_TRUE(a.EndDoc());
  ASSERT_TRUE(b.EndDoc());
  const DWORD jobA = a.spoolJob, jobB = b.spoolJob;
  a.EndSpoolJob();
  b.EndSpoolJob();
  std::string sentA, sentB;
  for (const auto& job : winsim::SpoolJobs(u"Label One")) {
    if (job.id == jobA) sentA = Text(job.data);
    if (job.id == jobB) sentB = Text(job.data);
  }
  EXPECT_EQ(Count(sentA, "DIRECTION 0,0"), 1u) << "one job header";
  EXPECT_EQ(Count(sentA, "PRINT 1,1"), 1u);
  EXPECT_EQ(Count(sentB, "DIRECTION 0,0"), 1u);
  b.Disable();
  ClosePrinter(second);
}

TEST_F(RobustnessTest, PassthroughBytesAreCaptured) {
  EnableCapture(u"C:\\Logs");
  Device dev(printer);
  ASSERT_TRUE(dev.Enable());
  ASSERT_TRUE(dev.StartDoc(u"Raw", 81));
  const uint8_t in[] = {5, 0, 'H', 'E', 'L', 'L', 'O'};
  EXPECT_EQ(DrvEscape(dev.so, PASSTHROUGH, sizeof in, const_cast<uint8_t*>(in), 0, nullptr), 5u);
  ASSERT_TRUE(dev.EndDoc());
  dev.EndSpoolJob();
  EXPECT_EQ(Text(winsim::ReadHostFile(u"C:\\Logs\\Raw.prt")), Output());
  EXPECT_THAT(Output(), HasSubstr("HELLO"));
}

}  // namespace

// ---- out of memory in the model record and the image operations ----

namespace {

class OutOfMemoryTest : public RobustnessTest {};

// The model record without memory: no record, or a record without its paper list.
TEST_F(OutOfMemoryTest, ModelRecordLosesItselfOrItsPaperList) {
  winsim::SetAllocationFault(0);
  ModelRecord* clean = LoadModelRecord(printer, nullptr, RenderModule());
  const unsigned allocations = winsim::AllocationCount();
  ASSERT_NE(clean, nullptr);
  EXPECT_GT(clean->Forms.Count, 0);
  FreeModelRecord(clean);
  bool noRecord = false, noPapers = false;
  for (unsigned n = 1; n <= allocations; ++n) {
    winsim::SetAllocationFault(n);
    ModelRecord* model = LoadModelRecord(printer, nullptr, RenderModule());
    winsim::SetAllocationFault(0);
    if (!model) {
      noRecord = true;
      continue;
    }
    if (!model->Forms.Data) noPapers = true;
    FreeModelRecord(model);
  }
  EXPECT_TRUE(noRecord);
  EXPECT_TRUE(noPapers);
}

// Every image operation the pipeline uses fails without memory and leaves the image as it was.
TEST_F(OutOfMemoryTest, ImageOperationsLeaveTheImageAsItWas) {
  RasterImage image;
  ASSERT_TRUE(image.Create(40, 30, 8));
  for (uint32_t y = 0; y < image.Height(); ++y)
    for (uint32_t x = 0; x < image.Width(); ++x) image.Row(y)[x] = static_cast<uint8_t>(x * 6 + y);
  const std::vector<uint8_t> before(image.Row(0), image.Row(0) + size_t{image.Stride()} * image.Height());
  const std::pair<const char*, std::function<bool(RasterImage&)>> ops[] = {
      {"resample", [](RasterImage& i) { return i.Resample(20, 15); }},
      {"crop", [](RasterImage& i) { return i.Crop(ImageBox{2, 2, 20, 20}); }},
      {"threshold", [](RasterImage& i) { return i.Threshold(128); }},
      {"dither", [](RasterImage& i) { return i.Dither(0); }},
  };
  for (const auto& [name, op] : ops) {
    SCOPED_TRACE(name);
    RasterImage copy = image;
    winsim::SetAllocationFault(1, true);
    EXPECT_FALSE(op(copy));
    winsim::SetAllocationFault(0);
    EXPECT_NE(copy.LastError(), nullptr);
    ASSERT_EQ(copy.Width(), 40u);
    ASSERT_EQ(copy.Bpp(), 8u);
    EXPECT_EQ(std::vector<uint8_t>(copy.Row(0), copy.Row(0) + size_t{copy.Stride()} * copy.Height()), before);
  }
}

// DrvEnableSurface without memory for the output buffer makes no surface; DrvEnablePDEV without
// memory for the PDEV makes no PDEV.
TEST_F(OutOfMemoryTest, NoPdevOrSurfaceWithoutMemory) {
  Device dev(printer);
  winsim::SetAllocationFault(1, true);
  EXPECT_FALSE(dev.Enable());
  EXPECT_EQ(dev.pdev, nullptr);
  winsim::SetAllocationFault(0);
  Device second(printer);
  ASSERT_TRUE(second.Enable());
  EngUnlockSurface(second.so);
  DrvDisableSurface(second.pdev);
  second.so = nullptr;
  winsim::SetAllocationFault(1);
  LocalFree(second.P()->OutputBuffer);
  second.P()->OutputBuffer = nullptr;
  EXPECT_EQ(DrvEnableSurface(second.pdev), nullptr);
  winsim::SetAllocationFault(0);
  second.surface = nullptr;
  EXPECT_EQ(winsim::LiveSurfaces(), 0u);
}

}  // namespace
