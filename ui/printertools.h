// The "Printer Settings" page (dialog 104) of the device sheet: logging options, the captured jobs of the
// capture folder, and the firmware section of TWL printers.
#pragma once

#include <string>
#include <vector>

#include "common/platform.h"
#include "common/wstr.h"
#include "ui/context.h"

constexpr WORD kPrinterToolsTemplate = 104;

// Controls.
constexpr int kToolsRecordCode = 1009;
constexpr int kToolsLockSettings = 1012;
constexpr int kToolsFolder = 1031;
constexpr int kToolsBrowseFolder = 1032;
constexpr int kToolsCaptureList = 1033;
constexpr int kToolsView = 1034;
constexpr int kToolsSend = 1035;
constexpr int kToolsDelete = 1036;
constexpr int kToolsDeleteAll = 1037;
constexpr int kToolsFirmwareVersion = 1053;
constexpr int kToolsFirmwareCrc = 1054;
constexpr int kToolsUpdateFile = 1018;
constexpr int kToolsBrowseFirmware = 1057;
constexpr int kToolsFileModel = 1055;
constexpr int kToolsFileVersion = 1061;
constexpr int kToolsFileCrc = 1056;
constexpr int kToolsUpdate = 1058;
constexpr int kToolsStatus = 1060;
constexpr int kToolsProgress = 1059;
constexpr int kToolsFirmwareFrameFirst = 1063;  // group box and captions of the firmware section
constexpr int kToolsFirmwareFrameLast = 1069;

constexpr UINT_PTR kToolsPollTimer = 1;
constexpr UINT kToolsPollMs = 1000;
constexpr UINT kToolsReadyCode = WM_USER + 1;  // notification code of the command that opens the page to input

constexpr DWORD kRawBufferBytes = 204800;
constexpr DWORD kRawChunkBytes = 204798;

// Names of the capture files (extension exactly ".prt", any case) in `folder`, in directory order; names
// whose full path would not fit MAX_PATH are left out. Empty when the folder does not exist.
std::vector<WString> CaptureFiles(LPCWSTR folder);
// Deletes every capture file of `folder`; the number deleted.
int DeleteCaptureFiles(LPCWSTR folder);
// "%ws\\%ws" into path (MAX_PATH); false when it does not fit.
bool CapturePath(LPCWSTR folder, LPCWSTR name, WCHAR* path);

// Sends the file to the printer as a RAW document named by its path, one page per chunk of at most
// 204798 bytes. Returns the message to show: 2212 when everything went, 2213 when anything failed.
UINT SendFileRawResult(LPCWSTR printerName, LPCWSTR path);
// SendFileRawResult and its message box ("Information", OK) owned by `page`.
UINT SendFileRaw(HWND page, LPCWSTR printerName, LPCWSTR path);

// The status line text of index `status` (0-15) into buf; false for an index out of range.
bool FirmwareStatusText(int status, WCHAR* buf, int cap);

INT_PTR CALLBACK PrinterToolsPageProc(HWND page, UINT message, WPARAM wParam, LPARAM lParam);
