#include <gtest/gtest.h>

#include <algorithm>

#include "tests/render/writers/writers_fixture.h"

using namespace wtest;

namespace {

// GS v 0 bands of 24 rows, each followed by ESC J with the given feed.
std::string Bands(const std::vector<uint8_t>& r, DWORD rowBytes, DWORD rows, int feed) {
  Bytes out;
  for (DWORD y = 0; y < rows; y += 24) {
    DWORD h = std::min<DWORD>(24, rows - y);
    out.b({0x1D, 0x76, 0x30, 0x00}).u16(rowBytes).u16(h).raw(r, size_t{y} * rowBytes, size_t{h} * rowBytes);
    out.b({0x1B, 0x4A, feed});
  }
  return out;
}

}  // namespace

TEST(Esc, JobAndPageHeaders) {
  Job job(kLangEsc);
  job.paper.ImageableArea.Left = 2000;
  WriteJobHeader(job.ctx);
  EXPECT_EQ(job.TakeSent(), Bytes().b({0x1F, 0x1B, 0x1F, 0x13, 0x14, 9}).s);
  WritePageHeader(job.ctx);
  // 50 mm and 2 mm at 203 dpi: 400 and 16 dots.
  EXPECT_EQ(job.TakeSent(), Bytes().b({0x1D, 0x57}).u16(400).b({0x1D, 0x4C}).u16(16).s);
  WriteFormatStart(job.ctx);
  WritePageTrailer(job.ctx);
  EXPECT_EQ(job.TakeSent(), "");

  // Darkness: paper, else settings, else model.
  job.paper.Darkness = 3;
  WriteJobHeader(job.ctx);
  EXPECT_EQ(job.TakeSent().back(), 3);
  job.paper.Darkness = 0;
  job.settings.Darkness = 0;
  WriteJobHeader(job.ctx);
  EXPECT_EQ(job.TakeSent().back(), 5);
}

TEST(Esc, PageHeaderMeasuresAtTheResolutionOfTheRasterSent) {
  // Drawn at twice the model's 203 dpi, the raster still reaches the printer at 203 dpi: the print
  // area width and left margin are in its dots, not the doubled drawing's.
  Job job(kLangEsc);
  job.settings.InputDPI = 1;
  job.ctx.resolution = 406;
  job.paper.ImageableArea.Left = 2000;
  WritePageHeader(job.ctx);
  EXPECT_EQ(job.TakeSent(), Bytes().b({0x1D, 0x57}).u16(400).b({0x1D, 0x4C}).u16(16).s);
}

TEST(Esc, BandsOf24RowsWithFeeds) {
  for (int variant : {1, 0, 2}) {
    for (DWORD rows : {50u, 48u, 24u, 23u, 25u, 1u}) {
      SCOPED_TRACE(variant * 1000 + rows);
      Job job(kLangEsc);
      job.settings.PrinterType = static_cast<int16_t>(variant);
      auto r = PatternRaster(5, rows);
      WriteRaster(job.ctx, r.data(), static_cast<DWORD>(r.size()), rows);
      EXPECT_EQ(job.sink.sent, Bands(r, 5, rows, variant == 1 ? 0x18 : 0x00));
    }
  }
  // 50 rows: two bands of 24 and one of 2, each with its feed.
  Job job(kLangEsc);
  job.settings.PrinterType = 1;
  auto r = PatternRaster(2, 50);
  WriteRaster(job.ctx, r.data(), static_cast<DWORD>(r.size()), 50);
  std::string expected = Bytes()
                             .b({0x1D, 0x76, 0x30, 0x00, 2, 0, 0x18, 0})
                             .raw(r, 0, 48)
                             .b({0x1B, 0x4A, 0x18, 0x1D, 0x76, 0x30, 0x00, 2, 0, 0x18, 0})
                             .raw(r, 48, 48)
                             .b({0x1B, 0x4A, 0x18, 0x1D, 0x76, 0x30, 0x00, 2, 0, 2, 0})
                             .raw(r, 96, 4)
                             .b({0x1B, 0x4A, 0x18});
  EXPECT_EQ(job.sink.sent, expected);
}

