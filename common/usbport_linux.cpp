// Linux build only: the simulated machine can start afresh (winsim::Reset) while a module stays loaded, as a
// machine that restarts would load it again; its devices go, and so do the module's lookups of them.
#include "common/usbport.h"
#include "winsim/machine.h"

int ForgetAttachedDevicesAtReset() { return winsim::AtReset(ForgetAttachedDevices); }

void StopForgettingAttachedDevicesAtReset(int registration) { winsim::CancelAtReset(registration); }
