// lbldrv6.so through winsim's job runner in the situations applications and the spooler's print
// host create: ResetDC between pages, allocation failures anywhere in a job, and the jobs of two
// printers rendered at once on two threads.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <thread>

#include "common/devmode.h"
#include "common/fixture.h"
#include "common/model.h"
#include "winsim/printpath.h"

namespace {

using lbltest::Count;
using lbltest::Text;

std::u16string Wide(const std::string& s) { return std::u16string(s.begin(), s.end()); }

const std::string kMarker("\x1D\x1D\x76\x76", 4);

// The page files of the job: page number -> contents, sequence 0 only.
std::map<int, std::vector<uint8_t>> PageFiles(DWORD jobId) {
  std::map<int, std::vector<uint8_t>> files;
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(winsim::HostPath(u"C:\\prtmonlog\\pages"), ec)) {
    int page = 0, seq = 0;
    unsigned job = 0;
    if (std::sscanf(entry.path().filename().string().c_str(), "page_%d_jobid_%u_%d.dat", &page, &job, &seq) != 3)
      continue;
    if (job != jobId || seq != 0) continue;
    const std::string name = entry.path().filename().string();
    files[page] = winsim::ReadHostFile(u"C:\\prtmonlog\\pages\\" + Wide(name));
  }
  return files;
}

class LibraryRobustnessTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    module = winsim::LoadDriverModule(u"lbldrv6", &error);
    ASSERT_NE(module, nullptr) << error;
    winsim::Reset();
  }
  void TearDown() override {
    winsim::SetAllocationFault(0);
    if (module) winsim::UnloadDriverModule(module);
  }
  void Install(const std::u16string& name, const std::u16string& captureFolder = u"") {
    HANDLE h = lbltest::InstallPrinter(u"Tarnwell TW-QX", lbltest::DataFile().b, name);
    ASSERT_NE(h, nullptr);
    ClosePrinter(h);
    if (captureFolder.empty()) return;
    DWORD flags = kPropCaptureCode;
    winsim::SetPrinterDataValue(name, u"PPDataFlags", REG_DWORD,
                                std::vector<uint8_t>(reinterpret_cast<uint8_t*>(&flags),
                                                     reinterpret_cast<uint8_t*>(&flags) + sizeof flags));
    std::vector<uint8_t> folder(reinterpret_cast<const uint8_t*>(captureFolder.c_str()),
                                reinterpret_cast<const uint8_t*>(captureFolder.c_str() + captureFolder.size() + 1));
    winsim::SetPrinterDataValue(name, u"LogFolder", REG_SZ, folder);
  }
  // The printer's defaults in `language` on a 20 x 10 mm label, as an application sends them.
  std::vector<uint8_t> Devmode(const std::u16string& printerName, uint32_t language) {
    PrinterDevmode dm{};
    HANDLE h = nullptr;
    std::u16string name = printerName;
    EXPECT_TRUE(OpenPrinterW(name.data(), &h, nullptr));
    ModelRecord* model = LoadModelRecord(h, nullptr, module);
    EXPECT_NE(model, nullptr);
    if (model) FillDevmodeDefaults(model, lbltest::W(name.c_str()).c_str(), &dm);
    FreeModelRecord(model);
    ClosePrinter(h);
    dm.PrintLanguage = language;
    dm.dm.dmFields |= DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH | DM_COPIES;
    dm.dm.dmPaperSize = DMPAPER_USER;
    dm.dm.dmPaperWidth = 200;
    dm.dm.dmPaperLength = 100;
    dm.dm.dmCopies = 1;
    std::vector<uint8_t> bytes(sizeof dm);
    std::memcpy(bytes.data(), &dm, sizeof dm);
    return bytes;
  }
  static winsim::PageDrawer Bar() {
    return [](int, const winsim::PageSurface& s) {
      for (int y = 0; y < 8 && y < s.height; ++y) std::memset(s.bits + ptrdiff_t(y) * s.stride, 0, size_t(s.width) * 3);
    };
  }

  HMODULE module = nullptr;
};

// ResetDC after page 2 of 4: the old PDEV's bytes reach the printer before it goes, and the job
// keeps one header and one job end.
TEST_F(LibraryRobustnessTest, ResetDcBetweenPagesKeepsEveryLabelAndOneHeader) {
  Install(u"Label One");
  winsim::JobSpec spec;
  spec.printer = u"Label One";
  spec.devmode = Devmode(u"Label One", kLangTspl);
  auto* dm = reinterpret_cast<PrinterDevmode*>(spec.devmode.data());
  WStrCopy(dm->UserCommands[3], kUserCommandChars, lbltest::W(u"</JOB>").c_str());
  spec.pages = 4;
  spec.draw = Bar();
  spec.resetAfterPages = {2};
  winsim::ClearDebugLines();
  winsim::JobResult r = winsim::RunJob(spec);
  ASSERT_TRUE(r.ok) << r.error;
  const std::string out = Text(r.output);
  EXPECT_EQ(Count(out, "PRINT 1,1"), 4u);
  EXPECT_EQ(Count(out, "DIRECTION 0,0"), 1u);
  // The job's end comes from the PDEV that ends it, also when another PDEV began the job.
  EXPECT_EQ(Count(out, "</JOB>"), 1u);
  EXPECT_EQ(out.rfind("</JOB>"), out.size() - 6);
  EXPECT_EQ(winsim::LiveSurfaces(), 0u);
  EXPECT_EQ(winsim::LivePalettes(), 0u);
}

