// The registry: a tree of keys under the predefined roots. Key and value names are case-preserving and
// compared case-insensitively (ASCII folding); subkeys enumerate in that order. Open key handles share the
// process handle table but only RegCloseKey closes them. A key deleted while open fails later calls on its
// handles with ERROR_KEY_DELETED.
#include <cstring>
#include <map>
#include <vector>

#include "internal.h"
#include "machine_state.h"

using namespace winsim::detail;

namespace {

struct RegValue {
  std::u16string name;
  DWORD type = REG_NONE;
  std::vector<uint8_t> data;
};

struct RegKey {
  std::u16string name;
  std::map<std::u16string, std::shared_ptr<RegKey>> subkeys;  // keyed by upper-cased name
  std::map<std::u16string, RegValue> values;                  // keyed by upper-cased name
  bool deleted = false;
};

struct KeyHandle : Object {
  std::shared_ptr<RegKey> key;
  REGSAM access = 0;
};

constexpr uint32_t kFirstRoot = 0x80000000;
constexpr int kRoots = 4;  // HKEY_CLASSES_ROOT .. HKEY_USERS

std::shared_ptr<RegKey>* Roots() {
  static auto* r = new std::shared_ptr<RegKey>[kRoots];
  return r;
}

// Generic rights widen to the key rights they stand for.
REGSAM Normalize(REGSAM sam) {
  if (sam & (GENERIC_ALL | 0x02000000 /* MAXIMUM_ALLOWED */)) sam |= KEY_ALL_ACCESS;
  if (sam & GENERIC_READ) sam |= KEY_READ;
  if (sam & GENERIC_WRITE) sam |= KEY_WRITE;
  return sam;
}

// Index of a predefined root key (sign-extended or not, as 32-bit code may pass it), or -1.
int RootIndex(HKEY h) {
  const uint64_t v = reinterpret_cast<ULONG_PTR>(h);
  const uint32_t low = uint32_t(v);
  if ((v >> 32 != 0 && v >> 32 != 0xFFFFFFFF) || low < kFirstRoot || low >= kFirstRoot + kRoots) return -1;
  return int(low - kFirstRoot);
}

// Resolves a key handle with the lock held. Predefined roots carry every right.
LSTATUS KeyOf(HKEY h, std::shared_ptr<RegKey>* key, REGSAM* access) {
  if (int root = RootIndex(h); root >= 0) {
    auto& slot = Roots()[root];
    if (!slot) slot = std::make_shared<RegKey>();
    *key = slot;
    *access = KEY_ALL_ACCESS;
    return ERROR_SUCCESS;
  }
  auto kh = GetHandle<KeyHandle>(h);
  if (!kh) return ERROR_INVALID_HANDLE;
  if (kh->key->deleted) return ERROR_KEY_DELETED;
  *key = kh->key;
  *access = kh->access;
  return ERROR_SUCCESS;
}

// KeyOf for a call that needs the given rights (0: none).
LSTATUS KeyFor(HKEY h, REGSAM rights, std::shared_ptr<RegKey>* key) {
  REGSAM access;
  if (LSTATUS rc = KeyOf(h, key, &access)) return rc;
  return (access & rights) == rights ? ERROR_SUCCESS : ERROR_ACCESS_DENIED;
}

// Splits "a\b\c" into its names; empty names (doubled or trailing backslashes) are skipped.
std::vector<std::u16string> SplitPath(LPCWSTR subKey) {
  std::vector<std::u16string> parts;
  std::u16string cur;
  for (const WCHAR* p = subKey; p && *p; ++p) {
    if (*p == u'\\') {
      if (!cur.empty()) parts.push_back(std::move(cur));
      cur.clear();
    } else {
      cur += *p;
    }
  }
  if (!cur.empty()) parts.push_back(std::move(cur));
  return parts;
}

std::shared_ptr<RegKey> Walk(std::shared_ptr<RegKey> key, const std::vector<std::u16string>& parts) {
  for (const auto& part : parts) {
    auto it = key->subkeys.find(Upper(part));
    if (it == key->subkeys.end()) return nullptr;
    key = it->second;
  }
  return key;
}

void MarkDeleted(RegKey& key) {
  key.deleted = true;
  for (auto& [name, sub] : key.subkeys) MarkDeleted(*sub);
}

HKEY NewKeyHandle(std::shared_ptr<RegKey> key, REGSAM access) {
  auto kh = std::make_shared<KeyHandle>();
  kh->key = std::move(key);
  kh->access = access;
  return reinterpret_cast<HKEY>(NewHandle(kh));
}

// Finds the parent of `subKey` below `base` and the subkey's upper-cased name; ERROR_FILE_NOT_FOUND when absent.
LSTATUS FindChild(const std::shared_ptr<RegKey>& base, LPCWSTR subKey, std::shared_ptr<RegKey>* parent,
                  std::u16string* childName) {
  auto parts = SplitPath(subKey);
  if (parts.empty()) return ERROR_INVALID_PARAMETER;
  *childName = Upper(parts.back());
  parts.pop_back();
  *parent = Walk(base, parts);
  if (!*parent || !(*parent)->subkeys.count(*childName)) return ERROR_FILE_NOT_FOUND;
  return ERROR_SUCCESS;
}

}  // namespace

