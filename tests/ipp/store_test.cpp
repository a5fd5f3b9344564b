// The printer store as `lbl printer` and the server share it: names, device URIs, ids, and a store
// file that is not a printer list.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

#include "free_port.h"
#include "tools/run_lbl.h"
#include "ipp/printer_store.h"

namespace {

class PrinterStoreTest : public testing::Test {
 protected:
  void SetUp() override {
    dir_ = testing::TempDir() + "/ipp_store_" + std::to_string(getpid()) + "_" +
           testing::UnitTest::GetInstance()->current_test_info()->name();
    std::filesystem::remove_all(dir_);
    store_ = lblipp::OpenFileStore(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  lblipp::PrinterEntry Entry(const std::string& name, const std::string& uri = "socket://192.0.2.7") {
    lblipp::PrinterEntry e;
    e.name = name;
    e.driver = "Tarnwell TW-QX";
    e.deviceUri = uri;
    return e;
  }
  std::vector<lblipp::PrinterEntry> List() {
    std::vector<lblipp::PrinterEntry> out;
    std::string error;
    EXPECT_TRUE(store_->List(&out, &error)) << error;
    return out;
  }

  std::string dir_;
  std::unique_ptr<lblipp::PrinterStore> store_;
};

TEST_F(PrinterStoreTest, AMissingStoreIsNoPrinters) {
  EXPECT_TRUE(List().empty());
  EXPECT_FALSE(std::filesystem::exists(dir_)) << "listing must not create the state folder";
}

TEST_F(PrinterStoreTest, PrintersKeepTheirOrderIdsAndFields) {
  std::string error;
  auto a = Entry("desk"), b = Entry("dock", "file:///tmp/out.prn");
  b.language = "zpl";
  ASSERT_TRUE(store_->Add(&a, &error)) << error;
  ASSERT_TRUE(store_->Add(&b, &error)) << error;
  EXPECT_EQ(a.id, 1);
  EXPECT_EQ(b.id, 2);
  // Another store on the same folder (another lbl process) sees the same list.
  std::vector<lblipp::PrinterEntry> seen;
  ASSERT_TRUE(lblipp::OpenFileStore(dir_)->List(&seen, &error)) << error;
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].name, "desk");
  EXPECT_EQ(seen[1].name, "dock");
  EXPECT_EQ(seen[1].deviceUri, "file:///tmp/out.prn");
  EXPECT_EQ(seen[1].language, "zpl");
  EXPECT_EQ(seen[0].language, "");
}

TEST_F(PrinterStoreTest, RemovedIdsAreNotGivenAgainWhileHigherOnesLive) {
  std::string error;
  auto a = Entry("a"), b = Entry("b"), c = Entry("c");
  ASSERT_TRUE(store_->Add(&a, &error) && store_->Add(&b, &error)) << error;
  ASSERT_TRUE(store_->Remove("a", &error)) << error;
  ASSERT_TRUE(store_->Add(&c, &error)) << error;
  EXPECT_EQ(c.id, 3) << "a new printer must not take the id of one still listed or reuse a lower one";
  auto list = List();
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, "b");
  EXPECT_EQ(list[0].id, 2);
}

TEST_F(PrinterStoreTest, NamesAreUniqueWithoutRegardToCase) {
  std::string error;
  auto a = Entry("Shipping"), b = Entry("shipping");
  ASSERT_TRUE(store_->Add(&a, &error)) << error;
  EXPECT_FALSE(store_->Add(&b, &error));
  EXPECT_NE(error.find("exists"), std::string::npos) << error;
  EXPECT_TRUE(store_->Remove("SHIPPING", &error)) << error;
  EXPECT_TRUE(List().empty());
  EXPECT_FALSE(store_->Remove("shipping", &error));
  EXPECT_NE(error.find("no printer"), std::string::npos) << error;
}

