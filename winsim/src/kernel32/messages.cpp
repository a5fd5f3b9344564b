// FormatMessageW for system messages: the English texts of the error codes the spooler, the driver store
// and the file calls here report, each ended by "\r\n" as the system's message table has them.
#include <cstring>

#include "internal.h"

using namespace winsim::detail;

namespace {

struct SystemMessage {
  DWORD code;
  const char16_t* text;
};

const SystemMessage kMessages[] = {
    {ERROR_SUCCESS, u"The operation completed successfully."},
    {ERROR_FILE_NOT_FOUND, u"The system cannot find the file specified."},
    {ERROR_PATH_NOT_FOUND, u"The system cannot find the path specified."},
    {ERROR_ACCESS_DENIED, u"Access is denied."},
    {ERROR_INVALID_HANDLE, u"The handle is invalid."},
    {ERROR_NOT_ENOUGH_MEMORY, u"Not enough memory resources are available to process this command."},
    {ERROR_INVALID_DATA, u"The data is invalid."},
    {ERROR_SHARING_VIOLATION, u"The process cannot access the file because it is being used by another process."},
    {ERROR_INVALID_PARAMETER, u"The parameter is incorrect."},
    {ERROR_INSUFFICIENT_BUFFER, u"The data area passed to a system call is too small."},
    {ERROR_INVALID_NAME, u"The filename, directory name, or volume label syntax is incorrect."},
    {ERROR_INVALID_LEVEL, u"The system call level is not correct."},
    {ERROR_MOD_NOT_FOUND, u"The specified module could not be found."},
    {ERROR_BUSY, u"The requested resource is in use."},
    {ERROR_ALREADY_EXISTS, u"Cannot create a file when that file already exists."},
    {ERROR_DEVICE_NOT_CONNECTED, u"The device is not connected."},
    {ERROR_UNKNOWN_PORT, u"The specified port is unknown."},
    {ERROR_UNKNOWN_PRINTER_DRIVER, u"The printer driver is unknown."},
    {1798, u"The print processor is unknown."},
    {ERROR_INVALID_PRINTER_NAME, u"The printer name is invalid."},
    {ERROR_PRINTER_ALREADY_EXISTS, u"The printer already exists."},
    {1805, u"The environment specified is invalid."},
    {3000, u"The specified print monitor is unknown."},
    {3001, u"The specified printer driver is currently in use."},
    {3006, u"The specified print monitor has already been installed."},
    {3008, u"The specified print monitor is currently in use."},
    {3009, u"The requested operation is not allowed when there are jobs queued to the printer."},
    {ERROR_PRINTER_NOT_FOUND, u"No printers were found."},
};

constexpr DWORD kMessageNotFound = 317;  // ERROR_MR_MID_NOT_FOUND

}  // namespace

extern "C" {

DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID /*lpSource*/, DWORD dwMessageId, DWORD /*dwLanguageId*/,
                            LPWSTR lpBuffer, DWORD nSize, va_list* /*Arguments*/) {
  // Only system messages are kept; they carry no inserts.
  if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || (dwFlags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE)) ||
      !lpBuffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  const char16_t* found = nullptr;
  for (const auto& m : kMessages)
    if (m.code == dwMessageId) found = m.text;
  if (!found) {
    SetLastError(kMessageNotFound);
    return 0;
  }
  const std::u16string text = std::u16string(found) + u"\r\n";
  const DWORD chars = DWORD(text.size());
  WCHAR* out = lpBuffer;
  if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    const size_t cap = chars + 1 > nSize ? chars + 1 : nSize;
    out = static_cast<WCHAR*>(LocalAlloc(LMEM_FIXED, cap * sizeof(WCHAR)));
    if (!out) return 0;  // LocalAlloc set the error
    *reinterpret_cast<WCHAR**>(lpBuffer) = out;
  } else if (nSize < chars + 1) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(out, text.c_str(), (text.size() + 1) * sizeof(WCHAR));
  return chars;
}

}  // extern "C"
