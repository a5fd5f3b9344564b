#include "common/service_folder.h"

#include <aclapi.h>
#include <sddl.h>

#include "common/pagefile.h"

namespace {
// Full control for SYSTEM, Administrators and LOCAL SERVICE (the driver host account), nothing
// inherited from the drive's root, which lets every user create files.
constexpr WCHAR kFolderSddl[] = TEXT("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;LS)");
// The same, owned by the Administrators group: only a caller that holds that group can make it.
constexpr WCHAR kAdminsFolderSddl[] = TEXT("O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;LS)");
// The page folder: as above, and every signed-in user may add files (0x1200a2: add file, traverse, read
// attributes, read the folder's descriptor, synchronise) without listing the folder; what a user adds is
// his alone (CREATOR OWNER full control, inherited by files only).
constexpr WCHAR kPageFolderSddl[] =
    TEXT("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;LS)(A;OIIO;FA;;;CO)(A;;0x1200a2;;;AU)");

bool CreateFolder(LPCWSTR path, LPCWSTR sddl) {
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr)) return false;
  SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
  const BOOL made = CreateDirectoryW(path, &sa);
  LocalFree(sd);
  return made;
}

// The account this process runs as: SYSTEM for the spooler, but a host that runs the service under
// another account creates its folders with that account as owner, and only it or an administrator
// could have made them.
bool IsOwnAccount(PSID sid) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
  alignas(8) BYTE buffer[256];
  DWORD size = 0;
  const bool same = GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size) &&
                    EqualSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, sid);
  CloseHandle(token);
  return same;
}

// The owner a descriptor query (`error`, `owner`, `sd`) gave; frees `sd`.
bool IsTrustedOwner(DWORD error, PSID owner, PSECURITY_DESCRIPTOR sd, PSID user) {
  if (error != ERROR_SUCCESS) {
    SetLastError(error);
    return false;
  }
  const bool trusted = owner && ((user && EqualSid(owner, user)) || IsWellKnownSid(owner, WinLocalSystemSid) ||
                                 IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsOwnAccount(owner));
  LocalFree(sd);
  if (!trusted) SetLastError(ERROR_ACCESS_DENIED);
  return trusted;
}
}  // namespace

bool IsOwnedBy(LPCWSTR path, PSID user) {
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  const DWORD error = GetNamedSecurityInfoW(const_cast<LPWSTR>(path), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION,
                                           &owner, nullptr, nullptr, nullptr, &sd);
  return IsTrustedOwner(error, owner, sd, user);
}

bool IsOpenFileOwnedBy(HANDLE file, PSID user) {
  // INVALID_HANDLE_VALUE is also the process's own pseudo-handle, whose owner would pass.
  if (!file || file == INVALID_HANDLE_VALUE) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  const DWORD error =
      GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &sd);
  return IsTrustedOwner(error, owner, sd, user);
}

bool IsTrustedFolder(LPCWSTR path) {
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY) || (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return IsOwnedBy(path, nullptr);
}

bool PrepareServiceFolder(LPCWSTR path) {
  if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) CreateFolder(path, kFolderSddl);
  return IsTrustedFolder(path);
}

bool PreparePageFolder() {
  const WCHAR* const log = TEXT(LBL_LOG_FOLDER);
  const WCHAR* const pages = TEXT(LBL_PAGE_FOLDER);
  const DWORD logAttributes = GetFileAttributesW(log);
  if (logAttributes != INVALID_FILE_ATTRIBUTES && (logAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  if (GetFileAttributesW(pages) == INVALID_FILE_ATTRIBUTES) {
    if (logAttributes == INVALID_FILE_ATTRIBUTES) CreateFolder(log, kAdminsFolderSddl);
    // Made only inside the service's own folder (an ordinary user cannot tell, nor add folders there).
    if (!IsTrustedFolder(log)) {
      SetLastError(GetFileAttributesW(log) == INVALID_FILE_ATTRIBUTES ? ERROR_PATH_NOT_FOUND : ERROR_ACCESS_DENIED);
      return false;
    }
    if (!CreateFolder(pages, kPageFolderSddl) && GetFileAttributesW(pages) == INVALID_FILE_ATTRIBUTES) {
      SetLastError(ERROR_PATH_NOT_FOUND);
      return false;
    }
  }
  if (!IsTrustedFolder(pages)) {
    if (GetLastError() != ERROR_NOT_ENOUGH_MEMORY) SetLastError(ERROR_ACCESS_DENIED);
    return false;
  }
  return true;
}
