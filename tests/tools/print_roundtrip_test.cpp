// lbl print through the real rendering library (lbldrv6 driven by winsim's job runner), read back
// by the virtual printer: what was drawn is what is printed, in every language.
#include <gtest/gtest.h>

#include <rapidjson/document.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sys/wait.h>
#include <unistd.h>

#include "common/pagefile.h"
#include "tools/print_job.h"
#include "tests/tools/run_lbl.h"
#include "tools/viewer/png.h"
#include "tools_fixture.h"

#ifndef LBL_EXE
#error "LBL_EXE must name the lbl program"
#endif

namespace tooltest {
namespace {

using lblview::Language;
using lblview::RgbImage;

struct Printed {
  lbl::PrintResult result;
  lblview::ViewResult view;
};

Printed PrintAndView(const lbl::PrintOptions& o, const std::vector<RgbImage>& pictures) {
  Printed p;
  std::string error;
  EXPECT_TRUE(lbl::RunPrint(o, pictures, &p.result, &error)) << error;
  lblview::ViewError e;
  EXPECT_TRUE(lblview::ViewStream(p.result.output.data(), p.result.output.size(), p.result.pageFiles, {}, &p.view, &e))
      << e.Describe();
  return p;
}

lbl::PrintOptions Options(int language, std::vector<std::pair<std::string, std::string>> set = {}) {
  lbl::PrintOptions o;
  o.language = language;
  o.set = std::move(set);
  return o;
}

// The columns of the page that print: the raster packs whole bytes of its 4-aligned width, so the
// last few columns of the page are dropped, unless (TWL) the page lies on the wider print-width canvas.
uint32_t PrintedColumns(int32_t width, int language) {
  return language == kLangTwl ? uint32_t(width) : std::min<uint32_t>((width + 3) / 4 * 4 / 8 * 8, width);
}

// Dots of the label that differ from the page (shifted right by `x0`, or turned by half a turn),
// and black dots outside the page's area.
size_t Differences(const lblview::Label& l, const std::vector<bool>& page, int32_t w, int32_t h, uint32_t x0, bool turned,
                   int language) {
  size_t diff = 0;
  const uint32_t packed = PrintedColumns(w, language);
  for (uint32_t y = 0; y < l.height; ++y)
    for (uint32_t x = 0; x < l.width; ++x) {
      bool want = false;
      if (y < uint32_t(h) && x >= x0 && x - x0 < packed) {
        const uint32_t px = turned ? uint32_t(w) - 1 - (x - x0) : x - x0, py = turned ? uint32_t(h) - 1 - y : y;
        want = page[size_t(py) * w + px];
      }
      diff += want != l.Black(x, y);
    }
  return diff;
}

const int kLanguages[] = {kLangTspl, kLangZpl, kLangEsc, kLangTwl};
const Language kViewed[] = {Language::Tspl, Language::Zpl, Language::Esc, Language::Twl};

TEST(PrintRoundTrip, WhatIsDrawnIsWhatPrintsInEveryLanguage) {
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(lblview::LanguageName(kViewed[i]));
    const std::vector<RgbImage> pictures = {BoxPicture(812, 1218, 11), BoxPicture(812, 1218, 12)};
    Printed p = PrintAndView(Options(kLanguages[i], {{"Flags", "0"}}), pictures);
    EXPECT_EQ(p.result.language, kViewed[i]);
    EXPECT_EQ(p.view.language, kViewed[i]);
    ASSERT_EQ(p.result.surfaceWidth, 812);  // the 4 x 6 inch label at 203 dpi
    ASSERT_EQ(p.result.surfaceHeight, 1218);
    ASSERT_EQ(p.view.labels.size(), 2u);
    for (size_t page = 0; page < 2; ++page) {
      const std::vector<bool> expected = ExpectedPage(pictures[page], 812, 1218, false);
      const lblview::Label& l = p.view.labels[page];
      EXPECT_EQ(l.height, 1218u);
      EXPECT_GE(l.width, 808u);
      EXPECT_GT(l.BlackDots(), 10000u);
      EXPECT_EQ(Differences(l, expected, 812, 1218, 0, false, kLanguages[i]), 0u) << "page " << page;
    }
    if (kLanguages[i] == kLangTwl) {
      EXPECT_EQ(p.result.output.size(), 16u);  // two markers
      EXPECT_EQ(p.view.labels[0].width, 832u);  // the model's full print width
    }
  }
}

TEST(PrintRoundTrip, DefaultSettingsTurnTsplAndCentreTwl) {
  // The model's defaults: centred, and TSPL turned by half a turn for the printer's output direction.
  const RgbImage picture = BoxPicture(812, 1218, 5);
  const std::vector<bool> expected = ExpectedPage(picture, 812, 1218, false);
  Printed tspl = PrintAndView(Options(kLangTspl), {picture});
  ASSERT_EQ(tspl.view.labels.size(), 1u);
  EXPECT_EQ(Differences(tspl.view.labels[0], expected, 812, 1218, 0, true, kLangTspl), 0u);
  Printed zpl = PrintAndView(Options(kLangZpl), {picture});
  ASSERT_EQ(zpl.view.labels.size(), 1u);
  EXPECT_EQ(Differences(zpl.view.labels[0], expected, 812, 1218, 0, false, kLangZpl), 0u);
  Printed twl = PrintAndView(Options(kLangTwl), {picture});
  ASSERT_EQ(twl.view.labels.size(), 1u);
  // The TWL canvas is the model's 104 mm print width, (203 x 1040 + 127) / 254 = 831 dots (packed to 832).
  const uint32_t canvas = (203 * 1040 + 127) / 254;
  EXPECT_EQ(Differences(twl.view.labels[0], expected, 812, 1218, (canvas - 812) / 2, false, kLangTwl), 0u);
}

TEST(PrintRoundTrip, SmallPicturesAreFittedAndActualSizeIsKept) {
  const RgbImage half = BoxPicture(406, 609, 8);
  Printed fit = PrintAndView(Options(kLangZpl), {half});
  ASSERT_EQ(fit.view.labels.size(), 1u);
  EXPECT_EQ(Differences(fit.view.labels[0], ExpectedPage(half, 812, 1218, false), 812, 1218, 0, false, kLangZpl), 0u);
  // The doubled frame: two dots wide on the left.
  EXPECT_TRUE(fit.view.labels[0].Black(1, 600));
  EXPECT_FALSE(fit.view.labels[0].Black(2, 600) && !ExpectedPage(half, 812, 1218, false)[600 * 812 + 2]);

  lbl::PrintOptions actual = Options(kLangEsc);
  actual.actualSize = true;
  Printed a = PrintAndView(actual, {half});
  ASSERT_EQ(a.view.labels.size(), 1u);
  const std::vector<bool> expected = ExpectedPage(half, 812, 1218, true);
  EXPECT_EQ(Differences(a.view.labels[0], expected, 812, 1218, 0, false, kLangEsc), 0u);
  EXPECT_EQ(CountBlack(a.view.labels[0], 406, 808, 0, 1218) + CountBlack(a.view.labels[0], 0, 808, 609, 1218), 0u);
}

TEST(PrintRoundTrip, CopiesRepeatThePage) {
  lbl::PrintOptions o = Options(kLangTspl);
  o.job.copies = 3;
  Printed tspl = PrintAndView(o, {BoxPicture(812, 1218, 2)});
  ASSERT_EQ(tspl.view.labels.size(), 3u);
  EXPECT_EQ(tspl.view.labels[0].bits, tspl.view.labels[2].bits);
  auto count = [&](const Printed& p, const std::string& prefix) {
    size_t n = 0;
    for (const auto& c : p.view.commands) n += c.text.rfind(prefix, 0) == 0;
    return n;
  };
  EXPECT_EQ(count(tspl, "DIRECTION"), 1u);  // job header once
  EXPECT_EQ(count(tspl, "SIZE"), 3u);       // page header, raster and print command per copy
  EXPECT_EQ(count(tspl, "BITMAP"), 15u);
  EXPECT_EQ(count(tspl, "PRINT 1,1"), 3u);

  o = Options(kLangTwl);
  o.job.copies = 2;
  Printed twl = PrintAndView(o, {BoxPicture(812, 1218, 2)});
  ASSERT_EQ(twl.view.labels.size(), 2u);
  EXPECT_EQ(twl.result.output.size(), 16u);
  std::vector<int> pages;
  for (const auto& f : twl.result.pageFiles) {
    int page = 0;
    ASSERT_TRUE(ParsePageFileLeaf(f.name, &page, nullptr, nullptr));
    if (page) pages.push_back(page);
  }
  ASSERT_EQ(pages.size(), 2u);
  EXPECT_EQ(pages[1], pages[0] + 1);
}

// The cutter's occurrence through the rendering library, job by job: ESC, TSPL and ZPL count the labels
// of the job's pages and copies for a cut every N (and cut off the rest at the end); once after the job
// they cut at the end only, TSPL with CUT as its last command.
TEST(PrintRoundTrip, TheCutFollowsItsOccurrenceOverTheJob) {
  auto cuts = [](const Printed& p) {
    std::vector<size_t> afterLabel;  // how many labels came out before each cut
    size_t labels = 0;
    for (const auto& c : p.view.commands) {
      // An ESC label starts with its width; a TSPL label is printed by PRINT; a ZPL label has its width.
      if (c.text.rfind("GS W", 0) == 0 || c.text.rfind("PRINT", 0) == 0 || c.text.rfind("^PW", 0) == 0) ++labels;
      if (c.text.find("cut") != std::string::npos) afterLabel.push_back(labels);
    }
    return afterLabel;
  };
  lbl::PrintOptions o = Options(kLangEsc, {{"PostAction", "4"}, {"IntervalPages", "2"}});
  o.blankPages = 3;
  EXPECT_EQ(cuts(PrintAndView(o, {})), (std::vector<size_t>{2, 3}));
  o.job.copies = 2;
  EXPECT_EQ(cuts(PrintAndView(o, {})), (std::vector<size_t>{2, 4, 6}));
  o = Options(kLangEsc, {{"PostAction", "3"}, {"PostActionOccurrence", "1"}});
  o.blankPages = 3;
  EXPECT_EQ(cuts(PrintAndView(o, {})), (std::vector<size_t>{3}));
  o = Options(kLangTspl, {{"PostAction", "3"}, {"PostActionOccurrence", "1"}});
  o.blankPages = 2;
  Printed tspl = PrintAndView(o, {});
  EXPECT_EQ(cuts(tspl), (std::vector<size_t>{2}));
  EXPECT_EQ(tspl.view.commands.back().text, "CUT (cut now)");
  for (int language : {kLangTspl, kLangZpl}) {
    o = Options(language, {{"PostAction", "3"}, {"PostActionOccurrence", "2"}, {"IntervalPages", "3"}});
    o.blankPages = 2;
    o.job.copies = 2;
    EXPECT_EQ(cuts(PrintAndView(o, {})), (std::vector<size_t>{3, 4})) << language;
  }
}

TEST(PrintRoundTrip, TheLanguageFollowsTheAttachedDevice) {
  lbl::PrintOptions o = Options(-1);  // the model's default: TSPL
  o.usbDeviceId = "MFG:Tarnwell;CMD:TWL;MDL:TW-QX;CLS:PRINTER;";
  o.blankPages = 1;
  Printed twl = PrintAndView(o, {});
  EXPECT_EQ(twl.result.language, Language::Twl);
  EXPECT_EQ(twl.result.output.size(), 8u);
  EXPECT_EQ(twl.view.labels.size(), 1u);

  o = Options(kLangTwl);
  o.usbDeviceId = "MFG:Tarnwell;CMD:TSPL,ZPL;MDL:TW-QX;";
  o.blankPages = 1;
  Printed tspl = PrintAndView(o, {});
  EXPECT_EQ(tspl.result.language, Language::Tspl);
  EXPECT_TRUE(tspl.result.pageFiles.empty());
}

TEST(PrintRoundTrip, SetFieldsReachTheStreamOrAreReportedAsNotTaken) {
  lbl::PrintOptions o = Options(kLangTspl, {{"Speed", "300"}, {"Darkness", "9"}, {"UserCommand0", "SOUND 1,100\\r\\n"},
                                            {"FeedOffset", "-1500"}, {"PrinterType", "1"}, {"IntervalPages", "0"}});
  o.blankPages = 1;
  Printed p = PrintAndView(o, {});
  const std::string out(p.result.output.begin(), p.result.output.end());
  EXPECT_EQ(out.rfind("SOUND 1,100\r\n", 0), 0u);  // the job-start user command comes first
  EXPECT_NE(out.find("SPEED 3.00\r\nDENSITY 8\r\nOFFSET -1.50 mm\r\n"), std::string::npos);
  ASSERT_EQ(p.result.warnings.size(), 2u);
  EXPECT_NE(p.result.warnings[0].find("PrinterType=1"), std::string::npos) << p.result.warnings[0];
  EXPECT_NE(p.result.warnings[1].find("IntervalPages=0"), std::string::npos) << p.result.warnings[1];
}

// ---- the lbl program ----

// Per process: ctest runs the tests of this program side by side.
std::string TempDir() { return testing::TempDir() + "/lbl_print_test_" + std::to_string(getpid()); }

std::string TempPath(const std::string& name) {
  std::filesystem::create_directories(TempDir());
  return TempDir() + "/" + name;
}

class LblProgram : public ::testing::Test {
 protected:
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(TempDir(), ec);
  }
};

