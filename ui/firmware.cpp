#include "ui/firmware.h"

#include <atomic>
#include <cstring>
#include <string>

#include "common/usbport.h"
#include "common/wstr.h"

namespace {

std::atomic<long> g_transfers{0};

constexpr size_t kPrinterNameChars = 260;
constexpr size_t kMatchNameChars = 100;

struct TransferStart {
  HWND Page;
  HMODULE Module;
  WCHAR PrinterName[kPrinterNameChars];
  WCHAR Path[MAX_PATH];
};

void Post(HWND page, UINT message, int arg) { PostMessageW(page, message, WPARAM(arg), 0); }

// The device path behind the printer's port: "USB" ports through the USB interface list, "COM" ports by name.
bool PrinterDevicePath(HANDLE printer, WCHAR* path) {
  path[0] = 0;
  DWORD needed = 0;
  GetPrinterW(printer, 5, nullptr, 0, &needed);
  if (needed < sizeof(PRINTER_INFO_5W)) return false;
  auto* info = static_cast<PRINTER_INFO_5W*>(LocalAlloc(LPTR, needed));
  if (!info) return false;
  bool found = false;
  if (GetPrinterW(printer, 5, reinterpret_cast<LPBYTE>(info), needed, &needed) && info->pPortName) {
    if (WStrStr(info->pPortName, TEXT("USB")))
      found = FindUsbDevicePath(info->pPortName, path) && path[0];
    else if (WStrStr(info->pPortName, TEXT("COM")))
      found = WStrCopy(path, kDevicePathChars, info->pPortName);
  }
  LocalFree(info);
  return found;
}

DWORD WINAPI TransferThread(LPVOID param) {
  auto* start = static_cast<TransferStart*>(param);
  HMODULE module = start->Module;
  RunFirmwareTransfer(start->Page, start->PrinterName, start->Path);
  LocalFree(start);
  g_transfers.fetch_sub(1);
  // The page and even the module's last other user may be gone by now: the reference taken for this
  // thread keeps the code here until the thread is out of it.
  FreeLibraryAndExitThread(module, 0);
}

}  // namespace

bool ParseFirmwareHeader(const BYTE* data, size_t size, FirmwareFileInfo* out) {
  memset(out, 0, sizeof *out);
  if (!data || size < sizeof(FirmwareHeader)) return false;
  FirmwareHeader h;
  memcpy(&h, data, sizeof h);
  if (h.Tag[0] != 'H' || h.Tag[1] != 'W' || h.Tag[3] != 'V') return false;
  memcpy(out->Version, h.Version, sizeof h.Version);
  memcpy(out->Model, h.Model, sizeof h.Model);
  out->Version[sizeof out->Version - 1] = 0;
  out->Model[sizeof out->Model - 1] = 0;
  out->Checksum = int16_t(uint16_t(h.Checksum[0] | (h.Checksum[1] << 8)));
  return true;
}

FirmwareFileResult ReadFirmwareFile(LPCWSTR path, FirmwareFileInfo* out) {
  memset(out, 0, sizeof *out);
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FirmwareFileResult::OpenFailed;
  BYTE header[sizeof(FirmwareHeader)] = {};
  DWORD got = 0, total = 0;
  while (total < sizeof header && ReadFile(file, header + total, DWORD(sizeof header - total), &got, nullptr) && got)
    total += got;
  CloseHandle(file);
  return ParseFirmwareHeader(header, total, out) ? FirmwareFileResult::Ok : FirmwareFileResult::NoHeader;
}

bool FirmwareMatchesPrinter(const FirmwareFileInfo& info, LPCWSTR printerName) {
  if (!printerName) return false;
  const std::string name = WideToAnsi(printerName, kMatchNameChars);
  return strstr(info.Model, name.c_str()) != nullptr;
}

bool ReadPrinterValue(HANDLE printer, LPCWSTR name, BYTE* buf, DWORD size) {
  memset(buf, 0, size);
  DWORD type = 0, needed = 0;
  return GetPrinterDataW(printer, const_cast<LPWSTR>(name), &type, buf, size, &needed) == ERROR_SUCCESS;
}

int UpdateStateStatus(BYTE state) {
  const int transfer = (state >> 1) & 3;
  if ((state & 1) && transfer != 0) return transfer == 2 ? kFwStatusCheckingCrc : kFwStatusVerifyFailed;
  return kFwStatusReady;
}