// Every allocation of a whole TSPL and TWL job fails in turn: the job either prints its label whole
// or reports the failure, and nothing of the engine's is left behind (ASan checks the memory).
TEST_F(LibraryRobustnessTest, EachAllocationOfAJobMayFail) {
  for (uint32_t language : {kLangTspl, kLangTwl}) {
    SCOPED_TRACE(language);
    winsim::Reset();
    Install(u"Label One");
    const std::vector<uint8_t> devmode = Devmode(u"Label One", language);
    // The first TWL job makes the page folder; the count is that of the jobs after it.
    ASSERT_TRUE(winsim::RunJob(u"Label One", devmode, 1, Bar()).ok);
    winsim::SetAllocationFault(0);
    winsim::JobResult clean = winsim::RunJob(u"Label One", devmode, 1, Bar());
    ASSERT_TRUE(clean.ok) << clean.error;
    const unsigned allocations = winsim::AllocationCount();
    ASSERT_GT(allocations, 5u);
    RecordProperty(language == kLangTspl ? "tsplAllocations" : "twlAllocations", static_cast<int>(allocations));

    unsigned failed = 0;
    for (unsigned n = 1; n <= allocations; ++n) {
      SCOPED_TRACE(n);
      winsim::SetAllocationFault(n);
      winsim::JobResult r = winsim::RunJob(u"Label One", devmode, 1, Bar());
      EXPECT_GE(winsim::AllocationCount(), n);
      winsim::SetAllocationFault(0);
      EXPECT_EQ(winsim::LiveSurfaces(), 0u);
      EXPECT_EQ(winsim::LivePalettes(), 0u);
      const std::string out = Text(r.output);
      if (!r.ok) {
        ++failed;
        EXPECT_FALSE(r.error.empty());
        continue;
      }
      // A job that reports success printed its label.
      if (language == kLangTspl) {
        EXPECT_EQ(Count(out, "PRINT 1,1"), 1u);
        EXPECT_EQ(Count(out, "DIRECTION 0,0"), 1u);
      } else {
        EXPECT_EQ(Count(out, kMarker), 1u);
        const auto files = PageFiles(r.jobId);
        EXPECT_EQ(files.size(), 2u);  // the job header and the page
        EXPECT_EQ(files.count(0), 1u);
      }
    }
    EXPECT_GT(failed, 0u);
  }
}

// The print host renders two printers' jobs at once: each printer keeps its own job sequence,
// capture files and TWL page numbers. Runs under ThreadSanitizer in CI.
TEST_F(LibraryRobustnessTest, ParallelPrintersKeepTheirOwnJobState) {
  constexpr int kJobs = 100;
  const std::u16string names[2] = {u"Left", u"Right"};
  const std::u16string folders[2] = {u"C:\\CapLeft", u"C:\\CapRight"};
  std::vector<uint8_t> devmodes[2];
  for (int p = 0; p < 2; ++p) {
    Install(names[p], folders[p]);
    devmodes[p] = Devmode(names[p], kLangTwl);
  }
  std::vector<winsim::JobResult> results[2];
  auto print = [&](int p) {
    for (int j = 0; j < kJobs; ++j) {
      winsim::JobSpec spec;
      spec.printer = names[p];
      spec.devmode = devmodes[p];
      spec.document = u"Job";
      spec.draw = Bar();
      results[p].push_back(winsim::RunJob(spec));
    }
  };
  std::thread left(print, 0), right(print, 1);
  left.join();
  right.join();

  for (int p = 0; p < 2; ++p) {
    SCOPED_TRACE(p);
    ASSERT_EQ(results[p].size(), size_t{kJobs});
    int lastPage = 0;
    for (int j = 0; j < kJobs; ++j) {
      const winsim::JobResult& r = results[p][j];
      ASSERT_TRUE(r.ok) << r.error;
      EXPECT_EQ(Count(Text(r.output), kMarker), 1u);
      const auto files = PageFiles(r.jobId);
      ASSERT_EQ(files.size(), 2u) << "job " << r.jobId;
      ASSERT_EQ(files.count(0), 1u);
      const int page = files.rbegin()->first;
      if (j > 0) {
        EXPECT_EQ(page, lastPage + 1);
      }
      lastPage = page;
      // The capture holds this job's header and page, nothing of another job.
      const std::u16string leaf = j == 0 ? u"\\Job.prt" : u"\\Job_" + Wide(std::to_string(j + 1)) + u".prt";
      std::vector<uint8_t> expected = files.at(0);
      expected.insert(expected.end(), files.rbegin()->second.begin(), files.rbegin()->second.end());
      EXPECT_EQ(winsim::ReadHostFile(folders[p] + leaf), expected) << "job " << j;
    }
  }
}

}  // namespace
