#include <gtest/gtest.h>

#include "tests/render/writers/writers_fixture.h"

using namespace wtest;

namespace {

class TwlTest : public testing::Test {
 protected:
  void SetUp() override { SetTwlPageCounter(1); }
  void TearDown() override { SetTwlPageCounter(1); }
};

std::string Marker(uint32_t size) { return Bytes().b({0x1D, 0x1D, 0x76, 0x76}).u32(size); }

}  // namespace

TEST_F(TwlTest, JobHeaderGoesToPageZeroAndCapture) {
  Job job(kLangTwl);
  job.settings.FeedOffset = 20000;
  WriteJobHeader(job.ctx);
  // Tear, 159 dots of feed offset, speed code (400 + 50) / 100 - 2 = 2, darkness 9 - 1.
  std::string header = Bytes().b({0x1B, 0x73, 1}).u16(159).b({2, 8});
  ASSERT_EQ(job.sink.pageFiles.size(), 1u);
  EXPECT_EQ(job.sink.pageFiles[0].page, 0);
  EXPECT_EQ(job.sink.pageFiles[0].jobId, 7u);
  EXPECT_EQ(job.sink.pageFiles[0].data, header);
  EXPECT_EQ(job.sink.captured, header);
  EXPECT_EQ(job.sink.sent, "");

  // Speed and darkness fall back to the model (300 and 5).
  job.settings.Speed = 0;
  job.settings.Darkness = 0;
  WriteJobHeader(job.ctx);
  EXPECT_EQ(job.sink.pageFiles[1].data.substr(5), Bytes().b({1, 4}).s);
}

TEST_F(TwlTest, PageBlockLayoutAndBlackDotCounts) {
  Job job(kLangTwl);
  job.paper.GapHeight = 3000;
  job.paper.GapOffset = 1000;
  // Rows as the writer receives them (1 = black).
  std::vector<uint8_t> r = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF,
                            0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                            0x80, 0x01, 0x0F, 0x00, 0x00, 0x00, 0x00, 0xF0};
  WriteRaster(job.ctx, r.data(), static_cast<DWORD>(r.size()), 3);

  std::string block = Bytes()("SIZ")
                          .b({1})
                          .u16(400)  // 50 mm
                          .u16(3)
                          .u16(24)  // 3 mm gap
                          .u16(8)   // 1 mm offset
                          .u16(2)   // first page of the process
                          .b({0x1D, 0x76, 0x30, 0x00})
                          .u16(10)
                          .u16(3)
                          .u16(64)
                          .raw(r, 0, 8)
                          .u16(0)
                          .raw(r, 8, 8)
                          .u16(10)
                          .raw(r, 16, 8);
  ASSERT_EQ(block.size(), 22u + 3 * 10);
  ASSERT_EQ(job.sink.pageFiles.size(), 1u);
  EXPECT_EQ(job.sink.pageFiles[0].page, 2);
  EXPECT_EQ(job.sink.pageFiles[0].jobId, 7u);
  EXPECT_EQ(job.sink.pageFiles[0].data, block);
  EXPECT_EQ(job.sink.captured, block);
  EXPECT_EQ(job.sink.sent, Marker(52));
}

TEST_F(TwlTest, PageSizesAreInDotsOfTheRasterSent) {
  // InputDPI 1 draws at 406 dpi for a 203 dpi model; the page block describes the 203 dpi raster.
  Job job(kLangTwl);
  job.settings.InputDPI = 1;
  job.ctx.resolution = 406;
  job.paper.GapHeight = 3000;
  job.paper.GapOffset = 1000;
  auto r = PatternRaster(50, 2);
  WriteRaster(job.ctx, r.data(), static_cast<DWORD>(r.size()), 2);
  ASSERT_EQ(job.sink.pageFiles.size(), 1u);
  EXPECT_EQ(job.sink.pageFiles[0].data.substr(3, 9), Bytes().b({1}).u16(400).u16(2).u16(24).u16(8).s);
}

