#include "installer/rights.h"

#include "installer/strings.h"
#include "installer/wizard.h"

bool AdministratorRightsOrExplain(HWND owner, bool hasRights) {
  if (hasRights) return true;
  Ask(owner, IDS_NEEDS_ADMIN, IDS_PROMPT, MB_OK | MB_ICONWARNING);
  return false;
}
