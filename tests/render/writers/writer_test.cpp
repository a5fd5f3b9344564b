#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/render/writers/writers_fixture.h"
#include "winsim/machine.h"

using ::testing::HasSubstr;

using namespace wtest;

TEST(Writers, UnknownLanguageSendsNothingAndSaysSo) {
  winsim::Reset();
  Job job(4);
  job.SetUserCommand(0, u"HELLO");
  auto r = PatternRaster(50, 30);
  WriteUserCommand(job.ctx, kUserCommandJobStart);
  WriteJobHeader(job.ctx);
  WritePageHeader(job.ctx);
  WriteFormatStart(job.ctx);
  WriteRaster(job.ctx, r.data(), static_cast<DWORD>(r.size()), 30);
  WritePageTrailer(job.ctx);
  EXPECT_EQ(job.sink.sent, "");
  EXPECT_TRUE(job.sink.pageFiles.empty());
  EXPECT_EQ(job.sink.captured, "");
  auto lines = winsim::DebugLines();
  ASSERT_EQ(lines.size(), 6u);
  for (const auto& l : lines) EXPECT_EQ(l, "Don't support print language.\r\n");

  winsim::ClearDebugLines();
  SendPage(job.ctx, r.data(), static_cast<DWORD>(r.size()), 400, 30);
  EXPECT_EQ(job.sink.sent, "");
  EXPECT_EQ(winsim::DebugLines().size(), 1u);
}

TEST(Writers, UserCommandsAreSentWholeWhateverTheirLength) {
  // 261 characters with a terminator, and the full 262-character field without one.
  std::u16string longText;
  for (int i = 0; i < 261; ++i) longText += static_cast<char16_t>('A' + i % 26);
  std::string ansi(longText.begin(), longText.end());
  for (uint32_t language : {kLangTspl, kLangZpl}) {
    Job job(language);
    job.SetUserCommand(3, longText);
    WriteUserCommand(job.ctx, kUserCommandJobEnd);
    EXPECT_EQ(job.sink.sent, ansi);

    job.TakeSent();
    job.SetUserCommand(3, longText + u"Z");
    WriteUserCommand(job.ctx, kUserCommandJobEnd);
    EXPECT_EQ(job.sink.sent, ansi + "Z");
  }
  Job twl(kLangTwl);
  twl.SetUserCommand(0, longText + u"Z");
  WriteUserCommand(twl.ctx, kUserCommandJobStart);
  ASSERT_EQ(twl.sink.pageFiles.size(), 1u);
  EXPECT_EQ(twl.sink.pageFiles[0].data, ansi + "Z");
}

TEST(Writers, UserCommandsUseTheAnsiCodePage) {
  Job job(kLangTspl);
  job.SetUserCommand(1, u"\u00e9t\u00e9\r\n");
  WriteUserCommand(job.ctx, kUserCommandPageStart);
  EXPECT_EQ(job.sink.sent, "\xE9t\xE9\r\n");
  job.TakeSent();
  WriteUserCommand(job.ctx, -1);
  WriteUserCommand(job.ctx, 4);
  EXPECT_EQ(job.sink.sent, "");
}

TEST(Writers, SendPageInvertsForAllButTspl) {
  EXPECT_FALSE(RasterIsInverted(kLangTspl));
  EXPECT_TRUE(RasterIsInverted(kLangZpl));
  EXPECT_TRUE(RasterIsInverted(kLangEsc));
  EXPECT_TRUE(RasterIsInverted(kLangTwl));

  std::vector<uint8_t> r = {0x00, 0xFF, 0x0F, 0xA5, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  auto copy = r;
  InvertRaster(copy.data(), static_cast<DWORD>(copy.size()));
  EXPECT_EQ(copy, wtest::Inverted(r));

  Job job(kLangEsc);
  job.settings.dm.dmCopies = 0;  // nothing sent, but the raster and the paper size change
  auto page = PatternRaster(7, 9);
  SendPage(job.ctx, page.data(), static_cast<DWORD>(page.size()), 56, 9);
  EXPECT_EQ(page, wtest::Inverted(PatternRaster(7, 9)));
  EXPECT_EQ(job.sink.sent, "");
}

// Nothing to print: no bytes, no page file and (TWL) no page number used.
TEST(Writers, NoRowsOrNoCopiesMakeNoPage) {
  struct Case {
    uint32_t language;
    short copies;
    DWORD rows;
  } cases[] = {{kLangEsc, 1, 0}, {kLangZpl, 1, 0}, {kLangTwl, 1, 0}, {kLangTwl, 0, 1}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "language " << c.language << ", copies " << c.copies);
    SetTwlPageCounter(1);
    Job job(c.language);
    job.settings.dm.dmCopies = c.copies;
    uint8_t row = 0xFF;
    WriteRaster(job.ctx, &row, c.rows, c.rows);
    EXPECT_EQ(job.sink.sent, "");
    EXPECT_TRUE(job.sink.pageFiles.empty());
    EXPECT_EQ(TwlPageCounter(), 1);
  }
}