TEST_F(TwlTest, CopiesWriteConsecutivePagesFromOneSendPage) {
  Job job(kLangTwl);
  job.settings.dm.dmCopies = 2;
  job.MarkPages(u"start", u"end");
  auto drawn = PatternRaster(104, 30);
  auto r = drawn;
  SendPage(job.ctx, r.data(), static_cast<DWORD>(r.size()), 832, 30);

  const uint32_t size = 22 + 30 * 106;
  EXPECT_EQ(job.sink.sent, Marker(size) + Marker(size));
  ASSERT_EQ(job.sink.pageFiles.size(), 4u);
  EXPECT_EQ(job.sink.pageFiles[0].page, 0);
  EXPECT_EQ(job.sink.pageFiles[0].data, "start");
  EXPECT_EQ(job.sink.pageFiles[1].page, 2);
  EXPECT_EQ(job.sink.pageFiles[2].page, 3);
  EXPECT_EQ(job.sink.pageFiles[3].page, 0);
  EXPECT_EQ(job.sink.pageFiles[3].data, "end");
  // The copies differ only in the page number.
  std::string a = job.sink.pageFiles[1].data, b = job.sink.pageFiles[2].data;
  ASSERT_EQ(a.size(), size);
  EXPECT_EQ(Bytes().u16(2).s, a.substr(12, 2));
  EXPECT_EQ(Bytes().u16(3).s, b.substr(12, 2));
  EXPECT_EQ(a.substr(22), b.substr(22));
  // The raster was inverted for TWL: row 0 starts with the inverse of the drawn bytes.
  EXPECT_EQ(static_cast<uint8_t>(a[24]), static_cast<uint8_t>(~drawn[0]));
  EXPECT_EQ(job.sink.captured, "start" + a + b + "end");
  EXPECT_EQ(TwlPageCounter(), 3);
}

TEST_F(TwlTest, CounterWrapsAtJobEndOnlyAbove8999) {
  Job job(kLangTwl);
  SetTwlPageCounter(8999);
  WriteUserCommand(job.ctx, kUserCommandJobEnd);
  EXPECT_EQ(TwlPageCounter(), 8999);

  uint8_t row = 0;
  WriteRaster(job.ctx, &row, 1, 1);
  EXPECT_EQ(job.sink.pageFiles.back().page, 9000);
  WriteUserCommand(job.ctx, kUserCommandPageEnd);
  EXPECT_EQ(TwlPageCounter(), 9000);
  WriteUserCommand(job.ctx, kUserCommandJobEnd);  // empty text still ends the job
  EXPECT_EQ(TwlPageCounter(), 1);
  WriteRaster(job.ctx, &row, 1, 1);
  EXPECT_EQ(job.sink.pageFiles.back().page, 2);
}

TEST_F(TwlTest, EmptyUserCommandWritesNothing) {
  Job job(kLangTwl);
  for (int slot = 0; slot < 4; ++slot) WriteUserCommand(job.ctx, slot);
  EXPECT_TRUE(job.sink.pageFiles.empty());
  EXPECT_EQ(job.sink.captured, "");
  EXPECT_EQ(job.sink.sent, "");
}

TEST_F(TwlTest, MarkerStillSentWhenOutputFailsLater) {
  Job job(kLangTwl);
  job.settings.dm.dmCopies = 3;
  job.sink.failAfter = 8;
  uint8_t row = 0;
  WriteRaster(job.ctx, &row, 1, 1);
  // Page files are the monitor's; they are written for every copy even after the spooler failed.
  EXPECT_EQ(job.sink.pageFiles.size(), 3u);
  EXPECT_EQ(job.sink.sent, Marker(25));
  EXPECT_EQ(TwlPageCounter(), 4);
}

// A copy whose page file is not written sends no marker (the monitor would count a page that is
// not there) and fails the page with the write's error.
TEST_F(TwlTest, UnwrittenPageFileFailsThePageWithoutMarker) {
  Job job(kLangTwl);
  job.settings.dm.dmCopies = 2;
  job.sink.pageFileError = ERROR_DISK_FULL;
  auto r = PatternRaster(104, 30);
  EXPECT_FALSE(SendPage(job.ctx, r.data(), static_cast<DWORD>(r.size()), 832, 30));
  EXPECT_EQ(job.ctx.error, DWORD(ERROR_DISK_FULL));
  EXPECT_EQ(job.sink.sent, "");
  EXPECT_EQ(job.sink.captured, "");
}
