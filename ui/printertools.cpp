#include "ui/printertools.h"

#include <cstring>

#include <commctrl.h>
#include <commdlg.h>
#include <prsht.h>

#include "common/wstr.h"
#include "ui/firmware.h"
#include "ui/module.h"
#include "ui/sheets.h"

namespace {

constexpr int kFirmwareControls[] = {kToolsFirmwareVersion, kToolsFirmwareCrc, kToolsUpdateFile, kToolsBrowseFirmware,
                                     kToolsFileModel, kToolsFileVersion, kToolsFileCrc, kToolsUpdate, kToolsProgress};

// The page's own state, in DWLP_USER.
struct ToolsPage {
  PrinterContext* Ctx;
  bool Ready;    // the posted start command has arrived
  bool Twl;
  bool Polling;  // the poll timer runs
  bool Transferring;  // from Update until the transfer thread's last message
  bool HoldFailure;   // a failed transfer's status stays until the printer reports more than "ready"
  FirmwareFileInfo Chosen;  // the firmware file as it was when chosen
};

ToolsPage* StateOf(HWND page) { return reinterpret_cast<ToolsPage*>(GetWindowLongPtrW(page, DWLP_USER)); }

bool HasPrtExtension(const WCHAR* name) {
  const size_t n = WStrLen(name);
  return n >= 4 && WStrEqNoCase(name + n - 4, TEXT(".prt"));
}

void SetStatus(HWND page, int status) {
  WCHAR text[256];
  if (FirmwareStatusText(status, text, 256)) SetDlgItemTextW(page, kToolsStatus, text);
}

int ShowMessage(HWND page, UINT textId, UINT type, const WCHAR* detail = nullptr) {
  WCHAR text[512], caption[64];
  const int n = LoadUiString(textId, text, 512);
  if (detail) WFormatTo(text + n, size_t(512 - n), TEXT("\r\n\r\n%ws"), detail);
  LoadUiString(IDS_INFORMATION, caption, 64);
  return MessageBoxW(page, text, caption, type);
}

void StartPolling(HWND page, ToolsPage* s) {
  if (s->Twl && s->Ctx->Printer && SetTimer(page, kToolsPollTimer, kToolsPollMs, nullptr)) s->Polling = true;
}

void StopPolling(HWND page, ToolsPage* s) {
  if (s->Polling) KillTimer(page, kToolsPollTimer);
  s->Polling = false;
}

void FillCaptureList(HWND page, ToolsPage* s) {
  SendDlgItemMessageW(page, kToolsCaptureList, LB_RESETCONTENT, 0, 0);
  for (const WString& name : CaptureFiles(s->Ctx->Prop.LogFolder))
    SendDlgItemMessageW(page, kToolsCaptureList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
}

// The selected list entry's name; false when nothing is selected.
bool SelectedCapture(HWND page, WCHAR* name, size_t cap) {
  const LRESULT sel = SendDlgItemMessageW(page, kToolsCaptureList, LB_GETCURSEL, 0, 0);
  if (sel == LB_ERR) return false;
  const LRESULT len = SendDlgItemMessageW(page, kToolsCaptureList, LB_GETTEXTLEN, WPARAM(sel), 0);
  if (len == LB_ERR || size_t(len) >= cap) return false;
  SendDlgItemMessageW(page, kToolsCaptureList, LB_GETTEXT, WPARAM(sel), reinterpret_cast<LPARAM>(name));
  return true;
}

DWORD CheckedFlags(HWND page, DWORD flags) {
  flags &= ~(kPropCaptureCode | kPropLockSettings);
  if (IsDlgButtonChecked(page, kToolsRecordCode) == BST_CHECKED) flags |= kPropCaptureCode;
  if (IsDlgButtonChecked(page, kToolsLockSettings) == BST_CHECKED) flags |= kPropLockSettings;
  return flags;
}

void TrackChange(HWND page, ToolsPage* s) {
  WCHAR folder[kLogFolderChars] = {};
  GetDlgItemTextW(page, kToolsFolder, folder, kLogFolderChars);
  const bool same = CheckedFlags(page, s->Ctx->Prop.Flags) == s->Ctx->Prop.Flags && WStrEq(folder, s->Ctx->Prop.LogFolder);
  SendMessageW(GetParent(page), same ? PSM_UNCHANGED : PSM_CHANGED, reinterpret_cast<WPARAM>(page), 0);
}

// The system's text for `error`, else its number.
void SystemMessage(DWORD error, WCHAR* text, DWORD cap) {
  if (!FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text, cap, nullptr))
    WFormatTo(text, cap, TEXT("%lu"), error);
}

// Writes the page's values; false when the printer did not take them all (the user has been told why,
// and the page stays changed, as the context keeps what is stored).
bool Apply(HWND page, ToolsPage* s) {
  PrinterPropData& prop = s->Ctx->Prop;
  DWORD flags = CheckedFlags(page, prop.Flags);
  WCHAR folder[kLogFolderChars] = {};
  GetDlgItemTextW(page, kToolsFolder, folder, kLogFolderChars);
  HANDLE writer = OpenPrinterForWrite(s->Ctx);
  HANDLE printer = writer ? writer : s->Ctx->Printer;
  DWORD error = SetPrinterDataW(printer, const_cast<LPWSTR>(LBL_VALUE_PPDATAFLAGS), REG_DWORD,
                                reinterpret_cast<LPBYTE>(&flags), sizeof flags);
  if (error == ERROR_SUCCESS) prop.Flags = flags;
  const DWORD folderError = SetPrinterDataW(printer, const_cast<LPWSTR>(LBL_VALUE_LOGFOLDER), REG_SZ,
                                            reinterpret_cast<LPBYTE>(folder), sizeof folder);
  if (folderError == ERROR_SUCCESS) memcpy(prop.LogFolder, folder, sizeof prop.LogFolder);
  else if (error == ERROR_SUCCESS) error = folderError;
  if (writer) ClosePrinter(writer);
  if (error != ERROR_SUCCESS) {
    WCHAR reason[256];
    SystemMessage(error, reason, 256);
    ShowMessage(page, IDS_TOOLS_SAVE_FAILED, MB_OK | MB_ICONERROR, reason);
    SendMessageW(GetParent(page), PSM_CHANGED, reinterpret_cast<WPARAM>(page), 0);
    return false;
  }
  SendMessageW(GetParent(page), PSM_UNCHANGED, reinterpret_cast<WPARAM>(page), 0);
  return true;
}

void BrowseFolder(HWND page) {
  BROWSEINFOW info{};
  info.hwndOwner = page;
  LPITEMIDLIST list = SHBrowseForFolderW(&info);
  if (!list) return;
  WCHAR path[MAX_PATH] = {};
  if (SHGetPathFromIDListW(list, path)) SetDlgItemTextW(page, kToolsFolder, path);
  CoTaskMemFree(list);
}

void ViewCapture(HWND page, ToolsPage* s) {
  WCHAR name[MAX_PATH], windows[MAX_PATH];
  if (!SelectedCapture(page, name, MAX_PATH) || !GetWindowsDirectoryW(windows, MAX_PATH)) return;
  WCHAR command[3 * MAX_PATH];
  if (WFormatTo(command, 3 * MAX_PATH, TEXT("%ws\\notepad.exe \"%ws\\%ws\""), windows, s->Ctx->Prop.LogFolder, name) < 0)
    return;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, command, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process)) return;
  // Notepad runs on its own: waiting for it here would freeze the sheet for as long as it is open.
  CloseHandle(process.hProcess);
  if (process.hThread) CloseHandle(process.hThread);
}

