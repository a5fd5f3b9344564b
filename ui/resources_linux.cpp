// Linux build only: the module's resources are the .res file windres compiles from lbldrv6ui.rc (the
// bytes the Windows DLL's resource section is made from), embedded by the build.
#include "ui/module.h"
#include "winsim/resources.h"

extern "C" const unsigned char lbl_ui_res[], lbl_ui_res_end[];

void RegisterUiResources(HMODULE module) {
  winsim::AddResourceFile(module, lbl_ui_res, size_t(lbl_ui_res_end - lbl_ui_res));
}
