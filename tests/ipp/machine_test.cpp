// lbl serve's printers are printers of the state folder's machine: added, listed and removed with lbl,
// served with the stocks and the Printing Preferences other lbl commands give them, while the server
// runs; and the printers of an earlier version's printers.json are kept.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <thread>

#include <rapidjson/document.h>

#include "ipp/printer_store.h"
#include "serve_fixture.h"
#include "tools/viewer/png.h"
#include "tools/viewer/viewer.h"

namespace {

using ipptest::Server;

using ipptest::ReadBytes;

// A label picture whose dots depend on darkness and dithering.
std::string WriteRamp(const std::string& path, uint32_t w, uint32_t h) { return ipptest::WritePicture(path, w, h); }

// True once `check` holds, trying for up to ten seconds (the server looks at the state every second).
bool Eventually(const std::function<bool()>& check) {
  for (int i = 0; i < 200; ++i) {
    if (check()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return false;
}

rapidjson::Document Json(const std::string& text) {
  rapidjson::Document d;
  d.Parse(text.c_str());
  return d;
}

// The printers of a JSON document's "Printers" array by name, as the given member's text.
std::map<std::string, std::string> Member(const rapidjson::Document& d, const char* member) {
  std::map<std::string, std::string> out;
  if (!d.IsObject() || !d.HasMember("Printers") || !d["Printers"].IsArray()) return out;
  for (const auto& p : d["Printers"].GetArray()) {
    if (!p.HasMember("Name") || !p.HasMember(member)) continue;
    const auto& v = p[member];
    out[p["Name"].GetString()] = v.IsString() ? v.GetString() : v.IsInt() ? std::to_string(v.GetInt()) : "null";
  }
  return out;
}

std::string Attribute(Server& s, const std::string& printer, const char* name) {
  ipp_t* a = s.Attributes(printer, {name});
  const auto v = ipptest::Values(a, name);
  ippDelete(a);
  std::string all;
  for (const auto& x : v) all += (all.empty() ? "" : ",") + x;
  return all;
}

// Prints the picture and returns what reached the printer's file.
std::vector<uint8_t> PrintPicture(Server& s, const std::string& printer, const std::string& out, const std::string& picture) {
  std::ofstream{out};
  const int id = s.Print(printer, picture, "image/png");
  EXPECT_GT(id, 0) << s.Log();
  const auto job = s.WaitJob(printer, id);
  EXPECT_EQ(job.state, IPP_JSTATE_COMPLETED) << job.message << "\n" << s.Log();
  return ReadBytes(out);
}

TEST(MachinePrinters, AddListServeAndRemoveWithLbl) {
  Server s("machine");
  const std::string out = s.Dir() + "/desk.prn";
  s.AddPrinter("desk", "Tarnwell TW-QD", "file://" + out);
  // An installed printer of the machine, on a port of its own kind, with its device.
  const auto printers = Json(s.RunLbl("printers").out);
  EXPECT_EQ(Member(printers, "Driver")["desk"], "Tarnwell TW-QD");
  EXPECT_EQ(Member(printers, "Port")["desk"], "FILE:");
  const auto listed = Json(s.RunLbl("printer list").out);
  EXPECT_EQ(Member(listed, "DeviceUri")["desk"], "file://" + out);
  EXPECT_EQ(Member(listed, "Id")["desk"], "1");
  EXPECT_EQ(Member(listed, "Language")["desk"], "zpl");
  EXPECT_EQ(Member(listed, "Resource")["desk"], "/ipp/print/desk");
  // The machine's own printer has no device: not served, and not removable as a served printer.
  EXPECT_EQ(Member(listed, "Name").count("Tarnwell TW-QX"), 0u);
  const auto refused = s.RunLbl("printer remove \"Tarnwell TW-QX\"");
  EXPECT_EQ(refused.status, 1);
  EXPECT_NE(refused.err.find("no device"), std::string::npos) << refused.err;
  // A second printer of the same name is refused, whatever its case.
  const auto twice = s.RunLbl("printer add DESK --model \"Tarnwell TW-QD\" --device file://" + out);
  EXPECT_EQ(twice.status, 1) << twice.out;

  ASSERT_TRUE(s.Start()) << s.Log();
  const std::string picture = WriteRamp(s.Dir() + "/ramp.png", 600, 400);
  const auto got = PrintPicture(s, "desk", out, picture);
  EXPECT_EQ(lblview::DetectLanguage(got.data(), got.size()), lblview::Language::Zpl);

  std::string model;
  ASSERT_TRUE(s.Listed("desk", "printer-make-and-model", &model)) << s.Log();
  EXPECT_EQ(model, "Tarnwell TW-QD");
  const auto removed = s.RunLbl("printer remove desk");
  ASSERT_EQ(removed.status, 0) << removed.err;
  EXPECT_EQ(Member(Json(s.RunLbl("printers").out), "Name").count("desk"), 0u);
  EXPECT_TRUE(Eventually([&] { return s.Unlisted("desk"); })) << s.Log();
}

// The path lbl printer reports for a name that starts with a digit is the one the server serves it at.
TEST(MachinePrinters, TheReportedPathOfADigitNameIsWhereItIsServed) {
  Server s("digit");
  const std::string out = s.Dir() + "/1desk.prn";
  std::ofstream{out};
  s.AddPrinter("1desk", "Tarnwell TW-QD", "file://" + out);
  const std::string resource = Member(Json(s.RunLbl("printer list").out), "Resource")["1desk"];
  ASSERT_EQ(resource.rfind("/ipp/print/", 0), 0u) << resource;
  ASSERT_TRUE(s.Start()) << s.Log();
  const std::string served = resource.substr(std::string("/ipp/print/").size());
  EXPECT_EQ(Attribute(s, served, "printer-name"), "1desk") << s.Log();
  const auto got = PrintPicture(s, served, out, WriteRamp(s.Dir() + "/ramp.png", 400, 300));
  EXPECT_EQ(lblview::DetectLanguage(got.data(), got.size()), lblview::Language::Zpl);
}

// A printer the web interface added under a name the machine refuses (a space) keeps serving when
// lbl printer adds and removes others; one under a name it takes joins the machine.
TEST(MachinePrinters, AWebPrinterTheMachineRefusedStaysThroughOtherChanges) {
  Server s("webname");
  ASSERT_TRUE(s.Start()) << s.Log();
  // PAPPL's Create-Printer takes devices of its own schemes only; no job goes to these.
  const std::string device = "lblsim://127.0.0.1:9";
  ASSERT_EQ(s.CreatePrinter("web desk", "tarnwell_tw-qd", device), IPP_STATUS_OK) << s.Log();
  ASSERT_TRUE(s.WaitPrinter("web_desk", 10)) << s.Log();
  ASSERT_EQ(s.CreatePrinter("shelf", "tarnwell_tw-qd", device), IPP_STATUS_OK) << s.Log();
  EXPECT_TRUE(Eventually([&] { return Member(Json(s.RunLbl("printer list").out), "Name").count("shelf") == 1; }))
      << s.Log();
  s.AddPrinter("other", "Tarnwell TW-QD", "file://" + s.Dir() + "/other.prn");
  ASSERT_TRUE(s.WaitPrinter("other", 10)) << s.Log();
  ASSERT_TRUE(s.Listed("other")) << s.Log();
  ASSERT_EQ(s.RunLbl("printer remove other").status, 0);
  EXPECT_TRUE(Eventually([&] { return s.Unlisted("other"); })) << s.Log();
  std::this_thread::sleep_for(std::chrono::seconds(2));  // two more looks at the state
  EXPECT_TRUE(s.HasPrinter("web_desk")) << s.Log();
  EXPECT_TRUE(s.HasPrinter("shelf")) << s.Log();
}

// Removed and added again under its name for another model and device while the server runs: the
// printer is made anew and prints in the new model's language on the new device.
TEST(MachinePrinters, APrinterAddedAgainForAnotherModelIsMadeAnew) {
  Server s("readded");
  const std::string first = s.Dir() + "/first.prn", second = s.Dir() + "/second.prn";
  std::ofstream{first};
  std::ofstream{second};
  s.AddPrinter("desk", "Tarnwell TW-QD", "file://" + first);
  ASSERT_TRUE(s.Start()) << s.Log();
  const std::string picture = WriteRamp(s.Dir() + "/ramp.png", 400, 300);
  auto got = PrintPicture(s, "desk", first, picture);
  EXPECT_EQ(lblview::DetectLanguage(got.data(), got.size()), lblview::Language::Zpl);
  ASSERT_EQ(s.RunLbl("printer remove desk").status, 0);
  const auto added = s.RunLbl("printer add desk --model \"Tarnwell TW-QX\" --language tspl --device file://" + second);
  ASSERT_EQ(added.status, 0) << added.err;
  std::string model;
  EXPECT_TRUE(Eventually([&] { return s.Listed("desk", "printer-make-and-model", &model) && model.find("TW-QX") != std::string::npos; }))
      << s.Log();
  std::ofstream{first};
  got = PrintPicture(s, "desk", second, picture);
  EXPECT_EQ(lblview::DetectLanguage(got.data(), got.size()), lblview::Language::Tspl);
  EXPECT_TRUE(ReadBytes(first).empty()) << "the old device got the job";
}

// A stock added to the printer and its Printing Preferences saved in the sheet reach the running
// server: the stock is offered over IPP, and the next job prints with the new defaults, byte for byte
// as lbl print prints on the same printer.
TEST(MachinePrinters, StocksAndPreferencesOfThePrinterAreServed) {
  Server s("stocks");
  const std::string out = s.Dir() + "/qx.prn";
  s.AddPrinter("qx", "Tarnwell TW-QX", "file://" + out);
  ASSERT_TRUE(s.Start()) << s.Log();
  const std::string size = "x-dimension=7700 y-dimension=3300";
  EXPECT_EQ(Attribute(s, "qx", "media-col-database").find(size), std::string::npos);

  const auto added = s.RunLbl("stock add --printer qx --name Odd --width 77 --length 33 --type marks");
  ASSERT_EQ(added.status, 0) << added.err;
  ASSERT_TRUE(Eventually([&] { return Attribute(s, "qx", "media-col-database").find(size) != std::string::npos; }))
      << Attribute(s, "qx", "media-col-database");
  // Selected by its size, it prints on that stock, as lbl print prints on it.
  const std::string odd = WriteRamp(s.Dir() + "/odd.png", 600, 260);
  std::ofstream{out};
  const int id = s.Print("qx", odd, "image/png", [](ipp_t* r) {
    ipp_t* col = ippNew();
    ipp_t* dims = ippNew();
    ippAddInteger(dims, IPP_TAG_ZERO, IPP_TAG_INTEGER, "x-dimension", 7700);
    ippAddInteger(dims, IPP_TAG_ZERO, IPP_TAG_INTEGER, "y-dimension", 3300);
    ippAddCollection(col, IPP_TAG_ZERO, "media-size", dims);
    ippAddCollection(r, IPP_TAG_JOB, "media-col", col);
    ippDelete(dims);
    ippDelete(col);
  });
  ASSERT_GT(id, 0) << s.Log();
  ASSERT_EQ(s.WaitJob("qx", id).state, IPP_JSTATE_COMPLETED) << s.Log();
  const std::string oddRef = s.Dir() + "/odd.ref";
  const auto onOdd = s.RunLbl("print --printer qx --paper Odd --doc-name odd.png -o " + oddRef + " " + odd);
  ASSERT_EQ(onOdd.status, 0) << onOdd.err;
  EXPECT_EQ(ReadBytes(out), ReadBytes(oddRef));

  const std::string picture = WriteRamp(s.Dir() + "/ramp.png", 600, 400);
  const auto before = PrintPicture(s, "qx", out, picture);
  const std::string darkness = Attribute(s, "qx", "printer-darkness-configured");
  // Printing Preferences, Print Settings page: another darkness, OK.
  const auto sheet = s.RunLbl("sheet document --printer qx --preferences --do page=113 --do select=1042:14 --do press=ok");
  ASSERT_EQ(sheet.status, 0) << sheet.err;
  ASSERT_TRUE(Eventually([&] { return Attribute(s, "qx", "printer-darkness-configured") != darkness; })) << darkness;
  const auto after = PrintPicture(s, "qx", out, picture);
  EXPECT_NE(after, before) << "the job must take the printer's new default darkness";
  const std::string ref = s.Dir() + "/qx.ref";
  const auto printed = s.RunLbl("print --printer qx --doc-name ramp.png -o " + ref + " " + picture);
  ASSERT_EQ(printed.status, 0) << printed.err;
  EXPECT_EQ(after, ReadBytes(ref)) << "the same bytes as lbl print on the same printer";
}

// The printers of a printers.json that an earlier version kept move onto the machine with their
// ids, devices and languages; the file is kept aside, and the server serves them.
TEST(MachinePrinters, AnEarlierPrinterListIsMovedOntoTheMachine) {
  Server s("legacy");
  std::string error;
  lblipp::PrinterEntry a, b;
  a.name = "dock";
  a.driver = "Tarnwell TW-QX";
  a.deviceUri = "file://" + s.Dir() + "/dock.prn";
  a.language = "zpl";
  b.name = "shelf";
  b.driver = "Tarnwell TW-LC";
  b.deviceUri = "file://" + s.Dir() + "/shelf.prn";
  auto store = lblipp::OpenFileStore(s.StateDir());
  ASSERT_TRUE(store->Add(&a, &error)) << error;
  ASSERT_TRUE(store->Add(&b, &error)) << error;
  std::ofstream(s.Dir() + "/dock.prn");
  ASSERT_TRUE(s.Start()) << s.Log();
  EXPECT_TRUE(s.WaitPrinter("dock", 10)) << s.Log();
  EXPECT_TRUE(s.WaitPrinter("shelf", 10)) << s.Log();
  EXPECT_FALSE(std::filesystem::exists(s.StateDir() + "/printers.json"));
  EXPECT_TRUE(std::filesystem::exists(s.StateDir() + "/printers.json.migrated"));
  const auto listed = Json(s.RunLbl("printer list").out);
  EXPECT_EQ(Member(listed, "Id")["dock"], "1");
  EXPECT_EQ(Member(listed, "Id")["shelf"], "2");
  EXPECT_EQ(Member(listed, "Language")["dock"], "zpl");
  EXPECT_EQ(Member(listed, "Language")["shelf"], "esc");
  EXPECT_EQ(Member(listed, "DeviceUri")["shelf"], b.deviceUri);
  const auto got = PrintPicture(s, "dock", s.Dir() + "/dock.prn", WriteRamp(s.Dir() + "/r.png", 400, 300));
  EXPECT_EQ(lblview::DetectLanguage(got.data(), got.size()), lblview::Language::Zpl);
}

}  // namespace
