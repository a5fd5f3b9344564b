// The Page Setup page under Wine: its stock list read with real user32 calls, and the label stock
// editor opened from its New button, saved as a PNG and cancelled. Runs on the sheet watcher's thread
// while the sheet is shown.
#include <windows.h>

#include <cstdio>
#include <string>
#include <vector>

#include "check.h"
#include "ui/pagesetup_ids.h"

namespace winecheck {


bool CheckPageSetup(HWND page, const std::string& pngPrefix, std::string* editorPng) {
  HWND combo = GetDlgItem(page, IDC_PS_STOCK);
  if (!combo || !GetDlgItem(page, IDC_PS_SCALE) || !GetDlgItem(page, IDC_PS_PREVIEW)) return true;  // another page
  const int count = int(SendMessageW(combo, CB_GETCOUNT, 0, 0));
  if (count <= 0) return Fail("Page Setup", "the stock list is empty", false);
  bool user = false;
  for (int i = 0; i < count; ++i) {
    WCHAR text[128] = {};
    if (SendMessageW(combo, CB_GETLBTEXTLEN, WPARAM(i), 0) >= 128) continue;
    SendMessageW(combo, CB_GETLBTEXT, WPARAM(i), reinterpret_cast<LPARAM>(text));
    const std::string item = Narrow(text);
    // "NAME(W mm x L mm)"
    if (item.find(" mm x ") == std::string::npos || item.size() < 4 || item.compare(item.size() - 4, 4, " mm)") != 0)
      return Fail("Page Setup", "stock list item \"" + item + "\"", false);
    if (item.rfind("USER(", 0) == 0) user = true;
    if (i < 3) std::printf("     stock list: \"%s\"\n", item.c_str());
  }
  if (!user) return Fail("Page Setup", "no USER item in the stock list", false);
  WCHAR width[32] = {};
  GetDlgItemTextW(page, IDC_PS_PRINTWIDTH, width, 32);
  std::printf("     %d stocks, print width %s mm\n", count, Narrow(width).c_str());

  // New... opens the editor modally on the sheet's thread.
  PostMessageW(page, WM_COMMAND, MAKEWPARAM(IDC_PS_NEW, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(page, IDC_PS_NEW)));
  auto isEditor = [](HWND w) { return GetDlgItem(w, IDC_SE_NAME) && GetDlgItem(w, IDC_SE_TYPE); };
  HWND editor = nullptr;
  for (int waited = 0; waited < 10000 && !editor; waited += 100) {
    Sleep(100);
    editor = FindProcessWindow(GetCurrentProcessId(), isEditor);
  }
  if (!editor) return Fail("stock editor", "the editor did not open", false);
  Sleep(400);  // its 50 ms preview timer
  WCHAR name[64] = {};
  GetDlgItemTextW(editor, IDC_SE_NAME, name, 64);
  std::printf("     stock editor: name \"%s\"\n", Narrow(name).c_str());
  const std::string path = pngPrefix + "-stock-editor.png";
  const bool shot = Screenshot(editor, path);
  PostMessageW(editor, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
  for (int waited = 0; waited < 5000 && IsWindow(editor); waited += 100) Sleep(100);
  if (!shot) return Fail("stock editor", "no screenshot", false);
  // The model's default stock name, in the language the driver's strings load in ("New paper" in English).
  WCHAR expected[64] = {};
  const auto module = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(page, GWLP_HINSTANCE));
  if (LoadStringW(module, 2210, expected, 64) <= 0 || std::wstring(name) != expected)
    return Fail("stock editor", "name \"" + Narrow(name) + "\", not \"" + Narrow(expected) + "\"", false);
  *editorPng = path;
  return true;
}

}  // namespace winecheck
