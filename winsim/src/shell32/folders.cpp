// shell32: SHCreateDirectoryExW, which the driver uses for its capture folder.
#include "internal.h"

using namespace winsim::detail;

extern "C" {

int WINAPI SHCreateDirectoryExW(HWND, LPCWSTR pszPath, const SECURITY_ATTRIBUTES*) {
  std::u16string path = Wide(pszPath);
  for (auto& c : path)
    if (c == u'/') c = u'\\';
  // Only full paths: a drive letter with its backslash.
  if (path.size() < 3 || path[1] != u':' || path[2] != u'\\') {
    SetLastError(ERROR_BAD_PATHNAME);
    return ERROR_BAD_PATHNAME;
  }
  if (path.size() >= MAX_PATH) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return ERROR_FILENAME_EXCED_RANGE;
  }
  while (path.size() > 3 && path.back() == u'\\') path.pop_back();
  DWORD attrs = GetFileAttributesW(path.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES) {
    DWORD err = (attrs & FILE_ATTRIBUTE_DIRECTORY) ? ERROR_ALREADY_EXISTS : ERROR_FILE_EXISTS;
    SetLastError(err);
    return int(err);
  }
  // Create each missing folder from the top down.
  for (size_t pos = 3; pos <= path.size(); ++pos) {
    if (pos != path.size() && path[pos] != u'\\') continue;
    std::u16string prefix = path.substr(0, pos);
    DWORD a = GetFileAttributesW(prefix.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY)) continue;
    if (!CreateDirectoryW(prefix.c_str(), nullptr)) {
      DWORD err = GetLastError();
      return int(err);
    }
  }
  SetLastError(ERROR_SUCCESS);
  return ERROR_SUCCESS;
}

}  // extern "C"