void SendCapture(HWND page, ToolsPage* s) {
  WCHAR name[MAX_PATH], path[MAX_PATH];
  if (!SelectedCapture(page, name, MAX_PATH) || !CapturePath(s->Ctx->Prop.LogFolder, name, path)) return;
  SendFileRaw(page, s->Ctx->PrinterName, path);
}

void DeleteCapture(HWND page, ToolsPage* s) {
  WCHAR name[MAX_PATH], path[MAX_PATH];
  if (SelectedCapture(page, name, MAX_PATH) && CapturePath(s->Ctx->Prop.LogFolder, name, path)) DeleteFileW(path);
  FillCaptureList(page, s);
}

void EmptyFileFields(HWND page) {
  for (int id : {kToolsFileVersion, kToolsFileCrc, kToolsFileModel}) SetDlgItemTextW(page, id, TEXT(""));
}

void ChooseFirmware(HWND page, ToolsPage* s) {
  WCHAR path[MAX_PATH] = {};
  OPENFILENAMEW ofn{};
  ofn.lStructSize = sizeof ofn;
  ofn.hwndOwner = page;
  ofn.lpstrFilter = TEXT("All(*.*)\0*.*\0");
  ofn.lpstrFile = path;
  ofn.nMaxFile = MAX_PATH;
  ofn.Flags = OFN_PATHMUSTEXIST | OFN_FILEMUSTEXIST;
  if (!GetOpenFileNameW(&ofn)) return;
  SetDlgItemTextW(page, kToolsUpdateFile, path);
  // Every choice decides the button afresh: a failed one leaves nothing to send.
  EnableWindow(GetDlgItem(page, kToolsUpdate), FALSE);
  FirmwareFileInfo info;
  switch (ReadFirmwareFile(path, &info)) {
    case FirmwareFileResult::OpenFailed:
      EmptyFileFields(page);
      MessageBoxW(page, TEXT("Open file failed."), TEXT("Error"), MB_OK);
      return;
    case FirmwareFileResult::NotFirmware: EmptyFileFields(page); return;
    case FirmwareFileResult::Ok: break;
  }
  s->Chosen = info;
  SetDlgItemTextW(page, kToolsFileVersion, AnsiToWide(info.Version).c_str());
  WCHAR crc[16];
  WFormatTo(crc, 16, TEXT("0x%2x"), unsigned(uint16_t(info.Checksum)));
  SetDlgItemTextW(page, kToolsFileCrc, crc);
  SetDlgItemTextW(page, kToolsFileModel, AnsiToWide(info.Model).c_str());
  bool enable = FirmwareMatchesPrinter(info, s->Ctx->PrinterName);
  if (!enable) {
    WCHAR question[256], caption[64];
    LoadUiString(IDS_FW_STATUS_MODEL_MISMATCH, question, 256);
    LoadUiString(IDS_INFORMATION, caption, 64);
    enable = MessageBoxW(page, question, caption, MB_YESNO) == IDYES;
  }
  EnableWindow(GetDlgItem(page, kToolsUpdate), enable);
}

