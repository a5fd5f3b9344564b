// Access control: SDDL, the access check, inheritance, tokens and the thread's impersonation, and the opaque
// descriptor blocks of the Windows API (ConvertStringSecurityDescriptorToSecurityDescriptorW, the token calls).
#include "advapi32/security.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "internal.h"
#include "winsim/security.h"

using namespace winsim::detail;

namespace {

constexpr DWORD kSdMagic = 0x32445344;  // "DSD2"
constexpr size_t kMaxAces = 32;

struct SimSid {
  char text[64];
};
struct SimAce {
  DWORD deny;
  DWORD flags;
  DWORD mask;
  SimSid sid;
};

}  // namespace

struct _ACL {
  DWORD count;
  SimAce aces[kMaxAces];
};

namespace {

struct SimSd {
  DWORD magic;
  BOOL hasOwner;
  SimSid owner;
  BOOL hasDacl;
  BOOL protectedDacl;
  ACL dacl;
};

void PutSid(SimSid* out, const std::string& sid) {
  memset(out->text, 0, sizeof out->text);
  memcpy(out->text, sid.data(), std::min(sid.size(), sizeof out->text - 1));
}

std::string SidOfAlias(const std::string& s) {
  static const std::map<std::string, std::string> kAliases = {
      {"SY", kSidSystem},        {"BA", kSidAdministrators},     {"BU", kSidUsers},
      {"AU", kSidAuthenticatedUsers}, {"WD", kSidEveryone},      {"IU", kSidInteractive},
      {"LS", kSidLocalService},  {"NS", kSidNetworkService},     {"CO", kSidCreatorOwner}};
  auto it = kAliases.find(s);
  if (it != kAliases.end()) return it->second;
  if (s.rfind("S-1-", 0) == 0 && s.size() > 4 &&
      s.find_first_not_of("S-0123456789") == std::string::npos)
    return s;
  return "";
}

bool ParseRights(const std::string& text, DWORD* mask) {
  if (text.rfind("0x", 0) == 0 || text.rfind("0X", 0) == 0) {
    if (text.size() < 3 || text.size() > 10 || text.find_first_not_of("0123456789abcdefABCDEF", 2) != std::string::npos)
      return false;
    *mask = static_cast<DWORD>(std::stoul(text.substr(2), nullptr, 16));
    return true;
  }
  static const std::map<std::string, DWORD> kRights = {
      {"FA", kFileAllAccess}, {"FR", kFileGenericRead}, {"FW", kFileGenericWrite}, {"FX", kFileGenericExecute},
      {"GA", GENERIC_ALL},    {"GR", GENERIC_READ},     {"GW", GENERIC_WRITE},     {"GX", 0x20000000UL},
      {"RC", kReadControl},   {"SD", kDelete},          {"WD", kWriteDac},         {"WO", 0x00080000}};
  if (text.empty() || text.size() % 2) return false;
  DWORD m = 0;
  for (size_t i = 0; i < text.size(); i += 2) {
    auto it = kRights.find(text.substr(i, 2));
    if (it == kRights.end()) return false;
    m |= it->second;
  }
  *mask = m;
  return true;
}

bool ParseAceFlags(const std::string& text, uint8_t* flags) {
  static const std::map<std::string, uint8_t> kFlags = {{"OI", kAceObjectInherit}, {"CI", kAceContainerInherit},
                                                         {"NP", kAceNoPropagate},   {"IO", kAceInheritOnly},
                                                         {"ID", kAceInherited}};
  if (text.size() % 2) return false;
  uint8_t f = 0;
  for (size_t i = 0; i < text.size(); i += 2) {
    auto it = kFlags.find(text.substr(i, 2));
    if (it == kFlags.end()) return false;
    f |= it->second;
  }
  *flags = f;
  return true;
}

// "type;flags;rights;;;sid"
bool ParseAce(const std::string& text, Ace* ace) {
  std::vector<std::string> f;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(';', start);
    f.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + 1;
  }
  if (f.size() != 6 || (f[0] != "A" && f[0] != "D") || !f[3].empty() || !f[4].empty()) return false;
  ace->deny = f[0] == "D";
  DWORD mask = 0;
  if (!ParseAceFlags(f[1], &ace->flags) || !ParseRights(f[2], &mask)) return false;
  ace->mask = MapGenericFileRights(mask);
  ace->sid = SidOfAlias(f[5]);
  return !ace->sid.empty();
}

