// The lbl program as people use it: PDF labels printed and read back by lbl view, option errors,
// warnings, the version, help pages and completion, JSON documents and progress on a terminal.
#include <gtest/gtest.h>

#include <cairo-pdf.h>
#include <cairo.h>
#include <fontconfig/fontconfig.h>
#include <pty.h>
#include <rapidjson/document.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <set>

#include "tools/viewer/png.h"
#include "tests/tools/run_lbl.h"

#ifndef LBL_EXE
#error "LBL_EXE must name the lbl program"
#endif

namespace tooltest {
namespace {

std::string Dir() { return testing::TempDir() + "/lbl_cli_test_" + std::to_string(getpid()); }

std::string Temp(const std::string& name) {
  std::filesystem::create_directories(Dir());
  return Dir() + "/" + name;
}

using lbltest::Ran;
Ran Lbl(const std::string& args) { return lbltest::RunLbl(LBL_EXE, args, Temp("stderr.txt")); }

// A PDF of `pages` pages of w x h points, each drawn by `draw` (page number from 1).
void MakePdf(const std::string& path, double w, double h, int pages, const std::function<void(cairo_t*, int)>& draw) {
  cairo_surface_t* s = cairo_pdf_surface_create(path.c_str(), w, h);
  cairo_t* cr = cairo_create(s);
  for (int p = 1; p <= pages; ++p) {
    draw(cr, p);
    cairo_show_page(cr);
  }
  cairo_destroy(cr);
  cairo_surface_finish(s);
  ASSERT_EQ(cairo_surface_status(s), CAIRO_STATUS_SUCCESS);
  cairo_surface_destroy(s);
  // Cairo keeps the text's font faces (and fontconfig's patterns) in caches that the leak checker
  // of the sanitizer build would report at exit.
  cairo_debug_reset_static_data();
  FcFini();
}

// The bar widths of a barcode-like pattern, in points, left to right, with the gaps between them.
const double kBars[] = {1.0, 2.0, 3.0, 4.0, 1.5, 2.5, 0.75, 5.0};
const double kGap = 3.0, kBarsLeft = 10.0, kBarsTop = 30.0, kBarsHeight = 30.0;

void DrawShippingLabel(cairo_t* cr, int page) {
  cairo_set_source_rgb(cr, 0, 0, 0);
  cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
  cairo_set_font_size(cr, 14);
  cairo_move_to(cr, 10, 20);
  cairo_show_text(cr, ("SHIP TO " + std::to_string(page)).c_str());
  double x = kBarsLeft;
  for (double w : kBars) {
    cairo_rectangle(cr, x, kBarsTop, w, kBarsHeight);
    x += w + kGap;
  }
  cairo_fill(cr);
  // A thin-line box round the label.
  cairo_set_line_width(cr, 0.5);
  cairo_rectangle(cr, 2, 2, 140, 68);
  cairo_stroke(cr);
}

lblview::RgbImage ReadPng(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  lblview::RgbImage img;
  std::string error;
  EXPECT_TRUE(lblview::DecodePng(bytes.data(), bytes.size(), &img, &error)) << path << ": " << error;
  return img;
}

bool Black(const lblview::RgbImage& img, uint32_t x, uint32_t y) { return img.rgb[(size_t{y} * img.width + x) * 3] < 128; }

// Runs of black along row y from x0 to x1: (start, width) in dots.
std::vector<std::pair<int, int>> Runs(const lblview::RgbImage& img, uint32_t y, uint32_t x0, uint32_t x1) {
  std::vector<std::pair<int, int>> runs;
  for (uint32_t x = x0; x < x1; ++x) {
    if (!Black(img, x, y)) continue;
    uint32_t e = x;
    while (e < x1 && Black(img, e, y)) ++e;
    runs.emplace_back(int(x), int(e - x));
    x = e;
  }
  return runs;
}

class LblCommand : public ::testing::Test {
 protected:
  void TearDown() override {
    std::error_code ec;
    std::filesystem::remove_all(Dir(), ec);
  }
};

TEST_F(LblCommand, PdfBarsKeepTheirWidthsWithinOneDotAt203And300Dpi) {
  const std::string pdf = Temp("ship.pdf");
  MakePdf(pdf, 144, 72, 1, DrawShippingLabel);  // 2 x 1 inch
  for (auto [model, dpi] : {std::pair<const char*, int>{"Tarnwell TW-QX", 203}, {"Tarnwell TW-QC", 300}}) {
    SCOPED_TRACE(model);
    const std::string out = Temp("ship.zpl");
    Ran print = Lbl(std::string("print --model \"") + model + "\" --language zpl --size 50.8x25.4 -o " + out + " " + pdf);
    ASSERT_EQ(print.status, 0) << print.err;
    EXPECT_EQ(print.err, "");
    Ran view = Lbl("view -o " + Temp("ship") + " " + out);
    ASSERT_EQ(view.status, 0) << view.err;
    const lblview::RgbImage label = ReadPng(Temp("ship-1.png"));
    ASSERT_EQ(label.width, uint32_t(2 * dpi));
    const double dots = dpi / 72.0;
    const uint32_t row = uint32_t((kBarsTop + kBarsHeight / 2) * dots);
    const auto runs = Runs(label, row, uint32_t(kBarsLeft * dots) - 3, uint32_t(130 * dots));
    ASSERT_EQ(runs.size(), std::size(kBars));
    double x = kBarsLeft;
    for (size_t i = 0; i < runs.size(); ++i) {
      EXPECT_NEAR(runs[i].second, kBars[i] * dots, 1.0) << "bar " << i;
      EXPECT_NEAR(runs[i].first, x * dots, 1.0) << "bar " << i;
      x += kBars[i] + kGap;
    }
    // The 0.5 pt box is there on all four sides, unbroken.
    const uint32_t left = uint32_t(2 * dots), top = uint32_t(2 * dots);
    int sides = 0;
    for (uint32_t dx = left - 1; dx <= left + 2; ++dx) {
      uint32_t n = 0;
      for (uint32_t y = top + 2; y < uint32_t(68 * dots); ++y) n += Black(label, dx, y);
      if (n == uint32_t(68 * dots) - top - 2) ++sides;
    }
    EXPECT_GE(sides, 1) << "the left line of the box";
    // The text made black dots above the bars.
    size_t text = 0;
    for (uint32_t y = uint32_t(8 * dots); y < uint32_t(22 * dots); ++y)
      for (uint32_t dx = uint32_t(10 * dots); dx < uint32_t(80 * dots); ++dx) text += Black(label, dx, y);
    EXPECT_GT(text, size_t(50 * dots));
  }
}

TEST_F(LblCommand, PdfPagesAreSelectedAndActualSizeKeepsThePdfSize) {
  const std::string pdf = Temp("three.pdf");
  // Page n carries n bars, 10 points wide.
  MakePdf(pdf, 144, 72, 3, [](cairo_t* cr, int page) {
    for (int i = 0; i < page; ++i) cairo_rectangle(cr, 10 + i * 20, 20, 10, 30);
    cairo_fill(cr);
  });
  const std::string out = Temp("three.tspl");
  Ran print = Lbl("print --language tspl --size 50.8x25.4 --pages 3,1-2 -o " + out + " " + pdf);
  ASSERT_EQ(print.status, 0) << print.err;
  rapidjson::Document summary;
  summary.Parse(print.out.c_str());
  ASSERT_TRUE(summary.IsObject()) << print.out;
  EXPECT_EQ(summary["Pages"].GetInt(), 3);
  ASSERT_EQ(Lbl("view -o " + Temp("three") + " " + out).status, 0);
  const int expected[] = {3, 1, 2};
  for (int i = 0; i < 3; ++i) {
    const lblview::RgbImage label = ReadPng(Temp("three-" + std::to_string(i + 1) + ".png"));
    EXPECT_EQ(Runs(label, 100, 0, label.width).size(), size_t(expected[i])) << "label " << i + 1;
  }
  Ran missing = Lbl("print --pages 2-4 --size 50.8x25.4 -o " + out + " " + pdf);
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("page 4 is not in the document (it has 3 pages)"), std::string::npos) << missing.err;
  EXPECT_EQ(Lbl("print --pages 0 -o " + out + " " + pdf).status, 2);
  EXPECT_EQ(Lbl("print --pages 3-1 -o " + out + " " + pdf).status, 2);

