// Linux build only: a Windows DLL carries the model catalogue as resource "JSON" 119 of its own
// image. Here the library hands the same text to winsim when it is loaded, under the module name the
// loader registers it with (winsim gives the same handle to DllMain).
#include "common/model.h"
#include "resources/catalogue_blob.h"
#include "winsim/machine.h"

namespace {

[[maybe_unused]] const bool g_catalogueRegistered = [] {
  HMODULE self = winsim::RegisterModule(u"lbldrv6");
  winsim::AddResource(self, TEXT("JSON"), MAKEINTRESOURCEW(kCatalogueResourceId), g_CatalogueJson,
                      g_CatalogueJsonSize);
  return true;
}();

}  // namespace