TEST(Writers, PaperSizeFromRasterAtModelResolution) {
  Job job(kLangTspl);
  // A page drawn at twice the model resolution still measures at the model resolution.
  job.settings.InputDPI = 1;
  job.ctx.resolution = 406;
  SetPaperSizeFromRaster(job.ctx, 812, 1218);
  EXPECT_EQ(job.settings.dm.dmPaperWidth, 1016);
  EXPECT_EQ(job.settings.dm.dmPaperLength, 1524);
  // No resolution: nothing to divide by, the size stays.
  job.ctx.resolution = 0;
  SetPaperSizeFromRaster(job.ctx, 1, 1);
  EXPECT_EQ(job.settings.dm.dmPaperWidth, 1016);
}

TEST(Writers, FailedOutputDropsTheRestOfARaster) {
  for (uint32_t language : {kLangTspl, kLangEsc}) {
    Job job(language);
    job.sink.failAfter = 100;
    auto r = PatternRaster(50, 1000);
    WriteRaster(job.ctx, r.data(), static_cast<DWORD>(r.size()), 1000);
    EXPECT_LE(job.sink.sent.size(), 100u);
    EXPECT_LE(job.sink.sends, 2) << language;
  }
}

// dmPaperLength is 16-bit: a longer page is described by its full size and only the stored field
// is cut to 32767.
TEST(Writers, PagesLongerThanTheDevmodeFieldKeepTheirLength) {
  // At 203 dpi 39961 rows are 5000.0 mm, a list paper's length beyond what dmPaperLength holds.
  for (uint32_t language : {kLangTspl, kLangZpl}) {
    SCOPED_TRACE(language);
    winsim::Reset();
    Job job(language);
    job.settings.dm.dmPaperLength = 300;
    std::vector<uint8_t> r(39961, 0xFF);
    EXPECT_TRUE(SendPage(job.ctx, r.data(), static_cast<DWORD>(r.size()), 8, 39961));
    EXPECT_EQ(job.settings.dm.dmPaperLength, 32767);
    const char* length = language == kLangTspl ? "SIZE 1.0 mm,5000.0 mm\r\n" : "^LL39961\r\n";
    EXPECT_THAT(job.sink.sent, HasSubstr(length));
    EXPECT_TRUE(winsim::DebugLines().empty());
  }
}

