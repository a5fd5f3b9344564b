// The wizard's start and end, its sheet, and the agreement, mode and result pages.
#include "installer/wizard.h"

#include <richedit.h>

#include <cstring>
#include <string>

#include "installer/debugtrace.h"
#include "installer/enumerate.h"
#include "installer/guard.h"
#include "installer/model.h"
#include "installer/strings.h"

namespace {

// ---- the engine's hooks -----------------------------------------------------------------------------------

void MakeEngineHost(Wizard* w) {
  EngineHost& h = w->engine.host;
  // The result page shows each line before the run goes on.
  h.appendLog = [w](const WCHAR* line) {
    if (w->state.resultWindow) SendMessageW(w->state.resultWindow, MSG_APPEND_LOG, 0, reinterpret_cast<LPARAM>(line));
  };
  h.ask = [w](UINT text, UINT caption, UINT type) { return Ask(w->sheet, text, caption, type); };
  h.startProcess = [](const WCHAR* commandLine) {
    WString cmd = commandLine;  // CreateProcessW may write into its command line
    STARTUPINFOW si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    if (!CreateProcessW(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return false;
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
  };
  h.usbHardwareId = [w](const WCHAR* port, WCHAR* hardwareId, size_t cap) {
    PortListsLock lock(&w->lists);
    const PortEntry* e = FindPort(w->lists.Usb, port);
    if (!e) return false;
    WStrCopy(hardwareId, cap, e->HardwareId);
    return true;
  };
  h.localPortListed = [w](const WCHAR* port) {
    PortListsLock lock(&w->lists);
    return FindPort(w->lists.Local, port) != nullptr;
  };
}

void AppendLog(HWND page, const WCHAR* text) {
  WCHAR line[101];
  WStrCopy(line, 101, text ? text : TEXT(""));  // the log takes at most 100 characters at a time
  HWND log = GetDlgItem(page, IDC_RESULT_LOG);
  const LRESULT end = SendMessageW(log, WM_GETTEXTLENGTH, 0, 0);
  SendMessageW(log, EM_SETSEL, WPARAM(end), LPARAM(end));
  SendMessageW(log, EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(line));
}

// The licence, a UTF-8 text resource, into the agreement page's rich edit.
void ShowLicence(HWND page) {
  HMODULE module = InstallerModule();
  HRSRC res = FindResourceW(module, MAKEINTRESOURCEW(IDR_LICENCE), MAKEINTRESOURCEW(10));  // RT_RCDATA
  if (!res) return;
  HGLOBAL data = LoadResource(module, res);
  const DWORD size = SizeofResource(module, res);
  const char* bytes = data ? static_cast<const char*>(LockResource(data)) : nullptr;
  if (!bytes || size == 0) return;
  std::string text(bytes, size);
  // The rich edit wants CR LF line ends.
  std::string crlf;
  for (char c : text) {
    if (c == '\n' && (crlf.empty() || crlf.back() != '\r')) crlf += '\r';
    crlf += c;
  }
  const int n = MultiByteToWideChar(CP_UTF8, 0, crlf.data(), int(crlf.size()), nullptr, 0);
  WString wide(size_t(n > 0 ? n : 0), WCHAR(0));
  if (n > 0) MultiByteToWideChar(CP_UTF8, 0, crlf.data(), int(crlf.size()), reinterpret_cast<LPWSTR>(wide.data()), n);
  SetDlgItemTextW(page, IDC_AGREEMENT_TEXT, reinterpret_cast<LPCWSTR>(wide.c_str()));
}

}  // namespace

// ---- the work thread ------------------------------------------------------------------------------------

DWORD WINAPI WorkThread(LPVOID param) {
  Wizard* w = static_cast<Wizard*>(param);
  const DWORD mode = w->state.mode;
  w->runFailed = false;
  const DWORD result = Guarded("WorkThread", DWORD(ERROR_NOT_ENOUGH_MEMORY), [w, mode] {
    w->engine.setDefault = w->state.setAsDefault != 0;
    w->engine.deletePort = w->state.deletePort != 0;
    w->engine.removeDriver = w->state.removeDriver != 0;
    w->engine.removePackage = w->state.removePackage != 0;
    if (mode == kModeInstall) {
      DWORD error = ERROR_INVALID_PARAMETER;
      if (w->state.recordCount != 1 || !InstallRun(w->engine, w->state.records[0], &error)) w->runFailed = true;
    } else if (mode == kModeUninstall) {
      if (!UninstallRun(w->engine, w->state.records, w->state.recordCount)) w->runFailed = true;
    }
    return DWORD(ERROR_SUCCESS);
  });
  if (result != ERROR_SUCCESS) {
    // The run broke off: say so, as a failed step would.
    w->runFailed = true;
    const DWORD error = GetLastError() ? GetLastError() : result;
    Guarded("WorkThread", 0, [w, error] {
      LogInstallFailure(w->engine, error);
      return 0;
    });
  }
  PostMessageW(w->state.resultWindow, MSG_WORK_DONE, mode, 0);
  return result;
}

// ---- shared helpers -----------------------------------------------------------------------------------

Wizard* WizardOf(HWND page) { return reinterpret_cast<Wizard*>(GetWindowLongPtrW(page, DWLP_USER)); }

Wizard* AttachWizard(HWND page, LPARAM initParam) {
  auto* psp = reinterpret_cast<PROPSHEETPAGEW*>(initParam);
  Wizard* w = psp ? reinterpret_cast<Wizard*>(psp->lParam) : nullptr;
  SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(w));
  if (w && !w->sheet) w->sheet = GetParent(page);
  return w;
}

void SetButtons(HWND page, DWORD buttons) { SendMessageW(GetParent(page), PSM_SETWIZBUTTONS, 0, LPARAM(buttons)); }

INT_PTR PageResult(HWND page, LONG_PTR result) {
  SetWindowLongPtrW(page, DWLP_MSGRESULT, result);
  return TRUE;
}

INT_PTR PageNotify(HWND page, LPARAM lp, const PageSteps& steps) {
  const UINT code = reinterpret_cast<NMHDR*>(lp)->code;
  if (code == PSN_SETACTIVE && steps.shown) {
    steps.shown();
    return PageResult(page, 0);
  }
  const std::function<LONG_PTR()>* answer = code == PSN_WIZNEXT       ? &steps.next
                                            : code == PSN_WIZBACK     ? &steps.back
                                            : code == PSN_QUERYCANCEL ? &steps.cancel
                                                                      : nullptr;
  return answer && *answer ? PageResult(page, (*answer)()) : FALSE;
}

void AddColumn(HWND list, int index, UINT textId, int width) {
  LVCOLUMNW c{};
  c.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
  c.cx = width;
  c.iSubItem = index;
  c.pszText = const_cast<LPWSTR>(textId ? InstallerString(textId) : TEXT(""));
  SendMessageW(list, LVM_INSERTCOLUMNW, WPARAM(index), reinterpret_cast<LPARAM>(&c));
}

int Ask(HWND owner, UINT textId, UINT captionId, UINT type) {
  WString text = InstallerString(textId), caption = InstallerString(captionId);
  return MessageBoxW(owner, text.c_str(), caption.c_str(), type);
}

void IpAddressFromPortName(const WCHAR* portName, WCHAR (&ip)[20]) {
  ip[0] = 0;
  if (IsDottedIpv4(portName)) WStrCopy(ip, 20, portName);
}

void WaitPumping(HANDLE thread) {
  // The thread may be waiting in SendMessageW for one of this thread's windows.
  while (WaitForSingleObject(thread, 0) == WAIT_TIMEOUT) {
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
    Sleep(0);
  }
}

void SetRecords(WizardState* state, DWORD count) {
  if (state->records) LocalFree(state->records);
  state->records = nullptr;
  state->recordCount = 0;
  if (count == 0) return;
  state->records = static_cast<InstallRecord*>(LocalAlloc(LPTR, sizeof(InstallRecord) * count));
  if (state->records) state->recordCount = count;
}

bool AnyPackagePrinter() {
  DWORD count = 0;
  std::vector<BYTE> buf = LocalPrinterRecords(&count);
  auto* printers = reinterpret_cast<PRINTER_INFO_2W*>(buf.data());
  for (DWORD i = 0; i < count; ++i)
    if (FindModel(printers[i].pDriverName)) return true;
  return false;
}

// ---- program start and end ------------------------------------------------------------------------------

void WizardStart(Wizard* w, const WCHAR* installerDir) {
  InitPortLists(&w->lists);
  StartDiscoverySockets(&w->discovery, &w->lists, ScanAdapters());
  std::memset(&w->state, 0, sizeof w->state);
  w->state.mode = kModeInstall;
  WFormatTo(w->state.infPath, MAX_PATH, TEXT("%wslblv6.inf"), installerDir);
  WStrCopy(w->engine.installerDir, MAX_PATH, installerDir);
  MakeEngineHost(w);
}

INT_PTR WizardRun(Wizard* w) {
  struct PageSpec {
    WORD dialog;
    DLGPROC proc;
    UINT title, subtitle;
  };
  static const PageSpec kPages[kPageCount] = {
      {IDD_AGREEMENT, AgreementPageProc, IDS_AGREEMENT_TITLE, IDS_AGREEMENT_SUBTITLE},
      {IDD_MODE, ModePageProc, IDS_MODE_TITLE, IDS_MODE_SUBTITLE},
      {IDD_INSTALL, InstallPageProc, IDS_INSTALL_TITLE, IDS_INSTALL_SUBTITLE},
      {IDD_UPGRADE, UpgradePageProc, IDS_UPGRADE_TITLE, IDS_UPGRADE_SUBTITLE},
      {IDD_UNINSTALL, UninstallPageProc, IDS_UNINSTALL_TITLE, IDS_UNINSTALL_SUBTITLE},
      {IDD_RESULT, ResultPageProc, IDS_RESULT_TITLE, IDS_RESULT_SUBTITLE},
  };
  HINSTANCE module = InstallerModule();
  PROPSHEETPAGEW pages[kPageCount];
  for (int i = 0; i < kPageCount; ++i) {
    PROPSHEETPAGEW& p = pages[i];
    std::memset(&p, 0, sizeof p);
    p.dwSize = sizeof p;
    p.dwFlags = PSP_USEHEADERTITLE | PSP_USEHEADERSUBTITLE;
    p.hInstance = module;
    p.pszTemplate = MAKEINTRESOURCEW(kPages[i].dialog);
    p.pfnDlgProc = kPages[i].proc;
    p.lParam = reinterpret_cast<LPARAM>(w);
    p.pszHeaderTitle = MAKEINTRESOURCEW(kPages[i].title);
    p.pszHeaderSubTitle = MAKEINTRESOURCEW(kPages[i].subtitle);
  }
  PROPSHEETHEADERW h;
  std::memset(&h, 0, sizeof h);
  h.dwSize = sizeof h;
  h.dwFlags = PSH_WIZARD97 | PSH_HEADER | PSH_STRETCHWATERMARK | PSH_WATERMARK | PSH_USEHICON | PSH_PROPSHEETPAGE;
  h.hInstance = module;
  h.hIcon = LoadIconW(module, MAKEINTRESOURCEW(IDI_LBLINST32));
  h.pszCaption = InstallerString(IDS_WIZARD_TITLE);
  h.nPages = kPageCount;
  h.nStartPage = AnyPackagePrinter() ? kPageMode : kPageInstall;
  h.ppsp = pages;
  HMODULE richEdit = LoadLibraryW(TEXT("riched20.dll"));
  const INT_PTR result = PropertySheetW(&h);
  if (richEdit) FreeLibrary(richEdit);
  w->sheet = nullptr;
  return result;
}

void WizardEnd(Wizard* w) {
  if (w->workThread) {
    WaitPumping(w->workThread);
    CloseHandle(w->workThread);
    w->workThread = nullptr;
  }
  StopDiscovery(&w->discovery, WaitPumping);
  FreePortLists(&w->lists);
  SetRecords(&w->state, 0);
}

int RunInstaller(const WCHAR* installerDir) {
  Wizard* w = new Wizard;
  WizardStart(w, installerDir);
  const INT_PTR result = WizardRun(w);
  WizardEnd(w);
  delete w;
  return result < 0 ? 1 : 0;
}

// ---- agreement page ----------------------------------------------------------------------------------------

static INT_PTR AgreementPage(HWND page, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: {
      Wizard* w = AttachWizard(page, lp);
      CheckRadioButton(page, IDC_ACCEPT, IDC_DISAGREE, IDC_DISAGREE);
      ShowLicence(page);
      if (w) {
        w->state.mode = kModeInstall;
        w->state.noPackagePrinter = AnyPackagePrinter() ? 0 : 1;
      }
      return TRUE;
    }
    case WM_COMMAND:
      SetButtons(page, IsDlgButtonChecked(page, IDC_ACCEPT) == BST_CHECKED ? kButtonsNext : kButtonsNone);
      return TRUE;
    case WM_NOTIFY: {
      Wizard* w = WizardOf(page);
      return PageNotify(page, lp, {.shown = [page] { SetButtons(page, kButtonsNone); },
                                   .next = [w] { return LONG_PTR(w && w->state.noPackagePrinter ? IDD_INSTALL : 0); }});
    }
    default: break;
  }
  (void)wp;
  return FALSE;
}

