#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/render/writers/writers_fixture.h"

using ::testing::HasSubstr;
using ::testing::Not;

using namespace wtest;

namespace {

// The BITMAP bands of a raster, as the printer must receive them.
std::string Bands(const std::vector<uint8_t>& r, DWORD rowBytes, DWORD rows) {
  Bytes out;
  for (DWORD y = 0; y < rows; y += 280) {
    DWORD h = std::min<DWORD>(280, rows - y);
    out("\r\nBITMAP 0," + std::to_string(y) + "," + std::to_string(rowBytes) + "," + std::to_string(h) + ",1,")
        .raw(r, size_t{y} * rowBytes, size_t{h} * rowBytes);
  }
  return out;
}

}  // namespace

TEST(Tspl, WorkedExampleByteForByte) {
  Job job(kLangTspl);
  WriteUserCommand(job.ctx, kUserCommandJobStart);
  WriteJobHeader(job.ctx);
  auto raster = PatternRaster(50, 240);
  auto sentRaster = raster;
  SendPage(job.ctx, sentRaster.data(), static_cast<DWORD>(sentRaster.size()), 400, 240);
  WriteUserCommand(job.ctx, kUserCommandJobEnd);

  std::string expected = Bytes()("SET PEEL OFF\r\nSET CUTTER OFF\r\nSET TEAR ON\r\n")("DIRECTION 0,0\r\nREFERENCE 0,0\r\n")(
      "SPEED 4.00\r\n")("DENSITY 8\r\n")("OFFSET 0.00 mm\r\n")("GAP 3.0 mm,0.0 mm\r\n")(
      "SIZE 50.0 mm,30.0 mm\r\nCLS\r\n")("\r\nBITMAP 0,0,50,240,1,")
                             .raw(raster, 0, 12000)("\r\nPRINT 1,1\r\n");
  EXPECT_EQ(job.sink.sent, expected);
  // TSPL gets the raster as drawn (1 = white), and the paper size written back from it.
  EXPECT_EQ(sentRaster, raster);
  EXPECT_EQ(job.settings.dm.dmPaperWidth, 500);
  EXPECT_EQ(job.settings.dm.dmPaperLength, 300);
  EXPECT_TRUE(job.sink.pageFiles.empty());
}

TEST(Tspl, BandsOf280Rows) {
  for (DWORD rows : {600u, 560u, 561u, 280u, 281u, 279u, 1u}) {
    SCOPED_TRACE(rows);
    Job job(kLangTspl);
    auto r = PatternRaster(3, rows);
    WriteRaster(job.ctx, r.data(), static_cast<DWORD>(r.size()), rows);
    EXPECT_EQ(job.sink.sent, Bands(r, 3, rows));
  }
  // The edge cases spelled out: 600 rows are two full bands and 40 rows at y 560.
  Job job(kLangTspl);
  auto r = PatternRaster(2, 600);
  WriteRaster(job.ctx, r.data(), static_cast<DWORD>(r.size()), 600);
  std::string s = job.sink.sent;
  EXPECT_THAT(s, HasSubstr("\r\nBITMAP 0,0,2,280,1,"));
  EXPECT_THAT(s, HasSubstr("\r\nBITMAP 0,280,2,280,1,"));
  EXPECT_THAT(s, HasSubstr("\r\nBITMAP 0,560,2,40,1,"));
  EXPECT_THAT(s, Not(HasSubstr("\r\nBITMAP 0,840")));
}

TEST(Tspl, ZeroRowsSendNoRasterButKeepThePage) {
  Job job(kLangTspl);
  uint8_t none = 0;
  SendPage(job.ctx, &none, 0, 400, 0);
  EXPECT_EQ(job.sink.sent, "SIZE 50.0 mm,0.0 mm\r\nCLS\r\n\r\nPRINT 1,1\r\n");
}

TEST(Tspl, CopiesRepeatTheWholePage) {
  Job job(kLangTspl);
  job.settings.dm.dmCopies = 3;
  job.MarkPages(u"<p>", u"</p>");
  auto r = PatternRaster(50, 10);
  SendPage(job.ctx, r.data(), static_cast<DWORD>(r.size()), 400, 10);
  std::string page = Bytes()("<p>SIZE 50.0 mm,1.2 mm\r\nCLS\r\n")(Bands(r, 50, 10))("\r\nPRINT 1,1\r\n</p>");
  EXPECT_EQ(job.sink.sent, page + page + page);
}

TEST(Tspl, RibbonFollowsPaperWithOwnSpeedElsePrintMode) {
  struct Case {
    uint32_t mode;
    int32_t paperSpeed;
    uint32_t paperFlags;
    const char* ribbon;
  } cases[] = {
      {0, 0, kPaperGap, ""},
      {1, 0, kPaperGap | kPaperThermalTransfer, "SET RIBBON OFF\r\n"},
      {2, 0, kPaperGap, "SET RIBBON ON\r\n"},
      {1, 300, kPaperGap | kPaperThermalTransfer, "SET RIBBON ON\r\n"},
      {2, 300, kPaperGap, "SET RIBBON OFF\r\n"},
      {0, 300, kPaperGap, "SET RIBBON OFF\r\n"},
      {3, 300, kPaperGap | kPaperThermalTransfer, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode * 1000 + c.paperSpeed);
    Job job(kLangTspl);
    job.settings.PrintMode = c.mode;
    job.paper.Speed = c.paperSpeed;
    job.paper.Flags = c.paperFlags;
    std::string h = job.Header();
    EXPECT_EQ(h.substr(0, h.find("SET PEEL OFF")), c.ribbon);
  }
}