  // A 1 x 0.5 inch black page on a 2 x 1 inch label: fitted it fills the label, at its own size a quarter.
  const std::string block = Temp("block.pdf");
  MakePdf(block, 72, 36, 1, [](cairo_t* cr, int) {
    cairo_rectangle(cr, 0, 0, 72, 36);
    cairo_fill(cr);
  });
  for (bool actual : {false, true}) {
    SCOPED_TRACE(actual ? "actual size" : "fitted");
    Ran r = Lbl(std::string("print --language zpl --size 50.8x25.4 ") + (actual ? "--actual-size " : "") + "-o " + out +
                " " + block);
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(Lbl("view -o " + Temp("block") + " " + out).status, 0);
    const lblview::RgbImage label = ReadPng(Temp("block-1.png"));
    size_t black = 0;
    for (uint32_t y = 0; y < label.height; ++y) black += Runs(label, y, 0, label.width).empty() ? 0 : Runs(label, y, 0, label.width)[0].second;
    const double full = 406.0 * 203.0;
    EXPECT_NEAR(double(black), actual ? full / 4 : full, full * 0.02);
  }
}

TEST_F(LblCommand, OptionErrorsAreUsageErrorsAndDroppedValuesAreWarned) {
  const std::string out = Temp("x.prn");
  Ran nope = Lbl("print --paper nope --blank 1 -o " + out);
  EXPECT_EQ(nope.status, 2);
  EXPECT_NE(nope.err.find("unknown paper 'nope'"), std::string::npos) << nope.err;
  EXPECT_NE(nope.err.find("\"4 x 6\""), std::string::npos) << "the message lists the papers: " << nope.err;
  EXPECT_FALSE(std::filesystem::exists(out));

  Ran size = Lbl("print --paper 4x6 --blank 1 -o " + out);
  EXPECT_EQ(size.status, 2);
  EXPECT_NE(size.err.find("--size WxH"), std::string::npos) << size.err;
  EXPECT_EQ(Lbl("check-job --paper nope").status, 2);

  // A paper of the list, a language the model speaks: nothing to say.
  Ran good = Lbl("print --paper \"4 x 6\" --language zpl --copies 2 --blank 1 -o " + out);
  EXPECT_EQ(good.status, 0) << good.err;
  EXPECT_EQ(good.err, "");

  Ran id = Lbl("print --usb-device-id \"MFG:Tarnwell;\" --blank 1 -o " + out);
  EXPECT_EQ(id.status, 0) << id.err;
  EXPECT_NE(id.err.find("warning: the USB device ID has no \"CMD:\" key"), std::string::npos) << id.err;
  EXPECT_NE(id.err.find("warning: the USB device ID has no \"MDL:\" key"), std::string::npos) << id.err;

  // A darkness beyond the model's range: the driver keeps its own, and lbl says so.
  Ran wide = Lbl("print --set Darkness=99 --blank 1 -o " + out);
  EXPECT_EQ(wide.status, 0) << wide.err;
  EXPECT_NE(wide.err.find("warning: --set: the driver does not take Darkness=99"), std::string::npos) << wide.err;
  rapidjson::Document summary;
  summary.Parse(wide.out.c_str());
  ASSERT_TRUE(summary.IsObject());
  ASSERT_TRUE(summary["Warnings"].IsArray());
  EXPECT_GE(summary["Warnings"].Size(), 1u);
}

std::set<std::string> Keys(const std::string& json) {
  rapidjson::Document d;
  d.Parse(json.c_str());
  std::set<std::string> keys;
  if (!d.IsObject()) return keys;
  for (const auto& m : d.GetObject()) keys.insert(m.name.GetString());
  return keys;
}

TEST_F(LblCommand, JsonDocumentsHaveOneShapeOnSuccessAndFailure) {
  const std::string out = Temp("j.prn");
  struct Pair {
    std::string good, bad;
  };
  const Pair pairs[] = {
      {"model", "model \"Tarnwell NOPE\""},
      {"defaults", "defaults \"Tarnwell NOPE\""},
      {"print --blank 1 -o " + out, "print -o " + out + " " + Temp("missing.png")},
      {"check-job --paper \"4 x 6\"", "check-job --model \"Tarnwell NOPE\""},
      {"caps DC_COPIES", "caps --model \"Tarnwell NOPE\" DC_COPIES"},
  };
  for (const Pair& p : pairs) {
    SCOPED_TRACE(p.good);
    Ran good = Lbl(p.good), bad = Lbl(p.bad);
    EXPECT_EQ(good.status, 0) << good.err;
    EXPECT_EQ(bad.status, 1) << bad.err;
    const auto keys = Keys(good.out);
    EXPECT_TRUE(keys.count("Error")) << good.out;
    EXPECT_EQ(keys, Keys(bad.out)) << bad.out;
    rapidjson::Document d;
    d.Parse(bad.out.c_str());
    ASSERT_TRUE(d.IsObject() && d["Error"].IsObject()) << bad.out;
    EXPECT_NE(bad.err.find(d["Error"]["Message"].GetString()), std::string::npos) << bad.err;
  }
  // The settings record keeps the fields' own names.
  Ran defaults = Lbl("defaults");
  EXPECT_NE(defaults.out.find("\"dmPaperWidth\""), std::string::npos);
  EXPECT_NE(defaults.out.find("\"Speed\""), std::string::npos);
}

TEST_F(LblCommand, VersionHelpAndCompletion) {
  for (const char* cmd : {"--version", "version"}) {
    Ran v = Lbl(cmd);
    EXPECT_EQ(v.status, 0);
    EXPECT_NE(v.out.find("2024.02.04.1"), std::string::npos) << v.out;
    EXPECT_NE(v.out.find("commit "), std::string::npos) << v.out;
    EXPECT_EQ(v.out.find("commit )"), std::string::npos) << v.out;
  }

  Ran help = Lbl("help");
  ASSERT_EQ(help.status, 0);
  std::vector<std::string> commands;
  for (size_t at = help.out.find("Commands:\n"); at != std::string::npos;) {
    at = help.out.find("\n  ", at);
    if (at == std::string::npos) break;
    at += 3;
    commands.push_back(help.out.substr(at, help.out.find(' ', at) - at));
  }
  for (const char* c : {"model", "defaults", "models", "caps", "check-job", "print", "view", "version", "completion", "help"})
    EXPECT_NE(std::find(commands.begin(), commands.end(), c), commands.end()) << c;
  for (const std::string& c : commands) {
    Ran page = Lbl("help " + c);
    EXPECT_EQ(page.status, 0) << c;
    for (const char* section : {"NAME\n", "SYNOPSIS\n", "EXIT STATUS\n    0  ", "EXAMPLE\n    "})
      EXPECT_NE(page.out.find(section), std::string::npos) << c << " lacks " << section;
  }
  EXPECT_NE(Lbl("help print").out.find("--pages LIST"), std::string::npos);
  EXPECT_EQ(Lbl("help nothing").status, 2);

  const std::string script = Temp("lbl.bash");
  std::ofstream(script) << Lbl("completion bash").out;
  auto complete = [&](const std::string& words) {
    const std::string cmd = "bash -c 'source " + script + "; COMP_WORDS=(" + words + "); COMP_CWORD=$((${#COMP_WORDS[@]}-1)); " +
                            "_lbl; echo \"${COMPREPLY[*]}\"'";
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[1024];
    for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    if (p) pclose(p);
    return out;
  };
  EXPECT_EQ(complete("lbl pr"), "preview print printers printer\n");
  EXPECT_EQ(complete("lbl printer \"\""), "add list remove\n");
  EXPECT_EQ(complete("lbl print --act"), "--actual-size\n");
  EXPECT_EQ(complete("lbl print --language \"\""), "tspl zpl esc twl\n");
  EXPECT_EQ(complete("lbl view --l"), "--language\n");
  EXPECT_EQ(complete("lbl check-job --orientation l"), "landscape\n");
  EXPECT_NE(complete(std::string(LBL_EXE) + " print --model \"\"").find("Tarnwell TW-QX"), std::string::npos);
  EXPECT_EQ(Lbl("completion zsh").status, 2);
}

// Runs lbl with stderr on a terminal (stdout to a file); what the terminal showed.
std::string OnTerminal(const std::string& args) {
  const std::string cmd = "LBL_STATE_DIR='" + lbltest::TestStateDir() + "' " LBL_EXE " " + args + " >/dev/null";
  int master = -1;
  const pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
  if (pid == 0) {
    execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  std::string shown;
  char buf[1024];
  for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;) shown.append(buf, size_t(n));
  int status = 0;
  waitpid(pid, &status, 0);
  close(master);
  return shown;
}

TEST_F(LblCommand, ProgressShowsOnATerminalOnly) {
  const std::string out = Temp("many.prn");
  Ran piped = Lbl("print --blank 5 -o " + out);
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.err, "") << "no progress when stderr is not a terminal";
  Ran delivered = Lbl("print --deliver --model \"Tarnwell TW-JA\" --blank 2 -o " + out);
  EXPECT_EQ(delivered.status, 0) << delivered.err;
  EXPECT_EQ(delivered.err, "");

