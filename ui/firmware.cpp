#include "ui/firmware.h"

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <vector>

#include "common/usbport.h"
#include "common/wstr.h"
#include "ui/guard.h"

namespace {

std::atomic<long> g_transfers{0};

constexpr size_t kPrinterNameChars = 260;
constexpr size_t kMatchNameChars = 100;

// The printers with a transfer running in this process, by the device their port leads to (two queues
// on one port are one printer), else by name; compared ignoring case, as the spooler compares names. A
// firmware file sent twice at once is mixed on the wire and can leave a printer that does not check it
// unable to start.
std::mutex g_busyLock;
std::vector<WString> g_busyPrinters;

bool ClaimPrinter(LPCWSTR name) {
  std::lock_guard<std::mutex> lock(g_busyLock);
  for (const WString& busy : g_busyPrinters)
    if (WStrEqNoCase(busy.c_str(), name)) return false;
  g_busyPrinters.emplace_back(name);
  return true;
}

void ReleasePrinter(LPCWSTR name) noexcept {
  std::lock_guard<std::mutex> lock(g_busyLock);
  for (auto it = g_busyPrinters.begin(); it != g_busyPrinters.end(); ++it)
    if (WStrEqNoCase(it->c_str(), name)) {
      g_busyPrinters.erase(it);
      return;
    }
}

struct TransferStart {
  HWND Page;
  HMODULE Module;
  WCHAR PrinterName[kPrinterNameChars];
  WCHAR Claimed[kPrinterNameChars > kDevicePathChars ? kPrinterNameChars : kDevicePathChars];
  FirmwareImage Image;
};

void Post(HWND page, UINT message, int arg) { PostMessageW(page, message, WPARAM(arg), 0); }

// Handles of one transfer, closed however it ends.
struct TransferHandles {
  HANDLE Printer = nullptr;
  HANDLE Device = INVALID_HANDLE_VALUE;
  ~TransferHandles() {
    if (Device != INVALID_HANDLE_VALUE) CloseHandle(Device);
    if (Printer) ClosePrinter(Printer);
  }
};

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

// What a transfer to the printer claims: the device behind its port, else its name.
WString TransferKey(LPCWSTR printerName) {
  HANDLE printer = nullptr;
  WCHAR path[kDevicePathChars] = {};
  if (OpenPrinterW(const_cast<LPWSTR>(printerName), &printer, nullptr)) {
    const bool found = PrinterDevicePath(printer, path);
    ClosePrinter(printer);
    if (found) return WString(path);
  }
  return WString(printerName);
}

DWORD WINAPI TransferThread(LPVOID param) {
  auto* start = static_cast<TransferStart*>(param);
  HMODULE module = start->Module;
  const int result = Guarded("firmware transfer", kFwStatusSendFailed, [start] {
    return RunFirmwareTransfer(start->Page, start->PrinterName, start->Image.Data, start->Image.Size);
  });
  // The printer is free before the page hears the end, so that its next Update is not refused.
  ReleasePrinter(start->Claimed);
  Post(start->Page, result == kFwStatusReady ? MSG_FW_DONE : MSG_FW_FAILED, result);
  FreeFirmwareImage(&start->Image);
  LocalFree(start);
  g_transfers.fetch_sub(1);
  // The page and even the module's last other user may be gone by now: the reference taken for this
  // thread keeps the code here until the thread is out of it.
  FreeLibraryAndExitThread(module, 0);
}

// The file's size and its first 91 bytes (fewer when it is shorter).
bool ReadHeaderAndSize(HANDLE file, BYTE* header, DWORD* got, uint64_t* size) {
  DWORD high = 0;
  const DWORD low = GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  *size = (uint64_t(high) << 32) | low;
  DWORD n = 0;
  *got = 0;
  while (*got < sizeof(FirmwareHeader) && ReadFile(file, header + *got, DWORD(sizeof(FirmwareHeader) - *got), &n, nullptr) && n)
    *got += n;
  return true;
}

bool IsFirmware(const BYTE* header, DWORD got, uint64_t size, FirmwareFileInfo* info) {
  if (!ParseFirmwareHeader(header, got, info)) return false;
  info->Size = size;
  return size > sizeof(FirmwareHeader) && size <= kFirmwareMaxBytes;
}

bool SameHeader(const FirmwareFileInfo& a, const FirmwareFileInfo& b) {
  return memcmp(a.Version, b.Version, sizeof a.Version) == 0 && memcmp(a.Model, b.Model, sizeof a.Model) == 0 &&
         a.Checksum == b.Checksum;
}

// Opens the file and reads its header and size into `info`; the file stays open (in *file) unless the
// open failed.
FirmwareFileResult OpenFirmwareFile(LPCWSTR path, FirmwareFileInfo* info, HANDLE* file) {
  memset(info, 0, sizeof *info);
  *file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (*file == INVALID_HANDLE_VALUE) return FirmwareFileResult::OpenFailed;
  BYTE header[sizeof(FirmwareHeader)] = {};
  DWORD got = 0;
  uint64_t size = 0;
  if (!ReadHeaderAndSize(*file, header, &got, &size)) {
    CloseHandle(*file);
    *file = INVALID_HANDLE_VALUE;
    return FirmwareFileResult::OpenFailed;
  }
  return IsFirmware(header, got, size, info) ? FirmwareFileResult::Ok : FirmwareFileResult::NotFirmware;
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
  HANDLE file = INVALID_HANDLE_VALUE;
  const FirmwareFileResult result = OpenFirmwareFile(path, out, &file);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return result;
}

FirmwareLoad LoadFirmwareFile(LPCWSTR path, const FirmwareFileInfo* expected, FirmwareImage* out) {
  memset(out, 0, sizeof *out);
  HANDLE file = INVALID_HANDLE_VALUE;
  FirmwareLoad result = FirmwareLoad::Ok;
  const uint64_t& size = out->Info.Size;
  switch (OpenFirmwareFile(path, &out->Info, &file)) {
    case FirmwareFileResult::OpenFailed: return FirmwareLoad::OpenFailed;
    case FirmwareFileResult::NotFirmware: result = FirmwareLoad::NotFirmware; break;
    case FirmwareFileResult::Ok:
      if (expected && (!SameHeader(*expected, out->Info) || expected->Size != size))
        result = FirmwareLoad::Changed;
      else if ((out->Data = static_cast<BYTE*>(LocalAlloc(LMEM_FIXED, size_t(size)))) == nullptr)
        result = FirmwareLoad::OpenFailed;
      break;
  }
  if (result == FirmwareLoad::Ok) {
    // The header is read again with the rest: these bytes, and only these, are what the printer gets.
    out->Size = DWORD(size);
    DWORD total = 0, n = 0;
    SetFilePointer(file, 0, nullptr, FILE_BEGIN);
    while (total < out->Size && ReadFile(file, out->Data + total, out->Size - total, &n, nullptr) && n) total += n;
    FirmwareFileInfo again;
    if (total != out->Size || !ParseFirmwareHeader(out->Data, total, &again) || !SameHeader(again, out->Info))
      result = FirmwareLoad::Changed;
  }
  CloseHandle(file);
  if (result != FirmwareLoad::Ok) FreeFirmwareImage(out);
  return result;
}

void FreeFirmwareImage(FirmwareImage* image) {
  if (image->Data) LocalFree(image->Data);
  image->Data = nullptr;
  image->Size = 0;
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

int RunFirmwareTransfer(HWND page, LPCWSTR printerName, const BYTE* data, DWORD size) {
  Post(page, MSG_FW_STARTED, kFwStatusReady);
  TransferHandles h;
  WCHAR devicePath[kDevicePathChars] = {};
  if (OpenPrinterW(const_cast<LPWSTR>(printerName), &h.Printer, nullptr) && PrinterDevicePath(h.Printer, devicePath))
    h.Device = CreateFileW(devicePath, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h.Device == INVALID_HANDLE_VALUE) return kFwStatusOpenFailed;
  if (!SetUpdateMode(h.Printer, true)) return kFwStatusSwitchFailed;
  for (DWORD sent = 0; sent < size;) {
    const DWORD piece = size - sent < kFirmwareChunkBytes ? size - sent : kFirmwareChunkBytes;
    DWORD written = 0;
    // The printer is left in update mode: it waits there for a complete file.
    if (!WriteFile(h.Device, data + sent, piece, &written, nullptr) || written != piece) return kFwStatusSendFailed;
    sent += piece;
    Post(page, MSG_FW_PROGRESS, int(uint64_t(sent) * 100 / size));
  }
  return SetUpdateMode(h.Printer, false) ? kFwStatusReady : kFwStatusSwitchFailed;
}

FirmwareStart StartFirmwareTransfer(HWND page, LPCWSTR printerName, FirmwareImage* image) {
  FirmwareImage owned = *image;
  image->Data = nullptr;
  image->Size = 0;
  if (!printerName || !owned.Data) {
    FreeFirmwareImage(&owned);
    return FirmwareStart::Failed;
  }
  bool claimed = false;
  WString key;
  try {
    key = TransferKey(printerName);
    claimed = ClaimPrinter(key.c_str());
  } catch (...) {
    FreeFirmwareImage(&owned);
    throw;
  }
  if (!claimed) {
    FreeFirmwareImage(&owned);
    return FirmwareStart::Busy;
  }
  auto* start = static_cast<TransferStart*>(LocalAlloc(LPTR, sizeof(TransferStart)));
  if (!start || !WStrCopy(start->PrinterName, kPrinterNameChars, printerName) ||
      !WStrCopy(start->Claimed, sizeof start->Claimed / sizeof(WCHAR), key.c_str()) ||
      !GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS, reinterpret_cast<LPCWSTR>(&TransferThread),
                          &start->Module)) {
    ReleasePrinter(key.c_str());
    FreeFirmwareImage(&owned);
    if (start) LocalFree(start);
    return FirmwareStart::Failed;
  }
  start->Page = page;
  start->Image = owned;
  g_transfers.fetch_add(1);
  HANDLE thread = CreateThread(nullptr, 0, TransferThread, start, 0, nullptr);
  if (!thread) {
    g_transfers.fetch_sub(1);
    ReleasePrinter(key.c_str());
    FreeLibrary(start->Module);
    FreeFirmwareImage(&start->Image);
    LocalFree(start);
    return FirmwareStart::Failed;
  }
  CloseHandle(thread);
  return FirmwareStart::Started;
}

long FirmwareTransfersRunning() { return g_transfers.load(); }