TEST(Esc, PostActionBytesPerUserCommandSlot) {
  // 203 dpi: 25 mm is 199 (0xC7) dots; a 20 mm feed offset is 159 (0x9F) dots.
  const std::string feed25 = Bytes().b({0x1B, 0x4B, 0xC7, 0x00});
  const std::string cut = Bytes().b({0x1D, 0x56, 0x42, 0x9F});
  std::string tearFeeds;
  for (int i = 0; i < 7; ++i) tearFeeds += Bytes().b({0x1B, 0x4A, 0x18}).s;

  struct Case {
    uint32_t action, interval;
    std::string slot[4];
  } cases[] = {
      {0, 1, {"", "", "", ""}},
      {1, 1, {feed25, "", "", tearFeeds}},
      {1, 3, {feed25, "", "", tearFeeds}},
      {2, 1, {"", feed25, cut, ""}},
      {2, 3, {"", feed25, "", cut}},
      {3, 1, {"", feed25, cut, ""}},
      {4, 2, {"", feed25, "", ""}},
  };
  for (const auto& c : cases) {
    for (int slot = 0; slot < 4; ++slot) {
      SCOPED_TRACE(testing::Message() << "action " << c.action << " interval " << c.interval << " slot " << slot);
      Job job(kLangEsc);
      job.settings.PostAction = c.action;
      job.settings.IntervalPages = c.interval;
      job.settings.FeedOffset = 20000;
      const uint32_t counted = job.ctx.labelsSinceCut;
      WriteUserCommand(job.ctx, slot);
      EXPECT_EQ(job.TakeSent(), c.slot[slot]);
      // The action bytes follow the user's own text (the same label once more).
      job.ctx.labelsSinceCut = counted;
      job.SetUserCommand(slot, u"CMD");
      WriteUserCommand(job.ctx, slot);
      EXPECT_EQ(job.TakeSent(), "CMD" + c.slot[slot]);
    }
  }
}

// A cutter's occurrence over a whole job of labels: after every label, once after the job, or after
// every N labels (copies count as labels) with the labels left over cut off at the job's end.
TEST(Esc, CutOccurrenceOverAJob) {
  const std::string cut = Bytes().b({0x1D, 0x56, 0x42, 0x00}).s;  // no feed offset: GS V 66 with 0 dots
  const auto drawn = PatternRaster(2, 3);
  // One label as sent: the 25 mm feed of a cutting action (199 dots at 203 dpi), the 50 mm width
  // (400 dots) and left edge, the bands of the inverted raster.
  const std::string label = Bytes()
                                .b({0x1B, 0x4B, 0xC7, 0x00})
                                .b({0x1D, 0x57})
                                .u16(400)
                                .b({0x1D, 0x4C})
                                .u16(0)
                                .raw(Bands(Inverted(drawn), 2, 3, 0));
  const std::string L = label, C = label + cut;
  struct Case {
    uint32_t action, occurrence, interval;
    int pages, copies;
    std::string stream;  // labels, then the job's end
  } cases[] = {
      {3, 0, 4, 2, 1, C + C},
      {3, 1, 4, 3, 1, L + L + L + cut},
      {3, 2, 2, 5, 1, L + C + L + C + L + cut},
      {3, 2, 3, 3, 1, L + L + C},
      {4, 0, 2, 1, 3, L + C + L + cut},
      {4, 0, 2, 2, 2, L + C + L + C},
      {2, 0, 3, 2, 1, L + L + cut},  // an older record's cut: once after the job when the interval is not 1
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "action " << c.action << " occurrence " << c.occurrence << " every "
                                    << c.interval << ", " << c.pages << " pages of " << c.copies);
    Job job(kLangEsc);
    job.SetCut(c.action, c.occurrence, c.interval);
    job.settings.dm.dmCopies = static_cast<short>(c.copies);
    WriteUserCommand(job.ctx, kUserCommandJobStart);
    EXPECT_EQ(job.TakeSent(), "");
    for (int p = 0; p < c.pages; ++p) {
      auto r = drawn;
      ASSERT_TRUE(SendPage(job.ctx, r.data(), static_cast<DWORD>(r.size()), 16, 3));
    }
    WriteUserCommand(job.ctx, kUserCommandJobEnd);
    EXPECT_EQ(job.TakeSent(), c.stream);
  }
}

TEST(Esc, TearFeedsFollowFeedOffset) {
  // Dots of the offset: 100 -> 0, 200 -> 1, 3100 -> 24, 3200 -> 25; one feed per started 24 dots.
  const std::pair<int32_t, int> cases[] = {{0, 0}, {100, 0}, {200, 1}, {3100, 1}, {3200, 2}, {-5000, 0}};
  for (const auto& [offset, feeds] : cases) {
    Job job(kLangEsc);
    job.settings.FeedOffset = offset;
    WriteUserCommand(job.ctx, kUserCommandJobEnd);
    EXPECT_EQ(job.sink.sent.size(), 3u * static_cast<size_t>(feeds)) << offset;
  }
}

TEST(Esc, CopiesRepeatHeaderAndBands) {
  Job job(kLangEsc);
  job.settings.dm.dmCopies = 2;
  job.settings.PostAction = 0;
  auto drawn = PatternRaster(50, 30);
  auto r = drawn;
  SendPage(job.ctx, r.data(), static_cast<DWORD>(r.size()), 400, 30);
  std::string page = Bytes().b({0x1D, 0x57}).u16(400).b({0x1D, 0x4C}).u16(0).raw(Bands(wtest::Inverted(drawn), 50, 30, 0));
  EXPECT_EQ(job.sink.sent, page + page);
}