  const std::string shown = OnTerminal("print --blank 5 -o " + out);
  EXPECT_NE(shown.find("lbl: rendered 5 of 5 pages"), std::string::npos) << shown;
  EXPECT_EQ(OnTerminal("print --blank 2 -o " + out).find("rendered"), std::string::npos) << "two pages: no progress";
  const std::string printed = OnTerminal("print --deliver --model \"Tarnwell TW-JA\" --blank 2 -o " + out);
  EXPECT_NE(printed.find("lbl: printed 2 of 2 pages"), std::string::npos) << printed;
}

// lbl sample: one method, or the nine side by side; every pixel black or white after dithering,
// and none of the nine like another.
TEST_F(LblCommand, SampleWritesOneMethodOrTheNineSideBySide) {
  const std::string one = Dir() + "/stucki.png", all = Dir() + "/all.png", plain = Dir() + "/original.png";
  ASSERT_EQ(Lbl("sample --dither 3 --contrast 20 --brightness -10 -o " + one).status, 0);
  lblview::RgbImage a = ReadPng(one);
  EXPECT_EQ(a.width, 232u);
  EXPECT_EQ(a.height, 160u);
  size_t black = 0;
  for (size_t i = 0; i < a.rgb.size(); ++i) {
    ASSERT_TRUE(a.rgb[i] == 0 || a.rgb[i] == 255) << i;
    black += a.rgb[i] == 0;
  }
  EXPECT_GT(black, a.rgb.size() / 10);

  ASSERT_EQ(Lbl("sample --original -o " + plain).status, 0);
  lblview::RgbImage o = ReadPng(plain);
  bool grey = false;
  for (uint8_t v : o.rgb) grey = grey || (v != 0 && v != 255);
  EXPECT_TRUE(grey) << "the original keeps its grey levels";

  ASSERT_EQ(Lbl("sample --all -o " + all).status, 0);
  lblview::RgbImage n = ReadPng(all);
  ASSERT_EQ(n.width, 3 * 232u + 2 * 6);
  ASSERT_EQ(n.height, 3 * 160u + 2 * 6);
  std::vector<std::vector<uint8_t>> tiles;
  for (int t = 0; t < 9; ++t) {
    std::vector<uint8_t> tile;
    const uint32_t x0 = uint32_t(t % 3) * 238, y0 = uint32_t(t / 3) * 166;
    for (uint32_t y = 0; y < 160; ++y)
      for (uint32_t x = 0; x < 232; ++x) tile.push_back(n.rgb[(size_t(y0 + y) * n.width + x0 + x) * 3]);
    for (const auto& other : tiles) EXPECT_NE(tile, other) << "tile " << t;
    tiles.push_back(std::move(tile));
  }
  EXPECT_EQ(Lbl("sample --dither 3").status, 2) << "-o is required";
  EXPECT_EQ(Lbl("sample --contrast 101 -o " + one).status, 2);
}

}  // namespace
}  // namespace tooltest

