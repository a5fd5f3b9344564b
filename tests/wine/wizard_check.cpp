// lblwinecheck wizard: lblinst32.exe under Wine, driven from outside as a user would through its windows:
// agreement, mode choice, install page (the "Others" port type, the "FILE:" row, a printer name), the
// question about a port that names no model, and the result page until Finish. Every page is saved as a
// PNG file. List-view items live in the installer's memory, so they are read and set through buffers
// placed there. Windows are found by process and control ids, not texts, so the walk runs in any UI
// language; in English the texts are checked as well.
#include "check.h"  // first: windows.h

#include <commctrl.h>
#include <prsht.h>
#include <winspool.h>

#include <string>

namespace winecheck {
namespace {

constexpr const char* kStep = "wizard";
constexpr const WCHAR* kEnglishTitle = TEXT("Printer Driver Installation Wizard");
constexpr int kFinishButton = 0x3025;
enum { kAgreement = 0, kMode = 1, kInstall = 2, kResult = 5 };

template <class Pred>
bool WaitFor(Pred pred, DWORD ms) {
  for (DWORD waited = 0; waited < ms; waited += 50) {
    if (pred()) return true;
    Sleep(50);
  }
  return pred();
}

HWND CurrentPage(HWND sheet) { return reinterpret_cast<HWND>(SendMessageW(sheet, PSM_GETCURRENTPAGEHWND, 0, 0)); }
int CurrentIndex(HWND sheet) {
  HWND page = CurrentPage(sheet);
  return page ? int(SendMessageW(sheet, PSM_HWNDTOINDEX, WPARAM(page), 0)) : -1;
}

// A visible dialog window of the process; `isSheet` picks the wizard (it has a current page) or any other
// (a message box).
HWND FindProcessDialog(DWORD pid, bool isSheet, HWND except = nullptr) {
  return FindProcessWindow(pid, [&](HWND h) {
    WCHAR cls[16] = {};
    GetClassNameW(h, cls, 16);
    return h != except && std::wstring(cls) == TEXT("#32770") && (CurrentPage(h) != nullptr) == isSheet;
  });
}

// Posted: a page may answer with a modal message box, which this program then answers.
void Press(HWND sheet, int button) { PostMessageW(sheet, PSM_PRESSBUTTON, WPARAM(button), 0); }

bool Shot(HWND sheet, const std::string& dir, const char* name) {
  Sleep(400);  // let the page paint
  const std::string path = dir + "\\" + name + ".png";
  if (!Screenshot(sheet, path)) return Fail(kStep, std::string("screenshot ") + name);
  Ok(std::string("wizard page ") + name + " saved");
  return true;
}

bool GoTo(HWND sheet, int button, int index, const char* what) {
  Press(sheet, button);
  if (!WaitFor([&] { return CurrentIndex(sheet) == index; }, 10000))
    return Fail(kStep, std::string(what) + ": page " + std::to_string(CurrentIndex(sheet)), false);
  return true;
}

// The installer's memory for one list-view call.
struct Remote {
  HANDLE process;
  BYTE* base = nullptr;
  explicit Remote(HANDLE p) : process(p) {
    base = static_cast<BYTE*>(VirtualAllocEx(p, nullptr, 4096, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  }
  ~Remote() {
    if (base) VirtualFreeEx(process, base, 0, MEM_RELEASE);
  }
};

std::wstring RowText(HANDLE process, HWND list, int row) {
  Remote r(process);
  if (!r.base) return {};
  LVITEMW item{};
  item.iSubItem = 0;
  item.cchTextMax = 260;
  item.pszText = reinterpret_cast<LPWSTR>(r.base + 1024);
  SIZE_T n = 0;
  if (!WriteProcessMemory(process, r.base, &item, sizeof item, &n)) return {};
  SendMessageW(list, LVM_GETITEMTEXTW, WPARAM(row), reinterpret_cast<LPARAM>(r.base));
  WCHAR text[261] = {};
  ReadProcessMemory(process, r.base + 1024, text, 260 * sizeof(WCHAR), &n);
  return text;
}

bool SelectRow(HANDLE process, HWND list, int row) {
  Remote r(process);
  if (!r.base) return false;
  LVITEMW item{};
  item.stateMask = item.state = LVIS_SELECTED | LVIS_FOCUSED;
  SIZE_T n = 0;
  if (!WriteProcessMemory(process, r.base, &item, sizeof item, &n)) return false;
  return SendMessageW(list, LVM_SETITEMSTATE, WPARAM(row), reinterpret_cast<LPARAM>(r.base)) != 0;
}

// The installer's manifest gives its windows Common Controls 6: only version 6 buttons answer
// BCM_GETIDEALSIZE (the size is written into the installer's memory).
bool Version6Button(HANDLE process, HWND button) {
  Remote r(process);
  return r.base && button && SendMessageW(button, BCM_GETIDEALSIZE, 0, reinterpret_cast<LPARAM>(r.base)) != 0;
}

int Walk(HANDLE process, DWORD pid, HWND sheet, const std::string& dir, bool english, const std::wstring& printer) {
  // No printer of the package yet: the wizard opens on the install page, Back leads to the mode page.
  if (CurrentIndex(sheet) == kInstall && !GoTo(sheet, PSBTN_BACK, kMode, "back from install")) return 1;
  if (CurrentIndex(sheet) != kMode) return Fail(kStep, "start page " + std::to_string(CurrentIndex(sheet)), false), 1;
  if (!Shot(sheet, dir, "2-mode")) return 1;
  if (!GoTo(sheet, PSBTN_BACK, kAgreement, "back from mode")) return 1;
  HWND agreement = CurrentPage(sheet);
  WCHAR licence[64] = {};
  GetDlgItemTextW(agreement, 1009, licence, 64);
  if (std::wstring(licence).find(TEXT("LICENCE")) == std::wstring::npos) return Fail(kStep, "no licence text", false), 1;
  SendMessageW(GetDlgItem(agreement, 1011), BM_CLICK, 0, 0);  // "I accept the agreement"
  if (!Shot(sheet, dir, "1-agreement")) return 1;
  // Next goes to the install page when no printer of the package is installed, else to the mode page.
  Press(sheet, PSBTN_NEXT);
  if (!WaitFor([&] { return CurrentIndex(sheet) == kInstall || CurrentIndex(sheet) == kMode; }, 10000))
    return Fail(kStep, "next from agreement: page " + std::to_string(CurrentIndex(sheet)), false), 1;
  if (CurrentIndex(sheet) == kMode) {
    SendMessageW(GetDlgItem(CurrentPage(sheet), 1002), BM_CLICK, 0, 0);  // "Install printer driver"
    if (!GoTo(sheet, PSBTN_NEXT, kInstall, "next from mode")) return 1;
  }

  HWND install = CurrentPage(sheet);
  SendMessageW(GetDlgItem(install, 1032), BM_CLICK, 0, 0);  // "Others"
  HWND list = GetDlgItem(install, 1008);
  int fileRow = -1;
  const int rows = int(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < rows && fileRow < 0; ++i)
    if (RowText(process, list, i) == TEXT("FILE:")) fileRow = i;
  if (fileRow < 0) return Fail(kStep, "no FILE: row among " + std::to_string(rows), false), 1;
  if (!SelectRow(process, list, fileRow)) return Fail(kStep, "select the FILE: row"), 1;
  SendMessageW(GetDlgItem(install, 1006), CB_SETCURSEL, 5, 0);  // "Tarnwell TW-JA"
  SetDlgItemTextW(install, 1013, printer.c_str());
  if (!Shot(sheet, dir, "3-install")) return 1;
  if (!Version6Button(process, GetDlgItem(install, 1014)))
    return Fail(kStep, "the install page's buttons are not Common Controls 6 (the program's manifest)", false), 1;
  Ok("the install page's buttons are Common Controls 6");

  // Next: "FILE:" names no model, so the installer asks; OK goes on to the result page.
  Press(sheet, PSBTN_NEXT);
  HWND box = nullptr;
  if (!WaitFor([&] { return (box = FindProcessDialog(pid, false, sheet)) != nullptr || CurrentIndex(sheet) == kResult; },
               10000))
    return Fail(kStep, "neither the question nor the result page", false), 1;
  if (box) {
    Shot(box, dir, "3a-question");
    PostMessageW(box, WM_COMMAND, IDOK, 0);
  }
  if (!WaitFor([&] { return CurrentIndex(sheet) == kResult; }, 10000)) return Fail(kStep, "no result page", false), 1;
  HWND finish = GetDlgItem(sheet, kFinishButton);
  if (!WaitFor([&] { return finish && IsWindowVisible(finish) && IsWindowEnabled(finish); }, 120000))
    return Fail(kStep, "the run did not end (Finish stays disabled)", false), 1;
  WCHAR log[2048] = {};
  GetDlgItemTextW(CurrentPage(sheet), 1019, log, 2048);
  const std::string text = Narrow(log);
  std::printf("result log:\n%s\n", text.c_str());
  if (english && (text.find("The printer driver is installed successfully") == std::string::npos ||
                  text.find("Installation complete.") == std::string::npos))
    return Fail(kStep, "the result log does not report the install", false), 1;
  if (!english && text.find("successfully") != std::string::npos)
    return Fail(kStep, "the result log is in English", false), 1;
  if (!Shot(sheet, dir, "4-result")) return 1;
  Press(sheet, PSBTN_FINISH);
  return 0;
}

}  // namespace

int WizardCheck(const std::string& installer, const std::string& outDir, const std::string& language) {
  const bool english = language == "en";
  const std::wstring printer = english ? TEXT("Wizard Label") : TEXT("Wizard Label ") + Widen(language);
  std::wstring cmd = TEXT("\"") + Widen(installer) + TEXT("\"");
  STARTUPINFOW si{};
  si.cb = sizeof si;
  PROCESS_INFORMATION pi{};
  if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi))
    return Fail(kStep, "start " + installer), 1;
  CloseHandle(pi.hThread);
  HWND sheet = nullptr;
  int status = 1;
  if (!WaitFor([&] { return (sheet = FindProcessDialog(pi.dwProcessId, true)) != nullptr; }, 30000)) {
    Fail(kStep, "the wizard window did not appear", false);
  } else {
    WCHAR title[128] = {};
    GetWindowTextW(sheet, title, 128);
    if ((std::wstring(title) == kEnglishTitle) != english) {
      Fail(kStep, "the wizard's title \"" + Narrow(title) + "\" is not in the language " + language, false);
    } else {
      Ok("wizard opened: " + Narrow(title));
      status = Walk(pi.hProcess, pi.dwProcessId, sheet, outDir, english, printer);
    }
  }
  if (status == 0) {
    if (WaitForSingleObject(pi.hProcess, 30000) != WAIT_OBJECT_0) {
      Fail(kStep, "the installer did not end after Finish", false);
      status = 1;
    } else {
      DWORD code = 1;
      GetExitCodeProcess(pi.hProcess, &code);
      if (code != 0) {
        Fail(kStep, "exit code " + std::to_string(code), false);
        status = 1;
      }
    }
  }
  if (status != 0) TerminateProcess(pi.hProcess, 1);
  CloseHandle(pi.hProcess);
  if (status != 0) return status;
  HANDLE handle = nullptr;
  if (!OpenPrinterW(const_cast<LPWSTR>(printer.c_str()), &handle, nullptr))
    return Fail(kStep, "the printer \"" + Narrow(printer.c_str()) + "\" does not exist"), 1;
  ClosePrinter(handle);
  Ok("wizard installed \"" + Narrow(printer.c_str()) + "\" on FILE: and ended with Finish");
  return 0;
}

}  // namespace winecheck