// The start of the next section ("O:", "G:", "D:" or "S:") at or after `from`; none of them can occur in a
// SID ("S-1-...").
size_t NextSection(const std::string& text, size_t from) {
  size_t end = text.size();
  for (const char* mark : {"O:", "G:", "D:", "S:"}) end = std::min(end, text.find(mark, from));
  return end;
}

Ace MakeAce(const Ace& from, uint8_t flags, const std::string& sid) {
  Ace a = from;
  a.flags = flags;
  a.sid = sid;
  return a;
}

thread_local std::shared_ptr<const Token> t_impersonation;

std::string UserSid(const std::string& name) {
  static std::map<std::string, int>* rids = new std::map<std::string, int>;
  Guard g(Mutex());
  auto it = rids->find(name);
  const int rid = it != rids->end() ? it->second : (*rids)[name] = 1001 + static_cast<int>(rids->size());
  return "S-1-5-21-1004336348-1177238915-682003330-" + std::to_string(rid);
}

std::shared_ptr<const Token> TokenOf(const winsim::Account& account) {
  auto t = std::make_shared<Token>();
  t->user = account.sid;
  if (account.sid == kSidSystem) return SystemToken();
  t->groups = {kSidEveryone, kSidAuthenticatedUsers, kSidInteractive, kSidUsers};
  t->defaultOwner = account.sid;
  if (account.administrator) {
    t->groups.push_back(kSidAdministrators);
    t->ownerGroups = {kSidAdministrators};
    t->defaultOwner = kSidAdministrators;
  }
  return t;
}

// Token handles of the API.
struct TokenObj : KernelObject {
  std::shared_ptr<const Token> token;
};

}  // namespace