namespace tooltest {
namespace {

// lbl sheet: the document sheet closed with OK writes the settings, Cancel writes none; a refused
// action cancels the sheet and fails; bad actions are usage errors; --png pictures every page.
TEST_F(LblCommand, SheetRunsActionsAndReportsWhatTheSheetLeft) {
  Ran ok = Lbl("sheet document --json");
  ASSERT_EQ(ok.status, 0) << ok.err;
  rapidjson::Document d;
  ASSERT_FALSE(d.Parse(ok.out.c_str()).HasParseError()) << ok.out;
  EXPECT_STREQ(d["Result"].GetString(), "OK");
  EXPECT_EQ(d["Settings"]["Private"]["Signature"].GetUint(), 0x5457444Du);
  EXPECT_TRUE(d["Error"].IsNull());

  Ran cancelled = Lbl("sheet document --do press=cancel --json");
  ASSERT_EQ(cancelled.status, 0) << cancelled.err;
  ASSERT_FALSE(d.Parse(cancelled.out.c_str()).HasParseError());
  EXPECT_STREQ(d["Result"].GetString(), "Cancel");
  EXPECT_TRUE(d["Settings"]["Private"]["Signature"].IsNull()) << "nothing written on Cancel";

  Ran refused = Lbl("sheet document --do type=4242:abc");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("type=4242:abc"), std::string::npos) << refused.err;
  EXPECT_NE(refused.out.find("Result: Cancel"), std::string::npos) << refused.out;