TEST(Tspl, SpeedDarknessAndOffsetLines) {
  Job job(kLangTspl);
  job.settings.Darkness = 0;
  job.settings.Speed = 0;
  std::string h = job.Header();
  EXPECT_THAT(h, Not(HasSubstr("SPEED")));
  EXPECT_THAT(h, Not(HasSubstr("DENSITY")));  // 0: the printer's own; no model fallback in TSPL

  job.settings.Darkness = 1;
  job.settings.Speed = 250;
  job.settings.FeedOffset = -1500;
  h = job.Header();
  EXPECT_THAT(h, HasSubstr("SPEED 2.50\r\nDENSITY 0\r\nOFFSET -1.50 mm\r\n"));

  // The paper's own speed and darkness win over the settings'.
  job.paper.Speed = 600;
  job.paper.Darkness = 4;
  h = job.Header();
  EXPECT_THAT(h, HasSubstr("SPEED 6.00\r\nDENSITY 3\r\n"));
}

TEST(Tspl, MediaLines) {
  struct Case {
    uint32_t flags;
    int32_t gap, offset;
    const char* line;
  } cases[] = {
      {kPaperGap, 3000, 0, "GAP 3.0 mm,0.0 mm\r\n"},
      {kPaperGap, 2500, 200, "GAP 2.500 mm,0.200 mm\r\n"},
      {kPaperBlackMark, 5000, 1250, "BLINE 5.0 mm,1.250 mm\r\n"},
      {kPaperContinuous, 3000, 0, "GAP 0 mm,0 mm\r\n"},
      {kPaperContinuousUnfixed | kPaperDirectThermal, 3000, 0, "GAP 0 mm,0 mm\r\n"},
      {0, 3000, 0, ""},
      {kPaperGap | kPaperBlackMark, 3000, 0, ""},
  };
  for (const auto& c : cases) {
    Job job(kLangTspl);
    job.paper.Flags = c.flags;
    job.paper.GapHeight = c.gap;
    job.paper.GapOffset = c.offset;
    std::string h = job.Header();
    EXPECT_EQ(h.substr(h.find("OFFSET 0.00 mm\r\n") + 16), c.line) << c.flags;
  }
}

TEST(Tspl, MillimetreRemaindersBelow100ArePadded) {
  Job job(kLangTspl);
  job.paper.GapHeight = 2050;
  job.paper.GapOffset = 1;
  std::string h = job.Header();
  EXPECT_THAT(h, HasSubstr("GAP 2.050 mm,0.001 mm\r\n"));

  job.paper.Flags = kPaperBlackMark;
  job.paper.GapHeight = 99;
  job.paper.GapOffset = 12345;
  h = job.Header();
  EXPECT_THAT(h, HasSubstr("BLINE 0.099 mm,12.345 mm\r\n"));

  // A negative offset keeps one sign in front.
  job.paper.GapOffset = -1500;
  h = job.Header();
  EXPECT_THAT(h, HasSubstr("BLINE 0.099 mm,-1.500 mm\r\n"));
  job.paper.GapOffset = -50;
  h = job.Header();
  EXPECT_THAT(h, HasSubstr("BLINE 0.099 mm,-0.050 mm\r\n"));
}

// The cut and its occurrence: after every label SET CUTTER ON; once after the job, or every N labels,
// the cutter off and the labels fed to the tear-off position, where the writer's CUT cuts them (after the
// job's last command text; a job without labels has nothing left over for a cut every N).
TEST(Tspl, CutOccurrenceInTheJobHeaderAndAtTheJobEnd) {
  const std::string none = "SET TEAR OFF\r\nSET PEEL OFF\r\n";
  const std::string tear = "SET PEEL OFF\r\nSET CUTTER OFF\r\nSET TEAR ON\r\n";
  struct Case {
    uint32_t action, occurrence, interval;
    std::string set, end;
  } cases[] = {
      {3, 0, 5, none + "SET CUTTER ON\r\n", ""},
      {3, 2, 5, tear, ""},
      {3, 2, 1, none + "SET CUTTER ON\r\n", ""},
      {4, 0, 12, tear, ""},
      {4, 2, 999, tear, ""},
      {3, 1, 5, tear, "CUT\r\n"},
      {1, 1, 5, "SET PEEL OFF\r\nSET CUTTER OFF\r\nSET TEAR ON\r\n", ""},
      {2, 2, 5, "SET TEAR OFF\r\nSET CUTTER OFF\r\nSET PEEL ON\r\n", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "action " << c.action << " occurrence " << c.occurrence);
    Job job(kLangTspl);
    job.SetCut(c.action, c.occurrence, c.interval);
    const std::string h = job.Header();
    EXPECT_EQ(h.substr(0, h.find("DIRECTION")), c.set);
    EXPECT_EQ(job.EndJob(u"END\r\n"), "END\r\n" + c.end);
    // A page's end cuts only when it ends the Nth label of a cut every N (Writers.CutsOverAWholeJob...):
    // one label is not yet 5, and a cutter that is on cuts by itself.
    job.SetUserCommand(kUserCommandPageEnd, u"P");
    WriteUserCommand(job.ctx, kUserCommandPageEnd);
    EXPECT_EQ(job.TakeSent(), "P");
  }
}
