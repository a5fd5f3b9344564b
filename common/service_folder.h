// Folders the print service writes into and deletes from ("c:\prtmonlog" for logs and page files, the
// debug-dump folder). An ordinary user can create such a folder first, or plant a junction to a system
// folder there; the service must then neither write nor delete through it.
#pragma once

#include "common/platform.h"

// True when `path` is a real folder (not a junction or other reparse point) owned by SYSTEM, by the
// Administrators group or by the account this process runs as.
bool IsTrustedFolder(LPCWSTR path);
// Creates the folder when it is missing, with an access list limited to SYSTEM, Administrators and the
// driver host account; then IsTrustedFolder.
bool PrepareServiceFolder(LPCWSTR path);
