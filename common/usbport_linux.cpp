// Linux build only: the simulated machine can start afresh (winsim::Reset) while a module stays loaded, as a
// machine that restarts would load it again; its devices go, and so do the module's lookups of them.
#include "common/usbport.h"
#include "winsim/machine.h"

namespace {

int g_registration = 0;

// The module goes: winsim must not call into it any more.
struct CancelAtUnload {
  ~CancelAtUnload() {
    if (g_registration) winsim::CancelAtReset(g_registration);
  }
};
const CancelAtUnload g_cancel;

}  // namespace

void ForgetAttachedDevicesAtReset() {
  if (!g_registration) g_registration = winsim::AtReset(ForgetAttachedDevices);
}
