// The printers lbl serve serves, read from a machine: those with a device, with their printer-ids,
// languages, stocks and default settings as the printer has them.
#include <gtest/gtest.h>

#include <memory>

#include "common/devmode.h"
#include "common/wstr.h"
#include "ipp/machine.h"
#include "ipp/model_facts.h"
#include "ipp/served_printers.h"
#include "tools/embedded.h"
#include "tools/job_options.h"
#include "tools/print_job.h"
#include "winsim/machine.h"
#include "winsim/spooler.h"

namespace {

// A fresh machine with the printer of `driver` (named like it) and a second printer "desk" of
// another model, on FILE:.
void FreshMachine(const std::string& driver, const std::string& deskDriver) {
  std::string error;
  ASSERT_TRUE(lbl::InstallInitialisedPrinter(driver, &error)) << error;
  ASSERT_TRUE(lbl::AddCatalogueDriver(deskDriver, &error)) << error;
  winsim::PrinterSpec p;
  p.name = u"desk";
  p.port = u"FILE:";
  p.driver = Utf8ToU16(deskDriver);
  ASSERT_TRUE(winsim::AddPrinter(p));
  ASSERT_TRUE(lbl::InitialisePrinter("desk", &error)) << error;
}

// The printer's default settings, as a job starts from them.
std::unique_ptr<PrinterDevmode> Defaults(const std::string& printer) {
  auto dm = std::make_unique<PrinterDevmode>();
  WString name = Utf8ToWide(printer);
  HANDLE h = nullptr;
  EXPECT_TRUE(OpenPrinterW(name.data(), &h, nullptr));
  std::string error;
  EXPECT_TRUE(lbl::BuildJobDevmode(h, lbl::CatalogueModule(), lbl::JobOptions{}, dm.get(), &error)) << error;
  ClosePrinter(h);
  return dm;
}

void StoreDefaults(const std::string& printer, const PrinterDevmode& dm) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(&dm);
  ASSERT_TRUE(winsim::SetPrinterDevmode(Utf8ToU16(printer), std::vector<uint8_t>(bytes, bytes + dm.dm.dmSize + dm.dm.dmDriverExtra)));
}

TEST(ServedPrinters, AreThePrintersWithADeviceNumberedInTurn) {
  std::lock_guard<std::mutex> lock(lblipp::MachineMutex());
  FreshMachine("Tarnwell TW-QX", "Tarnwell TW-QD");
  std::vector<lblipp::ServedPrinter> list;
  std::string error;
  ASSERT_TRUE(lblipp::ListServedPrinters(&list, &error)) << error;
  EXPECT_TRUE(list.empty()) << "no printer has a device yet";

  int id = 0;
  ASSERT_TRUE(lblipp::SetServedDevice("desk", "socket://192.0.2.7:9100", &id, &error)) << error;
  EXPECT_EQ(id, 1);
  int explicitId = 7;
  ASSERT_TRUE(lblipp::SetServedDevice("Tarnwell TW-QX", "file:///tmp/qx.prn", &explicitId, &error)) << error;
  EXPECT_EQ(explicitId, 7) << "an id given is kept";
  ASSERT_TRUE(lblipp::ListServedPrinters(&list, &error)) << error;
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, "desk");
  EXPECT_EQ(list[0].driver, "Tarnwell TW-QD");
  EXPECT_EQ(list[0].port, "FILE:");
  EXPECT_EQ(list[0].deviceUri, "socket://192.0.2.7:9100");
  EXPECT_EQ(list[0].id, 1);
  EXPECT_EQ(list[0].language, "zpl");
  EXPECT_EQ(list[1].name, "Tarnwell TW-QX");
  EXPECT_EQ(list[1].id, 7);
  EXPECT_EQ(list[1].deviceUri, "file:///tmp/qx.prn");

  // The device and id are printer data: they stay with the machine's saved state.
  const std::vector<uint8_t> saved = winsim::SaveMachine();
  ASSERT_TRUE(winsim::LoadMachine(saved, &error)) << error;
  lblipp::ServedPrinter found;
  bool served = false;
  ASSERT_TRUE(lblipp::FindMachinePrinter("DESK", &found, &served)) << "names compare without regard to case";
  EXPECT_TRUE(served);
  EXPECT_EQ(found.name, "desk");
  EXPECT_EQ(found.deviceUri, "socket://192.0.2.7:9100");
  int next = 0;
  ASSERT_TRUE(lblipp::SetServedDevice("desk", "socket://192.0.2.8", &next, &error)) << error;
  EXPECT_EQ(next, 8) << "the next free id is after the highest";
  EXPECT_FALSE(lblipp::FindMachinePrinter("nowhere", &found, &served));
}

