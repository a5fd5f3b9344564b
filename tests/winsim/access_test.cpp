// File access checked against the calling thread's token: owners, access lists with CREATOR OWNER,
// inheritance from the folder, deny entries, the owners a token may assign, and threads that act as users.
#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include <aclapi.h>
#include <sddl.h>
#include <windows.h>

#include "winsim/machine.h"
#include "winsim/security.h"

namespace {

class Access : public ::testing::Test {
 protected:
  void SetUp() override { winsim::Reset(); }

  // Creates a folder as the calling thread with the access list of `sddl`; the last error on failure.
  static bool MakeFolder(const char16_t* path, const char16_t* sddl) {
    PSECURITY_DESCRIPTOR sd = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &sd, nullptr)) return false;
    SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
    const BOOL ok = CreateDirectoryW(path, &sa);
    const DWORD error = GetLastError();
    LocalFree(sd);
    SetLastError(error);
    return ok;
  }
  // CreateFileW's handle closed at once; ERROR_SUCCESS or the error it failed with.
  static DWORD Open(const char16_t* path, DWORD access, DWORD disposition) {
    HANDLE h = CreateFileW(path, access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, disposition,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    CloseHandle(h);
    return ERROR_SUCCESS;
  }
  static DWORD Put(const char16_t* path, const std::string& text) {
    HANDLE h = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD written = 0;
    WriteFile(h, text.data(), DWORD(text.size()), &written, nullptr);
    CloseHandle(h);
    return ERROR_SUCCESS;
  }
  static DWORD LastErrorOf(BOOL ok) { return ok ? ERROR_SUCCESS : GetLastError(); }

  const winsim::Account alice = winsim::StandardUser("alice");
  const winsim::Account bob = winsim::StandardUser("bob");
  const winsim::Account admin = winsim::AdministratorUser("ada");
};

// A drop folder as the print spooler keeps its own: users add files, each owns what it adds, and nobody
// else but SYSTEM and the administrators can touch it.
constexpr char16_t kDropFolder[] = u"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICIIO;FA;;;CO)(A;;0x1200a2;;;AU)";

