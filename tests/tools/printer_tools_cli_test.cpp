// lbl firmware and lbl tools as people use them: a directory where a file belongs, a file the printer
// refuses, and deleting only the captured jobs the page lists.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/tools/run_lbl.h"

namespace tooltest {
namespace {

using lbltest::Lbl;
using lbltest::Ran;

class LblPrinterTools : public ::testing::Test {
 protected:
  std::string dir = testing::TempDir() + "/lbl_printer_tools_" + std::to_string(getpid());
  void SetUp() override { std::filesystem::create_directories(dir); }
  void TearDown() override { std::filesystem::remove_all(dir); }
  void Write(const std::string& name, const std::string& bytes) {
    std::ofstream(dir + "/" + name, std::ios::binary) << bytes;
  }
  std::string Read(const std::string& name) { return ReadPath(dir + "/" + name); }
  static std::string ReadPath(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  }
};

TEST_F(LblPrinterTools, ADirectoryIsRefusedWithAMessage) {
  for (const std::string& command : {"firmware " + dir, "tools send " + dir}) {
    Ran r = Lbl(command);
    EXPECT_EQ(r.status, 1) << command;
    EXPECT_NE(r.err.find("is a directory"), std::string::npos) << command << ": " << r.err;
  }
  Ran missing = Lbl("firmware " + dir + "/none.bin");
  EXPECT_EQ(missing.status, 1);
  EXPECT_NE(missing.err.find("no such file"), std::string::npos) << missing.err;
}

TEST_F(LblPrinterTools, FirmwareTheDriverOrThePrinterRefuses) {
  ASSERT_EQ(Lbl("firmware --make-sample " + dir + "/fw.bin").status, 0);
  const std::string good = Read("fw.bin");
  ASSERT_GT(good.size(), 91u);
  // A header and nothing after it is refused before the printer is touched.
  Write("header.bin", good.substr(0, 91));
  Ran header = Lbl("firmware " + dir + "/header.bin");
  EXPECT_EQ(header.status, 1);
  EXPECT_NE(header.err.find("not a firmware file"), std::string::npos) << header.err;
  EXPECT_EQ(header.out.find("update mode"), std::string::npos) << header.out;
  // A changed byte: the printer's check fails, and it says so.
  std::string changed = good;
  changed[1000] = char(changed[1000] ^ 0x10);
  Write("changed.bin", changed);
  Ran bad = Lbl("firmware " + dir + "/changed.bin");
  EXPECT_EQ(bad.status, 1);
  EXPECT_NE(bad.out.find("Failed to switch mode.\nprinter: Data verification failure\n"), std::string::npos) << bad.out;
  EXPECT_NE(bad.out.find("firmware V1.00"), std::string::npos) << "the old firmware stays: " << bad.out;
}

// --printer names the printer whose USB device is updated: the TWL printer plugged in on its port (USB002
// here, with USB001 taken by a TSPL printer), which keeps the new firmware for the next command. A printer on
// another kind of port (a TCP/IP port with a USB-like name too), a device that speaks no TWL and a printer
// that is not there are refused, and a refused run leaves the machine's devices as they were.
TEST_F(LblPrinterTools, FirmwareGoesToTheNamedPrintersUsbDevice) {
  Ran installed = Lbl("install --model 'Tarnwell TW-JA' --port USB002 --printer Shelf"
                      " --usb-printer 'MFG:Tarnwell;CMD:TSPL;MDL:TW-QX;' --usb-printer 'MFG:Tarnwell;CMD:TWL;MDL:TW-JA;'"
                      " --installed 'Tarnwell TW-JA,Desk,USB001' --installed 'Tarnwell TW-JA,Disk,FILE:'");
  ASSERT_EQ(installed.status, 0) << installed.err << installed.out;
  Ran net = Lbl("install --model 'Tarnwell TW-JA' --port USB005 --ip 192.0.2.12 --printer Net5");
  ASSERT_EQ(net.status, 0) << net.err << net.out;
  const std::string devices = Lbl("discover").out;
  ASSERT_NE(devices.find("\"SerialNumber\": \"TW0000002\""), std::string::npos) << devices;
  const std::string stateFile = lbltest::TestStateDir() + "/machine.lblstate";
  const std::string before = ReadPath(stateFile);
  ASSERT_FALSE(before.empty());

  Ran sample = Lbl("firmware --make-sample " + dir + "/ja.bin --printer Shelf");
  ASSERT_EQ(sample.status, 0) << sample.err;
  EXPECT_NE(sample.out.find("for Tarnwell TW-JA"), std::string::npos) << sample.out;
  Write("junk.bin", "not firmware");
  // Refused: the file names the model, not the queue "Shelf" (the page's model check wants --force); a file
  // that is no firmware; the TSPL printer's device; a FILE: port; a TCP/IP port named like a USB one.
  Ran unforced = Lbl("firmware " + dir + "/ja.bin --printer Shelf");
  EXPECT_EQ(unforced.status, 1);
  EXPECT_NE(unforced.err.find("(use --force)"), std::string::npos) << unforced.err;
  EXPECT_EQ(Lbl("firmware " + dir + "/junk.bin --printer Shelf --force").status, 1);
  Ran tspl = Lbl("firmware " + dir + "/ja.bin --printer Desk --force");
  EXPECT_EQ(tspl.status, 1) << tspl.out;
  EXPECT_NE(tspl.err.find("on USB001 does not take TWL firmware"), std::string::npos) << tspl.err;
  Ran file = Lbl("firmware " + dir + "/ja.bin --printer Disk");
  EXPECT_EQ(file.status, 1) << file.out;
  EXPECT_NE(file.err.find("needs a printer on a USB port; \"Disk\" prints to FILE:"), std::string::npos) << file.err;
  Ran tcp = Lbl("firmware " + dir + "/ja.bin --printer Net5 --force");
  EXPECT_EQ(tcp.status, 1) << tcp.out;
  EXPECT_NE(tcp.err.find("\"Net5\" prints to USB005"), std::string::npos) << tcp.err;
  EXPECT_EQ(Lbl("firmware " + dir + "/ja.bin --printer Nobody").status, 1);
  EXPECT_EQ(Lbl("firmware --make-sample " + dir + "/x.bin --force").status, 2);
  EXPECT_TRUE(ReadPath(stateFile) == before) << "the refused runs left the machine as it was";
  EXPECT_EQ(Lbl("discover").out, devices);
  // lbl print --deliver takes the TCP/IP port for what it is too.
  Ran delivered = Lbl("print --deliver --printer Net5 --blank 1 -o " + dir + "/net.out");
  EXPECT_EQ(delivered.status, 1) << delivered.out;
  EXPECT_NE(delivered.err.find("needs a printer on a USB port"), std::string::npos) << delivered.err;

  Ran updated = Lbl("firmware " + dir + "/ja.bin --printer Shelf --force");
  EXPECT_EQ(updated.status, 0) << updated.err << updated.out;
  EXPECT_NE(updated.out.find("printer: Shelf, firmware V1.00"), std::string::npos) << updated.out;
  EXPECT_NE(updated.out.find("printer: firmware V2.00, CRC 0x"), std::string::npos) << updated.out;
  Ran kept = Lbl("firmware " + dir + "/ja.bin --printer Shelf --force");
  EXPECT_NE(kept.out.find("printer: Shelf, firmware V2.00"), std::string::npos) << "kept: " << kept.out;
  // The same device as the discovery saw it before: ids, serial and port (only its listing order may change).
  const std::string after = Lbl("discover").out;
  for (const std::string& field : {"\"HardwareId\": \"usbprint\\\\tarnwelltw-ja", "\"SerialNumber\": \"TW0000002\"",
                                   "\"SerialNumber\": \"TW0000001\"", "\"PortName\": \"USB002\""})
    EXPECT_NE(after.find(field), std::string::npos) << field << " in " << after;
}

// Only a device the language monitor speaks TWL to ("CMD:TWL;" in the first 64 bytes of its ID) takes TWL
// firmware; the same reading decides which simulated printer lbl print --deliver plugs in.
TEST_F(LblPrinterTools, FirmwareGoesOnlyToADeviceTheMonitorSpeaksTwlTo) {
  const std::string late = "MFG:Tarnwell;MDL:TW-JA;DES:" + std::string(40, 'x') + ";CMD:TWL;";
  for (const std::string id : {std::string("MFG:Tarnwell;CMD:TWLX;MDL:TW-JA;"),
                               std::string("MFG:Tarnwell;CMD:TSPL,TWL;MDL:TW-JA;"), late}) {
    Ran installed = Lbl("install --model 'Tarnwell TW-JA' --port USB001 --printer Odd --usb-printer '" + id + "'");
    ASSERT_EQ(installed.status, 0) << installed.err << installed.out;
    ASSERT_EQ(Lbl("firmware --make-sample " + dir + "/ja.bin --printer Odd").status, 0);
    Ran r = Lbl("firmware " + dir + "/ja.bin --printer Odd --force");
    EXPECT_EQ(r.status, 1) << id << ": " << r.out;
    EXPECT_NE(r.err.find("does not take TWL firmware"), std::string::npos) << id << ": " << r.err;
    ASSERT_EQ(Lbl("reset").status, 0);
  }
  // A command set the monitor does not read as TWL (no ';' after it): a plain printer, which gets the
  // whole job in the driver's language, and the run succeeds.
  Ran plain = Lbl("print --model 'Tarnwell TW-QX' --usb-device-id 'MFG:Tarnwell;MDL:TW-QX;CMD:TWL' --deliver --blank 1 -o " +
                  dir + "/plain.out");
  EXPECT_EQ(plain.status, 0) << plain.err << plain.out;
  EXPECT_GT(Read("plain.out").size(), 1000u);
  EXPECT_NE(plain.out.find("\"MonitorSpeaksTwl\": false"), std::string::npos) << plain.out;
}

// The firmware file reaches the page's loader through a file of the run's own in the machine's temporary
// folder: files already there, whatever their names, are left alone, and a refused run leaves nothing.
TEST_F(LblPrinterTools, TheFirmwareCopyLeavesTheTemporaryFolderAsItWas) {
  ASSERT_EQ(Lbl("firmware --make-sample " + dir + "/fw.bin").status, 0);
  // Someone's files in C:\\Windows\\Temp (put there as capture-folder files).
  Write("lbl-firmware.bin", "someone's");
  Write("lbl-firmware-0.bin", "someone else's");
  Write("junk.bin", "not firmware");
  Ran placed = Lbl("sheet device --do 'type=1031:C:\\Windows\\Temp' --do press=ok");
  ASSERT_EQ(placed.status, 0) << placed.err;
  ASSERT_EQ(Lbl("tools captures --folder " + dir).status, 0);
  const std::string stateFile = lbltest::TestStateDir() + "/machine.lblstate";
  const std::string before = ReadPath(stateFile);
  Ran refused = Lbl("firmware " + dir + "/junk.bin");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("not a firmware file"), std::string::npos) << refused.err;
  EXPECT_TRUE(ReadPath(stateFile) == before) << "a refused run changed the machine";
  Ran updated = Lbl("firmware " + dir + "/fw.bin");
  EXPECT_EQ(updated.status, 0) << updated.err << updated.out;
}

TEST_F(LblPrinterTools, DeleteTakesOnlyListedCaptures) {
  Write("a.prt", "job a");
  Write("notes.txt", "not a capture");
  Ran other = Lbl("tools delete notes.txt --folder " + dir);
  EXPECT_EQ(other.status, 1);
  EXPECT_NE(other.err.find("no capture file \"notes.txt\""), std::string::npos) << other.err;
  Ran listed = Lbl("tools delete A.PRT --folder " + dir);
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_EQ(listed.out.find("a.prt"), std::string::npos) << "deleted: " << listed.out;
  EXPECT_EQ(Read("a.prt"), "job a") << "the host folder is only copied from";
}

// The captured jobs are those of the printer's own capture folder, the one the page lists and the driver
// writes: a job printed with "Record Printer Code" on is there, also after the folder was changed.
TEST_F(LblPrinterTools, CapturesAreThoseOfThePrintersFolder) {
  Ran sheet = Lbl("sheet device --do click=1009 --do 'type=1031:C:\\Captured' --do press=ok --json");
  ASSERT_EQ(sheet.status, 0) << sheet.err;
  ASSERT_NE(sheet.out.find("\"C:\\\\Captured\""), std::string::npos) << sheet.out;
  Ran printed = Lbl("print --blank 1 --doc-name first -o " + dir + "/job.out");
  ASSERT_EQ(printed.status, 0) << printed.err;
  Ran listed = Lbl("tools captures");
  EXPECT_EQ(listed.status, 0) << listed.err;
  EXPECT_NE(listed.out.find(".prt"), std::string::npos) << "the job's capture: " << listed.out;
  // A file sent goes to that folder too.
  Write("b.prt", "job b");
  Ran sent = Lbl("tools send " + dir + "/b.prt");
  EXPECT_EQ(sent.status, 0) << sent.err;
  Ran again = Lbl("tools captures");
  EXPECT_NE(again.out.find("b.prt"), std::string::npos) << again.out;
  EXPECT_EQ(std::count(again.out.begin(), again.out.end(), '\n'), 2) << "both: " << again.out;
  // A printer that is not installed has none.
  Ran other = Lbl("tools captures --printer Nobody");
  EXPECT_EQ(other.status, 1) << other.out;
}

// A host file whose name reads as a Windows path ("..\up.prt") is refused: copied under that name it
// would land outside the capture folder, over any file of the machine.
TEST_F(LblPrinterTools, HostNamesThatAreWindowsPathsAreRefused) {
  Ran inner = Lbl("sheet device --do 'type=1031:C:\\Outer\\Inner' --do press=ok");
  ASSERT_EQ(inner.status, 0) << inner.err;
  Write("..\\up.prt", "escaped");
  Write("fine.prt", "job");
  Ran copied = Lbl("tools captures --folder " + dir);
  EXPECT_EQ(copied.status, 1) << copied.out;
  EXPECT_NE(copied.err.find("..\\up.prt"), std::string::npos) << copied.err;
  Ran sent = Lbl("tools send '" + dir + "/..\\up.prt'");
  EXPECT_EQ(sent.status, 1) << sent.out;
  // Nothing reached the folder above the capture folder.
  ASSERT_EQ(Lbl("sheet device --do 'type=1031:C:\\Outer' --do press=ok").status, 0);
  Ran outer = Lbl("tools captures");
  EXPECT_EQ(outer.status, 0) << outer.err;
  EXPECT_EQ(outer.out.find("up.prt"), std::string::npos) << outer.out;
}

}  // namespace
}  // namespace tooltest