// ---- mode page ----------------------------------------------------------------------------------------------

static INT_PTR ModePage(HWND page, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_INITDIALOG: {
      Wizard* w = AttachWizard(page, lp);
      const DWORD mode = w ? w->state.mode : DWORD(kModeInstall);
      const int button = mode == kModeUpgrade ? IDC_UPGRADE_MODE : mode == kModeUninstall ? IDC_UNINSTALL_MODE : IDC_INSTALL_MODE;
      CheckDlgButton(page, button, BST_CHECKED);
      return TRUE;
    }
    case WM_COMMAND: {
      Wizard* w = WizardOf(page);
      if (!w) break;
      if (IsDlgButtonChecked(page, IDC_INSTALL_MODE) == BST_CHECKED) w->state.mode = kModeInstall;
      else if (IsDlgButtonChecked(page, IDC_UPGRADE_MODE) == BST_CHECKED) w->state.mode = kModeUpgrade;
      else if (IsDlgButtonChecked(page, IDC_UNINSTALL_MODE) == BST_CHECKED) w->state.mode = kModeUninstall;
      return TRUE;
    }
    case WM_NOTIFY: {
      Wizard* w = WizardOf(page);
      auto next = [w] {
        const DWORD mode = w ? w->state.mode : DWORD(kModeInstall);
        return LONG_PTR(mode == kModeUpgrade ? IDD_UPGRADE : mode == kModeUninstall ? IDD_UNINSTALL : IDD_INSTALL);
      };
      // Back as well: the agreement page is reached only from here.
      return PageNotify(page, lp, {.shown = [page] { SetButtons(page, kButtonsBackNext); }, .next = next});
    }
    default: break;
  }
  (void)wp;
  return FALSE;
}

