// The machine lbl keeps between commands, as a person uses it: what one command changes is there for
// the next, a save killed half-way or a damaged state loses nothing that was saved, two commands at
// once keep both their changes, and the folder comes from where the user says.
#include <gtest/gtest.h>

#include <rapidjson/document.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <thread>

#include "tests/tools/run_lbl.h"

namespace tooltest {
namespace {

namespace fs = std::filesystem;
using lbltest::Lbl;
using lbltest::Ran;

std::string Dir() { return testing::TempDir() + "/lbl_state_test_" + std::to_string(getpid()); }

std::string Temp(const std::string& name) {
  fs::create_directories(Dir());
  return Dir() + "/" + name;
}

// lbl with environment settings of its own before it (they come after the test's LBL_STATE_DIR).
Ran LblWith(const std::string& env, const std::string& args) {
  return lbltest::RunLbl(env + " " LBL_EXE, args, Temp("stderr-" + std::to_string(std::hash<std::string>()(env + args))));
}

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

rapidjson::Document Json(const Ran& r) {
  rapidjson::Document d;
  d.Parse(r.out.c_str());
  EXPECT_TRUE(d.IsObject()) << r.out << r.err;
  return d;
}

std::string StateFile() { return lbltest::TestStateDir() + "/machine.lblstate"; }

std::vector<uint8_t> ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST(LblState, AStockAndAPrinterAreThereForTheNextCommand) {
  Ran add = Lbl("stock add --name Shipping --width 100 --length 150");
  ASSERT_EQ(add.status, 0) << add.err;
  EXPECT_TRUE(Has(Lbl("stock list").out, "Shipping(100.0 mm x 150.0 mm)"));
  EXPECT_EQ(Lbl("stock remove Shipping").status, 0) << "the help's own next example";
  EXPECT_FALSE(Has(Lbl("stock list").out, "Shipping"));

  Ran install = Lbl("install --model \"Tarnwell TW-JA\" --port FILE: --printer Labels");
  ASSERT_EQ(install.status, 0) << install.err;
  rapidjson::Document printers = Json(Lbl("printers"));
  ASSERT_TRUE(printers["Printers"].IsArray());
  std::map<std::string, std::string> driverOf;
  for (const auto& p : printers["Printers"].GetArray()) driverOf[p["Name"].GetString()] = p["Driver"].GetString();
  EXPECT_EQ(driverOf["Labels"], "Tarnwell TW-JA");
  EXPECT_EQ(driverOf["Tarnwell TW-QX"], "Tarnwell TW-QX") << "the embedded printer stays";
  EXPECT_STREQ(printers["DefaultPrinter"].GetString(), "Tarnwell TW-QX");

  // The new printer by name: its own model's stocks, its stocks kept apart from the default printer's.
  ASSERT_EQ(Lbl("stock add --printer Labels --name Jars --width 40 --length 30").status, 0);
  EXPECT_TRUE(Has(Lbl("stock list --printer Labels").out, "Jars("));
  EXPECT_FALSE(Has(Lbl("stock list").out, "Jars("));
  Ran missing = Lbl("stock list --printer Nowhere");
  EXPECT_EQ(missing.status, 1);
  EXPECT_TRUE(Has(missing.err, "no printer named \"Nowhere\"")) << missing.err;
  EXPECT_EQ(Lbl("stock list --printer Labels --model \"Tarnwell TW-JA\"").status, 2);

  ASSERT_EQ(Lbl("uninstall Labels --yes").status, 0);
  EXPECT_FALSE(Has(Lbl("printers").out, "\"Labels\""));
}

// Printing Preferences: the darkness chosen on the Print Settings page is the printer's default, which
// the next job starts from (TSPL sends the level, one below the stored value, as DENSITY).
TEST(LblState, PreferencesAreWhatTheNextPrintStartsFrom) {
  const std::string before = Temp("before.tspl"), after = Temp("after.tspl"), fresh = Temp("fresh.tspl");
  ASSERT_EQ(Lbl("print --language tspl --blank 1 -o " + before).status, 0);
  Ran prefs = Lbl("sheet document --preferences --do page=113 --do select=1042:12 --do press=ok --json");
  ASSERT_EQ(prefs.status, 0) << prefs.err;
  EXPECT_EQ(Json(prefs)["Settings"]["Private"]["Darkness"].GetInt(), 12);
  ASSERT_EQ(Lbl("print --language tspl --blank 1 -o " + after).status, 0);
  ASSERT_EQ(Lbl("print --model \"Tarnwell TW-QX\" --language tspl --blank 1 -o " + fresh).status, 0);
  auto text = [](const std::string& path) {
    auto b = ReadAll(path);
    return std::string(b.begin(), b.end());
  };
  EXPECT_FALSE(Has(text(before), "DENSITY"));
  EXPECT_TRUE(Has(text(after), "DENSITY 11\r\n")) << "level 11, stored as 12";
  EXPECT_FALSE(Has(text(fresh), "DENSITY")) << "--model prints on a freshly installed printer";

  // The sheet opens on them again, and the job settings say so too.
  Ran again = Lbl("sheet document --preferences --json");
  EXPECT_EQ(Json(again)["Settings"]["Private"]["Darkness"].GetInt(), 12);
  EXPECT_EQ(Json(Lbl("defaults"))["Private"]["Darkness"].GetInt(), 12);
  EXPECT_EQ(Lbl("sheet device --preferences").status, 2);
}

TEST(LblState, AFirmwareUpdateStaysWithThePrinter) {
  const std::string file = Temp("fw.bin");
  ASSERT_EQ(Lbl("firmware --make-sample " + file).status, 0);
  Ran first = Lbl("firmware " + file);
  ASSERT_EQ(first.status, 0) << first.err;
  EXPECT_TRUE(Has(first.out, "printer: Tarnwell TW-QX, firmware V1.00")) << first.out;
  EXPECT_TRUE(Has(first.out, "printer: firmware V2.00")) << first.out;
  Ran second = Lbl("firmware " + file);
  EXPECT_TRUE(Has(second.out, "printer: Tarnwell TW-QX, firmware V2.00")) << second.out;
}

TEST(LblState, ASaveKilledHalfWayLeavesThePreviousState) {
  ASSERT_EQ(Lbl("stock add --name Kept --width 50 --length 30").status, 0);
  const std::vector<uint8_t> saved = ReadAll(StateFile());
  Ran killed = LblWith("LBL_STATE_TEST_CRASH=half-written", "stock add --name Lost --width 60 --length 30");
  EXPECT_EQ(killed.status, 128 + 9) << "killed (the shell reports SIGKILL so)";
  EXPECT_EQ(ReadAll(StateFile()), saved);
  bool halfFile = false;
  for (const auto& e : fs::directory_iterator(lbltest::TestStateDir()))
    halfFile = halfFile || e.path().filename().string().rfind(".machine.lblstate.new-", 0) == 0;
  EXPECT_TRUE(halfFile) << "the kill came while the new file was written";

  Ran list = Lbl("stock list");
  ASSERT_EQ(list.status, 0) << list.err;
  EXPECT_TRUE(Has(list.out, "Kept("));
  EXPECT_FALSE(Has(list.out, "Lost("));
  ASSERT_EQ(Lbl("stock add --name Next --width 70 --length 30").status, 0);
  for (const auto& e : fs::directory_iterator(lbltest::TestStateDir()))
    EXPECT_NE(e.path().filename().string().rfind(".machine.lblstate.new-", 0), 0u) << "the next save clears it";
}

TEST(LblState, CommandsAtOnceKeepEachOthersChanges) {
  ASSERT_EQ(Lbl("printers").status, 0);
  std::vector<std::thread> runs;
  std::vector<int> status(4, -2);
  for (int i = 0; i < 4; ++i)
    runs.emplace_back([i, &status] {
      status[size_t(i)] = LblWith("", "stock add --name Batch" + std::to_string(i) + " --width 50 --length 30").status;
    });
  for (auto& t : runs) t.join();
  const std::string list = Lbl("stock list").out;
  for (int i = 0; i < 4; ++i) {
    EXPECT_EQ(status[size_t(i)], 0);
    EXPECT_TRUE(Has(list, "Batch" + std::to_string(i) + "(")) << list;
  }
}

TEST(LblState, ADamagedStateIsNamedAndResetStartsOver) {
  ASSERT_EQ(Lbl("stock add --name Shipping --width 100 --length 150").status, 0);
  std::vector<uint8_t> bytes = ReadAll(StateFile());
  bytes[bytes.size() / 2] ^= 0x40;
  std::ofstream(StateFile(), std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(bytes.data()),
                                                                       std::streamsize(bytes.size()));
  Ran refused = Lbl("stock list");
  EXPECT_EQ(refused.status, 1);
  EXPECT_TRUE(Has(refused.err, StateFile())) << refused.err;
  EXPECT_TRUE(Has(refused.err, "damaged")) << refused.err;
  EXPECT_TRUE(Has(refused.err, "lbl reset")) << refused.err;
  EXPECT_EQ(ReadAll(StateFile()), bytes) << "a refused state is not overwritten";

  Ran reset = Lbl("reset");
  ASSERT_EQ(reset.status, 0) << reset.err;
  std::vector<fs::path> copies;
  for (const auto& e : fs::directory_iterator(lbltest::TestStateDir()))
    if (e.path().filename().string().rfind("machine-", 0) == 0) copies.push_back(e.path());
  ASSERT_EQ(copies.size(), 1u);
  EXPECT_EQ(ReadAll(copies[0].string()), bytes) << "the copy keeps the old state as it was";
  Ran fresh = Lbl("stock list");
  ASSERT_EQ(fresh.status, 0) << fresh.err;
  EXPECT_FALSE(Has(fresh.out, "Shipping("));
  EXPECT_TRUE(Has(fresh.out, "USER("));

  // Not a state at all, or none: the same message; a missing one is a fresh machine.
  std::ofstream(StateFile(), std::ios::trunc) << "hello";
  EXPECT_TRUE(Has(Lbl("printers").err, "not a saved machine"));
  EXPECT_EQ(Lbl("reset").status, 0);
  EXPECT_EQ(Lbl("reset").status, 0) << "nothing to move aside is no failure";
}

TEST(LblState, TheFolderIsTheOptionsElseTheEnvironmentsElseHome) {
  const std::string option = Temp("by-option"), xdg = Temp("xdg"), home = Temp("home");
  ASSERT_EQ(Lbl("--state " + option + " printers").status, 0);
  EXPECT_TRUE(fs::exists(option + "/machine.lblstate"));
  EXPECT_FALSE(fs::exists(StateFile())) << "--state wins over LBL_STATE_DIR";
  ASSERT_EQ(LblWith("env -u LBL_STATE_DIR XDG_STATE_HOME=" + xdg, "printers").status, 0);
  EXPECT_TRUE(fs::exists(xdg + "/lbl/machine.lblstate"));
  ASSERT_EQ(LblWith("env -u LBL_STATE_DIR -u XDG_STATE_HOME HOME=" + home, "printers").status, 0);
  EXPECT_TRUE(fs::exists(home + "/.local/state/lbl/machine.lblstate"));
  ASSERT_EQ(LblWith("env -u LBL_STATE_DIR XDG_STATE_HOME=relative HOME=" + home, "stock add --name H --width 50 --length 30").status, 0);
  EXPECT_TRUE(Has(LblWith("env -u LBL_STATE_DIR -u XDG_STATE_HOME HOME=" + home, "stock list").out, "H("))
      << "a relative XDG_STATE_HOME is ignored";
  EXPECT_EQ(Lbl("--state").status, 2);
}

// --model works on a machine of its own: nothing it does reaches the state folder.
TEST(LblState, AModelsPrinterIsNotKept) {
  Ran add = Lbl("stock add --model \"Tarnwell TW-JA\" --name Scratch --width 50 --length 30");
  ASSERT_EQ(add.status, 0) << add.err;
  EXPECT_TRUE(Has(add.err, "not kept")) << add.err;
  EXPECT_FALSE(fs::exists(StateFile()));
  EXPECT_FALSE(Has(Lbl("stock list --model \"Tarnwell TW-JA\"").out, "Scratch("));
  EXPECT_EQ(Lbl("sheet document --preferences --model \"Tarnwell TW-JA\"").status, 2);
}

}  // namespace
}  // namespace tooltest