  Ran device = Lbl("sheet device");
  ASSERT_EQ(device.status, 0) << device.err;
  EXPECT_NE(device.out.find("PPDataFlags = 0x06"), std::string::npos) << device.out;

  for (const char* bad : {"sheet", "sheet document --do bogus=1", "sheet document --do answer=maybe",
                          "sheet document --do click=x", "sheet document --do type=12", "sheet device --do snap=a"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(Lbl(bad).status, 2);
  }
}

// A button that opens a dialog (New... opens the label stock editor, 110): the run goes on with the
// dialog up, the actions that follow reach it, one left open is cancelled at the end, and the page
// takes no input while it is up.
TEST_F(LblCommand, SheetActionsReachADialogAPageOpened) {
  rapidjson::Document d;
  Ran saved = Lbl("sheet document --do page=106 --do click=1004 --do dialog=110 --do type=1037:Shipping "
                  "--do click=1 --json");
  ASSERT_EQ(saved.status, 0) << saved.err;
  ASSERT_FALSE(d.Parse(saved.out.c_str()).HasParseError()) << saved.out;
  EXPECT_TRUE(d["CancelledDialogs"].Empty());
  EXPECT_STREQ(d["Settings"]["Public"]["dmFormName"].GetString(), "Shipping") << "the new stock is chosen";

  Ran left = Lbl("sheet document --do page=106 --do click=1004 --json");
  ASSERT_EQ(left.status, 0) << left.err;
  ASSERT_FALSE(d.Parse(left.out.c_str()).HasParseError()) << left.out;
  ASSERT_EQ(d["CancelledDialogs"].Size(), 1u);
  EXPECT_EQ(d["CancelledDialogs"][0].GetUint(), 110u);
  EXPECT_STREQ(d["Result"].GetString(), "OK");

  for (const char* onPageOrSheet : {"--do click=1009", "--do dialog=110 --do press=ok", "--do dialog=110 --do page=108"}) {
    Ran blocked = Lbl(std::string("sheet document --do page=106 --do click=1004 ") + onPageOrSheet);
    EXPECT_EQ(blocked.status, 1) << onPageOrSheet;
    EXPECT_NE(blocked.err.find("dialog 110 is open"), std::string::npos) << blocked.err;
  }
}

// The document options of lbl print make the DEVMODE the application hands the sheet.
TEST_F(LblCommand, SheetTakesTheDocumentOptionsOfPrint) {
  rapidjson::Document d;
  Ran own = Lbl("sheet document --size 50x30 --copies 2 --orientation landscape --set PostAction=3 --json");
  ASSERT_EQ(own.status, 0) << own.err;
  ASSERT_FALSE(d.Parse(own.out.c_str()).HasParseError()) << own.out;
  const auto& pub = d["Settings"]["Public"];
  EXPECT_EQ(pub["dmPaperSize"].GetInt(), 256);
  EXPECT_EQ(pub["dmPaperWidth"].GetInt(), 500);
  EXPECT_EQ(pub["dmPaperLength"].GetInt(), 300);
  EXPECT_STREQ(pub["dmFormName"].GetString(), "USER") << "a size of its own is the stock USER";
  EXPECT_EQ(pub["dmCopies"].GetInt(), 2);
  EXPECT_EQ(pub["dmOrientation"].GetInt(), 2);
  EXPECT_EQ(d["Settings"]["Private"]["PostAction"].GetUint(), 3u);

  Ran paper = Lbl("sheet document --paper \"2 x 1\" --json");
  ASSERT_EQ(paper.status, 0) << paper.err;
  ASSERT_FALSE(d.Parse(paper.out.c_str()).HasParseError()) << paper.out;
  EXPECT_STREQ(d["Settings"]["Public"]["dmFormName"].GetString(), "2 x 1");

  for (const char* bad : {"sheet device --copies 2", "sheet document --paper nope", "sheet document --set Bogus=1",
                          "sheet document --set PostAction", "sheet document --size 50", "sheet document --copies 0"}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(Lbl(bad).status, 2);
  }
}

TEST_F(LblCommand, SheetPicturesEveryPage) {
  const std::string dir = Temp("pages");
  Ran r = Lbl("sheet device --do snap=first --png " + dir);
  ASSERT_EQ(r.status, 0) << r.err;
  for (const char* name : {"first.png", "page-101.png"}) {
    SCOPED_TRACE(name);
    const lblview::RgbImage image = ReadPng(dir + "/" + name);
    EXPECT_GT(image.width, 100u);
    EXPECT_GT(image.height, 100u);
    size_t dark = 0;
    for (size_t i = 0; i + 2 < image.rgb.size(); i += 3) dark += image.rgb[i] + image.rgb[i + 1] + image.rgb[i + 2] < 200;
    EXPECT_GT(dark, 50u) << "the About page's texts are drawn";
  }
}

// The Page Setup page's picture shows its label stock preview as the page painted it: the printer head
// (filled 0xC8C8C8) and the white label, in the preview's place right of the page's controls.
TEST_F(LblCommand, SheetPictureShowsThePageSetupPreview) {
  const std::string dir = Temp("preview");
  Ran r = Lbl("sheet document --png " + dir);
  ASSERT_EQ(r.status, 0) << r.err;
  const lblview::RgbImage image = ReadPng(dir + "/page-106.png");
  ASSERT_GT(image.width, 300u);
  // Pixels of grey level v in the right half.
  auto count = [&](uint8_t v, uint32_t fromX) {
    size_t n = 0;
    for (uint32_t y = 0; y < image.height; ++y)
      for (uint32_t x = fromX; x < image.width; ++x) {
        const uint8_t* p = &image.rgb[(size_t(y) * image.width + x) * 3];
        n += p[0] == v && p[1] == v && p[2] == v;
      }
    return n;
  };
  EXPECT_GT(count(0xC8, image.width / 2), 2000u) << "the printer head";
  EXPECT_GT(count(0xFF, image.width / 2), 5000u) << "the label";
}

// lbl wizard: an install on FILE: walked through with a picture after each step, in the chosen language;
// a refused action fails with the page it was refused on.
TEST_F(LblCommand, WizardInstallsStepByStepWithPictures) {
  const std::string dir = Temp("wizard");
  Ran r = Lbl("--ui-language ru wizard --do port-type=7 --do row=0 --do name=Labels --do answer=ok --do next --png " +
              dir);
  ASSERT_EQ(r.status, 0) << r.err;
  EXPECT_NE(r.out.find("page result [back,finish]"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("Установка завершена."), std::string::npos) << "the log in the chosen language:\n" << r.out;
  EXPECT_NE(r.out.find("\"Labels\" (Tarnwell TW-KA_ on FILE:)"), std::string::npos) << r.out;
  // The start and the four page-changing actions (an answer changes no page and is not pictured).
  for (const char* name : {"00-install.png", "01-install.png", "03-install.png", "04-result.png"}) {
    SCOPED_TRACE(name);
    const lblview::RgbImage image = ReadPng(dir + "/" + name);
    EXPECT_GT(image.width, 300u);
  }
  EXPECT_FALSE(std::filesystem::exists(dir + "/05-result.png"));

  // On a freshly installed machine (the one above now has the printer): nothing chosen to install.
  Ran refused = Lbl("--state " + Temp("fresh-state") + " wizard --do next");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("refused 'next' on the install page"), std::string::npos) << refused.err;
  EXPECT_EQ(Lbl("wizard --png").status, 2);
  EXPECT_EQ(Lbl("wizard --do mode=sideways").status, 2);
  EXPECT_EQ(Lbl("wizard --do frobnicate").status, 2);
}

}  // namespace
}  // namespace tooltest