TEST(ServedPrinters, TheLanguageIsTheDefaultSettingsOne) {
  std::lock_guard<std::mutex> lock(lblipp::MachineMutex());
  FreshMachine("Tarnwell TW-QX", "Tarnwell TW-JA");
  std::string error;
  int id = 0;
  ASSERT_TRUE(lblipp::SetServedDevice("desk", "file:///tmp/ja.prn", &id, &error)) << error;
  ASSERT_TRUE(lblipp::SetDefaultLanguage("desk", "twl", &error)) << error;
  EXPECT_EQ(Defaults("desk")->PrintLanguage, uint32_t(kLangTwl)) << "stored as the Printing Preferences store it";
  std::vector<lblipp::ServedPrinter> list;
  ASSERT_TRUE(lblipp::ListServedPrinters(&list, &error)) << error;
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].language, "twl");
  EXPECT_FALSE(lblipp::SetDefaultLanguage("desk", "pcl", &error));
  EXPECT_NE(error.find("pcl"), std::string::npos) << error;
}

// A printer's facts are its own: the stock and settings its Printing Preferences chose.
TEST(PrinterFacts, FollowThePrintersDefaultSettings) {
  std::unique_lock<std::mutex> lock(lblipp::MachineMutex());
  FreshMachine("Tarnwell TW-QX", "Tarnwell TW-QD");
  lblipp::ModelFacts before;
  std::string error;
  ASSERT_TRUE(lblipp::ReadPrinterFacts("desk", &before, &error)) << error;
  EXPECT_EQ(before.printer, "desk");
  EXPECT_EQ(before.driver, "Tarnwell TW-QD");
  ASSERT_GE(before.stocks.size(), 2u);
  EXPECT_EQ(before.defaultStock, before.stocks.front().name);

  auto dm = Defaults("desk");
  ASSERT_GT(before.darknessMax, 2);
  dm->Darkness = uint32_t(before.darknessMax);  // the darkest
  dm->DitherLevel = 3;
  dm->dm.dmFields |= DM_FORMNAME;
  const std::u16string second = Utf8ToU16(before.stocks[1].name);
  std::copy(second.begin(), second.end(), dm->dm.dmFormName);
  dm->dm.dmFormName[second.size()] = 0;
  StoreDefaults("desk", *dm);
  lblipp::ModelFacts after;
  ASSERT_TRUE(lblipp::ReadPrinterFacts("desk", &after, &error)) << error;
  EXPECT_EQ(after.darknessDefault, before.darknessMax);
  EXPECT_EQ(after.ditherLevel, 3u);
  EXPECT_EQ(after.defaultStock, before.stocks[1].name);
  EXPECT_FALSE(after == before);
  EXPECT_FALSE(lblipp::ReadPrinterFacts("nowhere", &after, &error));
  lock.unlock();
  lblipp::ModelFacts qd;
  ASSERT_TRUE(lblipp::ReadModelFacts("Tarnwell TW-QD", &qd, &error)) << error;
  qd.printer = before.printer;
  EXPECT_TRUE(qd == before) << "a fresh printer of the model has the model's facts";
}

}  // namespace
