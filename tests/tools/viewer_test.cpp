// The virtual printer on golden streams of each language and on corrupted ones: every corruption
// is refused with the byte offset where it is.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tools/viewer/viewer.h"
#include "tools_fixture.h"

namespace tooltest {
namespace {

using lblview::Language;

struct Viewed {
  bool ok;
  lblview::ViewResult r;
  lblview::ViewError e;
};

Viewed View(const std::string& s, std::vector<lblview::PageFile> files = {}, Language lang = Language::Unknown) {
  Viewed v;
  lblview::ViewOptions o;
  o.language = lang;
  v.ok = lblview::ViewStream(reinterpret_cast<const uint8_t*>(s.data()), s.size(), files, o, &v.r, &v.e);
  return v;
}

// The 50 mm x 30 mm label at 203 dpi: 50 bytes x 240 rows, a black box of 16 x 10 dots at (16, 10).
std::string TsplWorkedExample(std::vector<uint8_t>* raster = nullptr) {
  std::vector<uint8_t> rows = Rows(50, 240, 16, 32, 10, 20, false);
  if (raster) *raster = rows;
  return Bytes()("SET PEEL OFF\r\nSET CUTTER OFF\r\nSET TEAR ON\r\n")("DIRECTION 0,0\r\nREFERENCE 0,0\r\n")(
             "SPEED 4.00\r\n")("DENSITY 8\r\n")("OFFSET 0.00 mm\r\n")("GAP 3.0 mm,0.0 mm\r\n")(
             "SIZE 50.0 mm,30.0 mm\r\nCLS\r\n")("\r\nBITMAP 0,0,50,240,1,")
      .raw(rows)("\r\nPRINT 1,1\r\n")
      .s;
}

TEST(Viewer, TsplWorkedExamplePrintsOneLabelOfItsSize) {
  const std::string s = TsplWorkedExample();
  Viewed v = View(s);
  ASSERT_TRUE(v.ok) << v.e.Describe();
  EXPECT_EQ(v.r.language, Language::Tspl);
  ASSERT_EQ(v.r.labels.size(), 1u);
  const lblview::Label& l = v.r.labels[0];
  EXPECT_EQ(l.width, 400u);
  EXPECT_EQ(l.height, 240u);
  EXPECT_EQ(l.BlackDots(), 160u);
  EXPECT_EQ(CountBlack(l, 16, 32, 10, 20), 160u);
  ASSERT_EQ(v.r.commands.size(), 13u);
  EXPECT_EQ(v.r.commands[0].text, "SET PEEL OFF");
  EXPECT_EQ(v.r.commands[11].text, "BITMAP 0,0,50,240,1 (OR, 12000 bytes)");
  EXPECT_EQ(v.r.commands[11].offset, s.find("BITMAP"));
  EXPECT_EQ(v.r.commands[12].text, "PRINT 1,1 (1 label)");
}

TEST(Viewer, TsplBandsCopiesAndModes) {
  // Two bands, the second ORed and then XORed over the first; PRINT 2,3 prints six labels.
  Bytes b;
  b("SIZE 2,1\r\nCLS\r\n")("BITMAP 0,0,2,4,0,").raw(Rows(2, 4, 0, 8, 0, 4, false));
  b("\r\nBITMAP 8,2,1,2,2,").raw(Rows(1, 2, 0, 8, 0, 2, false))("\r\nPRINT 2,3\r\n");
  Viewed v = View(b.s);
  ASSERT_TRUE(v.ok) << v.e.Describe();
  ASSERT_EQ(v.r.labels.size(), 6u);
  const lblview::Label& l = v.r.labels[5];
  EXPECT_EQ(l.width, 406u);  // 2 inches at 203 dpi
  EXPECT_EQ(CountBlack(l, 0, 8, 0, 4), 32u);
  EXPECT_EQ(CountBlack(l, 8, 16, 2, 4), 16u);  // XOR over white
  EXPECT_EQ(l.BlackDots(), 48u);
}

TEST(Viewer, TsplCorruptionsNameTheirOffset) {
  const std::string good = TsplWorkedExample();
  const size_t bitmap = good.find("BITMAP"), data = good.find("1,", bitmap + 17) + 2, print = good.find("\r\nPRINT");

  Viewed cut = View(good.substr(0, data + 5000));
  EXPECT_FALSE(cut.ok);
  EXPECT_EQ(cut.e.offset, bitmap);
  EXPECT_NE(cut.e.message.find("needs 12000 data bytes, only 5000 follow"), std::string::npos) << cut.e.message;

  std::string extra = good;
  extra.insert(print, 1, '\0');  // one raster byte too many
  Viewed x = View(extra);
  EXPECT_FALSE(x.ok);
  EXPECT_EQ(x.e.offset, print);

  std::string number = good;
  number[bitmap + 11] = 'O';  // "BITMAP 0,0,O0,..."
  Viewed n = View(number);
  EXPECT_FALSE(n.ok);
  EXPECT_EQ(n.e.offset, bitmap + 11);

  Viewed size = View("SIZE 50.0 mm\r\n", {}, Language::Tspl);
  EXPECT_FALSE(size.ok);
  EXPECT_EQ(size.e.offset, 0u);
}

std::string ZplJob(const std::vector<uint8_t>& band, size_t rowBytes, int quantity) {
  return Bytes()("^XA\r\n^MTD\r\n^PR4\r\n~SD14\r\n^MNY\r\n^PQ1,1,1,Y\r\n^MMT,N\r\n^LT0\r\n^PMN\r\n^XZ\r\n\r\n")(
             "^XA\r\n^PW400\r\n^LL240\r\n^PON\r\n^XZ\r\n\r\n")("^XA\r\n^PQ" + std::to_string(quantity) + "\r\n")(
             ZplGraphic(0, 0, band, rowBytes))("^XZ\r\n\r\n")
      .s;
}

TEST(Viewer, ZplFormatsWithFieldsPrintTheirQuantity) {
  // The worked example's band: 240 rows and 60 white rows, black box at (16, 10).
  const std::string s = ZplJob(Rows(50, 300, 16, 32, 10, 20), 50, 2);
  Viewed v = View(s);
  ASSERT_TRUE(v.ok) << v.e.Describe();
  EXPECT_EQ(v.r.language, Language::Zpl);
  ASSERT_EQ(v.r.labels.size(), 2u);  // the settings formats print nothing
  const lblview::Label& l = v.r.labels[0];
  EXPECT_EQ(l.width, 400u);
  EXPECT_EQ(l.height, 240u);  // ^LL: the padding rows are not printed
  EXPECT_EQ(l.BlackDots(), 160u);
  EXPECT_EQ(CountBlack(l, 16, 32, 10, 20), 160u);
  EXPECT_TRUE(v.r.notes.empty());
}

// A cut once after the job: TSPL's CUT and ZPL's ~JK (the delayed cutter's) are known commands.
TEST(Viewer, CutsAfterTheJobAreKnownCommands) {
  Viewed t = View(TsplWorkedExample() + "CUT\r\n");
  ASSERT_TRUE(t.ok) << t.e.Describe();
  EXPECT_EQ(t.r.commands.back().text, "CUT (cut now)");
  EXPECT_TRUE(t.r.notes.empty());
  Viewed z = View(ZplJob(Rows(50, 300, 16, 32, 10, 20), 50, 1) + "~JK\r\n");
  ASSERT_TRUE(z.ok) << z.e.Describe();
  EXPECT_EQ(z.r.commands.back().text, "~JK (delayed cut)");
  EXPECT_TRUE(z.r.notes.empty());
  EXPECT_FALSE(View(TsplWorkedExample() + "CUT 1\r\n").ok);
}

TEST(Viewer, ZplCorruptionsNameTheirOffset) {
  const std::string good = ZplJob(Rows(50, 300, 16, 32, 10, 20), 50, 1);
  const size_t data = good.find(":Z64:") + 5, crc = good.rfind(':') + 1;

  std::string flipped = good;  // a Base64 character changed: the CRC no longer matches
  flipped[data + 7] = flipped[data + 7] == 'A' ? 'B' : 'A';
  Viewed f = View(flipped);
  EXPECT_FALSE(f.ok);
  EXPECT_EQ(f.e.offset, crc);
  EXPECT_NE(f.e.message.find("CRC"), std::string::npos);

  std::string bad = good;
  bad[data + 3] = '*';
  Viewed b = View(bad);
  EXPECT_FALSE(b.ok);
  EXPECT_EQ(b.e.offset, data + 3);

  // A valid Base64 text with a matching CRC around a broken zlib stream.
  std::vector<uint8_t> z = Deflate(Rows(50, 300, 0, 8, 0, 1));
  z.back() ^= 0x55;  // the Adler-32 check
  const std::string text = Base64(z);
  char tail[16];
  std::snprintf(tail, sizeof tail, ":%04X\r\n", Crc16Xmodem(text.data(), text.size()));
  const std::string broken = "^XA\r\n^FO0,0^GFA,15000,15000,50,:Z64:" + text + tail + "^XZ\r\n";
  Viewed zb = View(broken);
  EXPECT_FALSE(zb.ok);
  EXPECT_EQ(zb.e.offset, broken.find(":Z64:") + 5);

  std::string count = good;  // announces more bytes than the field inflates to
  count.replace(count.find("15000,15000"), 11, "15050,15050");
  Viewed c = View(count);
  EXPECT_FALSE(c.ok);
  EXPECT_NE(c.e.message.find("holds 15000 bytes, not the 15050"), std::string::npos) << c.e.message;

  Viewed open = View(good.substr(0, good.rfind("^XZ")));
  EXPECT_FALSE(open.ok);
  EXPECT_EQ(open.e.offset, good.rfind("^XZ"));

  Viewed rows = View("^XA^FO0,0^GFA,10,10,3,00000000000000000000^XZ");
  EXPECT_FALSE(rows.ok);
  EXPECT_NE(rows.e.message.find("whole number of rows"), std::string::npos);
}

std::string EscPage(uint32_t width, const std::vector<uint8_t>& rows, uint32_t rowBytes, uint8_t feed) {
  Bytes b;
  b.b({0x1F, 0x1B, 0x1F, 0x13, 0x14, 9}).b({0x1D, 0x57}).u16(width).b({0x1D, 0x4C}).u16(0);
  const uint32_t total = static_cast<uint32_t>(rows.size() / rowBytes);
  for (uint32_t y = 0; y < total; y += 24) {
    const uint32_t h = std::min<uint32_t>(24, total - y);
    b.b({0x1D, 0x76, 0x30, 0x00}).u16(rowBytes).u16(h);
    b.raw(std::vector<uint8_t>(rows.begin() + y * rowBytes, rows.begin() + (y + h) * rowBytes)).b({0x1B, 0x4A, feed});
  }
  return b.s;
}

TEST(Viewer, EscBandsStackIntoOneLabelPerPage) {
  // 50 rows: bands of 24, 24 and 2; a second page starts a second label; the cut ends it.
  const std::vector<uint8_t> rows = Rows(4, 50, 3, 9, 20, 30);
  const std::string s = EscPage(40, rows, 4, 0x18) + EscPage(40, rows, 4, 0x18) + std::string("\x1D\x56\x42\x00", 4);
  Viewed v = View(s);
  ASSERT_TRUE(v.ok) << v.e.Describe();
  EXPECT_EQ(v.r.language, Language::Esc);
  ASSERT_EQ(v.r.labels.size(), 2u);
  EXPECT_EQ(v.r.labels[1].width, 40u);  // the print area is wider than the 32 dots of the rows
  EXPECT_EQ(v.r.labels[1].height, 50u);
  EXPECT_EQ(v.r.labels[1].BlackDots(), 60u);
  EXPECT_EQ(CountBlack(v.r.labels[1], 3, 9, 20, 30), 60u);
}

TEST(Viewer, EscCorruptionsNameTheirOffset) {
  const std::string good = EscPage(32, Rows(4, 50, 0, 8, 0, 50), 4, 0);
  const size_t lastBand = good.rfind(std::string("\x1D\x76\x30\x00", 4));
  Viewed cut = View(good.substr(0, lastBand + 9));
  EXPECT_FALSE(cut.ok);
  EXPECT_EQ(cut.e.offset, lastBand);

  std::string unknown = good;
  unknown.insert(lastBand, "\x1D\x99");
  Viewed u = View(unknown);
  EXPECT_FALSE(u.ok);
  EXPECT_EQ(u.e.offset, lastBand);
}

// A TWL page block of `rows` rows of `rowBytes` bytes, 1 = black, with its dot counts.
std::vector<uint8_t> TwlBlock(uint16_t page, const std::vector<uint8_t>& rows, uint32_t rowBytes) {
  const uint32_t n = static_cast<uint32_t>(rows.size() / rowBytes);
  Bytes b;
  b("SIZ").b({1}).u16(rowBytes * 8).u16(n).u16(24).u16(0).u16(page).b({0x1D, 0x76, 0x30, 0x00}).u16(rowBytes + 2).u16(n);
  for (uint32_t y = 0; y < n; ++y) {
    uint32_t black = 0;
    for (uint32_t x = 0; x < rowBytes; ++x) black += __builtin_popcount(rows[y * rowBytes + x]);
    b.u16(black).raw(std::vector<uint8_t>(rows.begin() + y * rowBytes, rows.begin() + (y + 1) * rowBytes));
  }
  return b.v();
}

std::string Markers(const std::vector<size_t>& sizes) {
  Bytes b;
  for (size_t s : sizes) b.b({0x1D, 0x1D, 0x76, 0x76}).u32(static_cast<uint32_t>(s));
  return b.s;
}

TEST(Viewer, TwlMarkersMatchTheirPageFiles) {
  const std::vector<uint8_t> block2 = TwlBlock(2, Rows(8, 5, 0, 64, 1, 2), 8), block3 = TwlBlock(3, Rows(8, 5, 0, 64, 1, 2), 8);
  std::vector<lblview::PageFile> files = {{"page_0000_jobid_007_0.dat", Bytes().b({0x1B, 0x73, 1, 0, 0, 2, 8}).v()},
                                          {"page_0000_jobid_007_1.dat", Bytes()("SOUND 1\r\n").v()},
                                          {"page_0003_jobid_007_0.dat", block3},
                                          {"page_0002_jobid_007_0.dat", block2}};
  Viewed v = View(Markers({block2.size(), block3.size()}), files);
  ASSERT_TRUE(v.ok) << v.e.Describe();
  EXPECT_EQ(v.r.language, Language::Twl);
  ASSERT_EQ(v.r.labels.size(), 2u);
  EXPECT_EQ(v.r.labels[0].width, 64u);
  EXPECT_EQ(v.r.labels[0].BlackDots(), 64u);  // a row of 8 bytes all FF counts 64
  EXPECT_EQ(v.r.commands[2].file, "page_0000_jobid_007_0.dat");
  EXPECT_EQ(v.r.commands[2].text, "job header: post-print action 1, feed offset 0 dots, speed code 2, darkness code 8");
  EXPECT_EQ(v.r.commands[3].text, "user command: SOUND 1\\r\\n");

  // Without the files the markers are listed and nothing is rendered.
  Viewed bare = View(Markers({block2.size()}));
  ASSERT_TRUE(bare.ok);
  EXPECT_TRUE(bare.r.labels.empty());
  EXPECT_FALSE(bare.r.notes.empty());
}

TEST(Viewer, TwlCorruptionsNameTheirOffset) {
  const std::vector<uint8_t> block = TwlBlock(2, Rows(8, 5, 0, 64, 1, 2), 8);
  const std::vector<lblview::PageFile> files = {{"page_0002_jobid_001_0.dat", block}};

  Viewed size = View(Markers({block.size()}) + "\x1D\x1D\x76", files);
  EXPECT_FALSE(size.ok);  // a cut marker
  EXPECT_EQ(size.e.offset, 8u);

  Viewed wrong = View(Markers({block.size() + 2}), files);
  EXPECT_FALSE(wrong.ok);
  EXPECT_EQ(wrong.e.offset, 0u);
  EXPECT_TRUE(wrong.e.file.empty());

  Viewed missing = View(Markers({block.size(), block.size()}), files);
  EXPECT_FALSE(missing.ok);
  EXPECT_EQ(missing.e.offset, 8u);

  std::vector<lblview::PageFile> counted = files;  // row 1 claims one black dot too many
  counted[0].data[22 + 10] = 65;
  Viewed c = View(Markers({block.size()}), counted);
  EXPECT_FALSE(c.ok);
  EXPECT_EQ(c.e.file, "page_0002_jobid_001_0.dat");
  EXPECT_EQ(c.e.offset, 22u + 10);

  std::vector<lblview::PageFile> renamed = {{"page_0005_jobid_001_0.dat", block}};
  Viewed r = View(Markers({block.size()}), renamed);
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.e.offset, 12u);