TEST_F(Access, CreatorOwnerGivesEachUserHisOwnFilesOnly) {
  ASSERT_TRUE(MakeFolder(u"c:\\drop", kDropFolder));
  {
    winsim::ActAs as(alice);
    EXPECT_EQ(winsim::CurrentAccountSid(), alice.sid);
    ASSERT_EQ(Put(u"c:\\drop\\a.dat", "alice"), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(Open(u"c:\\drop\\a.dat", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING), DWORD(ERROR_SUCCESS));
    EXPECT_NE(GetFileAttributesW(u"c:\\drop"), INVALID_FILE_ATTRIBUTES) << "the folder's attributes are readable";
    WIN32_FIND_DATAW fd;
    SetLastError(0);
    EXPECT_EQ(FindFirstFileW(u"c:\\drop\\*", &fd), INVALID_HANDLE_VALUE) << "users do not list the folder";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    SetLastError(0);
    EXPECT_FALSE(CreateDirectoryW(u"c:\\drop\\sub", nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  }
  EXPECT_EQ(winsim::FileOwner(u"c:\\drop\\a.dat"), alice.sid);
  {
    winsim::ActAs as(bob);
    EXPECT_EQ(Open(u"c:\\drop\\a.dat", GENERIC_READ, OPEN_EXISTING), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Open(u"c:\\drop\\a.dat", GENERIC_WRITE, OPEN_EXISTING), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Open(u"c:\\drop\\a.dat", GENERIC_WRITE, CREATE_ALWAYS), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Open(u"c:\\drop\\a.dat", GENERIC_WRITE, CREATE_NEW), DWORD(ERROR_FILE_EXISTS)) << "the name is taken";
    EXPECT_EQ(LastErrorOf(DeleteFileW(u"c:\\drop\\a.dat")), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(LastErrorOf(MoveFileW(u"c:\\drop\\a.dat", u"c:\\drop\\b.dat")), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(GetFileAttributesW(u"c:\\drop\\a.dat"), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(Put(u"c:\\drop\\b.dat", "bob"), DWORD(ERROR_SUCCESS));
  }
  {
    winsim::ActAs as(alice);
    EXPECT_EQ(Open(u"c:\\drop\\b.dat", GENERIC_READ, OPEN_EXISTING), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(LastErrorOf(DeleteFileW(u"c:\\drop\\a.dat")), DWORD(ERROR_SUCCESS)) << "her own file";
  }
  // The service reads and removes everything.
  EXPECT_EQ(winsim::ReadHostFile(u"c:\\drop\\b.dat").size(), 3u);
  EXPECT_EQ(Open(u"c:\\drop\\b.dat", GENERIC_READ, OPEN_EXISTING), DWORD(ERROR_SUCCESS));
  EXPECT_TRUE(DeleteFileW(u"c:\\drop\\b.dat"));
  // A name used again gets a new owner, not the old file's.
  {
    winsim::ActAs as(bob);
    ASSERT_EQ(Put(u"c:\\drop\\a.dat", "bob"), DWORD(ERROR_SUCCESS));
  }
  EXPECT_EQ(winsim::FileOwner(u"c:\\drop\\a.dat"), bob.sid);
}

TEST_F(Access, AProtectedFolderKeepsUsersOutAndAdministratorsIn) {
  ASSERT_TRUE(MakeFolder(u"c:\\guarded", u"D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)"));
  ASSERT_EQ(Put(u"c:\\guarded\\log.txt", "x"), DWORD(ERROR_SUCCESS));
  {
    winsim::ActAs as(alice);
    EXPECT_EQ(Put(u"c:\\guarded\\new.dat", "x"), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Open(u"c:\\guarded\\log.txt", GENERIC_READ, OPEN_EXISTING), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Open(u"c:\\guarded\\log.txt", FILE_APPEND_DATA, OPEN_ALWAYS), DWORD(ERROR_ACCESS_DENIED));
    SetLastError(0);
    EXPECT_FALSE(CreateDirectoryW(u"c:\\guarded\\sub", nullptr));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    EXPECT_EQ(GetNamedSecurityInfoW(u"c:\\guarded", SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr,
                                    nullptr, nullptr, &sd),
              DWORD(ERROR_ACCESS_DENIED));
  }
  {
    winsim::ActAs as(admin);
    EXPECT_EQ(Put(u"c:\\guarded\\new.dat", "x"), DWORD(ERROR_SUCCESS));
    ASSERT_TRUE(CreateDirectoryW(u"c:\\guarded\\sub", nullptr));
  }
  // An elevated administrator's objects belong to the Administrators group.
  EXPECT_EQ(winsim::FileOwner(u"c:\\guarded\\new.dat"), "S-1-5-32-544");
  // What the sub-folder inherited keeps alice out of it too.
  winsim::ActAs as(alice);
  EXPECT_EQ(Put(u"c:\\guarded\\sub\\x.dat", "x"), DWORD(ERROR_ACCESS_DENIED));
}

TEST_F(Access, OnlyOwnersTheTokenHoldsCanBeAssigned) {
  const char16_t* adminsOwn = u"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)";
  {
    winsim::ActAs as(alice);
    SetLastError(0);
    EXPECT_FALSE(MakeFolder(u"c:\\planted", adminsOwn));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_OWNER));
    EXPECT_EQ(GetFileAttributesW(u"c:\\planted"), INVALID_FILE_ATTRIBUTES) << "nothing was made";
    ASSERT_TRUE(MakeFolder(u"c:\\hers", (u"O:" + std::u16string(alice.sid.begin(), alice.sid.end()) +
                                         u"D:P(A;OICI;FA;;;SY)").c_str()));
  }
  EXPECT_EQ(winsim::FileOwner(u"c:\\hers"), alice.sid);
  {
    winsim::ActAs as(admin);
    ASSERT_TRUE(MakeFolder(u"c:\\admins", adminsOwn));
  }
  ASSERT_TRUE(MakeFolder(u"c:\\service", adminsOwn)) << "SYSTEM holds the Administrators group";
  EXPECT_EQ(winsim::FileOwner(u"c:\\admins"), "S-1-5-32-544");
  EXPECT_EQ(winsim::FileOwner(u"c:\\service"), "S-1-5-32-544");
}

TEST_F(Access, FoldersUsersMakeOnTheDriveAreOpenToAllUsersAsOnWindows) {
  // The drive's root lets Authenticated Users make folders and change what is made below them.
  {
    winsim::ActAs as(alice);
    ASSERT_TRUE(CreateDirectoryW(u"c:\\shared", nullptr));
    ASSERT_EQ(Put(u"c:\\shared\\a.txt", "a"), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(Put(u"c:\\root.txt", "a"), DWORD(ERROR_ACCESS_DENIED)) << "no files in the root";
  }
  EXPECT_EQ(winsim::FileOwner(u"c:\\shared"), alice.sid);
  winsim::ActAs as(bob);
  EXPECT_EQ(Open(u"c:\\shared\\a.txt", GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(LastErrorOf(DeleteFileW(u"c:\\shared\\a.txt")), DWORD(ERROR_SUCCESS));
}

TEST_F(Access, ADenyEntryBeforeAnAllowEntryWins) {
  const std::u16string bobSid(bob.sid.begin(), bob.sid.end());
  // The write rights alone: FW would also deny the READ_CONTROL and SYNCHRONIZE every read asks for.
  ASSERT_TRUE(MakeFolder(u"c:\\mixed", (u"D:P(D;OICI;0x116;;;" + bobSid + u")(A;OICI;FA;;;WD)").c_str()));
  ASSERT_EQ(Put(u"c:\\mixed\\f.txt", "f"), DWORD(ERROR_SUCCESS));
  winsim::ActAs as(bob);
  EXPECT_EQ(Open(u"c:\\mixed\\f.txt", GENERIC_READ, OPEN_EXISTING), DWORD(ERROR_SUCCESS));
  EXPECT_EQ(Open(u"c:\\mixed\\f.txt", GENERIC_WRITE, OPEN_EXISTING), DWORD(ERROR_ACCESS_DENIED));
  winsim::ActAs asAlice(alice);
  EXPECT_EQ(Open(u"c:\\mixed\\f.txt", GENERIC_WRITE, OPEN_EXISTING), DWORD(ERROR_SUCCESS));
  // Denying FW takes reading too.
  ASSERT_TRUE(MakeFolder(u"c:\\strict", (u"D:P(D;OICI;FW;;;" + bobSid + u")(A;OICI;FA;;;WD)").c_str()));
  ASSERT_EQ(Put(u"c:\\strict\\f.txt", "f"), DWORD(ERROR_SUCCESS));
  winsim::ActAs asBob(bob);
  EXPECT_EQ(Open(u"c:\\strict\\f.txt", GENERIC_READ, OPEN_EXISTING), DWORD(ERROR_ACCESS_DENIED));
}

TEST_F(Access, TheThreadTokenIsTheImpersonatedUsersAndNewThreadsStartWithout) {
  ASSERT_TRUE(MakeFolder(u"c:\\guarded", u"D:P(A;OICI;FA;;;SY)"));
  HANDLE token = nullptr;
  SetLastError(0);
  EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_TOKEN));
  winsim::ActAs as(alice);
  ASSERT_TRUE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
  BYTE buffer[256];
  DWORD size = 0;
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size));
  PSID user = reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid;
  EXPECT_FALSE(IsWellKnownSid(user, WinLocalSystemSid));
  CloseHandle(token);
  // The process stays SYSTEM.
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, buffer, sizeof buffer, &size));
  EXPECT_TRUE(IsWellKnownSid(reinterpret_cast<TOKEN_USER*>(buffer)->User.Sid, WinLocalSystemSid));
  CloseHandle(token);

  EXPECT_EQ(Put(u"c:\\guarded\\mine.dat", "x"), DWORD(ERROR_ACCESS_DENIED));
  DWORD fromThread = 99;
  std::thread([&] { fromThread = Put(u"c:\\guarded\\service.dat", "x"); }).join();
  EXPECT_EQ(fromThread, DWORD(ERROR_SUCCESS)) << "a new thread runs as the process";
  ASSERT_TRUE(RevertToSelf());
  EXPECT_EQ(Put(u"c:\\guarded\\mine.dat", "x"), DWORD(ERROR_SUCCESS));
}

// The owner of an open file is the owner of what the handle reads, wherever its name has gone; the handle
// must have been opened with READ_CONTROL (GENERIC_READ has it, FILE_READ_DATA alone does not).
TEST_F(Access, TheOwnerOfAnOpenFileFollowsTheFileNotItsName) {
  ASSERT_EQ(Put(u"c:\\page.dat", "alice's"), DWORD(ERROR_SUCCESS));
  ASSERT_TRUE(winsim::SetFileOwner(u"c:\\page.dat", alice.sid));
  HANDLE h = CreateFileW(u"c:\\page.dat", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  HANDLE dataOnly = CreateFileW(u"c:\\page.dat", FILE_READ_DATA, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(dataOnly, INVALID_HANDLE_VALUE);
  // Another file takes the name.
  ASSERT_TRUE(MoveFileW(u"c:\\page.dat", u"c:\\moved.dat"));
  ASSERT_EQ(Put(u"c:\\page.dat", "bob's"), DWORD(ERROR_SUCCESS));
  ASSERT_TRUE(winsim::SetFileOwner(u"c:\\page.dat", bob.sid));

  // Alice's SID as the name's owner gives it now the file is at c:\\moved.dat.
  PSID hers = nullptr;
  PSECURITY_DESCRIPTOR hersSd = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoW(u"c:\\moved.dat", SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &hers, nullptr,
                                  nullptr, nullptr, &hersSd),
            DWORD(ERROR_SUCCESS));
  EXPECT_EQ(winsim::FileOwner(u"c:\\page.dat"), bob.sid);

  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_EQ(GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &sd),
            DWORD(ERROR_SUCCESS));
  EXPECT_EQ(winsim::FileOwner(u"c:\\moved.dat"), alice.sid) << "the descriptor went with the file";
  EXPECT_TRUE(owner && EqualSid(owner, hers)) << "the owner of the file the handle reads";
  LocalFree(sd);
  sd = nullptr;
  EXPECT_EQ(GetSecurityInfo(dataOnly, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &sd),
            DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(GetSecurityInfo(nullptr, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &sd),
            DWORD(ERROR_INVALID_HANDLE));
  LocalFree(hersSd);
  CloseHandle(dataOnly);
  CloseHandle(h);
}

// The same for a file deleted while open, and for one reached through a junction either way (a junction
// on the way is followed to its folder: the file has one descriptor). The audit list needs
// ACCESS_SYSTEM_SECURITY, which an ordinary open does not have.
TEST_F(Access, AnOpenFilesOwnerAfterDeletionAndThroughJunctions) {
  ASSERT_TRUE(MakeFolder(u"c:\\drop", kDropFolder));
  ASSERT_TRUE(CreateDirectoryW(u"c:\\real", nullptr));
  ASSERT_TRUE(winsim::CreateJunction(u"c:\\link", u"c:\\real"));
  ASSERT_EQ(Put(u"c:\\probe", "x"), DWORD(ERROR_SUCCESS));
  ASSERT_TRUE(winsim::SetFileOwner(u"c:\\probe", bob.sid));
  // Whether the file the handle reads is bob's, as the owner of c:\\probe says bob's SID is.
  auto isBobs = [](HANDLE file, DWORD* error) {
    PSID owner = nullptr, probe = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr, probeSd = nullptr;
    *error = GetSecurityInfo(file, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, &sd);
    const bool same = *error == ERROR_SUCCESS &&
                      GetNamedSecurityInfoW(u"c:\\probe", SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &probe, nullptr,
                                            nullptr, nullptr, &probeSd) == ERROR_SUCCESS &&
                      EqualSid(owner, probe);
    LocalFree(probeSd);
    LocalFree(sd);
    return same;
  };
  auto openToRead = [](const char16_t* path) {
    return CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  DWORD error = 0;
  // Made by one name, opened by the other, both ways.
  {
    winsim::ActAs as(bob);
    ASSERT_EQ(Put(u"c:\\link\\viaLink.dat", "his"), DWORD(ERROR_SUCCESS));
    ASSERT_EQ(Put(u"c:\\real\\viaReal.dat", "his"), DWORD(ERROR_SUCCESS));
  }
  EXPECT_EQ(winsim::FileOwner(u"c:\\real\\viaLink.dat"), bob.sid);
  EXPECT_EQ(winsim::FileOwner(u"c:\\link\\viaReal.dat"), bob.sid);
  for (const char16_t* path : {u"c:\\real\\viaLink.dat", u"c:\\link\\viaReal.dat"}) {
    HANDLE h = openToRead(path);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_TRUE(isBobs(h, &error)) << error;
    CloseHandle(h);
  }
  EXPECT_EQ(GetFileAttributesW(u"c:\\link") & FILE_ATTRIBUTE_REPARSE_POINT, DWORD(FILE_ATTRIBUTE_REPARSE_POINT))
      << "the junction itself is still one";

  {
    winsim::ActAs as(bob);
    ASSERT_EQ(Put(u"c:\\drop\\b.dat", "his"), DWORD(ERROR_SUCCESS));
  }
  HANDLE h = openToRead(u"c:\\drop\\b.dat");
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(DeleteFileW(u"c:\\drop\\b.dat"));
  ASSERT_EQ(Put(u"c:\\drop\\b.dat", "another"), DWORD(ERROR_SUCCESS)) << "the name is free again, SYSTEM's now";
  EXPECT_TRUE(isBobs(h, &error)) << "the deleted file is still bob's: " << error;
  PSID owner = nullptr;
  PACL sacl = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  EXPECT_EQ(GetSecurityInfo(h, SE_FILE_OBJECT, SACL_SECURITY_INFORMATION, nullptr, nullptr, nullptr, &sacl, &sd),
            DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(GetSecurityInfo(h, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr, nullptr, nullptr),
            DWORD(ERROR_INVALID_PARAMETER));
  CloseHandle(h);
}

// The spooler names a job's user; a service turns the name back into the account's SID.
TEST_F(Access, AccountNamesLookUpToTheirSids) {
  const auto alice = winsim::StandardUser("alice"), bob = winsim::StandardUser("bob");
  // Alice's SID as the file system gives it: the owner of a file of hers.
  ASSERT_EQ(Put(u"c:\\hers.dat", "x"), DWORD(ERROR_SUCCESS));
  ASSERT_TRUE(winsim::SetFileOwner(u"c:\\hers.dat", alice.sid));
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoW(u"c:\\hers.dat", SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                  nullptr, &sd),
            DWORD(ERROR_SUCCESS));
  std::vector<BYTE> sid;
  std::u16string domain;
  SID_NAME_USE use{};
  auto lookup = [&](const char16_t* name) -> DWORD {
    DWORD sidSize = 0, domainChars = 0;
    if (LookupAccountNameW(nullptr, name, nullptr, &sidSize, nullptr, &domainChars, &use)) return ERROR_SUCCESS;
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return GetLastError();
    sid.assign(sidSize, 0);
    std::vector<char16_t> text(domainChars);
    if (!LookupAccountNameW(nullptr, name, sid.data(), &sidSize, text.data(), &domainChars, &use)) return GetLastError();
    EXPECT_EQ(domainChars, std::char_traits<char16_t>::length(text.data())) << "the domain's length, without its NUL";
    domain = text.data();
    return ERROR_SUCCESS;
  };
  ASSERT_EQ(lookup(u"alice"), DWORD(ERROR_SUCCESS));
  EXPECT_TRUE(EqualSid(sid.data(), owner));
  EXPECT_EQ(use, SidTypeUser);
  ASSERT_EQ(lookup(u"ALICE"), DWORD(ERROR_SUCCESS)) << "names are not case-sensitive";
  EXPECT_TRUE(EqualSid(sid.data(), owner));
  ASSERT_EQ(lookup(u"bob"), DWORD(ERROR_SUCCESS));
  EXPECT_FALSE(EqualSid(sid.data(), owner));
  ASSERT_EQ(lookup(u"NT AUTHORITY\\SYSTEM"), DWORD(ERROR_SUCCESS));
  EXPECT_TRUE(IsWellKnownSid(sid.data(), WinLocalSystemSid));
  EXPECT_EQ(domain, u"NT AUTHORITY");
  EXPECT_EQ(use, SidTypeWellKnownGroup);
  EXPECT_EQ(lookup(u"mallory"), DWORD(ERROR_NONE_MAPPED));
  EXPECT_EQ(lookup(u"OTHERPC\\alice"), DWORD(ERROR_NONE_MAPPED)) << "not this machine's";
  LocalFree(sd);
}

}  // namespace