void PollPrinter(HANDLE printer, bool wantVersion, bool wantChecksum, FirmwarePoll* out) {
  memset(out, 0, sizeof *out);
  out->Status = -1;
  BYTE reply[kPrinterValueBytes];
  if (ReadPrinterValue(printer, TEXT("twgetcmd1"), reply, sizeof reply) && reply[0] == 8) {
    out->Status = kFwStatusOffline;
    return;
  }
  if (ReadPrinterValue(printer, TEXT("twgetcmd5"), reply, sizeof reply)) out->Status = UpdateStateStatus(reply[0]);
  if (wantVersion && ReadPrinterValue(printer, TEXT("twgetcmd2"), reply, sizeof reply)) {
    char text[13] = {};
    memcpy(text, reply + 5, 12);
    WString wide = AnsiToWide(text, 12);
    WStrCopy(out->Version, 13, wide.c_str());
    out->HaveVersion = true;
  }
  if (wantChecksum && ReadPrinterValue(printer, TEXT("twgetcmd7"), reply, sizeof reply)) {
    out->Checksum = int16_t(uint16_t(reply[0] | (reply[1] << 8)));
    out->HaveChecksum = true;
  }
}

BOOL SetUpdateMode(HANDLE printer, bool on) {
  BYTE reply[kUpdateModeValueBytes];
  if (!ReadPrinterValue(printer, on ? TEXT("twsetcmd3") : TEXT("twsetcmd4"), reply, sizeof reply)) return FALSE;
  Sleep(kUpdateModeWaitMs);
  const BYTE wanted = on ? 1 : 0;
  for (int i = 0; i < kUpdateModePolls; ++i) {
    if (ReadPrinterValue(printer, TEXT("twgetcmd5"), reply, sizeof reply) && (reply[0] & 1) == wanted) return TRUE;
    Sleep(kUpdateModePollMs);
  }
  // A printer still in the old mode after ten reads did not switch, whatever its last reply said.
  return FALSE;
}

int RunFirmwareTransfer(HWND page, LPCWSTR printerName, LPCWSTR path) {
  Post(page, MSG_FW_STARTED, kFwStatusReady);
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    Post(page, MSG_FW_FAILED, kFwStatusOpenFailed);
    return kFwStatusOpenFailed;
  }
  HANDLE printer = nullptr;
  WCHAR devicePath[kDevicePathChars] = {};
  HANDLE device = INVALID_HANDLE_VALUE;
  if (OpenPrinterW(const_cast<LPWSTR>(printerName), &printer, nullptr) && PrinterDevicePath(printer, devicePath))
    device = CreateFileW(devicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  int result = kFwStatusReady;
  if (device == INVALID_HANDLE_VALUE) {
    result = kFwStatusOpenFailed;
  } else if (!SetUpdateMode(printer, true)) {
    result = kFwStatusSwitchFailed;
  } else {
    DWORD high = 0;
    const DWORD low = GetFileSize(file, &high);
    const uint64_t total = (uint64_t(high) << 32) | low;
    uint64_t sent = 0;
    BYTE chunk[kFirmwareChunkBytes];
    DWORD got = 0;
    while (ReadFile(file, chunk, sizeof chunk, &got, nullptr) && got) {
      DWORD written = 0;
      if (!WriteFile(device, chunk, got, &written, nullptr) || written != got) {
        result = kFwStatusSendFailed;
        break;
      }
      sent += got;
      Post(page, MSG_FW_PROGRESS, int(total ? sent * 100 / total : 100));
    }
    if (result == kFwStatusReady && sent != total) result = kFwStatusSendFailed;
    if (result == kFwStatusReady && !SetUpdateMode(printer, false)) result = kFwStatusSwitchFailed;
  }
  if (result == kFwStatusReady) Post(page, MSG_FW_DONE, kFwStatusReady);
  else Post(page, MSG_FW_FAILED, result);
  if (device != INVALID_HANDLE_VALUE) CloseHandle(device);
  if (printer) ClosePrinter(printer);
  CloseHandle(file);
  return result;
}

BOOL StartFirmwareTransfer(HWND page, LPCWSTR printerName, LPCWSTR path) {
  if (!printerName || !path) return FALSE;
  auto* start = static_cast<TransferStart*>(LocalAlloc(LPTR, sizeof(TransferStart)));
  if (!start) return FALSE;
  start->Page = page;
  if (!WStrCopy(start->PrinterName, kPrinterNameChars, printerName) || !WStrCopy(start->Path, MAX_PATH, path) ||
      !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&TransferThread),
                          &start->Module)) {
    LocalFree(start);
    return FALSE;
  }
  g_transfers.fetch_add(1);
  HANDLE thread = CreateThread(nullptr, 0, TransferThread, start, 0, nullptr);
  if (!thread) {
    g_transfers.fetch_sub(1);
    FreeLibrary(start->Module);
    LocalFree(start);
    return FALSE;
  }
  CloseHandle(thread);
  return TRUE;
}

long FirmwareTransfersRunning() { return g_transfers.load(); }