namespace winsim::detail {

bool Token::Has(const std::string& sid) const {
  return sid == user || std::find(groups.begin(), groups.end(), sid) != groups.end();
}

std::shared_ptr<const Token> SystemToken() {
  static const std::shared_ptr<const Token> system = [] {
    auto t = std::make_shared<Token>();
    t->user = kSidSystem;
    t->groups = {kSidAdministrators, kSidEveryone, kSidAuthenticatedUsers};
    t->ownerGroups = {kSidAdministrators};
    t->defaultOwner = kSidSystem;
    return t;
  }();
  return system;
}

std::shared_ptr<const Token> CurrentToken() { return t_impersonation ? t_impersonation : SystemToken(); }
std::shared_ptr<const Token> ThreadToken() { return t_impersonation; }
void SetThreadToken(std::shared_ptr<const Token> token) { t_impersonation = std::move(token); }

AsSpooler::AsSpooler() : saved_(t_impersonation) { t_impersonation.reset(); }
AsSpooler::~AsSpooler() { t_impersonation = saved_; }

DWORD MapGenericFileRights(DWORD mask) {
  DWORD m = mask & 0x0FFFFFFF;
  if (mask & GENERIC_ALL) m |= kFileAllAccess;
  if (mask & GENERIC_READ) m |= kFileGenericRead;
  if (mask & GENERIC_WRITE) m |= kFileGenericWrite;
  if (mask & 0x20000000UL) m |= kFileGenericExecute;
  return m;
}

bool ParseSddl(const std::string& text, SecurityDescriptor* out) {
  SecurityDescriptor sd;
  size_t at = 0;
  while (at < text.size()) {
    if (at + 1 >= text.size() || text[at + 1] != ':') return false;
    const char section = text[at];
    at += 2;
    if (section == 'O' || section == 'G') {
      const size_t end = NextSection(text, at);
      const std::string sid = SidOfAlias(text.substr(at, end - at));
      if (sid.empty()) return false;
      if (section == 'O') sd.owner = sid;
      at = end;
    } else if (section == 'D') {
      sd.hasDacl = true;
      while (at < text.size() && text[at] != '(') {
        if (text.compare(at, 1, "P") == 0) {
          sd.protectedDacl = true;
          ++at;
        } else if (text.compare(at, 2, "AI") == 0 || text.compare(at, 2, "AR") == 0) {
          at += 2;
        } else {
          break;
        }
      }
      while (at < text.size() && text[at] == '(') {
        const size_t end = text.find(')', at);
        if (end == std::string::npos) return false;
        Ace ace;
        if (!ParseAce(text.substr(at + 1, end - at - 1), &ace) || sd.dacl.size() >= kMaxAces) return false;
        sd.dacl.push_back(ace);
        at = end + 1;
      }
    } else {
      return false;  // SACLs are not simulated
    }
  }
  *out = sd;
  return true;
}

bool AccessGranted(const SecurityDescriptor& sd, const Token& token, DWORD desired) {
  DWORD remaining = MapGenericFileRights(desired);
  if (!sd.hasDacl) return true;
  if (token.Has(sd.owner)) remaining &= ~(kReadControl | kWriteDac);
  for (const Ace& ace : sd.dacl) {
    if (!remaining) break;
    if ((ace.flags & kAceInheritOnly) || !token.Has(ace.sid)) continue;
    if (ace.deny) {
      if (ace.mask & remaining) return false;
    } else {
      remaining &= ~ace.mask;
    }
  }
  return remaining == 0;
}

SecurityDescriptor NewObjectSecurity(const SecurityDescriptor& parent, bool isFolder, const Token& token,
                                     const SecurityDescriptor* requested, DWORD* error) {
  *error = ERROR_SUCCESS;
  SecurityDescriptor sd;
  sd.owner = token.defaultOwner;
  if (requested && !requested->owner.empty()) {
    const auto& og = token.ownerGroups;
    if (requested->owner != token.user && std::find(og.begin(), og.end(), requested->owner) == og.end()) {
      *error = ERROR_INVALID_OWNER;
      return sd;
    }
    sd.owner = requested->owner;
  }
  const bool ownDacl = requested && requested->hasDacl;
  if (ownDacl) {
    sd.hasDacl = true;
    sd.protectedDacl = requested->protectedDacl;
    sd.dacl = requested->dacl;
    if (sd.protectedDacl) return sd;
  }
  std::vector<Ace> inherited;
  for (const Ace& ace : parent.hasDacl ? parent.dacl : std::vector<Ace>{}) {
    const bool oi = ace.flags & kAceObjectInherit, ci = ace.flags & kAceContainerInherit;
    const bool np = ace.flags & kAceNoPropagate;
    const bool creator = ace.sid == kSidCreatorOwner;
    if (!isFolder) {
      if (oi) inherited.push_back(MakeAce(ace, kAceInherited, creator ? sd.owner : ace.sid));
      continue;
    }
    if (ci) {
      const uint8_t propagate = np ? 0 : static_cast<uint8_t>((oi ? kAceObjectInherit : 0) | kAceContainerInherit);
      if (creator) {
        // In force for the new folder under its owner, and passed on as CREATOR OWNER.
        inherited.push_back(MakeAce(ace, kAceInherited, sd.owner));
        if (propagate) inherited.push_back(MakeAce(ace, propagate | kAceInheritOnly | kAceInherited, ace.sid));
      } else {
        inherited.push_back(MakeAce(ace, propagate | kAceInherited, ace.sid));
      }
    } else if (oi && !np) {
      // Only for the files the new folder will hold.
      inherited.push_back(MakeAce(ace, kAceObjectInherit | kAceInheritOnly | kAceInherited, ace.sid));
    }
  }
  if (!ownDacl && inherited.empty()) {
    sd.hasDacl = true;
    sd.dacl = {Ace{false, 0, kFileAllAccess, token.user}, Ace{false, 0, kFileAllAccess, kSidSystem}};
    return sd;
  }
  sd.hasDacl = true;
  sd.dacl.insert(sd.dacl.end(), inherited.begin(), inherited.end());
  return sd;
}

SecurityDescriptor RootSecurity() {
  static const SecurityDescriptor root = [] {
    SecurityDescriptor sd;
    ParseSddl("O:SYD:(A;OICI;FA;;;BA)(A;OICI;FA;;;SY)(A;OICI;0x1200a9;;;BU)(A;OICIIO;0x1301bf;;;AU)(A;;0x4;;;AU)", &sd);
    return sd;
  }();
  return root;
}

PSECURITY_DESCRIPTOR AllocSecurityDescriptor(const SecurityDescriptor& sd) {
  auto* block = static_cast<SimSd*>(LocalAlloc(LPTR, sizeof(SimSd)));
  if (!block) return nullptr;
  block->magic = kSdMagic;
  block->hasOwner = !sd.owner.empty();
  PutSid(&block->owner, sd.owner);
  block->hasDacl = sd.hasDacl;
  block->protectedDacl = sd.protectedDacl;
  for (const Ace& ace : sd.dacl) {
    if (block->dacl.count >= kMaxAces) break;
    SimAce& a = block->dacl.aces[block->dacl.count++];
    a.deny = ace.deny;
    a.flags = ace.flags;
    a.mask = ace.mask;
    PutSid(&a.sid, ace.sid);
  }
  return block;
}

bool ReadSecurityDescriptor(const void* block, SecurityDescriptor* out) {
  const auto* b = static_cast<const SimSd*>(block);
  if (!b || b->magic != kSdMagic) return false;
  SecurityDescriptor sd;
  if (b->hasOwner) sd.owner = b->owner.text;
  sd.hasDacl = b->hasDacl;
  sd.protectedDacl = b->protectedDacl;
  for (DWORD i = 0; i < b->dacl.count && i < kMaxAces; ++i) {
    const SimAce& a = b->dacl.aces[i];
    sd.dacl.push_back(Ace{a.deny != 0, static_cast<uint8_t>(a.flags), a.mask, a.sid.text});
  }
  *out = sd;
  return true;
}

PSID OwnerSidOf(PSECURITY_DESCRIPTOR block) {
  auto* b = static_cast<SimSd*>(block);
  return b && b->hasOwner ? &b->owner : nullptr;
}

PACL DaclOf(PSECURITY_DESCRIPTOR block) {
  auto* b = static_cast<SimSd*>(block);
  return b && b->hasDacl ? &b->dacl : nullptr;
}

std::string SidText(PSID sid) { return sid ? static_cast<const SimSid*>(sid)->text : ""; }

}  // namespace winsim::detail

