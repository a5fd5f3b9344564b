// Administrator rights: without them Windows refuses every change the installer makes (drivers, the
// language monitor, ports, the driver store). The program's manifest has Windows ask for them before it
// starts; a program running without them anyway (started by a means that skips elevation) says so
// before the wizard changes anything.
#pragma once

#include "common/platform.h"

// At program start, before the wizard: `hasRights` is the program's check of its own token. Without
// rights shows string IDS_NEEDS_ADMIN (caption IDS_PROMPT) and returns false; the program then ends.
bool AdministratorRightsOrExplain(HWND owner, bool hasRights);