using lbltest::Ran;
Ran Lbl(const std::string& args) { return lbltest::RunLbl(LBL_EXE, args, TempPath("stderr.txt")); }

TEST_F(LblProgram, AJobCheckedByCheckJobPrintsOnThePaperTheCheckSaw) {
  for (const char* paper : {"76mm x 130mm", "4 x 6"}) {
    SCOPED_TRACE(paper);
    Ran check = Lbl(std::string("check-job --paper \"") + paper + "\"");
    ASSERT_EQ(check.status, 0) << check.err;
    rapidjson::Document verdict;
    verdict.Parse(check.out.c_str());
    ASSERT_TRUE(verdict.IsObject() && verdict["Printable"].GetBool());
    const int width = verdict["Job"]["dmPaperWidth"].GetInt(), length = verdict["Job"]["dmPaperLength"].GetInt();

    const std::string out = TempPath("paper.prn");
    Ran print = Lbl(std::string("print --paper \"") + paper + "\" --blank 1 -o " + out);
    ASSERT_EQ(print.status, 0) << print.err;
    rapidjson::Document job;
    job.Parse(print.out.c_str());
    ASSERT_TRUE(job.IsObject());
    // The page bitmap is the checked paper in dots.
    EXPECT_EQ(job["PageWidth"].GetInt(), (203 * width + 127) / 254);
    EXPECT_EQ(job["PageHeight"].GetInt(), (203 * length + 127) / 254);

    Ran view = Lbl("view --json -o " + TempPath("paper") + " " + out);
    ASSERT_EQ(view.status, 0) << view.err;
    rapidjson::Document seen;
    seen.Parse(view.out.c_str());
    ASSERT_TRUE(seen.IsObject());
    double mmWidth = 0, mmLength = 0;
    for (const auto& c : seen["Commands"].GetArray())
      if (std::sscanf(c["Command"].GetString(), "SIZE %lf mm,%lf mm", &mmWidth, &mmLength) == 2) break;
    EXPECT_NEAR(mmWidth, width / 10.0, 0.2);
    EXPECT_NEAR(mmLength, length / 10.0, 0.2);
  }
}

