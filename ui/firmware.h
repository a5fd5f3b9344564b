// Firmware update of TWL printers: the firmware file's header, the printer's update mode through the
// language monitor's reserved printer-data names, and the transfer thread that writes the file straight
// to the printer's device and reports to the printer tools page with posted messages.
#pragma once

#include <cstddef>
#include <cstdint>

#include "common/platform.h"

// Messages the transfer thread posts to the page.
constexpr UINT MSG_FW_STARTED = WM_USER + 1;   // wParam: status index 0
constexpr UINT MSG_FW_PROGRESS = WM_USER + 2;  // wParam: percentage 0-100
constexpr UINT MSG_FW_DONE = WM_USER + 3;      // wParam: status index 0
constexpr UINT MSG_FW_FAILED = WM_USER + 4;    // wParam: status index

// Status line indices (string 2221 + index).
constexpr int kFwStatusReady = 0;
constexpr int kFwStatusSwitchFailed = 2;
constexpr int kFwStatusSendFailed = 3;
constexpr int kFwStatusVerifyFailed = 4;
constexpr int kFwStatusOpenFailed = 5;
constexpr int kFwStatusCheckingCrc = 6;
constexpr int kFwStatusOffline = 7;
constexpr int kFwStatusLast = 15;

constexpr DWORD kUpdateModeWaitMs = 3000;  // after asking for a mode change
constexpr DWORD kUpdateModePollMs = 150;   // between reads of the update state
constexpr int kUpdateModePolls = 10;
constexpr DWORD kFirmwareChunkBytes = 1024;
constexpr DWORD kPrinterValueBytes = 64;   // reads of the reserved names
constexpr DWORD kUpdateModeValueBytes = 32;

// The first 91 bytes of a firmware file.
#pragma pack(push, 1)
struct FirmwareHeader {
  BYTE Tag[4];          // "H", "W", any, "V"
  BYTE Reserved1[2];
  char Version[12];     // not necessarily terminated
  BYTE Reserved2[2];
  char Model[64];       // ended by a zero byte or the field's end
  BYTE Reserved3[5];
  BYTE Checksum[2];     // signed 16-bit, little-endian
};
#pragma pack(pop)
static_assert(sizeof(FirmwareHeader) == 91, "firmware header layout");
static_assert(offsetof(FirmwareHeader, Version) == 6, "firmware header layout");
static_assert(offsetof(FirmwareHeader, Model) == 20, "firmware header layout");
static_assert(offsetof(FirmwareHeader, Checksum) == 89, "firmware header layout");

constexpr uint64_t kFirmwareMaxBytes = 64u << 20;  // far above any printer's flash

// What the page shows of a firmware file, and the size it had.
struct FirmwareFileInfo {
  char Version[13];
  char Model[65];
  int16_t Checksum;
  uint64_t Size;
};

// Firmware: the header, something after it, and at most kFirmwareMaxBytes in all.
enum class FirmwareFileResult { OpenFailed, NotFirmware, Ok };

// Reads the header of `data` (its first `size` bytes). False when fewer than 91 bytes or the tags are wrong.
bool ParseFirmwareHeader(const BYTE* data, size_t size, FirmwareFileInfo* out);
// Opens the file by its wide path and reads its header and size.
FirmwareFileResult ReadFirmwareFile(LPCWSTR path, FirmwareFileInfo* out);
// True when the printer's name (at most 100 characters, as ANSI text) occurs in the model text.
bool FirmwareMatchesPrinter(const FirmwareFileInfo& info, LPCWSTR printerName);

// A firmware file read whole into a LocalAlloc'd buffer.
struct FirmwareImage {
  BYTE* Data;
  DWORD Size;
  FirmwareFileInfo Info;
};
enum class FirmwareLoad { OpenFailed, NotFirmware, Changed, Ok };
// Reads the whole file once. Changed: its header or size differ from `expected` (the file as it was
// chosen; may be null). Only Ok leaves a buffer in `out`, to be freed with FreeFirmwareImage.
FirmwareLoad LoadFirmwareFile(LPCWSTR path, const FirmwareFileInfo* expected, FirmwareImage* out);
void FreeFirmwareImage(FirmwareImage* image);

// A reserved printer-data value (zeroed buffer of `size` bytes); false when the read fails.
bool ReadPrinterValue(HANDLE printer, LPCWSTR name, BYTE* buf, DWORD size);

// The status index for a "twgetcmd5" reply's first byte.
int UpdateStateStatus(BYTE state);

// What one poll of the printer found. Status -1: leave the status line as it is.
struct FirmwarePoll {
  int Status;
  bool HaveVersion;
  WCHAR Version[13];
  bool HaveChecksum;
  int16_t Checksum;
};
// Reads "twgetcmd1" and "twgetcmd5", and "twgetcmd2" / "twgetcmd7" when asked for.
void PollPrinter(HANDLE printer, bool wantVersion, bool wantChecksum, FirmwarePoll* out);

// Asks the printer to enter (on) or leave update mode and waits until the update state shows it: success
// only when a read showed the requested mode bit within ten polls.
BOOL SetUpdateMode(HANDLE printer, bool on);

// The transfer of a whole firmware file: opens its own printer handle by name, finds the printer's
// device, switches it to update mode, writes `data` in 1024-byte pieces and switches back. Posts
// MSG_FW_STARTED and MSG_FW_PROGRESS to `page`; returns the status index of the end (0: done).
int RunFirmwareTransfer(HWND page, LPCWSTR printerName, const BYTE* data, DWORD size);

enum class FirmwareStart { Started, Busy, Failed };
// Starts the transfer of `image` on a new thread, which owns the image from then on (also when the
// start fails) and posts MSG_FW_DONE or MSG_FW_FAILED once it has let go of the printer. One transfer
// per printer in the process: Busy while another one to that printer runs.
FirmwareStart StartFirmwareTransfer(HWND page, LPCWSTR printerName, FirmwareImage* image);
// Transfer threads that have not ended yet.
long FirmwareTransfersRunning();