void EnableFirmwareButtons(HWND page, bool enable) {
  EnableWindow(GetDlgItem(page, kToolsUpdate), enable);
  EnableWindow(GetDlgItem(page, kToolsBrowseFirmware), enable);
}

// Update: the file is read whole once more and must still be the one chosen; exactly those bytes go.
void StartUpdate(HWND page, ToolsPage* s) {
  if (s->Transferring) return;
  WCHAR path[MAX_PATH] = {};
  GetDlgItemTextW(page, kToolsUpdateFile, path, MAX_PATH);
  FirmwareImage image;
  switch (LoadFirmwareFile(path, &s->Chosen, &image)) {
    case FirmwareLoad::OpenFailed: SetStatus(page, kFwStatusOpenFailed); return;
    case FirmwareLoad::NotFirmware:
    case FirmwareLoad::Changed:
      EnableWindow(GetDlgItem(page, kToolsUpdate), FALSE);
      ShowMessage(page, IDS_FW_FILE_CHANGED, MB_OK | MB_ICONWARNING);
      return;
    case FirmwareLoad::Ok: break;
  }
  // Off before the thread exists: neither a second click nor another file can follow this one.
  EnableFirmwareButtons(page, false);
  StopPolling(page, s);
  s->Transferring = true;
  s->HoldFailure = false;
  const FirmwareStart started = StartFirmwareTransfer(page, s->Ctx->PrinterName, &image);
  if (started == FirmwareStart::Started) return;
  s->Transferring = false;
  EnableFirmwareButtons(page, true);
  StartPolling(page, s);
  if (started == FirmwareStart::Busy) ShowMessage(page, IDS_FW_BUSY, MB_OK | MB_ICONWARNING);
  else SetStatus(page, kFwStatusOpenFailed);
}

// PSN_QUERYCANCEL and PSN_KILLACTIVE: the sheet may not close, nor the page be left, while the
// printer is taking its firmware. TRUE refuses.
BOOL RefuseDuringTransfer(HWND page, ToolsPage* s) {
  if (!s->Transferring) return FALSE;
  ShowMessage(page, IDS_FW_DO_NOT_CLOSE, MB_OK | MB_ICONWARNING);
  return TRUE;
}

void Poll(HWND page, ToolsPage* s) {
  if (!s->Ctx->Printer) return;
  const bool wantVersion = GetWindowTextLengthW(GetDlgItem(page, kToolsFirmwareVersion)) == 0;
  const bool wantChecksum = GetWindowTextLengthW(GetDlgItem(page, kToolsFirmwareCrc)) == 0;
  FirmwarePoll poll;
  PollPrinter(s->Ctx->Printer, wantVersion, wantChecksum, &poll);
  // After a failed transfer "ready" says nothing new; the printer's own verdict (a failed check, a
  // check still running, offline) replaces the failure text.
  if (poll.Status >= 0 && !(s->HoldFailure && poll.Status == kFwStatusReady)) {
    SetStatus(page, poll.Status);
    s->HoldFailure = false;
  }
  if (poll.Status == kFwStatusOffline) return;
  if (poll.HaveVersion) SetDlgItemTextW(page, kToolsFirmwareVersion, poll.Version);
  if (poll.HaveChecksum && poll.Checksum != 0) {
    WCHAR crc[16];
    WFormatTo(crc, 16, TEXT("0x%02x"), unsigned(uint16_t(poll.Checksum)));
    SetDlgItemTextW(page, kToolsFirmwareCrc, crc);
  }
}

