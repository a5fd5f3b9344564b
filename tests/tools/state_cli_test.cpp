// The machine lbl keeps between commands, as a person uses it: what one command changes is there for
// the next, a save killed half-way or a damaged state loses nothing that was saved, two commands at
// once keep both their changes, and the folder comes from where the user says.
#include <gtest/gtest.h>

#include <rapidjson/document.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <thread>

#include "tests/ipp/free_port.h"
#include "tests/tools/run_lbl.h"
#include "tests/winsim/state_seal.h"

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

// The USB printers of the machine: plugged in by one command, there for the next; the next one goes
// into the next free port, whatever command plugs it in.
TEST(LblState, UsbPrintersStayPluggedInAndTheNextTakesAFreePort) {
  auto usbPorts = [](const Ran& discovered) {
    std::map<std::string, std::string> modelOn;
    rapidjson::Document d = Json(discovered);
    if (d.IsObject() && d["UsbPrinters"].IsArray())
      for (const auto& p : d["UsbPrinters"].GetArray())
        modelOn[p["PortName"].GetString()] = p["Model"].IsString() ? p["Model"].GetString() : "";
    return modelOn;
  };
  const std::string file = Temp("fw-usb.bin");
  ASSERT_EQ(Lbl("firmware --make-sample " + file).status, 0);
  ASSERT_EQ(Lbl("firmware " + file).status, 0);  // the embedded printer's TWL printer, on USB001
  Ran ja = Lbl("install --model \"Tarnwell TW-JA\" --port USB002 --usb-printer \"MFG:Tarnwell;CMD:TSPL;MDL:TW-JA;\"");
  ASSERT_EQ(ja.status, 0) << ja.err;
  auto ports = usbPorts(Lbl("discover"));
  EXPECT_EQ(ports.size(), 2u);
  EXPECT_EQ(ports["USB002"], "Tarnwell TW-JA");
  EXPECT_TRUE(ports.count("USB001")) << "the TWL printer the firmware went to";

  Ran jb = Lbl("discover --usb-printer \"MFG:Tarnwell;CMD:ZPL;MDL:TW-JB;\"");
  EXPECT_EQ(usbPorts(jb)["USB003"], "Tarnwell TW-JB");
  Ran refused = Lbl("discover --usb-printer \"MFG:Tarnwell;CMD:ZPL;MDL:TW-JA;\" --adapter 192.0.2.1/40");
  EXPECT_EQ(refused.status, 2);
  EXPECT_EQ(usbPorts(Lbl("discover")).size(), 3u) << "a refused command plugs nothing in";
  Ran onThree = Lbl("install --model \"Tarnwell TW-JB\" --port USB003 --printer Zebra");
  EXPECT_EQ(onThree.status, 0) << onThree.err;
}

