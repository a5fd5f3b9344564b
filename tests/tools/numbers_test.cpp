// The numbers lbl's options take: one reader for all of them, and what each command does with a value
// that is not a plain number of its range (exit 2, the option named).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/tools/run_lbl.h"
#include "tools/numbers.h"

namespace tooltest {
namespace {

TEST(Numbers, WholeNumbersAreDecimalDigitsInTheirRange) {
  int64_t v = 0;
  struct Good {
    const char* text;
    int64_t value;
  };
  for (const Good& g : {Good{"0", 0}, Good{"42", 42}, Good{"-7", -7}, Good{"+7", 7}, Good{"007", 7},
                        Good{"9223372036854775807", INT64_MAX}, Good{"-9223372036854775808", INT64_MIN}}) {
    ASSERT_TRUE(lbl::ParseWhole(g.text, INT64_MIN, INT64_MAX, &v)) << g.text;
    EXPECT_EQ(v, g.value) << g.text;
  }
  for (const char* bad : {"", " 5", "5 ", "5x", "x5", "1e3", "1.0", "0x10", "nan", "inf", "-", "+", "--5",
                          "9223372036854775808", "99999999999999999999999"})
    EXPECT_FALSE(lbl::ParseWhole(bad, INT64_MIN, INT64_MAX, &v)) << '"' << bad << '"';
  EXPECT_FALSE(lbl::ParseWhole("101", 0, 100, &v));
  EXPECT_FALSE(lbl::ParseWhole("-1", 0, 100, &v));
  EXPECT_TRUE(lbl::ParseWhole("0x1F", 0, 100, &v, true));
  EXPECT_EQ(v, 31);
  EXPECT_FALSE(lbl::ParseWhole("0x", 0, 100, &v, true));
  EXPECT_FALSE(lbl::ParseWhole("0x1G", 0, 100, &v, true));
}

TEST(Numbers, DecimalsArePlainAndKeepTheirUnitsPrecision) {
  double v = 0;
  for (const char* good : {"10", "10.5", ".5", "5.", "-0.25", "+3", "6553.5"})
    EXPECT_TRUE(lbl::ParseDecimal(good, -10000, 10000, &v)) << good;
  EXPECT_TRUE(lbl::ParseDecimal("101.6", 0, 1000, &v));
  EXPECT_DOUBLE_EQ(v, 101.6);
  for (const char* bad : {"", ".", "1e9", "1E2", "nan", "inf", "infinity", "0x10", "1,5", "1.2.3", "10 mm", " 1"})
    EXPECT_FALSE(lbl::ParseDecimal(bad, -1e30, 1e30, &v)) << '"' << bad << '"';
  EXPECT_FALSE(lbl::ParseDecimal("6553.6", 10, 6553.5, &v));
  EXPECT_TRUE(lbl::ParseDecimal("50.001", 10, 100, &v, 3));
  EXPECT_FALSE(lbl::ParseDecimal("50.0001", 10, 100, &v, 3)) << "finer than a micrometre";

  std::string error;
  EXPECT_FALSE(lbl::OptionDecimal("--width", "1e9", 10, 6553.5, &v, &error, "millimetres", 3));
  EXPECT_EQ(error, "bad value for --width: '1e9' (millimetres from 10 to 6553.5, at most 3 decimals)");
  int64_t n = 0;
  EXPECT_FALSE(lbl::OptionWhole("--copies", "3x", 1, 32767, &n, &error, "a count"));
  EXPECT_EQ(error, "bad value for --copies: '3x' (a count from 1 to 32767)");
}

// Each value once through the command as a person types it: a usage error that names the option.
TEST(LblNumbers, EveryCommandRefusesAValueThatIsNotAPlainNumberOfItsRange) {
  struct Case {
    std::string args, option;
  };
  const std::string out = testing::TempDir() + "/lbl_numbers_" + std::to_string(getpid());
  const std::vector<Case> cases = {
      {"stock add --name a --width 1e9 --length 30", "--width"},
      {"stock add --name a --width 50 --length 30 --gap 1e12", "--gap"},
      {"stock add --name a --width 50 --length 30 --darkness 3x", "--darkness"},
      {"stock add --name a --width 50 --length 30 --darkness 99", "--darkness"},
      {"stock add --name a --width nan --length 30", "--width"},
      {"stock add --name a --width 50 --length inf", "--length"},
      {"stock add --name a --width 0x32 --length 30", "--width"},
      {"stock add --name a --width 50 --length 30 --speed 2.5", "--speed"},
      {"stock add --name a --width 50 --length 30 --offset 1,5", "--offset"},
      {"print --copies 1e1 --blank 1 -o " + out, "--copies"},
      {"print --copies 32768 --blank 1 -o " + out, "--copies"},
      {"print --size 1e2x50 --blank 1 -o " + out, "--size"},
      {"print --size nanx50 --blank 1 -o " + out, "--size"},
      {"print --job-id 0x10 --blank 1 -o " + out, "--job-id"},
      {"print --blank 1.5 -o " + out, "--blank"},
      {"print --set Speed=1e2 --blank 1 -o " + out, "Speed"},
      {"print --set Darkness=0x10 --blank 1 -o " + out, "Darkness"},
      {"check-job --copies 2.0", "--copies"},
      {"view --dpi 203dpi " + out, "--dpi"},
      {"install --model \"Tarnwell TW-JA\" --port IP_1 --ip 192.0.2.1 --tcp-port 9100.0", "--tcp-port"},
      {"install --model \"Tarnwell TW-JA\" --port IP_1 --ip 192.0.2.1 --tcp-port -1", "--tcp-port"},
      {"sample --contrast 1e1 -o " + out, "--contrast"},
      {"sheet document --do slide=1030:1e2", "slide"},
      {"discover --adapter 192.0.2.1/24x", "--adapter"},
      {"discover --adapter 192.0.2.1/24=0x6", "--adapter"},
      {"wizard --do port-type=7 --do row=1e1", "row"},
      {"wizard --do wait=-1", "wait"},
      {"wizard --do \"wait= 5\"", "wait"},
      {"wizard --net-printer 192.0.2.300=TW-JA", "--net-printer"},
      {"print --size 100.05x150 --blank 1 -o " + out, "--size"},
      {"check-job --size 50x25.44", "--size"},
      {"discover --adapter 300.0.2.1", "--adapter"},
      {"discover --adapter -1.0.2.1", "--adapter"},
      {"discover --adapter \" 192.0.2.1\"", "--adapter"},
      {"discover --adapter 4294967297.0.2.1", "--adapter"},
      {"discover --net-printer \" 192.0.2.20=TW-JA\"", "--net-printer"},
      {"discover --net-printer +192.0.2.20=TW-JA", "--net-printer"},
  };
  for (const Case& c : cases) {
    lbltest::Ran r = lbltest::Lbl(c.args);
    EXPECT_EQ(r.status, 2) << c.args << "\n" << r.err;
    EXPECT_NE(r.err.find(c.option), std::string::npos) << c.args << "\n" << r.err;
  }
  // lbl serve's own program reads its numbers the same way (a value it took would start a server;
  // the timeout ends that run as a failure of this test).
  for (const std::string args : {"serve --port \" 8631\"", "serve --port 8631.0", "serve --fault-timeout \" 5\"",
                                 "serve --fault-timeout 5s"}) {
    lbltest::Ran r = lbltest::RunLbl("timeout 20 " LBL_EXE, args, out + ".serve.err");
    EXPECT_EQ(r.status, 2) << args << "\n" << r.err;
  }

  // The same options with plain numbers are taken.
  EXPECT_EQ(lbltest::Lbl("print --size 101.6x152.4 --copies 2 --set Flags=0x128 --blank 1 -o " + out).status, 0);
  EXPECT_EQ(lbltest::Lbl("stock add --name a --width 50.125 --length 30 --gap 2.5 --darkness 3").status, 0);
  EXPECT_EQ(lbltest::Lbl("discover --adapter 192.0.2.1/24 --net-printer 192.0.2.20=TW-JA").status, 0);
  EXPECT_EQ(lbltest::Lbl("wizard --do wait=50").status, 0);
}

}  // namespace
}  // namespace tooltest