namespace winsim {

Account SystemAccount() { return Account{"SYSTEM", kSidSystem, true}; }
Account StandardUser(const std::string& name) { return Account{name, UserSid(name), false}; }
Account AdministratorUser(const std::string& name) { return Account{name, UserSid(name), true}; }

ActAs::ActAs(const Account& account) : saved_(t_impersonation) { t_impersonation = TokenOf(account); }
ActAs::~ActAs() { t_impersonation = std::static_pointer_cast<const Token>(saved_); }

std::string CurrentAccountSid() { return CurrentToken()->user; }

}  // namespace winsim

extern "C" {

BOOL WINAPI ConvertStringSecurityDescriptorToSecurityDescriptorW(LPCWSTR StringSecurityDescriptor, DWORD StringSDRevision,
                                                                 PSECURITY_DESCRIPTOR* SecurityDescriptor,
                                                                 PULONG SecurityDescriptorSize) {
  if (!StringSecurityDescriptor || !SecurityDescriptor || StringSDRevision != SDDL_REVISION_1) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  winsim::detail::SecurityDescriptor parsed;
  if (!ParseSddl(ToUtf8(StringSecurityDescriptor), &parsed)) {
    SetLastError(ERROR_INVALID_ACL);
    return FALSE;
  }
  PSECURITY_DESCRIPTOR block = AllocSecurityDescriptor(parsed);
  if (!block) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    return FALSE;
  }
  *SecurityDescriptor = block;
  if (SecurityDescriptorSize) *SecurityDescriptorSize = sizeof(SimSd);
  return TRUE;
}