// The TWL printer the firmware went to stays on the default printer's port: a delivered job reaches
// it (and is reported so), and a device ID of the user's own, which the driver would not hear, is refused.
TEST(LblState, AKeptPrinterOnThePortIsTheOneAJobReaches) {
  const std::string file = Temp("fw-kept.bin"), out = Temp("kept.out");
  ASSERT_EQ(Lbl("firmware --make-sample " + file).status, 0);
  ASSERT_EQ(Lbl("firmware " + file).status, 0);
  Ran delivered = Lbl("print --deliver --blank 1 -o " + out);
  ASSERT_EQ(delivered.status, 0) << delivered.err;
  rapidjson::Document report = Json(delivered);
  EXPECT_STREQ(report["CommandSet"].GetString(), "TWL");
  ASSERT_TRUE(report["Jobs"].IsArray() && report["Jobs"].Size() == 1u) << delivered.out;
  EXPECT_EQ(report["Jobs"][0]["Pages"].Size(), 1u) << "the kept printer printed the page: " << delivered.out;
  EXPECT_GT(fs::file_size(out), 0u);

  for (const std::string deliver : {"", "--deliver "}) {
    Ran other = Lbl("print " + deliver + "--usb-device-id \"MFG:Tarnwell;CMD:ZPL;MDL:TW-QX;\" --blank 1 -o " + out);
    EXPECT_EQ(other.status, 1) << deliver;
    EXPECT_TRUE(Has(other.err, "USB001")) << other.err;
  }
  Ran fresh = Lbl("print --model \"Tarnwell TW-QX\" --usb-device-id \"MFG:Tarnwell;CMD:TWL;MDL:TW-QX;\" --blank 1 -o " + out);
  EXPECT_EQ(fresh.status, 0) << fresh.err;
  EXPECT_TRUE(Has(Lbl("firmware " + file).out, "firmware V2.00")) << "still plugged in, with its firmware";
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

// Real signals at moments spread over a changing command's run (before, during and after its save):
// whatever moment a kill or a Ctrl-C comes, the folder holds a machine that loads, with what was there.
TEST(LblState, KilledAtAnyMomentTheStateStillLoads) {
  ASSERT_EQ(Lbl("stock add --name Base --width 50 --length 30").status, 0);
  for (int round = 0; round < 24; ++round) {
    const std::string n = std::to_string(round);
    const std::string change[] = {"stock add --name K" + n + " --width 60 --length 30",
                                  "install --model \"Tarnwell TW-JA\" --port FILE: --printer Q" + n,
                                  "sheet document --preferences --do page=113 --do select=1042:" + std::to_string(round % 14 + 1) +
                                      " --do press=ok"};
    const std::string cmd = "LBL_STATE_DIR='" + lbltest::TestStateDir() + "' exec " LBL_EXE " " + change[round % 3] +
                            " >/dev/null 2>&1";
    const pid_t pid = fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      execl("/bin/sh", "sh", "-c", cmd.c_str(), static_cast<char*>(nullptr));
      _exit(127);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(7 * round));  // 0 to 161 ms
    kill(pid, round % 2 ? SIGINT : SIGKILL);
    waitpid(pid, nullptr, 0);
    Ran list = Lbl("stock list");
    ASSERT_EQ(list.status, 0) << "round " << round << ": " << list.err;
    EXPECT_TRUE(Has(list.out, "Base(")) << "round " << round;
  }
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

// A newer lbl's machine (the user ran an older lbl on the same folder): refused as that, never as
// damage, and never overwritten, not even by a command that changes something; reset keeps it whole.
TEST(LblState, ANewerVersionsStateIsNamedAndLeftAsItIs) {
  ASSERT_EQ(Lbl("stock add --name Shipping --width 100 --length 150").status, 0);
  const std::vector<uint8_t> good = ReadAll(StateFile());
  ASSERT_GT(good.size(), 16u);
  auto write = [](const std::vector<uint8_t>& bytes) {
    std::ofstream(StateFile(), std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  };
  // The format number after the 8-byte magic, one past this version's, sealed as the newer one would.
  std::vector<uint8_t> newer = good;
  newer[8] = uint8_t(newer[8] + 1);
  statetest::Reseal(&newer);
  write(newer);
  const std::vector<std::string> commands = {"stock list", "printers", "stock add --name Other --width 50 --length 30",
                                             "print --language zpl --blank 1 -o " + Temp("newer.zpl")};
  for (const std::string& command : commands) {
    SCOPED_TRACE(command);
    Ran refused = Lbl(command);
    EXPECT_EQ(refused.status, 1);
    EXPECT_TRUE(Has(refused.err, StateFile())) << refused.err;
    EXPECT_TRUE(Has(refused.err, "written by a newer version")) << refused.err;
    EXPECT_FALSE(Has(refused.err, "damaged")) << refused.err;
    EXPECT_EQ(ReadAll(StateFile()), newer) << "left as the newer lbl wrote it";
  }
  // A part of the machine in a later version than this one reads.
  std::vector<uint8_t> part = good;
  const std::string name("\x08\0\0\0\0\0\0\0registry", 16);  // a part's name: u64 length, bytes
  auto at = std::search(part.begin(), part.end(), name.begin(), name.end());
  ASSERT_NE(at, part.end());
  part[size_t(at - part.begin()) + name.size()] += 1;  // the part's u32 version, after its name
  statetest::Reseal(&part);
  write(part);
  Ran partRefused = Lbl("stock add --name Other --width 50 --length 30");
  EXPECT_EQ(partRefused.status, 1);
  EXPECT_TRUE(Has(partRefused.err, "written by a newer version (part \"registry\"")) << partRefused.err;
  EXPECT_EQ(ReadAll(StateFile()), part);

  ASSERT_EQ(Lbl("reset").status, 0);
  bool kept = false;
  for (const auto& e : fs::directory_iterator(lbltest::TestStateDir()))
    kept = kept || (e.path().filename().string().rfind("machine-", 0) == 0 && ReadAll(e.path().string()) == part);
  EXPECT_TRUE(kept) << "reset keeps the newer machine as it was";
  Ran fresh = Lbl("stock list");
  EXPECT_EQ(fresh.status, 0) << fresh.err;
  EXPECT_FALSE(Has(fresh.out, "Shipping("));
}

// Commands of every kind that change the machine, all at once on one folder: each waits for the one
// before it and none loses another's change.
TEST(LblState, ChangesOfEveryKindAtOnceAreAllKept) {
  const std::string file = Temp("fw-at-once.bin");
  ASSERT_EQ(Lbl("firmware --make-sample " + file).status, 0);
  ASSERT_EQ(Lbl("printers").status, 0);
  const std::vector<std::string> commands = {
      "install --model \"Tarnwell TW-JA\" --port FILE: --printer Labels",
      "stock add --name Batch --width 50 --length 30",
      "sheet document --preferences --do page=113 --do select=1042:12 --do press=ok",
      "firmware " + file,
      "install --model \"Tarnwell TW-JB\" --port FILE: --printer Shelf",
  };
  std::vector<Ran> ran(commands.size());
  std::vector<std::thread> runs;
  for (size_t i = 0; i < commands.size(); ++i)
    runs.emplace_back([i, &ran, &commands] { ran[i] = LblWith("", commands[i]); });
  for (auto& t : runs) t.join();
  for (size_t i = 0; i < commands.size(); ++i) EXPECT_EQ(ran[i].status, 0) << commands[i] << ": " << ran[i].err;

  std::map<std::string, std::string> driverOf;
  rapidjson::Document printers = Json(Lbl("printers"));
  if (printers.IsObject() && printers["Printers"].IsArray())
    for (const auto& p : printers["Printers"].GetArray()) driverOf[p["Name"].GetString()] = p["Driver"].GetString();
  EXPECT_EQ(driverOf["Labels"], "Tarnwell TW-JA");
  EXPECT_EQ(driverOf["Shelf"], "Tarnwell TW-JB");
  EXPECT_TRUE(Has(Lbl("stock list").out, "Batch(50.0 mm x 30.0 mm)"));
  EXPECT_EQ(Json(Lbl("defaults"))["Private"]["Darkness"].GetInt(), 12);
  EXPECT_TRUE(Has(Lbl("firmware " + file).out, "printer: Tarnwell TW-QX, firmware V2.00"));
}

// A pipe where the state file belongs would block a plain open for ever.
TEST(LblState, APipeInPlaceOfTheStateIsRefusedNotWaitedOn) {
  fs::create_directories(lbltest::TestStateDir());
  ASSERT_EQ(mkfifo(StateFile().c_str(), 0600), 0);
  Ran r = LblWith("timeout 30", "stock list");
  EXPECT_EQ(r.status, 1) << "124: still waiting on the pipe";
  EXPECT_TRUE(Has(r.err, StateFile())) << r.err;
}

// Scripts that need a folder made read-only or full run with mounts of their own, as root of a user
// namespace; lbl is $L, the test's state folder $S. Standard output comes back, standard error goes
// to the file `err`.
Ran InPrivateMounts(const std::string& script, const std::string& err) {
  const std::string quoted = "'" + std::string("L=" LBL_EXE " S=") + lbltest::TestStateDir() + "; " + script + "'";
  Ran r = lbltest::RunLbl("unshare --mount --map-root-user bash -c", quoted, err);
  return r;
}

bool PrivateMountsWork() { return std::system("unshare --mount --map-root-user true 2>/dev/null") == 0; }

// One "name=status" line per command the script echoes.
std::map<std::string, std::string> Statuses(const std::string& out) {
  std::map<std::string, std::string> m;
  size_t at = 0;
  while (at < out.size()) {
    const size_t end = std::min(out.find('\n', at), out.size());
    const std::string line = out.substr(at, end - at);
    if (const size_t eq = line.find('='); eq != std::string::npos && line.find(' ') == std::string::npos)
      m[line.substr(0, eq)] = line.substr(eq + 1);
    at = end + 1;
  }
  return m;
}

// A machine someone may only read (a read-only mount here; a folder of another user alike): the
// commands that only look work, one that changes something says it could not be kept.
TEST(LblState, AFolderThatIsReadOnlyIsReadAndNotChanged) {
  if (!PrivateMountsWork()) GTEST_SKIP() << "no private mounts here (unshare --mount --map-root-user)";
  ASSERT_EQ(Lbl("stock add --name Kept --width 50 --length 30").status, 0);
  const std::vector<uint8_t> saved = ReadAll(StateFile());
  fs::remove(lbltest::TestStateDir() + "/lock");  // nor can one be made there
  const std::string empty = Temp("empty-ro");
  fs::create_directories(empty);
  const std::string err = Temp("ro.err");
  Ran r = InPrivateMounts(
      "for d in $S " + empty + "; do mount --bind $d $d && mount -o remount,bind,ro $d || exit 9; done; "
      "$L stock list; echo list=$?; "
      "$L stock add --name New --width 50 --length 30 >/dev/null; echo add=$?; "
      "$L --state " + empty + " printers; echo printers=$?",
      err);
  ASSERT_NE(r.status, 9) << "the read-only mounts: " << r.err;
  auto status = Statuses(r.out);
  EXPECT_EQ(status["list"], "0") << r.err;
  EXPECT_TRUE(Has(r.out, "Kept(")) << r.out;
  EXPECT_EQ(status["add"], "1") << "the change could not be kept";
  EXPECT_TRUE(Has(r.err, "cannot save the state in " + lbltest::TestStateDir())) << r.err;
  EXPECT_EQ(status["printers"], "0") << "a fresh machine where none can be written: " << r.err;
  EXPECT_TRUE(Has(r.out, "\"Tarnwell TW-QX\"")) << r.out;
  EXPECT_EQ(ReadAll(StateFile()), saved);
  EXPECT_FALSE(Has(Lbl("stock list").out, "New("));
}

// Loading lays the drive C: out under the temporary folder. When that is full the state is not damaged
// (it loads once there is room again), and a fresh machine is not saved without its files.
TEST(LblState, AFullTemporaryFolderIsNotADamagedState) {
  if (!PrivateMountsWork()) GTEST_SKIP() << "no private mounts here (unshare --mount --map-root-user)";
  ASSERT_EQ(Lbl("stock add --name Kept --width 50 --length 30").status, 0);
  const std::vector<uint8_t> saved = ReadAll(StateFile());
  const std::string full = Temp("full-tmp"), fresh = Temp("fresh-state"), err = Temp("full.err");
  fs::create_directories(full);
  Ran r = InPrivateMounts(
      "mount -t tmpfs -o size=16k none " + full + " || exit 9; "
      "head -c 1000000 /dev/zero >" + full + "/filler 2>/dev/null; "
      "TMPDIR=" + full + " $L stock list; echo list=$?; "
      "TMPDIR=" + full + " $L --state " + fresh + " printers >/dev/null; echo fresh=$?; "
      "mount -t tmpfs -o size=16k,nr_inodes=1 none " + full + "; "
      "TMPDIR=" + full + " $L stock list; echo nofolder=$?",
      err);
  ASSERT_NE(r.status, 9) << "the tmpfs mount: " << r.err;
  auto status = Statuses(r.out);
  EXPECT_EQ(status["list"], "1");
  EXPECT_TRUE(Has(r.err, "cannot load the state file " + StateFile())) << r.err;
  EXPECT_TRUE(Has(r.err, "No space left on device")) << r.err;
  EXPECT_FALSE(Has(r.err, "damaged")) << r.err;
  EXPECT_FALSE(Has(r.err, "lbl reset")) << "no advice to throw a whole state away: " << r.err;
  EXPECT_EQ(status["fresh"], "1");
  EXPECT_FALSE(fs::exists(fresh + "/machine.lblstate")) << "a machine without its data file is not kept";
  EXPECT_EQ(status["nofolder"], "1") << "no room even for the drive's folder: a message, not a crash";
  EXPECT_TRUE(Has(r.err, "cannot make the folder of drive C:")) << r.err;

  EXPECT_EQ(ReadAll(StateFile()), saved);
  EXPECT_TRUE(Has(Lbl("stock list").out, "Kept(")) << "with room again, it loads";
  ASSERT_EQ(Lbl("--state " + fresh + " printers").status, 0);
  Ran printed = Lbl("--state " + fresh + " print --blank 1 -o " + Temp("fresh.prn"));
  EXPECT_EQ(printed.status, 0) << printed.err;
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

// The printers of lbl serve live in the same folder as the machine, chosen the same way.
TEST(LblState, ServedPrintersAreKeptInTheFolderTheOptionNames) {
  const std::string dir = Temp("served");
  ASSERT_EQ(Lbl("--state " + dir + " printer add desk --model \"Tarnwell TW-QX\" --device file://" + dir + "/desk.out")
                .status,
            0);
  EXPECT_TRUE(fs::exists(dir + "/machine.lblstate"));
  EXPECT_TRUE(Has(Lbl("--state " + dir + " printers").out, "\"desk\""));
  EXPECT_FALSE(Has(Lbl("printers").out, "\"desk\"")) << "not on the machine LBL_STATE_DIR points to";
  EXPECT_TRUE(Has(Lbl("--state " + dir + " printer list").out, "\"desk\""));
  EXPECT_FALSE(Has(Lbl("printer list").out, "\"desk\""));

  // The server started with the option serves that folder's printers (on loopback, stopped once it has
  // set up its printer).
  const int port = ipptest::FreePort();
  ASSERT_NE(port, 0);
  fs::remove(dir + "/serve.log");  // a log of an earlier run would look ready at once
  auto logged = [&] {
    std::ifstream log(dir + "/serve.log");
    return std::string((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  };
  Ran served = lbltest::RunUntilInterrupted("LBL_STATE_DIR='" + lbltest::TestStateDir() + "' " LBL_EXE " --state " + dir +
                                                " serve --port " + std::to_string(port) + " --log " + dir + "/serve.log",
                                            [&] { return Has(logged(), "Printer 'desk'"); });
  EXPECT_TRUE(Has(served.err, "(state in " + dir + ")")) << served.err;
  EXPECT_TRUE(Has(logged(), "Printer 'desk'")) << logged();
  EXPECT_EQ(Lbl("--state " + dir + " printer remove desk").status, 0);
  EXPECT_FALSE(Has(Lbl("--state " + dir + " printer list").out, "\"desk\""));
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