// ---- result page ---------------------------------------------------------------------------------------------

static INT_PTR ResultPage(HWND page, UINT msg, WPARAM wp, LPARAM lp) {
  Wizard* w = WizardOf(page);
  switch (msg) {
    case WM_INITDIALOG:
      AttachWizard(page, lp);
      return TRUE;
    case MSG_START_WORK: {
      if (!w || w->busy) return TRUE;
      // A run that ended before is joined first; its MSG_WORK_DONE has been handled.
      if (w->workThread) {
        WaitPumping(w->workThread);
        CloseHandle(w->workThread);
        w->workThread = nullptr;
      }
      w->busy = true;
      w->state.resultWindow = page;
      SetDlgItemTextW(page, IDC_RESULT_LOG, TEXT(""));
      if (w->state.mode == kModeInstall) AppendLog(page, InstallerString(IDS_INSTALL_WAIT));
      else if (w->state.mode == kModeUninstall) AppendLog(page, InstallerString(IDS_UNINSTALL_WAIT));
      w->workThread = CreateThread(nullptr, 0, WorkThread, w, 0, nullptr);
      if (!w->workThread) {
        DebugTrace("CreateThread failed, errcode:%d.", GetLastError());
        PostMessageW(page, MSG_WORK_DONE, w->state.mode, 0);
      }
      return TRUE;
    }
    case MSG_APPEND_LOG:
      AppendLog(page, reinterpret_cast<const WCHAR*>(lp));
      return TRUE;
    case MSG_WORK_DONE:
      if (!w) return TRUE;
      w->busy = false;
      if (wp == kModeInstall) AppendLog(page, InstallerString(IDS_INSTALL_COMPLETE));
      else if (wp == kModeUninstall) AppendLog(page, InstallerString(IDS_UNINSTALL_COMPLETE));
      SetButtons(page, kButtonsBackFinish);
      return TRUE;
    case WM_NOTIFY: {
      auto shown = [page] {
        SetButtons(page, kButtonsDisabledFinish);
        PostMessageW(page, MSG_START_WORK, 0, 0);
      };
      auto back = [w] { return LONG_PTR(w && w->state.mode == kModeInstall ? IDD_INSTALL : IDD_UNINSTALL); };
      // The work thread uses the records and the page: no end while it runs.
      auto cancel = [w] { return LONG_PTR(w && w->busy ? TRUE : FALSE); };
      return PageNotify(page, lp, {.shown = shown, .back = back, .cancel = cancel});
    }
    default: break;
  }
  return FALSE;
}

INT_PTR CALLBACK AgreementPageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp) {
  return Guarded("AgreementPageProc", INT_PTR(FALSE), [&] { return AgreementPage(page, msg, wp, lp); });
}

INT_PTR CALLBACK ModePageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp) {
  return Guarded("ModePageProc", INT_PTR(FALSE), [&] { return ModePage(page, msg, wp, lp); });
}

INT_PTR CALLBACK ResultPageProc(HWND page, UINT msg, WPARAM wp, LPARAM lp) {
  return Guarded("ResultPageProc", INT_PTR(FALSE), [&] { return ResultPage(page, msg, wp, lp); });
}
