// Access control of the simulated machine: SIDs as text, security descriptors with their access lists, the
// token of the calling thread, the access check and the inheritance of a new object's descriptor. The file
// system (kernel32/files.cpp) keeps a descriptor per file and folder and checks every access against the
// calling thread's token through these.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

namespace winsim::detail {

// Well-known SIDs.
inline constexpr char kSidSystem[] = "S-1-5-18";
inline constexpr char kSidAdministrators[] = "S-1-5-32-544";
inline constexpr char kSidUsers[] = "S-1-5-32-545";
inline constexpr char kSidEveryone[] = "S-1-1-0";
inline constexpr char kSidAuthenticatedUsers[] = "S-1-5-11";
inline constexpr char kSidInteractive[] = "S-1-5-4";
inline constexpr char kSidCreatorOwner[] = "S-1-3-0";
inline constexpr char kSidLocalService[] = "S-1-5-19";
inline constexpr char kSidNetworkService[] = "S-1-5-20";

// File access rights (winnt.h).
inline constexpr DWORD kFileListDirectory = 0x0001;  // also FILE_READ_DATA
inline constexpr DWORD kFileAddFile = 0x0002;        // also FILE_WRITE_DATA
inline constexpr DWORD kFileAddSubdirectory = 0x0004;
inline constexpr DWORD kFileDeleteChild = 0x0040;
inline constexpr DWORD kFileReadAttributes = 0x0080;
inline constexpr DWORD kDelete = 0x00010000;
inline constexpr DWORD kReadControl = 0x00020000;
inline constexpr DWORD kWriteDac = 0x00040000;
inline constexpr DWORD kFileAllAccess = 0x001F01FF;
inline constexpr DWORD kFileGenericRead = 0x00120089;
inline constexpr DWORD kFileGenericWrite = 0x00120116;
inline constexpr DWORD kFileGenericExecute = 0x001200A0;

// ACE flags, as in SDDL.
inline constexpr uint8_t kAceObjectInherit = 0x01;     // OI
inline constexpr uint8_t kAceContainerInherit = 0x02;  // CI
inline constexpr uint8_t kAceNoPropagate = 0x04;       // NP
inline constexpr uint8_t kAceInheritOnly = 0x08;       // IO
inline constexpr uint8_t kAceInherited = 0x10;         // ID

struct Ace {
  bool deny = false;
  uint8_t flags = 0;
  DWORD mask = 0;  // generic rights already mapped to file rights
  std::string sid;
};

struct SecurityDescriptor {
  std::string owner;
  bool hasDacl = false;  // no DACL: everyone may do everything
  bool protectedDacl = false;
  std::vector<Ace> dacl;
};

// The accounts a token carries: its user, its enabled groups, the groups it may make owner of what it
// creates (SE_GROUP_OWNER), and the owner of what it creates when it names none.
struct Token {
  std::string user;
  std::vector<std::string> groups;
  std::vector<std::string> ownerGroups;
  std::string defaultOwner;
  bool Has(const std::string& sid) const;
};

// The machine's processes run as SYSTEM (the spooler and the services); a thread acts as another account
// while it impersonates one.
std::shared_ptr<const Token> SystemToken();
std::shared_ptr<const Token> CurrentToken();  // the thread's impersonation token, else the process's
std::shared_ptr<const Token> ThreadToken();   // nullptr when the thread does not impersonate
void SetThreadToken(std::shared_ptr<const Token> token);

// Runs the calling thread as the spooler (SYSTEM) while it lives: the spooler calls print monitors on its own
// threads, which do not impersonate the printing user.
class AsSpooler {
 public:
  AsSpooler();
  ~AsSpooler();
  AsSpooler(const AsSpooler&) = delete;
  AsSpooler& operator=(const AsSpooler&) = delete;

 private:
  std::shared_ptr<const Token> saved_;
};

DWORD MapGenericFileRights(DWORD mask);
// "O:...D:P(A;OICI;FA;;;SY)..." with the aliases SY BA BU AU WD IU LS NS CO and "S-1-..." SIDs, rights as
// FA FR FW FX GA GR GW GX RC SD WD WO or a number ("0x1200a9"). False on anything else.
bool ParseSddl(const std::string& text, SecurityDescriptor* out);
// Whether `token` gets every right of `desired` (generic rights allowed) from `sd`: the owner has READ_CONTROL
// and WRITE_DAC; ACEs are taken in order, inherit-only ones skipped, a deny ACE refusing a right not yet granted.
bool AccessGranted(const SecurityDescriptor& sd, const Token& token, DWORD desired);
// The descriptor of an object created in a folder with descriptor `parent` by `token`: the owner named in
// `requested` (which the token must be allowed to assign: itself or one of its owner groups; otherwise
// ERROR_INVALID_OWNER in `error`) or the token's default owner; the requested DACL, followed, unless it is
// protected, by the ACEs inherited from the parent (CREATOR OWNER becomes the new owner). Without a DACL of
// its own and with nothing to inherit it gets the token's default: full control for its user and SYSTEM.
SecurityDescriptor NewObjectSecurity(const SecurityDescriptor& parent, bool isFolder, const Token& token,
                                     const SecurityDescriptor* requested, DWORD* error);
// The descriptor of the drive's root: full control for SYSTEM and Administrators, read for Users, creating
// folders for Authenticated Users, who then may change what is created below them.
SecurityDescriptor RootSecurity();

// The opaque blocks behind PSECURITY_DESCRIPTOR, PSID and PACL: one LocalAlloc'd block per descriptor.
PSECURITY_DESCRIPTOR AllocSecurityDescriptor(const SecurityDescriptor& sd);  // nullptr when out of memory
bool ReadSecurityDescriptor(const void* block, SecurityDescriptor* out);       // false when not one of ours
PSID OwnerSidOf(PSECURITY_DESCRIPTOR block);
PACL DaclOf(PSECURITY_DESCRIPTOR block);  // nullptr without a DACL
std::string SidText(PSID sid);            // "" when null

}  // namespace winsim::detail