TEST_F(PrinterStoreTest, TwoPrintersNeverShareTheServersPath) {
  // The server serves "2x" at /ipp/print/_2x: a printer named "_2x" would be announced there and
  // reach "2x" (and the other way round).
  std::string error;
  auto digit = Entry("2x"), underscore = Entry("_2X");
  ASSERT_TRUE(store_->Add(&digit, &error)) << error;
  EXPECT_FALSE(store_->Add(&underscore, &error));
  EXPECT_NE(error.find("/ipp/print/_2x"), std::string::npos) << error;
  std::vector<lblipp::PrinterEntry> list;
  ASSERT_TRUE(store_->List(&list, &error)) << error;
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, "2x");
  ASSERT_TRUE(store_->Remove("2x", &error)) << error;
  ASSERT_TRUE(store_->Add(&underscore, &error)) << error;
  EXPECT_FALSE(store_->Add(&digit, &error));
}

TEST_F(PrinterStoreTest, NamesAndDevicesAreCheckedBeforeAnythingIsWritten) {
  std::string error;
  for (const char* bad : {"", "has space", "a/b", ".hidden", "-x", "x?y",
                          "0123456789012345678901234567890123456789012345678901234567890123"}) {
    auto e = Entry(bad);
    EXPECT_FALSE(store_->Add(&e, &error)) << "name '" << bad << "'";
  }
  for (const char* bad : {"192.0.2.7", "http://192.0.2.7/", "file://relative/path", "socket://", "socket://h:0",
                          "socket://h:70000", "lblsim://127.0.0.1", "usb://", "usb://x\ny", "file:///tmp/a b",
                          "socket://h\t:9100", "usb://x\x7f"}) {
    auto e = Entry("p", bad);
    EXPECT_FALSE(store_->Add(&e, &error)) << "device '" << bad << "'";
  }
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/printers.json"));
  for (const char* good : {"socket://192.0.2.7", "socket://printer.example:9101", "file:///tmp/x.prn",
                           "usb://Tarnwell/TW-QX?serial=TW0000001", "lblsim://127.0.0.1:40000"}) {
    EXPECT_TRUE(lblipp::CheckDeviceUri(good, &error)) << good << ": " << error;
  }
  EXPECT_TRUE(lblipp::CheckPrinterName("Dock_2.left-roll", &error)) << error;
}

TEST_F(PrinterStoreTest, AStoreThatIsNoPrinterListIsReportedAndKept) {
  std::filesystem::create_directories(dir_);
  const std::string path = dir_ + "/printers.json";
  const std::string garbage = "{\"Printers\": [{\"Name\": \"x\"}]}";
  std::ofstream(path) << garbage;
  std::vector<lblipp::PrinterEntry> out;
  std::string error;
  EXPECT_FALSE(store_->List(&out, &error));
  EXPECT_NE(error.find(path), std::string::npos) << error;
  auto e = Entry("new");
  EXPECT_FALSE(store_->Add(&e, &error)) << "adding to an unreadable store would lose what it holds";
  std::ifstream in(path);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()), garbage);

  std::ofstream(path) << "not json at all";
  EXPECT_FALSE(store_->List(&out, &error));
  EXPECT_NE(error.find("not a printer list"), std::string::npos) << error;
}

TEST(StateDirectory, FollowsTheVariablesInOrder) {
  const char* keepState = std::getenv("LBL_STATE_DIR");
  const char* keepXdg = std::getenv("XDG_STATE_HOME");
  const std::string savedState = keepState ? keepState : "", savedXdg = keepXdg ? keepXdg : "";
  setenv("LBL_STATE_DIR", "/s/state", 1);
  setenv("XDG_STATE_HOME", "/x", 1);
  EXPECT_EQ(lblipp::StateDirectory(), "/s/state");
  unsetenv("LBL_STATE_DIR");
  EXPECT_EQ(lblipp::StateDirectory(), "/x/lbl");
  unsetenv("XDG_STATE_HOME");
  setenv("HOME", std::getenv("HOME") ? std::getenv("HOME") : "/h", 1);
  EXPECT_EQ(lblipp::StateDirectory(), std::string(std::getenv("HOME")) + "/.local/state/lbl");
  if (keepState) setenv("LBL_STATE_DIR", savedState.c_str(), 1);
  if (keepXdg) setenv("XDG_STATE_HOME", savedXdg.c_str(), 1);
}