namespace winsim::detail {
void ResetRegistry() {
  for (int i = 0; i < kRoots; ++i) {
    if (Roots()[i]) MarkDeleted(*Roots()[i]);
    Roots()[i].reset();
  }
}
const ResetRegistrar kResetRegistry(ResetRegistry);

// A key: its name, values (name, type, data), then its subkeys the same way; a root is a flag and a key.
constexpr int kMaxDepth = 512;  // Windows' limit of key nesting

void SaveKey(StateWriter& w, const RegKey& key) {
  w.Str(key.name);
  w.U32(uint32_t(key.values.size()));
  for (const auto& [upper, v] : key.values) {
    w.Str(v.name);
    w.U32(v.type);
    w.Bytes(v.data);
  }
  w.U32(uint32_t(key.subkeys.size()));
  for (const auto& [upper, sub] : key.subkeys) SaveKey(w, *sub);
}

std::shared_ptr<RegKey> LoadKey(StateReader& r, int depth) {
  if (depth > kMaxDepth) {
    r.Fail("keys nested deeper than " + std::to_string(kMaxDepth));
    return nullptr;
  }
  auto key = std::make_shared<RegKey>();
  key->name = r.Str();
  for (uint32_t i = 0, n = r.Count(20); i < n && r.Ok(); ++i) {
    RegValue v;
    v.name = r.Str();
    v.type = r.U32();
    v.data = r.Bytes();
    if (!key->values.emplace(Upper(v.name), std::move(v)).second) r.Fail("a value name appears twice in a key");
  }
  for (uint32_t i = 0, n = r.Count(16); i < n && r.Ok(); ++i) {
    auto sub = LoadKey(r, depth + 1);
    if (!sub) break;
    if (sub->name.empty() || sub->name.find(u'\\') != std::u16string::npos)
      r.Fail("a key name is empty or holds a backslash");
    else if (!key->subkeys.emplace(Upper(sub->name), sub).second)
      r.Fail("a key name appears twice under one key");
  }
  return r.Ok() ? key : nullptr;
}

void SaveRegistry(StateWriter& w) {
  for (int i = 0; i < kRoots; ++i) {
    w.Bool(Roots()[i] != nullptr);
    if (Roots()[i]) SaveKey(w, *Roots()[i]);
  }
}

bool LoadRegistry(StateReader& r, uint32_t) {
  for (int i = 0; i < kRoots && r.Ok(); ++i)
    if (r.Bool()) Roots()[i] = LoadKey(r, 0);
  return r.Ok();
}
const StateRegistrar kRegistryState("registry", 1, SaveRegistry, LoadRegistry);
}  // namespace winsim::detail

