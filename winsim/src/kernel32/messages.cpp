// kernel32: FormatMessageW with the system's message table, English texts of the error codes the
// simulated calls set, each ending in CR LF as Windows writes them.
#include <cstring>

#include "internal.h"

using namespace winsim::detail;

namespace {

struct SystemMessage {
  DWORD code;
  const char16_t* text;
};

const SystemMessage kMessages[] = {
    {ERROR_SUCCESS, u"The operation completed successfully.\r\n"},
    {ERROR_INVALID_FUNCTION, u"Incorrect function.\r\n"},
    {ERROR_FILE_NOT_FOUND, u"The system cannot find the file specified.\r\n"},
    {ERROR_PATH_NOT_FOUND, u"The system cannot find the path specified.\r\n"},
    {ERROR_ACCESS_DENIED, u"Access is denied.\r\n"},
    {ERROR_INVALID_HANDLE, u"The handle is invalid.\r\n"},
    {ERROR_NOT_ENOUGH_MEMORY, u"Not enough memory resources are available to process this command.\r\n"},
    {ERROR_INVALID_DATA, u"The data is invalid.\r\n"},
    {ERROR_OUTOFMEMORY, u"Not enough memory resources are available to complete this operation.\r\n"},
    {ERROR_NOT_READY, u"The device is not ready.\r\n"},
    {ERROR_SHARING_VIOLATION, u"The process cannot access the file because it is being used by another process.\r\n"},
    {ERROR_NOT_SUPPORTED, u"The request is not supported.\r\n"},
    {ERROR_INVALID_PARAMETER, u"The parameter is incorrect.\r\n"},
    {ERROR_DISK_FULL, u"There is not enough space on the disk.\r\n"},
    {ERROR_INSUFFICIENT_BUFFER, u"The data area passed to a system call is too small.\r\n"},
    {ERROR_INTERNAL_ERROR, u"An internal error occurred.\r\n"},
    {ERROR_INVALID_PRINTER_NAME, u"The printer name is invalid.\r\n"},
    {ERROR_INVALID_NAME, u"The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {ERROR_INVALID_LEVEL, u"The system call level is not correct.\r\n"},
    {ERROR_MOD_NOT_FOUND, u"The specified module could not be found.\r\n"},
    {ERROR_BUSY, u"The requested resource is in use.\r\n"},
    {ERROR_ALREADY_EXISTS, u"Cannot create a file when that file already exists.\r\n"},
    {ERROR_DEVICE_NOT_CONNECTED, u"The device is not connected.\r\n"},
    {ERROR_UNKNOWN_PORT, u"The specified port is unknown.\r\n"},
    {ERROR_UNKNOWN_PRINTER_DRIVER, u"The printer driver is unknown.\r\n"},
    {1798, u"The print processor is unknown.\r\n"},
    {ERROR_PRINTER_ALREADY_EXISTS, u"The printer already exists.\r\n"},
    {1805, u"The environment specified is invalid.\r\n"},
    {3000, u"The specified print monitor is unknown.\r\n"},
    {3001, u"The specified printer driver is currently in use.\r\n"},
    {3006, u"The specified print monitor has already been installed.\r\n"},
    {3008, u"The specified print monitor is currently in use.\r\n"},
    {3009, u"The requested operation is not allowed when there are jobs queued to the printer.\r\n"},
    {ERROR_PRINTER_NOT_FOUND, u"No printers were found.\r\n"},
};

const char16_t* MessageText(DWORD code) {
  for (const SystemMessage& m : kMessages)
    if (m.code == code) return m.text;
  return nullptr;
}

}  // namespace

extern "C" {

DWORD WINAPI FormatMessageW(DWORD dwFlags, LPCVOID, DWORD dwMessageId, DWORD dwLanguageId, LPWSTR lpBuffer,
                            DWORD nSize, va_list*) {
  if (!(dwFlags & FORMAT_MESSAGE_FROM_SYSTEM) || (dwFlags & (FORMAT_MESSAGE_FROM_STRING | FORMAT_MESSAGE_FROM_HMODULE))) {
    SetLastError(ERROR_CALL_NOT_IMPLEMENTED);
    return 0;
  }
  if (!lpBuffer) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  // The machine has its English messages only: the default language, neutral or US English.
  if (dwLanguageId != 0 && dwLanguageId != MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT) &&
      dwLanguageId != MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US)) {
    SetLastError(ERROR_RESOURCE_LANG_NOT_FOUND);
    return 0;
  }
  const char16_t* text = MessageText(dwMessageId);
  if (!text) {
    SetLastError(ERROR_MR_MID_NOT_FOUND);
    return 0;
  }
  const size_t length = std::char_traits<char16_t>::length(text);
  WCHAR* out = lpBuffer;
  if (dwFlags & FORMAT_MESSAGE_ALLOCATE_BUFFER) {
    // lpBuffer receives a LocalAlloc'd buffer of at least nSize characters.
    const size_t chars = length + 1 > nSize ? length + 1 : nSize;
    out = static_cast<WCHAR*>(LocalAlloc(LPTR, chars * sizeof(WCHAR)));
    if (!out) return 0;
    *reinterpret_cast<WCHAR**>(lpBuffer) = out;
  } else if (length + 1 > nSize) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::memcpy(out, text, (length + 1) * sizeof(WCHAR));
  return DWORD(length);
}

}  // extern "C"
