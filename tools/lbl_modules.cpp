#include "tools/lbl_modules.h"

#include <dlfcn.h>

#include <map>
#include <mutex>

#include "winsim/printpath.h"

namespace lbl {

const void* LoadLblModuleTable(const char* file, const char* entry, uint32_t version, std::string* error) {
  struct Loaded {
    const void* table = nullptr;
    std::string failure;
  };
  static std::mutex mutex;
  static std::map<std::string, Loaded> loaded;
  std::lock_guard<std::mutex> lock(mutex);
  auto [it, added] = loaded.try_emplace(file);
  Loaded& m = it->second;
  if (added) {
    const std::string path = winsim::ModuleDirectory() + "/" + file;
    void* dl = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    auto get = dl ? reinterpret_cast<const void* (*)()>(dlsym(dl, entry)) : nullptr;
    const void* table = get ? get() : nullptr;
    if (!dl) m.failure = std::string("cannot load ") + dlerror();
    else if (!table || *static_cast<const uint32_t*>(table) != version) m.failure = path + " is not this lbl's module";
    else m.table = table;
  }
  if (!m.table && error) *error = m.failure;
  return m.table;
}

}  // namespace lbl