BOOL InitPage(HWND page, LPARAM lParam) {
  PrinterContext* ctx = SheetPageContext(lParam);
  auto* s = static_cast<ToolsPage*>(LocalAlloc(LPTR, sizeof(ToolsPage)));
  if (!ctx || !s) {
    if (s) LocalFree(s);
    return TRUE;
  }
  s->Ctx = ctx;
  SetWindowLongPtrW(page, DWLP_USER, reinterpret_cast<LONG_PTR>(s));

  ReadPropData(ctx->Printer, &ctx->Prop);
  CheckDlgButton(page, kToolsRecordCode, (ctx->Prop.Flags & kPropCaptureCode) ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(page, kToolsLockSettings, (ctx->Prop.Flags & kPropLockSettings) ? BST_CHECKED : BST_UNCHECKED);
  DefaultLogFolder(&ctx->Prop, ctx->PrinterName);
  // The stored value holds this many characters: more typed would be cut short at apply.
  SendDlgItemMessageW(page, kToolsFolder, EM_LIMITTEXT, WPARAM(kLogFolderChars - 1), 0);
  SetDlgItemTextW(page, kToolsFolder, ctx->Prop.LogFolder);
  FillCaptureList(page, s);

  s->Twl = ctx->Settings.PrintLanguage == kLangTwl;
  const int show = s->Twl ? SW_SHOW : SW_HIDE;
  for (int id = kToolsFirmwareFrameFirst; id <= kToolsFirmwareFrameLast; ++id) ShowWindow(GetDlgItem(page, id), show);
  for (int id : kFirmwareControls) ShowWindow(GetDlgItem(page, id), show);
  EnableWindow(GetDlgItem(page, kToolsUpdate), FALSE);
  SendDlgItemMessageW(page, kToolsProgress, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
  StartPolling(page, s);
  PostMessageW(page, WM_COMMAND, MAKEWPARAM(0, kToolsReadyCode), 0);
  return TRUE;
}

void Command(HWND page, ToolsPage* s, WPARAM wParam) {
  if (!s->Ready) {
    if (HIWORD(wParam) == kToolsReadyCode) s->Ready = true;
    return;
  }
  if (HIWORD(wParam) != 0) return;
  switch (LOWORD(wParam)) {
    case kToolsRecordCode:
    case kToolsLockSettings: TrackChange(page, s); break;
    case kToolsBrowseFolder: BrowseFolder(page); break;
    case kToolsView: ViewCapture(page, s); break;
    case kToolsSend: SendCapture(page, s); break;
    case kToolsDelete: DeleteCapture(page, s); break;
    case kToolsDeleteAll:
      DeleteCaptureFiles(s->Ctx->Prop.LogFolder);
      FillCaptureList(page, s);
      break;
    case kToolsBrowseFirmware: ChooseFirmware(page, s); break;
    case kToolsUpdate: StartUpdate(page, s); break;
    default: break;
  }
}

}  // namespace

bool CapturePath(LPCWSTR folder, LPCWSTR name, WCHAR* path) {
  return folder && name && WFormatTo(path, MAX_PATH, TEXT("%ws\\%ws"), folder, name) >= 0;
}

std::vector<WString> CaptureFiles(LPCWSTR folder) {
  std::vector<WString> names;
  WCHAR pattern[MAX_PATH], path[MAX_PATH];
  if (!folder || WFormatTo(pattern, MAX_PATH, TEXT("%ws\\*.prt"), folder) < 0) return names;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(pattern, &found);
  if (find == INVALID_HANDLE_VALUE) return names;
  do {
    // The pattern also matches longer extensions ("a.prtx" through its short name): keep ".prt" only.
    if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && HasPrtExtension(found.cFileName) &&
        CapturePath(folder, found.cFileName, path))
      names.emplace_back(found.cFileName);
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return names;
}

int DeleteCaptureFiles(LPCWSTR folder) {
  int deleted = 0;
  WCHAR path[MAX_PATH];
  for (const WString& name : CaptureFiles(folder))
    if (CapturePath(folder, name.c_str(), path) && DeleteFileW(path)) ++deleted;
  return deleted;
}

UINT SendFileRawResult(LPCWSTR printerName, LPCWSTR path) {
  HANDLE printer = nullptr;
  if (!printerName || !path || !OpenPrinterW(const_cast<LPWSTR>(printerName), &printer, nullptr))
    return IDS_TOOLS_SEND_FAILED;
  DOC_INFO_1W doc{const_cast<LPWSTR>(path), nullptr, const_cast<LPWSTR>(TEXT("RAW"))};
  const DWORD job = StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&doc));
  auto* buffer = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, kRawBufferBytes));
  HANDLE file = CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool ok = job != 0 && buffer && file != INVALID_HANDLE_VALUE;
  if (ok) {
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(file, buffer, kRawChunkBytes, &got, nullptr)) {
        ok = false;
        break;
      }
      if (got == 0) break;
      if (!StartPagePrinter(printer)) {
        ok = false;
        break;
      }
      DWORD written = 0;
      if (!WritePrinter(printer, buffer, got, &written) || written != got) ok = false;
      if (!EndPagePrinter(printer)) ok = false;
      if (!ok) break;
    }
  }
  if (buffer) LocalFree(buffer);
  if (job && !EndDocPrinter(printer)) ok = false;
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  ClosePrinter(printer);
  return ok ? IDS_TOOLS_SENT : IDS_TOOLS_SEND_FAILED;
}

