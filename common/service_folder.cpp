#include "common/service_folder.h"

#include <aclapi.h>
#include <sddl.h>

namespace {
// Full control for SYSTEM, Administrators and LOCAL SERVICE (the driver host account), nothing
// inherited from the drive's root, which lets every user create files.
constexpr WCHAR kFolderSddl[] = TEXT("D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;FA;;;LS)");

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
}  // namespace

bool IsTrustedFolder(LPCWSTR path) {
  const DWORD attributes = GetFileAttributesW(path);
  if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY) ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return false;
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  if (GetNamedSecurityInfoW(const_cast<LPWSTR>(path), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                            nullptr, nullptr, &sd) != ERROR_SUCCESS)
    return false;
  const bool trusted = owner && (IsWellKnownSid(owner, WinLocalSystemSid) ||
                                 IsWellKnownSid(owner, WinBuiltinAdministratorsSid) || IsOwnAccount(owner));
  LocalFree(sd);
  return trusted;
}

bool PrepareServiceFolder(LPCWSTR path) {
  if (GetFileAttributesW(path) == INVALID_FILE_ATTRIBUTES) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (ConvertStringSecurityDescriptorToSecurityDescriptorW(kFolderSddl, SDDL_REVISION_1, &sd, nullptr)) {
      SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
      CreateDirectoryW(path, &sa);
      LocalFree(sd);
    }
  }
  return IsTrustedFolder(path);
}
