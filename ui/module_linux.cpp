// Linux build only: what the Windows DLL carries in its resource section (the model catalogue as
// "JSON" 119 and the resources of lbldrv6ui.rc) is handed to winsim when the library is loaded, under the module
// name the loader registers it with (winsim gives the same handle to DllMain).
#include "common/model.h"
#include "resources/catalogue_blob.h"
#include "ui/module.h"
#include "winsim/machine.h"

namespace {

[[maybe_unused]] const bool g_resourcesRegistered = [] {
  HMODULE self = winsim::RegisterModule(u"lbldrv6ui");
  winsim::AddResource(self, TEXT("JSON"), MAKEINTRESOURCEW(kCatalogueResourceId), g_CatalogueJson,
                      g_CatalogueJsonSize);
  RegisterUiResources(self);
  return true;
}();

}  // namespace
