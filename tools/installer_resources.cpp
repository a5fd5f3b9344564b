// lbl runs the installer's engine as lblinst32.exe does: with the program's own resources (its string
// table in the four languages) on the process's module, windres-compiled from lblinst32.rc by the build.
#include "tools/ui_language.h"
#include "winsim/resources.h"

extern "C" const unsigned char lbl_installer_res[], lbl_installer_res_end[];

namespace lbl {

void AddInstallerResources() {
  winsim::AddResourceFile(GetModuleHandleW(nullptr), lbl_installer_res,
                          size_t(lbl_installer_res_end - lbl_installer_res));
}

}  // namespace lbl
