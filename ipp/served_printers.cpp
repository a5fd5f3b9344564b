#include "ipp/served_printers.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "common/devmode.h"
#include "common/wstr.h"
#include "ipp/model_facts.h"
#include "ipp/printer_store.h"
#include "tools/embedded.h"
#include "tools/job_options.h"
#include "winsim/machine.h"
#include "winsim/spooler.h"

namespace lblipp {

namespace {

std::string Text(const std::vector<uint8_t>& data) {
  std::u16string s;
  for (size_t i = 0; i + 1 < data.size(); i += 2) {
    const char16_t c = char16_t(data[i] | data[i + 1] << 8);
    if (!c) break;
    s.push_back(c);
  }
  return WideToUtf8(s);
}

std::vector<uint8_t> Bytes(const std::string& text) {
  const std::u16string s = Utf8ToU16(text);
  std::vector<uint8_t> out;
  for (char16_t c : s) {
    out.push_back(uint8_t(c & 0xFF));
    out.push_back(uint8_t(c >> 8));
  }
  out.push_back(0);
  out.push_back(0);
  return out;
}

// The printer's default settings, as an application gets them.
bool Defaults(const std::string& name, PrinterDevmode* out, std::string* error) {
  WString wide = Utf8ToWide(name);
  HANDLE printer = nullptr;
  if (!OpenPrinterW(wide.data(), &printer, nullptr)) {
    *error = "cannot open the printer \"" + name + "\"";
    return false;
  }
  const bool ok = lbl::BuildJobDevmode(printer, lbl::CatalogueModule(), lbl::JobOptions{}, out, error);
  ClosePrinter(printer);
  return ok;
}

ServedPrinter Describe(const winsim::PrinterSpec& p) {
  ServedPrinter s;
  s.name = WideToUtf8(p.name);
  s.driver = WideToUtf8(p.driver);
  s.port = WideToUtf8(p.port);
  DWORD type = 0;
  std::vector<uint8_t> data;
  if (winsim::GetPrinterDataValue(p.name, kDeviceUriValue, &type, &data) && type == REG_SZ) s.deviceUri = Text(data);
  if (winsim::GetPrinterDataValue(p.name, kPrinterIdValue, &type, &data) && type == REG_DWORD && data.size() == 4)
    std::memcpy(&s.id, data.data(), 4);
  return s;
}

}  // namespace

bool ListServedPrinters(std::vector<ServedPrinter>* out, std::string* error) {
  out->clear();
  for (const auto& p : winsim::Printers()) {
    ServedPrinter s = Describe(p);
    if (s.deviceUri.empty()) continue;
    // The language its default settings choose, as the server prints in it.
    s.facts = std::make_shared<ModelFacts>();
    if (!ReadPrinterFacts(s.name, s.facts.get(), error) || !ChoosePrinterLanguage(*s.facts, "", &s.printLanguage, error))
      return false;
    s.language = LanguageKeyword(s.printLanguage);
    out->push_back(std::move(s));
  }
  return true;
}

bool FindMachinePrinter(const std::string& name, ServedPrinter* out, bool* served) {
  const WString wanted = Utf8ToWide(name);
  for (const auto& p : winsim::Printers())
    if (WStrEqNoCase(reinterpret_cast<const WCHAR*>(p.name.c_str()), wanted.c_str())) {
      *out = Describe(p);
      *served = !out->deviceUri.empty();
      return true;
    }
  return false;
}

bool CheckServedPathFree(const std::string& name, std::string* error) {
  const WString wanted = Utf8ToWide(name), path = Utf8ToWide(PrinterResource(name));
  for (const auto& p : winsim::Printers()) {
    const ServedPrinter s = Describe(p);
    if (s.deviceUri.empty() || WStrEqNoCase(Utf8ToWide(s.name).c_str(), wanted.c_str())) continue;
    if (WStrEqNoCase(Utf8ToWide(PrinterResource(s.name)).c_str(), path.c_str())) {
      *error = "the printer \"" + s.name + "\" is served at " + PrinterResource(s.name) + " already; choose another name";
      return false;
    }
  }
  return true;
}

bool SetServedDevice(const std::string& name, const std::string& deviceUri, int* id, std::string* error) {
  if (*id <= 0) {
    int top = 0;
    for (const auto& p : winsim::Printers()) top = std::max(top, Describe(p).id);
    *id = top + 1;
  }
  std::vector<uint8_t> idBytes(4);
  std::memcpy(idBytes.data(), id, 4);
  const std::u16string printer = Utf8ToU16(name);
  if (!winsim::SetPrinterDataValue(printer, kDeviceUriValue, REG_SZ, Bytes(deviceUri)) ||
      !winsim::SetPrinterDataValue(printer, kPrinterIdValue, REG_DWORD, idBytes)) {
    *error = "cannot keep the device with the printer \"" + name + "\"";
    return false;
  }
  return true;
}

bool SetDefaultLanguage(const std::string& name, const std::string& language, std::string* error) {
  uint32_t value = 0;
  if (!LanguageFromKeyword(language, &value)) {
    *error = "unknown language '" + language + "' (tspl, zpl, esc or twl)";
    return false;
  }
  auto dm = std::make_unique<PrinterDevmode>();
  if (!Defaults(name, dm.get(), error)) return false;
  dm->PrintLanguage = value;
  const auto* bytes = reinterpret_cast<const uint8_t*>(dm.get());
  if (!winsim::SetPrinterDevmode(Utf8ToU16(name), std::vector<uint8_t>(bytes, bytes + dm->dm.dmSize + dm->dm.dmDriverExtra))) {
    *error = "the printer's default settings could not be stored";
    return false;
  }
  return true;
}

}  // namespace lblipp