UINT SendFileRaw(HWND page, LPCWSTR printerName, LPCWSTR path) {
  const UINT message = SendFileRawResult(printerName, path);
  WCHAR text[256], caption[64];
  LoadUiString(message, text, 256);
  LoadUiString(IDS_INFORMATION, caption, 64);
  MessageBoxW(page, text, caption, MB_OK);
  return message;
}

bool FirmwareStatusText(int status, WCHAR* buf, int cap) {
  if (status < 0 || status > kFwStatusLast) return false;
  return LoadUiString(UINT(IDS_FW_STATUS_READY + status), buf, cap) > 0;
}

INT_PTR CALLBACK PrinterToolsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) return InitPage(page, lParam);
  ToolsPage* s = StateOf(page);
  if (!s) return FALSE;
  switch (message) {
    case WM_COMMAND: Command(page, s, wParam); return TRUE;
    case WM_TIMER:
      if (wParam == kToolsPollTimer && s->Polling) Poll(page, s);
      return TRUE;
    case WM_NOTIFY: {
      const auto* nm = reinterpret_cast<const NMHDR*>(lParam);
      if (!nm) return FALSE;
      if (nm->code == UINT(PSN_APPLY)) {
        SetWindowLongPtrW(page, DWLP_MSGRESULT, Apply(page, s) ? PSNRET_NOERROR : PSNRET_INVALID_NOCHANGEPAGE);
        return TRUE;
      }
      if (nm->code == UINT(PSN_QUERYCANCEL) || nm->code == UINT(PSN_KILLACTIVE)) {
        SetWindowLongPtrW(page, DWLP_MSGRESULT, RefuseDuringTransfer(page, s));
        return TRUE;
      }
      if (nm->code == UINT(PSN_SETACTIVE)) {
        FillCaptureList(page, s);
        SetWindowLongPtrW(page, DWLP_MSGRESULT, 0);
        return TRUE;
      }
      return FALSE;
    }
    case MSG_FW_STARTED:
      EnableFirmwareButtons(page, false);
      SetStatus(page, int(wParam));
      StopPolling(page, s);
      return TRUE;
    case MSG_FW_PROGRESS: {
      SendDlgItemMessageW(page, kToolsProgress, PBM_SETPOS, wParam, 0);
      WCHAR format[128], text[160];
      LoadUiString(IDS_FW_PROGRESS, format, 128);
      WFormatTo(text, 160, format, int(wParam));
      SetDlgItemTextW(page, kToolsStatus, text);
      return TRUE;
    }
    case MSG_FW_DONE:
      s->Transferring = false;
      EnableFirmwareButtons(page, true);
      SetDlgItemTextW(page, kToolsFirmwareVersion, TEXT(""));
      SetDlgItemTextW(page, kToolsFirmwareCrc, TEXT(""));
      SetStatus(page, int(wParam));
      StartPolling(page, s);
      return TRUE;
    case MSG_FW_FAILED:
      // Polling goes on, so that what the printer itself says about the failure shows.
      s->Transferring = false;
      EnableFirmwareButtons(page, true);
      SetStatus(page, int(wParam));
      s->HoldFailure = true;
      StartPolling(page, s);
      return TRUE;
    case WM_DESTROY:
      StopPolling(page, s);
      SetWindowLongPtrW(page, DWLP_USER, 0);
      LocalFree(s);
      return FALSE;
    default: return FALSE;
  }
}
