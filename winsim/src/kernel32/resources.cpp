// Loaded modules and their resources. A resource's data stays put until its module's resources are
// removed, so pointers from LockResource behave like pointers into a mapped image.
#include <errno.h>

#include <map>
#include <memory>
#include <vector>

#include "internal.h"
#include "winsim/resources.h"

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
  LANGID lang = 0;
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

// The UI languages resource lookups prefer. A thread's choice lasts until the next Reset().
struct UiLanguages {
  LANGID user = 0x0409;
  unsigned generation = 0;
};
UiLanguages g_ui;
struct ThreadUiLanguage {
  LANGID lang = 0;
  unsigned generation = 0;
};
thread_local ThreadUiLanguage t_ui;

void ResetUiLanguages() {
  g_ui.user = 0x0409;
  ++g_ui.generation;
}
const ResetRegistrar kResetUiLanguages(ResetUiLanguages);

LANGID ThreadUiLanguage() {
  return t_ui.generation == g_ui.generation ? t_ui.lang : 0;
}

Modules& M() { return Lasting<Modules>(); }

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

// Null with ERROR_INVALID_HANDLE for a handle FindResource did not give.
Resource* ResourceOf(HRSRC h) {
  auto it = M().byId.find(reinterpret_cast<uintptr_t>(h));
  if (it != M().byId.end()) return it->second;
  SetLastError(ERROR_INVALID_HANDLE);
  return nullptr;
}

void DropResource(const Resource& r) {
  M().byId.erase(r.id);
}

void Add(Module& mod, const ResKey& type, const ResKey& name, LANGID lang, const void* data, size_t size) {
  auto res = std::make_unique<Resource>();
  res->type = type;
  res->name = name;
  res->lang = lang;
  res->data.reserve(size ? size : 1);  // never a null data pointer, even for empty resources
  res->data.assign(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size);
  res->id = M().nextResId++;
  for (auto& r : mod.resources) {
    if (r->type == res->type && r->name == res->name && r->lang == res->lang) {
      DropResource(*r);
      r = std::move(res);
      M().byId[r->id] = r.get();
      return;
    }
  }
  M().byId[res->id] = res.get();
  mod.resources.push_back(std::move(res));
}

// The resource of the wanted language: lang 0 means the caller's UI languages with the fallback to a
// neutral resource, then English, then the first one there is.
Resource* PickLanguage(const std::vector<Resource*>& found, LANGID lang) {
  if (found.empty()) return nullptr;
  auto exact = [&](LANGID l) -> Resource* {
    for (Resource* r : found)
      if (r->lang == l) return r;
    return nullptr;
  };
  auto primary = [&](LANGID l) -> Resource* {
    for (Resource* r : found)
      if (PRIMARYLANGID(r->lang) == PRIMARYLANGID(l)) return r;
    return nullptr;
  };
  if (lang != 0) return exact(lang);
  for (LANGID ui : {ThreadUiLanguage(), g_ui.user}) {
    if (ui == 0) continue;
    if (Resource* r = exact(ui)) return r;
    if (Resource* r = primary(ui)) return r;
  }
  if (Resource* r = primary(MAKELANGID(LANG_NEUTRAL, SUBLANG_NEUTRAL))) return r;
  if (Resource* r = exact(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US))) return r;
  if (Resource* r = primary(MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US))) return r;
  return found.front();
}

// ---- compiled resource files ------------------------------------------------------------------
struct ResReader {
  const uint8_t* p;
  size_t size, at = 0;
  bool Word(WORD* v) {
    if (size - at < 2) return false;
    *v = WORD(p[at] | p[at + 1] << 8);
    at += 2;
    return true;
  }
  bool Dword(DWORD* v) {
    WORD lo, hi;
    if (!Word(&lo) || !Word(&hi)) return false;
    *v = DWORD(lo) | DWORD(hi) << 16;
    return true;
  }
  // A type or name: 0xFFFF and an id, or a NUL-terminated UTF-16 string.
  bool Key(ResKey* k) {
    WORD w;
    if (!Word(&w)) return false;
    if (w == 0xFFFF) {
      k->isInt = true;
      return Word(&k->id);
    }
    std::u16string name;
    while (w != 0) {
      name.push_back(char16_t(w));
      if (!Word(&w)) return false;
    }
    k->isInt = false;
    k->name = Upper(name);
    return true;
  }
  void Align() { at = (at + 3) & ~size_t(3); }
};