BOOL WINAPI IsWellKnownSid(PSID pSid, WELL_KNOWN_SID_TYPE WellKnownSidType) {
  if (!pSid) return FALSE;
  const std::string sid = SidText(pSid);
  switch (WellKnownSidType) {
    case WinLocalSystemSid: return sid == kSidSystem;
    case WinBuiltinAdministratorsSid: return sid == kSidAdministrators;
  }
  return FALSE;
}

BOOL WINAPI EqualSid(PSID pSid1, PSID pSid2) {
  if (!pSid1 || !pSid2) return FALSE;
  return SidText(pSid1) == SidText(pSid2);
}

HANDLE WINAPI GetCurrentProcess(void) { return reinterpret_cast<HANDLE>(intptr_t(-1)); }
HANDLE WINAPI GetCurrentThread(void) { return reinterpret_cast<HANDLE>(intptr_t(-2)); }

BOOL WINAPI OpenProcessToken(HANDLE ProcessHandle, DWORD, PHANDLE TokenHandle) {
  if (ProcessHandle != GetCurrentProcess() || !TokenHandle) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  auto obj = std::make_shared<TokenObj>();
  obj->token = SystemToken();
  *TokenHandle = NewHandle(obj);
  return TRUE;
}

BOOL WINAPI OpenThreadToken(HANDLE ThreadHandle, DWORD, BOOL, PHANDLE TokenHandle) {
  if (ThreadHandle != GetCurrentThread() || !TokenHandle) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!t_impersonation) {
    SetLastError(ERROR_NO_TOKEN);
    return FALSE;
  }
  auto obj = std::make_shared<TokenObj>();
  obj->token = t_impersonation;
  *TokenHandle = NewHandle(obj);
  return TRUE;
}

BOOL WINAPI GetTokenInformation(HANDLE TokenHandle, TOKEN_INFORMATION_CLASS TokenInformationClass,
                                LPVOID TokenInformation, DWORD TokenInformationLength, PDWORD ReturnLength) {
  auto obj = GetHandle<TokenObj>(TokenHandle);
  if (!obj || !ReturnLength) {
    SetLastError(!ReturnLength ? ERROR_INVALID_PARAMETER : ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (TokenInformationClass != TokenUser) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  // TOKEN_USER followed by the SID it points at, as Windows lays it out.
  const DWORD need = DWORD(sizeof(TOKEN_USER) + sizeof(SimSid));
  *ReturnLength = need;
  if (!TokenInformation || TokenInformationLength < need) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return FALSE;
  }
  auto* user = static_cast<TOKEN_USER*>(TokenInformation);
  auto* sid = reinterpret_cast<SimSid*>(user + 1);
  PutSid(sid, obj->token->user);
  user->User.Sid = sid;
  user->User.Attributes = 0;
  return TRUE;
}

BOOL WINAPI ImpersonateLoggedOnUser(HANDLE hToken) {
  auto obj = HandleOrError<TokenObj>(hToken);
  if (!obj) return FALSE;
  t_impersonation = obj->token;
  return TRUE;
}

BOOL WINAPI RevertToSelf(void) {
  t_impersonation.reset();
  return TRUE;
}

}  // extern "C"