  std::vector<lblview::PageFile> rows = files;  // the page header and the raster disagree on the rows
  rows[0].data[6] = 4;
  Viewed h = View(Markers({block.size()}), rows);
  EXPECT_FALSE(h.ok);
  EXPECT_EQ(h.e.offset, 20u);
}

// Rows of the dot count alone (L = 2) are a well-formed block, the same one the simulated printer
// prints; the viewer lists it and has nothing to draw.
TEST(Viewer, TwlRowsOfNoBytesAreWellFormed) {
  const std::vector<uint8_t> block = TwlBlock(2, std::vector<uint8_t>(3), 1);
  std::vector<uint8_t> empty(block.begin(), block.begin() + 22);
  empty[18] = 2;  // row length: the dot count alone
  for (int y = 0; y < 3; ++y) empty.insert(empty.end(), {0, 0});
  Viewed v = View(Markers({empty.size()}), {{"page_0002_jobid_001_0.dat", empty}});
  EXPECT_FALSE(v.ok);
  EXPECT_THAT(v.e.message, ::testing::HasSubstr("has no area"));
  ASSERT_FALSE(v.r.commands.empty());
  EXPECT_THAT(v.r.commands.back().text, ::testing::HasSubstr("3 rows of 0 bytes"));
}

TEST(Viewer, DetectsTheLanguageByItsFirstOwnCommand) {
  auto detect = [](const std::string& s) {
    return lblview::DetectLanguage(reinterpret_cast<const uint8_t*>(s.data()), s.size());
  };
  EXPECT_EQ(detect("user text\r\nSIZE 50 mm,30 mm\r\n"), Language::Tspl);
  EXPECT_EQ(detect("^XA^PW400^XZ SIZE "), Language::Zpl);
  EXPECT_EQ(detect(std::string("\x1B\x4B\xC7\x00\x1F\x1B\x1F\x13\x14\x09", 10)), Language::Esc);
  EXPECT_EQ(detect(Markers({100})), Language::Twl);
  EXPECT_EQ(detect("hello"), Language::Unknown);
  Viewed v = View("hello");
  EXPECT_FALSE(v.ok);
  EXPECT_NE(v.e.message.find("--language"), std::string::npos);
}

TEST(Viewer, RefusesLabelsBeyondItsLimits) {
  lblview::ViewOptions o;
  o.maxLabelPixels = 1000;
  lblview::ViewResult r;
  lblview::ViewError e;
  const std::string s = "SIZE 100 mm,100 mm\r\nCLS\r\nPRINT 1\r\n";
  EXPECT_FALSE(lblview::ViewStream(reinterpret_cast<const uint8_t*>(s.data()), s.size(), {}, o, &r, &e));
  EXPECT_EQ(e.offset, 0u);
  o = {};
  o.maxLabels = 5;
  const std::string many = "SIZE 1 mm,1 mm\r\nCLS\r\nPRINT 2,3\r\n";
  EXPECT_FALSE(lblview::ViewStream(reinterpret_cast<const uint8_t*>(many.data()), many.size(), {}, o, &r, &e));
  EXPECT_EQ(e.offset, many.find("PRINT"));
}

}  // namespace
}  // namespace tooltest
