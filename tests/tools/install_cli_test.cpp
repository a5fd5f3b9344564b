// lbl install and lbl wizard as a user runs them: a failed install is a failure (exit 1, the system's
// reason, no properties dialog), bad values are refused before anything runs, and the wizard installs
// what the user chose however long the page stays open.
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <string>
#include <vector>

#include "tests/tools/run_lbl.h"

#ifndef LBL_EXE
#error "LBL_EXE must name the lbl program"
#endif

namespace tooltest {
namespace {

using lbltest::Lbl;
using lbltest::Ran;

// The names in one of the JSON lists of the machine ("Printers", "Drivers").
std::vector<std::string> Names(const rapidjson::Value& list) {
  std::vector<std::string> names;
  for (const auto& v : list.GetArray()) names.emplace_back(v["Name"].GetString());
  return names;
}

// The wizard's "printers: ..." line: the machine's printers after the run.
std::string PrintersLine(const std::string& out) {
  const size_t at = out.rfind("printers:");
  return at == std::string::npos ? "" : out.substr(at, out.find('\n', at) - at);
}

// A fresh machine has the embedded default printer.
const char kDefaultPrinterEntry[] = "\"Tarnwell TW-QX\" (Tarnwell TW-QX on USB001)";

TEST(LblInstall, AFailedInstallExitsWithOneAndTheSystemsReason) {
  for (const char* port : {"NOPORT:", "COM9:"}) {
    SCOPED_TRACE(port);
    Ran r = Lbl(std::string("install --model \"Tarnwell TW-JA\" --port ") + port);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("the printer was not installed: The specified port is unknown."), std::string::npos) << r.err;
    rapidjson::Document doc;
    ASSERT_FALSE(doc.Parse(r.out.c_str()).HasParseError()) << r.out;
    EXPECT_FALSE(doc["Installed"].GetBool());
    EXPECT_EQ(doc["Commands"].Size(), 0u) << "no properties dialog for a printer that is not there";
    EXPECT_EQ(Names(doc["Printers"]), std::vector<std::string>{"Tarnwell TW-QX"}) << "only the machine's own printer";
    EXPECT_EQ(Names(doc["Drivers"]), std::vector<std::string>{"Tarnwell TW-QX"})
        << "the driver this run added is removed again";
    EXPECT_EQ(doc["DriverPackages"].Size(), 0u);
    EXPECT_NE(std::string(doc["Log"].GetString()).find("Failed to install the printer driver.\r\n"), std::string::npos);
  }
}

TEST(LblInstall, BadValuesAreRefusedBeforeAnythingRuns) {
  struct Case {
    const char* args;
    const char* message;
  };
  for (const Case& c : {Case{"--model \"Acme X1\" --port FILE:", "the package has no driver for \"Acme X1\""},
                        Case{"--model \"Tarnwell TW-JA\" --port P --ip 999.1.1.1", "--ip takes an IPv4 address"},
                        Case{"--model \"Tarnwell TW-JA\" --port P --ip 192.0.2.10 --tcp-port 0", "bad value for --tcp-port"},
                        Case{"--model \"Tarnwell TW-JA\" --port P --ip 192.0.2.10 --tcp-port 65536", "bad value for --tcp-port"},
                        // A TCP port is that of the address given; alone it would be dropped unseen.
                        Case{"--model \"Tarnwell TW-JA\" --port IP_X --tcp-port 9101", "--tcp-port needs --ip"}}) {
    SCOPED_TRACE(c.args);
    Ran r = Lbl(std::string("install ") + c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
  }
  // A printer name the spooler refuses fails the install, with nothing left behind; an empty one given is
  // such a name, not the model's.
  for (const char* name : {"\"A,B\"", "\"\""}) {
    SCOPED_TRACE(name);
    Ran r = Lbl(std::string("install --model \"Tarnwell TW-JA\" --port FILE: --printer ") + name);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.err.find("The printer name is invalid."), std::string::npos) << r.err;
    rapidjson::Document doc;
    ASSERT_FALSE(doc.Parse(r.out.c_str()).HasParseError()) << r.out;
    EXPECT_EQ(Names(doc["Printers"]), std::vector<std::string>{"Tarnwell TW-QX"});
  }
}

TEST(LblInstall, AUsbPrinterStaysAttachedForTheNextCommand) {
  const std::string ja = " --usb-printer \"MFG:Tarnwell;CMD:TWL;MDL:TW-JA;\"";
  const std::string jb = " --usb-printer \"MFG:Tarnwell;CMD:TSPL;MDL:TW-JB;\"";
  Ran first = Lbl("install --model \"Tarnwell TW-JA\" --port USB001 --printer One" + ja);
  ASSERT_EQ(first.status, 0) << first.err;
  // The same printer, still plugged in: its queue is there, so no second one is made.
  Ran again = Lbl("install --model \"Tarnwell TW-JA\" --port USB001 --printer Two" + ja);
  EXPECT_EQ(again.status, 1);
  EXPECT_EQ(again.err.find("cannot attach"), std::string::npos) << again.err;
  EXPECT_NE(again.out.find("The printer One already prints to port USB001."), std::string::npos) << again.out;
  // A second printer plugged in beside it takes the next port.
  Ran other = Lbl("install --model \"Tarnwell TW-JB\" --port USB002 --printer Three" + ja + jb);
  ASSERT_EQ(other.status, 0) << other.err << other.out;
  rapidjson::Document doc;
  ASSERT_FALSE(doc.Parse(other.out.c_str()).HasParseError()) << other.out;
  EXPECT_EQ(Names(doc["Printers"]), (std::vector<std::string>{"One", "Tarnwell TW-QX", "Three"}));
  EXPECT_NE(std::string(doc["HardwareId"].GetString()).find("TarnwellTW-JB"), std::string::npos) << other.out;
}

TEST(LblUninstall, AStepThatFailedIsAFailedCommand) {
  // "Two" still uses the driver asked to go.
  Ran one = Lbl("uninstall One --installed \"Tarnwell TW-JA,One,FILE:\" --installed \"Tarnwell TW-JA,Two,LPT1:\" "
                "--remove-driver");
  EXPECT_EQ(one.status, 1) << one.out;
  EXPECT_NE(one.err.find("see the log"), std::string::npos) << one.err;
  EXPECT_NE(one.out.find("Remove printer driver Tarnwell TW-JA Failed. code:3001"), std::string::npos) << one.out;
  Ran two = Lbl("uninstall Two --remove-driver");
  EXPECT_EQ(two.status, 0) << two.err << two.out;
  Ran nobody = Lbl("uninstall Nobody --remove-driver");
  EXPECT_EQ(nobody.status, 0) << nobody.err << nobody.out;
  EXPECT_NE(nobody.out.find("Remove printer: Nobody ...Not found"), std::string::npos) << nobody.out;
}

TEST(LblWizard, TheWizardRefusesWhatCannotBeInstalledAndSaysWhy) {
  Ran empty = Lbl("wizard --do port-type=7 --do row=0 --do name= --do answer=ok --do next");
  EXPECT_EQ(empty.status, 1);
  EXPECT_NE(empty.err.find("refused 'next' on the install page: Please give a printer name"), std::string::npos)
      << empty.err;
  Ran port = Lbl("wizard --do port-type=3 --do ip=192.0.2.10:0 --do answer=ok --do next");
  EXPECT_EQ(port.status, 1);
  EXPECT_NE(port.err.find("Please input a TCP port from 1 to 65535."), std::string::npos) << port.err;
  EXPECT_EQ(PrintersLine(port.out), std::string("printers: ") + kDefaultPrinterEntry) << "nothing installed:\n" << port.out;
  // An install that fails on the result page is a failed command.
  Ran taken = Lbl("wizard --installed \"Tarnwell TW-JB,Labels,LPT1:\" --do mode=install --do next --do port-type=7 "
                  "--do row=0 --do name=Labels --do answer=ok --do next");
  EXPECT_EQ(taken.status, 1) << taken.out;
  EXPECT_NE(taken.out.find("Error 1802: The printer already exists."), std::string::npos) << taken.out;
  // A wait is a number of milliseconds, at most an hour: nothing that would wrap round or never end.
  for (const char* wait : {"soon", "-1", "99999999999", "3600001", "", "5ms"}) {
    Ran r = Lbl(std::string("wizard --do wait=") + wait);
    EXPECT_EQ(r.status, 2) << wait;
    EXPECT_NE(r.err.find("wait takes"), std::string::npos) << wait << ": " << r.err;
  }
  EXPECT_EQ(Lbl("wizard --do wait=3600000").status, 0);
}

TEST(LblWizard, WhatTheUserChoseIsInstalledAfterDiscoveryRanAgain) {
  // Rows under "Others": the network printer first, then FILE:.
  Ran r = Lbl("wizard --net-printer 192.0.2.50=TW-JA --do port-type=7 --do row=1 --do \"model=Tarnwell TW-JB\" "
              "--do name=Warehouse --do wait=40000 --do answer=ok --do next");
  ASSERT_EQ(r.status, 0) << r.err << r.out;
  EXPECT_NE(r.out.find("Installing the printer driver: Warehouse, at port: FILE:."), std::string::npos) << r.out;
  EXPECT_EQ(r.out.find("Add port"), std::string::npos) << r.out;
  EXPECT_EQ(PrintersLine(r.out), std::string("printers: ") + kDefaultPrinterEntry + " \"Warehouse\" (Tarnwell TW-JB on FILE:)")
      << r.out;
}

TEST(LblWizard, ASimulatedUsbPrinterIsTheModelItsDeviceIdNames) {
  Ran r = Lbl("wizard --usb-printer \"MFG:Tarnwell;CMD:TSPL;MDL:TW-JA;\" --do next");
  ASSERT_EQ(r.status, 0) << r.err << r.out;
  EXPECT_EQ(PrintersLine(r.out), std::string("printers: \"Tarnwell TW-JA\" (Tarnwell TW-JA on USB001) ") + kDefaultPrinterEntry)
      << r.out;
  EXPECT_EQ(r.out.find("unanswered"), std::string::npos) << "no \"not supported\" question:\n" << r.out;
  Ran d = Lbl("discover --usb-printer \"MFG:Tarnwell;CMD:TSPL;MDL:TW-JA;\"");
  EXPECT_NE(d.out.find("\"Description\": \"TarnwellTW-JA\""), std::string::npos) << d.out;
}

}  // namespace
}  // namespace tooltest
