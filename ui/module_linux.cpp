// Linux build only: what the Windows DLL carries in its resource section (the model catalogue as
// "JSON" 119 and the resources of lbldrv6ui.rc) is handed to winsim when the loader attaches the library, under the module
// name the loader registers it with (winsim gives the same handle to DllMain).
#include "common/model.h"
#include "resources/catalogue_blob.h"
#include "ui/module.h"
#include "winsim/machine.h"

// Called by winsim's loader once dlopen has returned, never from a static initializer: those run under
// the dynamic loader's lock, and taking winsim's lock there deadlocks against a thread that holds
// winsim's lock and needs the loader's (a first use of a thread_local with a destructor does).
extern "C" void WinsimAttachModule() {
  HMODULE self = winsim::RegisterModule(u"lbldrv6ui");
  winsim::AddResource(self, TEXT("JSON"), MAKEINTRESOURCEW(kCatalogueResourceId), g_CatalogueJson,
                      g_CatalogueJsonSize);
  RegisterUiResources(self);
}