extern "C" {

LSTATUS WINAPI RegOpenKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, REGSAM samDesired, PHKEY phkResult) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  Guard g(Mutex());
  std::shared_ptr<RegKey> base;
  if (LSTATUS rc = KeyFor(hKey, 0, &base)) return rc;
  if (lpSubKey && *lpSubKey == u'\\') return ERROR_BAD_PATHNAME;
  auto key = Walk(base, SplitPath(lpSubKey));
  if (!key) return ERROR_FILE_NOT_FOUND;
  *phkResult = NewKeyHandle(key, Normalize(samDesired));
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCreateKeyExW(HKEY hKey, LPCWSTR lpSubKey, DWORD, LPWSTR, DWORD, REGSAM samDesired,
                               LPSECURITY_ATTRIBUTES, PHKEY phkResult, LPDWORD lpdwDisposition) {
  if (!phkResult) return ERROR_INVALID_PARAMETER;
  *phkResult = nullptr;
  Guard g(Mutex());
  std::shared_ptr<RegKey> key;
  REGSAM access;
  if (LSTATUS rc = KeyOf(hKey, &key, &access)) return rc;
  if (lpSubKey && *lpSubKey == u'\\') return ERROR_BAD_PATHNAME;
  const auto parts = SplitPath(lpSubKey);
  if (!Walk(key, parts) && !(access & KEY_CREATE_SUB_KEY)) return ERROR_ACCESS_DENIED;
  DWORD disposition = REG_OPENED_EXISTING_KEY;
  for (const auto& part : parts) {
    auto& slot = key->subkeys[Upper(part)];
    if (!slot) {
      slot = std::make_shared<RegKey>();
      slot->name = part;
      disposition = REG_CREATED_NEW_KEY;
    }
    key = slot;
  }
  *phkResult = NewKeyHandle(key, Normalize(samDesired));
  if (lpdwDisposition) *lpdwDisposition = disposition;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegQueryValueExW(HKEY hKey, LPCWSTR lpValueName, LPDWORD lpReserved, LPDWORD lpType, LPBYTE lpData,
                                LPDWORD lpcbData) {
  if (lpReserved || (lpData && !lpcbData)) return ERROR_INVALID_PARAMETER;
  Guard g(Mutex());
  std::shared_ptr<RegKey> key;
  if (LSTATUS rc = KeyFor(hKey, KEY_QUERY_VALUE, &key)) return rc;
  auto it = key->values.find(Upper(Wide(lpValueName)));
  if (it == key->values.end()) return ERROR_FILE_NOT_FOUND;
  const RegValue& v = it->second;
  if (lpType) *lpType = v.type;
  const DWORD size = DWORD(v.data.size());
  if (lpData && *lpcbData < size) {
    *lpcbData = size;
    return ERROR_MORE_DATA;
  }
  if (lpData && size) memcpy(lpData, v.data.data(), size);
  if (lpcbData) *lpcbData = size;
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegSetValueExW(HKEY hKey, LPCWSTR lpValueName, DWORD, DWORD dwType, const BYTE* lpData, DWORD cbData) {
  if (!lpData && cbData) return ERROR_NOACCESS;
  Guard g(Mutex());
  std::shared_ptr<RegKey> key;
  if (LSTATUS rc = KeyFor(hKey, KEY_SET_VALUE, &key)) return rc;
  RegValue v;
  v.name = Wide(lpValueName);
  v.type = dwType;
  if (cbData) v.data.assign(lpData, lpData + cbData);
  key->values[Upper(v.name)] = std::move(v);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteValueW(HKEY hKey, LPCWSTR lpValueName) {
  Guard g(Mutex());
  std::shared_ptr<RegKey> key;
  if (LSTATUS rc = KeyFor(hKey, KEY_SET_VALUE, &key)) return rc;
  return key->values.erase(Upper(Wide(lpValueName))) ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

LSTATUS WINAPI RegDeleteKeyW(HKEY hKey, LPCWSTR lpSubKey) {
  Guard g(Mutex());
  std::shared_ptr<RegKey> base, parent;
  std::u16string child;
  if (LSTATUS rc = KeyFor(hKey, 0, &base)) return rc;
  if (LSTATUS rc = FindChild(base, lpSubKey, &parent, &child)) return rc;
  auto& key = parent->subkeys[child];
  if (!key->subkeys.empty()) return ERROR_ACCESS_DENIED;
  MarkDeleted(*key);
  parent->subkeys.erase(child);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegDeleteTreeW(HKEY hKey, LPCWSTR lpSubKey) {
  Guard g(Mutex());
  std::shared_ptr<RegKey> base;
  if (LSTATUS rc = KeyFor(hKey, 0, &base)) return rc;
  if (!lpSubKey || !*lpSubKey) {
    for (auto& [name, sub] : base->subkeys) MarkDeleted(*sub);
    base->subkeys.clear();
    base->values.clear();
    return ERROR_SUCCESS;
  }
  std::shared_ptr<RegKey> parent;
  std::u16string child;
  if (LSTATUS rc = FindChild(base, lpSubKey, &parent, &child)) return rc;
  MarkDeleted(*parent->subkeys[child]);
  parent->subkeys.erase(child);
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegEnumKeyExW(HKEY hKey, DWORD dwIndex, LPWSTR lpName, LPDWORD lpcchName, LPDWORD lpReserved,
                             LPWSTR lpClass, LPDWORD lpcchClass, PFILETIME lpftLastWriteTime) {
  if (!lpName || !lpcchName || lpReserved) return ERROR_INVALID_PARAMETER;
  Guard g(Mutex());
  std::shared_ptr<RegKey> key;
  if (LSTATUS rc = KeyFor(hKey, KEY_ENUMERATE_SUB_KEYS, &key)) return rc;
  if (dwIndex >= key->subkeys.size()) return ERROR_NO_MORE_ITEMS;
  auto it = key->subkeys.begin();
  std::advance(it, dwIndex);
  const std::u16string& name = it->second->name;
  if (*lpcchName < name.size() + 1) return ERROR_MORE_DATA;
  memcpy(lpName, name.c_str(), (name.size() + 1) * sizeof(WCHAR));
  *lpcchName = DWORD(name.size());
  if (lpClass && lpcchClass && *lpcchClass) *lpClass = 0;
  if (lpcchClass) *lpcchClass = 0;
  if (lpftLastWriteTime) *lpftLastWriteTime = FILETIME{};
  return ERROR_SUCCESS;
}

LSTATUS WINAPI RegCloseKey(HKEY hKey) {
  if (RootIndex(hKey) >= 0) return ERROR_SUCCESS;  // predefined keys stay open
  return TakeHandleOf<KeyHandle>(hKey) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

}  // extern "C"
