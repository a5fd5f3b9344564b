// winspool: the printer-driver directory of the local spooler.
#include <cstring>
#include <filesystem>

#include "internal.h"

using namespace winsim::detail;

extern "C" {

BOOL WINAPI GetPrinterDriverDirectoryW(LPWSTR /*pName: the local server only*/, LPWSTR pEnvironment, DWORD Level,
                                       LPBYTE pDriverDirectory, DWORD cbBuf, LPDWORD pcbNeeded) {
  if (Level != 1) {
    SetLastError(ERROR_INVALID_LEVEL);
    return FALSE;
  }
  if (!pcbNeeded) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  std::u16string env = pEnvironment && *pEnvironment ? Wide(pEnvironment) : u"Windows x64";
  std::u16string dir;
  if (IEquals(env, u"Windows x64"))
    dir = u"C:\\Windows\\System32\\spool\\DRIVERS\\x64";
  else if (IEquals(env, u"Windows NT x86"))
    dir = u"C:\\Windows\\System32\\spool\\DRIVERS\\W32X86";
  else if (IEquals(env, u"Windows ARM64"))
    dir = u"C:\\Windows\\System32\\spool\\DRIVERS\\ARM64";
  else {
    SetLastError(ERROR_INVALID_ENVIRONMENT);
    return FALSE;
  }
  const DWORD need = DWORD((dir.size() + 1) * sizeof(WCHAR));
  *pcbNeeded = need;
  if (cbBuf < need || !pDriverDirectory) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  std::memcpy(pDriverDirectory, dir.c_str(), need);
  // The spooler keeps the folder; on a fresh machine it is made on first use.
  std::error_code ec;
  std::filesystem::create_directories(winsim::HostPath(dir), ec);
  return TRUE;
}

}  // extern "C"