struct ParsedResource {
  ResKey type, name;
  LANGID lang;
  const uint8_t* data;
  size_t size;
};

bool ParseResFile(const void* res, size_t size, std::vector<ParsedResource>* out) {
  ResReader r{static_cast<const uint8_t*>(res), size};
  while (r.at < size) {
    const size_t start = r.at;
    DWORD dataSize, headerSize, dataVersion, version, characteristics;
    WORD flags, lang;
    ParsedResource pr;
    if (!r.Dword(&dataSize) || !r.Dword(&headerSize) || !r.Key(&pr.type) || !r.Key(&pr.name)) return false;
    r.Align();
    if (!r.Dword(&dataVersion) || !r.Word(&flags) || !r.Word(&lang) || !r.Dword(&version) ||
        !r.Dword(&characteristics))
      return false;
    if (headerSize < r.at - start || headerSize > size - start || dataSize > size - start - headerSize)
      return false;
    r.at = start + headerSize;
    pr.lang = lang;
    pr.data = r.p + r.at;
    pr.size = dataSize;
    r.at += dataSize;
    r.Align();
    if (r.at > size) r.at = size;
    // The file starts with an empty record (type 0) that marks it as 32-bit.
    if (pr.type.isInt && pr.type.id == 0) continue;
    out->push_back(pr);
  }
  return true;
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
  if (Module* mod = ModuleOf(module)) Add(*mod, KeyOf(type), KeyOf(name), 0, data, size);
}

bool AddResourceFile(HMODULE module, const void* res, size_t size) {
  std::vector<ParsedResource> parsed;
  if (!res || !ParseResFile(res, size, &parsed)) return false;
  Guard g(Mutex());
  Module* mod = ModuleOf(module);
  if (!mod) return false;
  for (const ParsedResource& p : parsed) Add(*mod, p.type, p.name, p.lang, p.data, p.size);
  return true;
}

void SetUserUiLanguage(LANGID language) {
  Guard g(Mutex());
  g_ui.user = language;
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
  return FindResourceExW(hModule, lpType, lpName, 0);
}

HRSRC WINAPI FindResourceExW(HMODULE hModule, LPCWSTR lpType, LPCWSTR lpName, WORD wLanguage) {
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
  std::vector<Resource*> found;
  for (auto& r : mod->resources) {
    if (!(r->type == type)) continue;
    typeSeen = true;
    if (r->name == name) found.push_back(r.get());
  }
  if (Resource* r = PickLanguage(found, wLanguage)) return reinterpret_cast<HRSRC>(r->id);
  SetLastError(!typeSeen ? ERROR_RESOURCE_TYPE_NOT_FOUND
               : found.empty() ? ERROR_RESOURCE_NAME_NOT_FOUND
                               : ERROR_RESOURCE_LANG_NOT_FOUND);
  return nullptr;
}

HGLOBAL WINAPI LoadResource(HMODULE, HRSRC hResInfo) {
  Guard g(Mutex());
  Resource* r = ResourceOf(hResInfo);
  return r ? r->data.data() : nullptr;
}

LPVOID WINAPI LockResource(HGLOBAL hResData) {
  return hResData;
}

DWORD WINAPI SizeofResource(HMODULE, HRSRC hResInfo) {
  Guard g(Mutex());
  Resource* r = ResourceOf(hResInfo);
  return r ? DWORD(r->data.size()) : 0;
}

LANGID WINAPI GetUserDefaultUILanguage(void) {
  Guard g(Mutex());
  return g_ui.user;
}

LANGID WINAPI GetThreadUILanguage(void) {
  Guard g(Mutex());
  const LANGID t = ThreadUiLanguage();
  return t ? t : g_ui.user;
}

LANGID WINAPI SetThreadUILanguage(LANGID LangId) {
  Guard g(Mutex());
  t_ui.lang = LangId;
  t_ui.generation = g_ui.generation;
  return LangId ? LangId : g_ui.user;
}

BOOL WINAPI FreeResource(HGLOBAL) {
  return FALSE;  // obsolete on Win32: resources live as long as their module, and the call reports FALSE
}

}  // extern "C"
