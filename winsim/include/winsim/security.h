// winsim machine control: the accounts a test acts as. The machine's processes run as SYSTEM; a thread that
// acts as another account (as a thread impersonating it) has every file access checked against that
// account's token: its user, its groups (Everyone, Authenticated Users, Interactive, Users, and
// Administrators for an elevated administrator) and the owner of what it creates (the user; Administrators
// for an administrator). Threads start as the process, without impersonation; the spooler calls print
// monitors as SYSTEM whatever the calling thread acts as.
//
// Driver code never includes this header.
#pragma once

#include <memory>
#include <string>

namespace winsim {

struct Account {
  std::string name;
  std::string sid;
  bool administrator = false;
};
Account SystemAccount();
// An ordinary user, and an elevated administrator; the same name gives the same SID for the process.
Account StandardUser(const std::string& name);
Account AdministratorUser(const std::string& name);

// The calling thread acts as `account` until the object goes, then as before.
class ActAs {
 public:
  explicit ActAs(const Account& account);
  ~ActAs();
  ActAs(const ActAs&) = delete;
  ActAs& operator=(const ActAs&) = delete;

 private:
  std::shared_ptr<const void> saved_;
};

std::string CurrentAccountSid();  // of the calling thread

}  // namespace winsim