// `lbl printer` as a user runs it: the state folder of --state, and the printer URI it announces.
class PrinterCommandTest : public PrinterStoreTest {
 protected:
  std::string Lbl(const std::string& args, int* status) {
    const std::string command = "LBL_STATE_DIR='" + dir_ + "/env' '" LBL_EXE "' " + args + " 2>&1";
    FILE* p = popen(command.c_str(), "r");
    std::string out;
    char buf[4096];
    for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;) out.append(buf, n);
    *status = p ? pclose(p) : -1;
    return out;
  }
};

TEST_F(PrinterCommandTest, StateOptionChoosesTheMachineAndTheAnnouncedUriIsWhereTheServerServes) {
  int status = 0;
  const std::string given = dir_ + "/given";
  std::string out = Lbl("--state '" + given + "' printer add 1desk --model 'Tarnwell TW-QX' --device file:///tmp/x", &status);
  ASSERT_EQ(status, 0) << out;
  // The server serves a name starting with a digit at /ipp/print/_NAME.
  EXPECT_NE(out.find("ipp://localhost:PORT/ipp/print/_1desk\n"), std::string::npos) << out;
  EXPECT_TRUE(std::filesystem::exists(given + "/machine.lblstate"));
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/env/machine.lblstate")) << "--state was not followed";

  out = Lbl("printer list --state '" + given + "'", &status);
  ASSERT_EQ(status, 0) << out;
  EXPECT_NE(out.find("\"Resource\": \"/ipp/print/_1desk\""), std::string::npos) << out;
  // "_1DESK" would be served at the same path: refused, and nothing is installed.
  out = Lbl("--state '" + given + "' printer add _1DESK --model 'Tarnwell TW-QX' --device file:///tmp/y", &status);
  EXPECT_NE(status, 0) << out;
  EXPECT_NE(out.find("/ipp/print/_1desk"), std::string::npos) << out;
  out = Lbl("--state '" + given + "' printers", &status);
  EXPECT_EQ(out.find("_1DESK"), std::string::npos) << out;
  // A device URI with a newline or a space is refused before anything is installed.
  out = Lbl("--state '" + given + "' printer add other --model 'Tarnwell TW-QX' --device 'file:///tmp/a b'", &status);
  EXPECT_EQ(WEXITSTATUS(status), 2) << out;
  out = Lbl("--state '" + given + "' printer add other --model 'Tarnwell TW-QX' --device \"$(printf 'usb://x\\ny')\"", &status);
  EXPECT_EQ(WEXITSTATUS(status), 2) << out;

  out = Lbl("--state '" + given + "' printer remove 1desk", &status);
  EXPECT_EQ(status, 0) << out;
  out = Lbl("--state '" + given + "' printer list", &status);
  EXPECT_EQ(out.find("1desk"), std::string::npos) << out;
}

// lbl serve run through lbl serves the --state folder's printers, not the environment's.
TEST_F(PrinterCommandTest, ServeFollowsTheStateOption) {
  int status = 0;
  const std::string given = dir_ + "/given";
  std::string out = Lbl("--state '" + given + "' printer add desk --model 'Tarnwell TW-QX' --device file:///tmp/x", &status);
  ASSERT_EQ(status, 0) << out;
  const int port = ipptest::FreePort();
  ASSERT_GT(port, 0);
  // Stopped by SIGINT once it has set up its printer, as Ctrl-C stops it.
  auto logged = [&] {
    std::ifstream log(dir_ + "/serve.log");
    return std::string((std::istreambuf_iterator<char>(log)), std::istreambuf_iterator<char>());
  };
  const auto served = lbltest::RunUntilInterrupted(
      "LBL_STATE_DIR='" + dir_ + "/env' '" LBL_EXE "' --state '" + given + "' serve --listen 127.0.0.1 --port " +
          std::to_string(port) + " --log '" + dir_ + "/serve.log'",
      [&] { return logged().find("Printer 'desk'") != std::string::npos; });
  EXPECT_NE(served.err.find("(state in " + given + ")"), std::string::npos) << served.err;
  EXPECT_NE(logged().find("Printer 'desk'"), std::string::npos) << logged();
  EXPECT_FALSE(std::filesystem::exists(dir_ + "/env/machine.lblstate"));
}

}  // namespace
