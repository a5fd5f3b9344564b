// Folders the print service writes into and deletes from ("c:\prtmonlog" for the logs, its "pages" folder
// for the page files, the debug-dump folder). An ordinary user can create such a folder first, or plant a
// junction to a system folder there; the service must then neither write nor delete through it.
#pragma once

#include "common/platform.h"

// True when `path` is a real folder (not a junction or other reparse point) owned by SYSTEM, by the
// Administrators group or by the account this process runs as. Otherwise the last error says why
// (ERROR_ACCESS_DENIED for another owner or a reparse point).
bool IsTrustedFolder(LPCWSTR path);
// Creates the folder when it is missing, with an access list limited to SYSTEM, Administrators and the
// driver host account; then IsTrustedFolder.
bool PrepareServiceFolder(LPCWSTR path);
// The page folder (LBL_PAGE_FOLDER) inside the log folder, made when missing: every user may add files to
// it and owns (CREATOR OWNER) what he adds, no user may list it or touch another's files, and the service
// and the administrators have full control. The log folder is made here only by a caller that may make the
// Administrators group its owner (the service, an elevated administrator): one an ordinary user made would
// be his, and the service would refuse it. True when the page folder is IsTrustedFolder; otherwise the last
// error is ERROR_PATH_NOT_FOUND (it could not be made), ERROR_ACCESS_DENIED (it is not the service's) or
// ERROR_NOT_ENOUGH_MEMORY.
bool PreparePageFolder();
// True when the file's owner is `user` (may be nullptr), SYSTEM, the Administrators group or the account
// this process runs as: a page file another user left in the page folder for someone else's job is not.
bool IsOwnedBy(LPCWSTR path, PSID user);
// The same for the file `file` was opened on (with READ_CONTROL, which GENERIC_READ includes): the answer
// is about the bytes that will be read, not whatever holds the name by the time of the check.
bool IsOpenFileOwnedBy(HANDLE file, PSID user);