TEST_F(LblProgram, PrintsFilesAndRefusesBadUse) {
  const std::string png = TempPath("label.png"), out = TempPath("label.twl");
  const std::vector<uint8_t> bytes = lblview::EncodeRgbPng(BoxPicture(406, 609, 4));
  std::ofstream(png, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  Ran print = Lbl("print --language twl --copies 2 -o " + out + " " + png);
  ASSERT_EQ(print.status, 0) << print.err;
  EXPECT_EQ(std::filesystem::file_size(out), 16u);
  Ran view = Lbl("view -o " + TempPath("twl") + " " + out);  // finds label.twl.pages by itself
  ASSERT_EQ(view.status, 0) << view.err;
  EXPECT_NE(view.out.find("-2.png"), std::string::npos) << view.out;
  EXPECT_TRUE(std::filesystem::exists(TempPath("twl-2.png")));

  EXPECT_EQ(Lbl("print --set Colour=1 --blank 1 -o " + out).status, 2);
  EXPECT_EQ(Lbl("print --set Speed=fast --blank 1 -o " + out).status, 2);
  EXPECT_EQ(Lbl("print --blank 1").status, 2);  // no -o
  EXPECT_EQ(Lbl("print -o " + out + " " + TempPath("missing.png")).status, 1);

  // A corrupted stream: exit status 1 and the offset in the message.
  const std::string bad = TempPath("bad.tspl");
  std::ofstream(bad, std::ios::binary) << "SIZE 50 mm,30 mm\r\nCLS\r\nBITMAP 0,0,50,240,1,\x01\x02";
  Ran corrupt = Lbl("view " + bad);
  EXPECT_EQ(corrupt.status, 1);
  EXPECT_NE(corrupt.err.find("byte 23 (0x17)"), std::string::npos) << corrupt.err;
}

}  // namespace
}  // namespace tooltest
