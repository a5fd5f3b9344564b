// lbldrv6.so as the spooler sees it: opened by winsim's loader, driven by the job runner.
#include <gtest/gtest.h>

#include <dlfcn.h>

#include <algorithm>
#include <cstring>

#include "common/fixture.h"
#include "resources/catalogue_blob.h"
#include "winsim/printpath.h"

namespace {

using lbltest::Count;
using lbltest::Text;

HMODULE Library() {
  std::string error;
  HMODULE m = winsim::LoadDriverModule(u"lbldrv6", &error);
  EXPECT_NE(m, nullptr) << error;
  return m;
}

TEST(DriverLibrary, ExportsOnlyTheDriverEntries) {
  HMODULE m = Library();
  ASSERT_NE(m, nullptr);
  for (const char* name : {"DllMain", "DrvQueryDriverInfo", "DrvEnableDriver", "DrvDisableDriver"})
    EXPECT_NE(winsim::GetModuleProc(m, name), nullptr) << name;
  for (const char* name : {"DrvEnablePDEV", "DrvStartDoc", "DrvSendPage", "DrvEscape", "DrvEndDoc", "g_CatalogueJson",
                           "WriteJobHeader"})
    EXPECT_EQ(winsim::GetModuleProc(m, name), nullptr) << name;
  EXPECT_TRUE(winsim::UnloadDriverModule(m));
}

TEST(DriverLibrary, CarriesTheCatalogueAsItsResource) {
  HMODULE m = Library();
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(GetModuleHandleW(TEXT("lbldrv6.dll")), m);
  HRSRC res = FindResourceW(m, MAKEINTRESOURCEW(119), TEXT("JSON"));
  ASSERT_NE(res, nullptr);
  ASSERT_EQ(SizeofResource(m, res), g_CatalogueJsonSize);
  EXPECT_EQ(std::memcmp(LockResource(LoadResource(m, res)), g_CatalogueJson, g_CatalogueJsonSize), 0);
  winsim::UnloadDriverModule(m);
}

// Static initializers run under the dynamic loader's lock; one that took the machine's lock deadlocked
// lbl serve against a thread holding the machine's lock at its first thread_local. Loading the library
// by itself must not reach the machine: its resources are handed over when winsim's loader attaches it.
TEST(DriverLibrary, LoadingTheFileAloneRunsNothingOfTheMachine) {
  winsim::Reset();
  if (GetModuleHandleW(TEXT("lbldrv6.dll")) || dlopen((winsim::ModuleDirectory() + "/lbldrv6.so").c_str(), RTLD_NOLOAD))
    GTEST_SKIP() << "the library was loaded earlier in this process";
  void* dl = dlopen((winsim::ModuleDirectory() + "/lbldrv6.so").c_str(), RTLD_NOW | RTLD_LOCAL);
  ASSERT_NE(dl, nullptr) << dlerror();
  EXPECT_EQ(GetModuleHandleW(TEXT("lbldrv6.dll")), nullptr);
  dlclose(dl);
  HMODULE m = Library();
  ASSERT_NE(m, nullptr);
  EXPECT_NE(FindResourceW(m, MAKEINTRESOURCEW(119), TEXT("JSON")), nullptr);
  winsim::UnloadDriverModule(m);
}

class LibraryJobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    winsim::Reset();
    HANDLE h = lbltest::InstallPrinter(u"Tarnwell TW-QX", lbltest::DataFile().b, u"Label One");
    ASSERT_NE(h, nullptr);
    ClosePrinter(h);
  }
  // An application's public-only DEVMODE: 50 x 30 mm, `copies` copies.
  static std::vector<uint8_t> Devmode(SHORT copies) {
    DEVMODEW dm{};
    dm.dmSpecVersion = 0x401;
    dm.dmSize = sizeof dm;
    dm.dmFields = DM_PAPERSIZE | DM_PAPERWIDTH | DM_PAPERLENGTH | DM_COPIES;
    dm.dmPaperSize = DMPAPER_USER;
    dm.dmPaperWidth = 500;
    dm.dmPaperLength = 300;
    dm.dmCopies = copies;
    std::vector<uint8_t> bytes(sizeof dm);
    std::memcpy(bytes.data(), &dm, sizeof dm);
    return bytes;
  }
};

