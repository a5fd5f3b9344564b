// The installer's string table, identifiers as in resource.h. Every message of the engine and the
// wizard goes through InstallerString, read from the program's resources in the user's language.
#pragma once

#include "common/platform.h"

#include "installer/resource.h"

// The module whose resources the installer reads: the program's own image (on Linux the same .res
// bytes, compiled by windres and embedded, under the name "lblinst32.exe").
HINSTANCE InstallerModule();

// The text of a string-table entry in the user's language; "" for an unknown identifier. The text stays
// for the life of the process.
const WCHAR* InstallerString(UINT id);
