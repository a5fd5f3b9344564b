// lbl preview and lbl stock as people use them: the picture of a stock, stocks added with the
// editor's clamping, and the errors.
#include <gtest/gtest.h>

#include <rapidjson/document.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tests/tools/run_lbl.h"

namespace tooltest {
namespace {

using lbltest::Lbl;
using lbltest::Ran;

TEST(LblStock, AddTakesTheEditorsRangesAndUserStays) {
  // The longest stock the editor takes: 655350 mm.
  Ran add = Lbl("stock add --name Shipping --width 50 --length 655350 --type marks --json");
  ASSERT_EQ(add.status, 0);
  rapidjson::Document d;
  d.Parse(add.out.c_str());
  ASSERT_TRUE(d.IsObject()) << add.out;
  EXPECT_STREQ(d["Name"].GetString(), "Shipping");
  EXPECT_EQ(d["Length"].GetInt(), 655350000);
  EXPECT_EQ(d["Width"].GetInt(), 50000);
  EXPECT_EQ(d["Flags"].GetUint(), 0x80000002u);
  EXPECT_EQ(d["GapHeight"].GetInt(), 3000);
  EXPECT_EQ(d["Speed"].GetInt(), 0);

  Ran list = Lbl("stock list");
  ASSERT_EQ(list.status, 0);
  EXPECT_NE(list.out.find("USER("), std::string::npos);
  EXPECT_EQ(Lbl("stock remove USER").status, 1);
  EXPECT_EQ(Lbl("stock add --name Shipping --width 50 --length 30 --replace USER").status, 1) << "USER keeps its name";
  EXPECT_EQ(Lbl("stock add --name a --width wide --length 30").status, 2);
  EXPECT_EQ(Lbl("stock add --name a --width 50 --length 655350.001").status, 2) << "beyond the editor's length";
  EXPECT_EQ(Lbl("stock add --name a --width 9.999 --length 30").status, 2) << "below the editor's width";
  EXPECT_EQ(Lbl("stock add --name a --width 50 --length 30 --speed 7").status, 1) << "not a speed of the model";
  EXPECT_EQ(Lbl("stock show nothing-like-it").status, 1);
}

// What the editor refuses, add refuses: a gap or offset outside 0 to 10.0 mm (a negative gap would
// stack labels without end), a blank name, USER's name, and another stock's name unless it is the one
// being changed.
TEST(LblStock, AddRefusesWhatTheEditorRefuses) {
  for (const char* bad : {"--gap -1", "--gap -2147483648", "--gap 10.1", "--offset -0.1", "--offset 11"}) {
    Ran r = Lbl(std::string("stock add --name X --width 50 --length 30 ") + bad);
    EXPECT_EQ(r.status, 2) << bad;
    EXPECT_NE(r.err.find("from 0 to 10,"), std::string::npos) << r.err;
  }
  EXPECT_EQ(Lbl("stock add --name X --width 50 --length 30 --gap 10 --offset 0").status, 0);
  EXPECT_EQ(Lbl("stock add --name \"  \" --width 50 --length 30").status, 2);
  EXPECT_EQ(Lbl("stock add --name USER --width 50 --length 30").status, 1);
  EXPECT_EQ(Lbl("stock add --name USER --width 50 --length 30 --replace USER").status, 0) << "USER changed in place";
  Ran taken = Lbl("stock add --name \"2 x 1\" --width 50 --length 30");
  EXPECT_EQ(taken.status, 1);
  EXPECT_NE(taken.err.find("exists already"), std::string::npos) << taken.err;
  EXPECT_EQ(Lbl("stock add --name \"2 x 1\" --width 50 --length 30 --replace \"2 x 1\"").status, 0);
  EXPECT_EQ(Lbl("stock add --name \"2 x 1\" --width 50 --length 30 --replace \"3 x 1\"").status, 1)
      << "a rename onto another stock";
  Ran gone = Lbl("stock add --name Renamed --width 50 --length 30 --replace \"No such stock\"");
  EXPECT_EQ(gone.status, 1) << "a rename of a stock that is not there";
  EXPECT_NE(gone.err.find("no label stock named \"No such stock\""), std::string::npos) << gone.err;
  EXPECT_EQ(Lbl("stock show Renamed").status, 1) << "nothing was added";
  // Continuous paper has no gap to give (the editor empties and disables both fields), and a stock is
  // printed either directly or through a ribbon (the editor's two choices exclude each other).
  for (const char* bad : {"--type continuous --gap 3", "--type unfixed --offset 1", "--direct --transfer"}) {
    Ran r = Lbl(std::string("stock add --name Y --width 50 --length 30 ") + bad);
    EXPECT_EQ(r.status, 2) << bad << ": " << r.out;
  }
  EXPECT_EQ(Lbl("stock add --name Y --width 50 --length 30 --type continuous --gap 0").status, 0);
}

TEST(LblPreview, WritesThePictureOfTheStock) {
  const std::string dir = testing::TempDir() + "/lbl_preview_" + std::to_string(getpid());
  std::filesystem::create_directories(dir);
  const std::string png = dir + "/two.png";
  ASSERT_EQ(Lbl("preview --stock \"2 x 1\" --orientation 270 --mirror -o " + png).status, 0);
  std::ifstream in(png, std::ios::binary);
  unsigned char head[24] = {};
  in.read(reinterpret_cast<char*>(head), 24);
  EXPECT_EQ(head[1], 'P');
  const unsigned width = unsigned(head[16]) << 24 | head[17] << 16 | head[18] << 8 | head[19];
  const unsigned height = unsigned(head[20]) << 24 | head[21] << 16 | head[22] << 8 | head[23];
  EXPECT_EQ(width, 196u);
  EXPECT_EQ(height, 260u);
  EXPECT_EQ(Lbl("preview --stock missing -o " + png).status, 1);
  EXPECT_EQ(Lbl("preview --stock USER --orientation 45 -o " + png).status, 2);
  EXPECT_EQ(Lbl("preview --stock USER").status, 2);
  std::filesystem::remove_all(dir);
}

}  // namespace
}  // namespace tooltest