TEST_F(LibraryJobTest, RunsADocumentThroughTheEntryPoints) {
  winsim::ClearDebugLines();
  int drawn = 0;
  winsim::JobResult r = winsim::RunJob(u"Label One", Devmode(2), 2, [&](int page, const winsim::PageSurface& s) {
    ++drawn;
    EXPECT_EQ(page + 1, drawn);
    for (int y = 0; y < 16; ++y) std::memset(s.bits + ptrdiff_t(y) * s.stride, 0, size_t(s.width) * 3);
  });
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(drawn, 2);
  EXPECT_EQ(r.gdiInfo.ulHorzRes, 400u);
  EXPECT_EQ(r.gdiInfo.ulVertRes, 240u);

  const std::string out = Text(r.output);
  EXPECT_EQ(Count(out, "DIRECTION 0,0"), 1u);
  EXPECT_EQ(Count(out, "SIZE "), 4u);  // two pages, two copies each
  EXPECT_EQ(Count(out, "BITMAP "), Count(out, "PRINT 1,1"));
  EXPECT_EQ(Count(out, "PRINT 1,1"), 4u);
  EXPECT_LT(out.find("DIRECTION"), out.find("SIZE "));
  for (DWORD w : r.writes) EXPECT_LE(w, 0x50000u);

  std::vector<std::string> entries;
  for (const auto& line : winsim::DebugLines())
    if (line.rfind("Enter Drv", 0) == 0) entries.push_back(line);
  const std::vector<std::string> expected = {"Enter DrvStartDoc\r\n", "Enter DrvStartPage\r\n", "Enter DrvSendPage\r\n",
                                             "Enter DrvStartPage\r\n", "Enter DrvSendPage\r\n", "Enter DrvEndDoc\r\n"};
  EXPECT_EQ(entries, expected);
  EXPECT_EQ(winsim::LiveSurfaces(), 0u);
  EXPECT_EQ(winsim::LivePalettes(), 0u);
  auto jobs = winsim::SpoolJobs(u"Label One");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_TRUE(jobs[0].ended);
}

TEST_F(LibraryJobTest, EngineAbortEndsTheDocument) {
  winsim::SetEngineAbort(true, 2);  // DrvStartDoc and DrvStartPage pass, DrvSendPage sees the abort
  winsim::JobResult r = winsim::RunJob(u"Label One", Devmode(1), 3);
  winsim::SetEngineAbort(false);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error.rfind("DrvSendPage failed", 0), 0u) << r.error;
  EXPECT_TRUE(r.output.empty());
  auto jobs = winsim::SpoolJobs(u"Label One");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_TRUE(jobs[0].aborted);
}

TEST_F(LibraryJobTest, TheDriverReadsNoMoreOfADevmodeThanItsSizesSay) {
  // GDI hands the driver dmSize + dmDriverExtra bytes. An application whose record claims a private
  // block it does not have prints with the defaults for it; one whose public part is longer than the
  // fields the driver knows prints too. Under AddressSanitizer any read beyond either would fail.
  std::vector<uint8_t> claims = Devmode(1);
  reinterpret_cast<DEVMODEW*>(claims.data())->dmDriverExtra = 2748;
  winsim::JobResult r = winsim::RunJob(u"Label One", claims, 1);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.gdiInfo.ulHorzRes, 400u);

  std::vector<uint8_t> longer = Devmode(1);
  reinterpret_cast<DEVMODEW*>(longer.data())->dmSize = sizeof(DEVMODEW) + 80;
  r = winsim::RunJob(u"Label One", longer, 1);
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.gdiInfo.ulHorzRes, 400u);
}

TEST_F(LibraryJobTest, ReportsAPrinterThatCannotBeEnabled) {
  winsim::Reset();
  HANDLE h = lbltest::InstallPrinter(u"Tarnwell TW-QX", {}, u"No Data");
  ClosePrinter(h);
  winsim::JobResult r = winsim::RunJob(u"No Data", {}, 1);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error.rfind("DrvEnablePDEV failed", 0), 0u) << r.error;
  EXPECT_TRUE(winsim::SpoolJobs().empty());
}

}  // namespace
