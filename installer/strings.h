// The installer's string table (English), identifiers as in lblinst32.rc. Every message of the engine
// and the wizard goes through InstallerString, so loading them with LoadStringW is one change here.
#pragma once

#include "common/platform.h"

#include "installer/resource.h"

// The text of a string-table entry; "" for an unknown identifier.
const WCHAR* InstallerString(UINT id);
