// The property sheets once more in another user-interface language. Wine takes the user's UI language
// from the environment (LC_ALL); the driver's strings must then come from that language's resources,
// and the sheets are shown, read and saved as in English.
#include <windows.h>
#include <winspool.h>

#include <cstdio>
#include <string>
#include <vector>

#include "check.h"

namespace winecheck {
namespace {

LANGID LanguageByName(const std::string& name) {
  if (name == "en") return 0x0409;
  if (name == "zh") return 0x0804;
  if (name == "ko") return 0x0412;
  if (name == "ru") return 0x0419;
  return 0;
}

// String `id` of `module` from the block of exactly `lang` (a block holds 16 counted strings).
std::wstring StringIn(HMODULE module, UINT id, LANGID lang) {
  HRSRC r = FindResourceExW(module, RT_STRING, MAKEINTRESOURCEW(id / 16 + 1), lang);
  const auto* p = r ? static_cast<const WCHAR*>(LockResource(LoadResource(module, r))) : nullptr;
  if (!p) return {};
  for (UINT i = 0; i < id % 16; ++i) p += 1 + *p;
  return std::wstring(p + 1, *p);
}

std::string Hex(LANGID l) {
  char b[8];
  std::snprintf(b, sizeof b, "0x%04X", l);
  return b;
}

}  // namespace

int LanguageSheetChecks(const std::string& driver, const std::string& language, const std::string& outDir) {
  const char* step = "sheets in another language";
  const LANGID want = LanguageByName(language);
  if (!want) return Fail(step, "no such language: " + language, false), 1;
  const LANGID user = GetUserDefaultUILanguage();
  if (PRIMARYLANGID(user) != PRIMARYLANGID(want))
    return Fail(step, "Wine's user UI language is " + Hex(user) + ", not " + Hex(want) + " (LC_ALL not taken)",
                false), 1;

  std::wstring name = Widen(driver);
  HANDLE printer = nullptr;
  if (!OpenPrinterW(name.data(), &printer, nullptr)) return Fail("OpenPrinterW", driver), 1;
  HMODULE ui = LoadPrinterUi(printer);
  ClosePrinter(printer);
  if (!ui) return Fail(step, "load lbldrv6ui.dll"), 1;

  // The About page's product name, as the page loads it, against the block of the wanted language.
  constexpr UINT kAboutProduct = 1930;
  WCHAR loaded[256] = {};
  const int n = LoadStringW(ui, kAboutProduct, loaded, 256);
  const std::wstring expected = StringIn(ui, kAboutProduct, want), english = StringIn(ui, kAboutProduct, 0x0409);
  if (expected.empty() || (want != 0x0409 && expected == english))
    return Fail(step, "lbldrv6ui.dll carries no " + Hex(want) + " string table", false), 1;
  if (n <= 0 || loaded != expected)
    return Fail(step, "LoadStringW gave \"" + Narrow(loaded) + "\", not the " + Hex(want) + " text", false), 1;
  FreeLibrary(ui);
  Ok("Wine's UI language " + Hex(user) + ": LoadStringW gives lbldrv6ui's " + language + " texts");
  return SheetChecks(driver, outDir);
}

}  // namespace winecheck
