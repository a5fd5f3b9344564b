// winsim's printing side: engine bitmaps, the abort check, the spooler's job path and its faults,
// SHCreateDirectoryExW and the module loader.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "common/fixture.h"
#include "winsim/printpath.h"

using ::testing::HasSubstr;

namespace {

class WinsimPrintTest : public ::testing::Test {
 protected:
  void SetUp() override { winsim::Reset(); }
  void TearDown() override {
    winsim::SetWritePrinterFault(winsim::WriteFault::None);
    winsim::SetEngineAbort(false);
  }
};

TEST_F(WinsimPrintTest, EngineBitmapsAreDwordAlignedAndTopDownOnRequest) {
  SIZEL size{3, 2};
  HBITMAP top = EngCreateBitmap(size, 0, BMF_24BPP, BMF_TOPDOWN | BMF_NOZEROINIT, nullptr);
  ASSERT_NE(top, nullptr);
  SURFOBJ* so = EngLockSurface(reinterpret_cast<HSURF>(top));
  ASSERT_NE(so, nullptr);
  EXPECT_EQ(so->lDelta, 12);  // 9 bytes padded to 12
  EXPECT_EQ(so->cjBits, 24u);
  EXPECT_EQ(so->pvScan0, so->pvBits);
  EXPECT_EQ(so->iType, STYPE_BITMAP);
  EXPECT_NE(static_cast<uint8_t*>(so->pvBits)[0], 0);  // not cleared

  HBITMAP bottom = EngCreateBitmap(size, 0, BMF_24BPP, 0, nullptr);
  SURFOBJ* b = EngLockSurface(reinterpret_cast<HSURF>(bottom));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->lDelta, -12);
  EXPECT_EQ(b->pvScan0, static_cast<uint8_t*>(b->pvBits) + 12);
  EXPECT_EQ(static_cast<uint8_t*>(b->pvBits)[0], 0);

  EXPECT_EQ(EngCreateBitmap(SIZEL{0, 2}, 0, BMF_24BPP, 0, nullptr), nullptr);
  EXPECT_EQ(EngCreateBitmap(size, 0, 99, 0, nullptr), nullptr);
  EXPECT_EQ(winsim::LiveSurfaces(), 2u);
  EXPECT_TRUE(EngDeleteSurface(reinterpret_cast<HSURF>(top)));
  EXPECT_FALSE(EngDeleteSurface(reinterpret_cast<HSURF>(top)));
  EXPECT_EQ(winsim::LiveSurfaces(), 1u);
}

TEST_F(WinsimPrintTest, EngineAbortAfterSomeChecks) {
  winsim::SetEngineAbort(true, 2);
  EXPECT_FALSE(EngCheckAbort(nullptr));
  EXPECT_FALSE(EngCheckAbort(nullptr));
  EXPECT_TRUE(EngCheckAbort(nullptr));
  EXPECT_TRUE(EngCheckAbort(nullptr));
  winsim::SetEngineAbort(false);
  EXPECT_FALSE(EngCheckAbort(nullptr));
  EXPECT_EQ(winsim::EngineAbortChecks(), 5u);
}

TEST_F(WinsimPrintTest, WritePrinterNeedsAStartedDocumentAndHonoursFaults) {
  HANDLE h = lbltest::InstallPrinter(u"Tarnwell TW-QX", lbltest::DataFile().b);
  ASSERT_NE(h, nullptr);
  DWORD written = 7;
  char data[] = "abcdef";
  EXPECT_FALSE(WritePrinter(h, data, 6, &written));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SPL_NO_STARTDOC));
  EXPECT_EQ(written, 0u);

  winsim::SetNextJobId(77);
  WString doc = lbltest::W(u"Doc");
  DOC_INFO_1W info{doc.data(), nullptr, nullptr};
  EXPECT_EQ(StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&info)), 77u);
  EXPECT_EQ(StartDocPrinterW(h, 1, reinterpret_cast<LPBYTE>(&info)), 0u);  // one document at a time
  ASSERT_TRUE(WritePrinter(h, data, 2, &written));
  winsim::SetWritePrinterFault(winsim::WriteFault::Short, 1);
  ASSERT_TRUE(WritePrinter(h, data + 2, 2, &written));
  EXPECT_EQ(written, 2u);
  ASSERT_TRUE(WritePrinter(h, data + 4, 2, &written));
  EXPECT_EQ(written, 1u);
  winsim::SetWritePrinterFault(winsim::WriteFault::Fail);
  EXPECT_FALSE(WritePrinter(h, data, 6, &written));
  EXPECT_TRUE(EndDocPrinter(h));
  EXPECT_FALSE(EndDocPrinter(h));

  auto jobs = winsim::SpoolJobs(u"Label One");
  ASSERT_EQ(jobs.size(), 1u);
  EXPECT_EQ(jobs[0].id, 77u);
  EXPECT_EQ(jobs[0].document, u"Doc");
  EXPECT_EQ(std::string(jobs[0].data.begin(), jobs[0].data.end()), "abcde");
  EXPECT_EQ(jobs[0].writes, (std::vector<DWORD>{2, 2, 2, 6}));
  EXPECT_TRUE(jobs[0].ended);
  ClosePrinter(h);
}

TEST_F(WinsimPrintTest, CreateDirectoryExMakesTheWholePath) {
  EXPECT_EQ(SHCreateDirectoryExW(nullptr, TEXT("C:\\Printer Log\\One\\Two"), nullptr), ERROR_SUCCESS);
  EXPECT_NE(GetFileAttributesW(TEXT("C:\\Printer Log\\One\\Two")) & FILE_ATTRIBUTE_DIRECTORY, 0u);
  EXPECT_EQ(SHCreateDirectoryExW(nullptr, TEXT("C:\\Printer Log\\One\\"), nullptr), ERROR_ALREADY_EXISTS);
  EXPECT_EQ(SHCreateDirectoryExW(nullptr, TEXT("Printer Log"), nullptr), ERROR_BAD_PATHNAME);
  winsim::WriteHostFile(u"C:\\file", "x", 1);
  EXPECT_EQ(SHCreateDirectoryExW(nullptr, TEXT("C:\\file"), nullptr), ERROR_FILE_EXISTS);
  EXPECT_NE(SHCreateDirectoryExW(nullptr, TEXT("C:\\file\\below"), nullptr), ERROR_SUCCESS);
}

TEST_F(WinsimPrintTest, LoaderReportsUnknownModules) {
  std::string error;
  EXPECT_EQ(winsim::LoadDriverModule(u"nosuchdriver", &error), nullptr);
  EXPECT_THAT(error, HasSubstr("nosuchdriver.so")) << error;
  EXPECT_EQ(winsim::GetModuleProc(nullptr, "DrvEnableDriver"), nullptr);
  EXPECT_FALSE(winsim::UnloadDriverModule(nullptr));
  winsim::JobResult r = winsim::RunJob(u"Label One", {}, 1);
  EXPECT_FALSE(r.ok);
  EXPECT_FALSE(r.error.empty());
}

}  // namespace