TEST(Writers, TwlPagesTooLargeForTheirBlockAreRefused) {
  SetTwlPageCounter(1);
  struct Case {
    const char* what;
    DWORD rowBytes, rows;
    int32_t paperWidth;
    bool sent;
  } cases[] = {
      {"65535 rows", 1, 65535, 50000, true},
      {"65536 rows", 1, 65536, 50000, false},
      {"row length 65535", 65533, 1, 50000, true},
      {"row length 65536", 65534, 1, 50000, false},
      {"paper 65535 dots wide", 1, 1, 8200000, true},
      {"paper 66334 dots wide", 1, 1, 8300000, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    winsim::Reset();
    Job job(kLangTwl);
    job.paper.Width = c.paperWidth;
    job.SetUserCommand(kUserCommandPageStart, u"start");
    std::vector<uint8_t> r(size_t{c.rowBytes} * c.rows, 0);
    const uint16_t counter = TwlPageCounter();
    EXPECT_EQ(SendPage(job.ctx, r.data(), static_cast<DWORD>(r.size()), c.rowBytes * 8, c.rows), c.sent);
    EXPECT_EQ(job.ctx.error, c.sent ? 0u : DWORD(ERROR_NOT_SUPPORTED));
    if (c.sent) {
      ASSERT_EQ(job.sink.pageFiles.size(), 2u);
      EXPECT_EQ(job.sink.pageFiles[1].data.size(), 22 + size_t{c.rows} * (c.rowBytes + 2));
      EXPECT_EQ(job.sink.sent.size(), 8u);
    } else {
      // Nothing of the page: no user command, no page file, no marker, no page number used.
      EXPECT_TRUE(job.sink.pageFiles.empty());
      EXPECT_EQ(job.sink.sent, "");
      EXPECT_EQ(TwlPageCounter(), counter);
      EXPECT_EQ(winsim::DebugLines().size(), 1u);
    }
  }
  // Called on its own, the raster operation refuses such a page as well.
  Job job(kLangTwl);
  std::vector<uint8_t> r(65536, 0);
  WriteRaster(job.ctx, r.data(), static_cast<DWORD>(r.size()), 65536);
  EXPECT_TRUE(job.sink.pageFiles.empty());
  EXPECT_EQ(job.sink.sent, "");
  SetTwlPageCounter(1);
}

// A cut every N labels counts the job's labels, pages and copies alike, from the job's first label, and
// cuts off what is left at its end; a cut once after the job cuts there alone. The printer's own counts
// cannot do it: a ZPL format's quantity (^PQ) covers the labels of that format only, and every page copy
// is a format of its own. In the stream, letter L is a label printed and letter C a cut.
TEST(Writers, CutsOverAWholeJobOfPagesAndCopies) {
  struct Language {
    uint32_t id;
    std::string label, cut;
  } languages[] = {{kLangTspl, "\r\nPRINT 1,1\r\n", "CUT\r\n"}, {kLangZpl, "^XA\r\n^PW", "~JK\r\n"}};
  struct Case {
    uint32_t action, occurrence, interval;
    int pages, copies;
    std::string labels;
  } cases[] = {
      {3, 2, 2, 5, 1, "LLCLLCLC"},     // every 2 of 5 pages: the fifth cut off at the end
      {3, 2, 3, 2, 2, "LLLCLC"},       // every 3 of 2 pages x 2 copies: the copies count
      {4, 0, 2, 1, 4, "LLCLLC"},       // action 4 cuts every IntervalPages labels
      {3, 2, 2, 2, 1, "LLC"},          // nothing left: no second cut
      {3, 1, 5, 2, 3, "LLLLLLC"},      // once, after the job's six labels
  };
  for (const Language& lang : languages) {
    for (const Case& c : cases) {
      SCOPED_TRACE(testing::Message() << "language " << lang.id << ", action " << c.action << " occurrence "
                                      << c.occurrence << " every " << c.interval << ", " << c.pages << " pages of "
                                      << c.copies);
      Job job(lang.id);
      job.SetCut(c.action, c.occurrence, c.interval);
      job.settings.dm.dmCopies = static_cast<short>(c.copies);
      WriteUserCommand(job.ctx, kUserCommandJobStart);
      WriteJobHeader(job.ctx);
      job.TakeSent();
      for (int p = 0; p < c.pages; ++p) {
        auto r = PatternRaster(2, 3);
        ASSERT_TRUE(SendPage(job.ctx, r.data(), static_cast<DWORD>(r.size()), 16, 3));
      }
      WriteUserCommand(job.ctx, kUserCommandJobEnd);
      const std::string sent = job.TakeSent();
      std::string seen;
      for (size_t at = 0; at < sent.size();) {
        const size_t l = sent.find(lang.label, at), k = sent.find(lang.cut, at);
        if (l == std::string::npos && k == std::string::npos) break;
        const bool label = l < k;
        seen += label ? 'L' : 'C';
        at = (label ? l + lang.label.size() : k + lang.cut.size());
      }
      EXPECT_EQ(seen, c.labels);
    }
  }
}

// The media stops where a cut goes: TSPL feeds each label to the tear-off (cutting) position when the
// job cuts it with CUT, never leaving it under the head; ZPL holds the labels in the delayed cutter.
TEST(Writers, LabelsCutByCommandStopWhereTheCutterCuts) {
  for (uint32_t occurrence : {1u, 2u}) {
    Job tspl(kLangTspl);
    tspl.SetCut(3, occurrence, 3);
    const std::string h = tspl.Header();
    EXPECT_EQ(h.substr(0, h.find("DIRECTION")), "SET PEEL OFF\r\nSET CUTTER OFF\r\nSET TEAR ON\r\n") << occurrence;
    Job zpl(kLangZpl);
    zpl.SetCut(3, occurrence, 3);
    EXPECT_THAT(zpl.Header(), HasSubstr("^MMD,N\r\n")) << occurrence;
  }
}
