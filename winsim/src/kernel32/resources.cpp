// Loaded modules and their resources. A resource's data stays put until its module's resources are
// removed, so pointers from LockResource behave like pointers into a mapped image.
#include <errno.h>

#include <map>
#include <memory>
#include <vector>

#include "internal.h"

using namespace winsim::detail;

namespace {

// A resource type or name: an integer id, or a string compared case-insensitively ("#123" is id 123).
struct ResKey {
  bool isInt = false;
  WORD id = 0;
  std::u16string name;
  bool operator==(const ResKey& o) const { return isInt == o.isInt && id == o.id && name == o.name; }
};

ResKey KeyOf(LPCWSTR r) {
  ResKey k;
  if (IS_INTRESOURCE(r)) {
    k.isInt = true;
    k.id = LOWORD(r);
    return k;
  }
  if (r[0] == u'#' && r[1]) {
    unsigned v = 0;
    bool digits = true;
    for (LPCWSTR p = r + 1; *p && digits; ++p) {
      digits = *p >= u'0' && *p <= u'9';
      v = v * 10 + unsigned(*p - u'0');
    }
    if (digits && v <= 0xFFFF) {
      k.isInt = true;
      k.id = WORD(v);
      return k;
    }
  }
  k.name = Upper(r);
  return k;
}

struct Resource {
  ResKey type, name;
  std::vector<uint8_t> data;
  uintptr_t id;
};

struct Module {
  HMODULE handle;
  std::vector<std::unique_ptr<Resource>> resources;
};

struct Modules {
  std::map<std::u16string, Module> byName;  // normalized: upper case, with extension
  std::map<uintptr_t, Resource*> byId;      // HRSRC values
  uintptr_t nextResId = 1;
  uintptr_t nextBase = 0x10000000;
};

Modules& M() {
  static auto* m = new Modules;
  return *m;
}

// "C:\\x\\LblDrv6" -> "LBLDRV6.DLL", as GetModuleHandleW matches names.
std::u16string NormalizeModuleName(std::u16string_view name) {
  size_t slash = name.find_last_of(u"\\/");
  if (slash != std::u16string_view::npos) name.remove_prefix(slash + 1);
  std::u16string n = Upper(name);
  if (n.find(u'.') == std::u16string::npos) n += u".DLL";
  return n;
}

HMODULE Register(const std::u16string& normalized) {
  auto& m = M();
  auto it = m.byName.find(normalized);
  if (it != m.byName.end()) return it->second.handle;
  HMODULE h = reinterpret_cast<HMODULE>(m.nextBase);
  m.nextBase += 0x100000;
  m.byName[normalized].handle = h;
  return h;
}

// The process's own image, registered on first use under the program's name.
HMODULE ProcessModule() {
  static HMODULE self = Register(Upper(FromUtf8(program_invocation_short_name)) + u".EXE");
  return self;
}

Module* ModuleOf(HMODULE h) {
  if (!h) h = ProcessModule();
  for (auto& [name, mod] : M().byName)
    if (mod.handle == h) return &mod;
  return nullptr;
}

Resource* ResourceOf(HRSRC h) {
  auto it = M().byId.find(reinterpret_cast<uintptr_t>(h));
  return it == M().byId.end() ? nullptr : it->second;
}

void DropResource(const Resource& r) {
  M().byId.erase(r.id);
}

}  // namespace

namespace winsim {
HMODULE RegisterModule(const std::u16string& name) {
  Guard g(Mutex());
  ProcessModule();
  return Register(NormalizeModuleName(name));
}

void AddResource(HMODULE module, LPCWSTR type, LPCWSTR name, const void* data, size_t size) {
  Guard g(Mutex());
  Module* mod = ModuleOf(module);
  if (!mod) return;
  auto res = std::make_unique<Resource>();
  res->type = KeyOf(type);
  res->name = KeyOf(name);
  res->data.reserve(size ? size : 1);  // never a null data pointer, even for empty resources
  res->data.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
  res->id = M().nextResId++;
  for (auto& r : mod->resources) {
    if (r->type == res->type && r->name == res->name) {
      DropResource(*r);
      r = std::move(res);
      M().byId[r->id] = r.get();
      return;
    }
  }
  M().byId[res->id] = res.get();
  mod->resources.push_back(std::move(res));
}

void RemoveResources(HMODULE module) {
  Guard g(Mutex());
  if (Module* mod = ModuleOf(module)) {
    for (auto& r : mod->resources) DropResource(*r);
    mod->resources.clear();
  }
}
}  // namespace winsim

extern "C" {

HMODULE WINAPI GetModuleHandleW(LPCWSTR lpModuleName) {
  Guard g(Mutex());
  if (!lpModuleName) return ProcessModule();
  ProcessModule();
  auto it = M().byName.find(NormalizeModuleName(lpModuleName));
  if (it == M().byName.end()) {
    SetLastError(ERROR_MOD_NOT_FOUND);
    return nullptr;
  }
  return it->second.handle;
}

HRSRC WINAPI FindResourceW(HMODULE hModule, LPCWSTR lpName, LPCWSTR lpType) {
  if (!lpName || !lpType) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  Guard g(Mutex());
  Module* mod = ModuleOf(hModule);
  if (!mod) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  if (mod->resources.empty()) {
    SetLastError(ERROR_RESOURCE_DATA_NOT_FOUND);
    return nullptr;
  }
  ResKey type = KeyOf(lpType), name = KeyOf(lpName);
  bool typeSeen = false;
  for (auto& r : mod->resources) {
    if (!(r->type == type)) continue;
    typeSeen = true;
    if (r->name == name) return reinterpret_cast<HRSRC>(r->id);
  }
  SetLastError(typeSeen ? ERROR_RESOURCE_NAME_NOT_FOUND : ERROR_RESOURCE_TYPE_NOT_FOUND);
  return nullptr;
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC hResInfo) {
  Guard g(Mutex());
  Resource* r = ResourceOf(hResInfo);
  if (!r) {
    SetLastError(ERROR_INVALID_HANDLE);
    return nullptr;
  }
  return r->data.data();
}

LPVOID WINAPI LockResource(HGLOBAL hResData) {
  return hResData;
}

DWORD WINAPI SizeofResource(HMODULE, HRSRC hResInfo) {
  Guard g(Mutex());
  Resource* r = ResourceOf(hResInfo);
  if (!r) {
    SetLastError(ERROR_INVALID_HANDLE);
    return 0;
  }
  return DWORD(r->data.size());
}

BOOL WINAPI FreeResource(HGLOBAL) {
  return FALSE;  // obsolete on Win32: resources live as long as their module, and the call reports FALSE
}

}  // extern "C"
