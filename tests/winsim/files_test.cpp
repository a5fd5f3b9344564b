#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "winsim/machine.h"
#include <aclapi.h>
#include <sddl.h>
#include <windows.h>

namespace {

class Files : public ::testing::Test {
 protected:
  void SetUp() override { winsim::Reset(); }

  static void Put(const std::u16string& path, const std::string& text) {
    ASSERT_TRUE(winsim::WriteHostFile(path, text.data(), text.size()));
  }
  static std::string Get(const std::u16string& path) {
    auto b = winsim::ReadHostFile(path);
    return std::string(b.begin(), b.end());
  }
  static HANDLE Open(LPCWSTR path, DWORD access, DWORD disposition, DWORD share = FILE_SHARE_READ) {
    return CreateFileW(path, access, share, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  // Names FindFirstFileW/FindNextFileW report for a pattern, or the error when it finds nothing.
  static std::vector<std::string> Find(LPCWSTR pattern, DWORD* error = nullptr) {
    std::vector<std::string> names;
    WIN32_FIND_DATAW fd;
    HANDLE h = FindFirstFileW(pattern, &fd);
    if (h == INVALID_HANDLE_VALUE) {
      if (error) *error = GetLastError();
      return names;
    }
    do {
      std::u16string w(fd.cFileName);
      names.emplace_back(w.begin(), w.end());
    } while (FindNextFileW(h, &fd));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_FILES));
    EXPECT_TRUE(FindClose(h));
    return names;
  }
};

TEST_F(Files, CreateDispositionsFollowWindows) {
  const LPCWSTR f = u"C:\\data.bin";
  HANDLE h = Open(f, GENERIC_READ, OPEN_EXISTING);
  EXPECT_EQ(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Open(f, GENERIC_WRITE, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));

  SetLastError(ERROR_BUSY);
  h = Open(f, GENERIC_WRITE, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(GetLastError(), 0u);
  DWORD n = 0;
  EXPECT_TRUE(WriteFile(h, "hello", 5, &n, nullptr));
  EXPECT_EQ(n, 5u);
  EXPECT_TRUE(CloseHandle(h));

  EXPECT_EQ(Open(f, GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));

  h = Open(f, GENERIC_READ, OPEN_ALWAYS);  // existing: opened untouched, ERROR_ALREADY_EXISTS
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(GetFileSize(h, nullptr), 5u);
  CloseHandle(h);

  h = Open(f, GENERIC_WRITE, CREATE_ALWAYS);  // existing: truncated, ERROR_ALREADY_EXISTS
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(GetFileSize(h, nullptr), 0u);
  WriteFile(h, "abc", 3, &n, nullptr);
  CloseHandle(h);

  h = Open(f, GENERIC_WRITE, TRUNCATE_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_EQ(Get(f), "");
  EXPECT_EQ(Open(f, GENERIC_READ, TRUNCATE_EXISTING), INVALID_HANDLE_VALUE) << "truncation needs write access";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  h = Open(u"C:\\new.bin", GENERIC_WRITE, OPEN_ALWAYS);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), 0u);
  CloseHandle(h);

  EXPECT_EQ(Open(u"C:\\missing\\x.bin", GENERIC_WRITE, CREATE_ALWAYS), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(Open(u"C:\\missing\\x.bin", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  ASSERT_TRUE(CreateDirectoryW(u"C:\\dir", nullptr));
  EXPECT_EQ(Open(u"C:\\dir", GENERIC_READ, OPEN_EXISTING), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
}

TEST_F(Files, NamesAreCaseInsensitiveAndCasePreserving) {
  Put(u"C:\\PrtMonLog\\Page_0001.DAT", "page");
  EXPECT_EQ(Get(u"c:/prtmonlog/page_0001.dat"), "page");
  HANDLE h = CreateFileA("c:\\PRTMONLOG\\page_0001.dat", GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);

  // A new file in an existing folder keeps the folder's stored case and its own given case.
  h = Open(u"c:\\PRTMONLOG\\New.Log", GENERIC_WRITE, CREATE_NEW);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  CloseHandle(h);
  EXPECT_EQ(winsim::HostPath(u"C:\\prtmonlog\\new.log"), winsim::RootDir() + "/PrtMonLog/New.Log");
  EXPECT_EQ(Open(u"C:\\PRTMONLOG\\NEW.LOG", GENERIC_WRITE, CREATE_NEW), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));

  EXPECT_EQ(CreateDirectoryW(u"C:\\prtmonlog", nullptr), FALSE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_EQ(GetFileAttributesW(u"c:\\PRTMONLOG"), DWORD(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(winsim::HostPath(u"D:\\x"), "");
  EXPECT_EQ(winsim::HostPath(u"\\\\server\\share\\x"), "");
}

TEST_F(Files, PathErrors) {
  struct Case {
    LPCWSTR path;
    DWORD error;
  } cases[] = {
      {u"C:\\nothing.txt", ERROR_FILE_NOT_FOUND},
      {u"C:\\no\\such.txt", ERROR_PATH_NOT_FOUND},
      {u"D:\\x.txt", ERROR_PATH_NOT_FOUND},
      {u"\\\\server\\share\\x.txt", ERROR_PATH_NOT_FOUND},
      {u"C:\\bad|name", ERROR_INVALID_NAME},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(GetFileAttributesW(c.path), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_FALSE(DeleteFileW(c.path));
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_FALSE(CreateDirectoryW(u"C:\\a\\b", nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));

  Put(u"C:\\a\\f.txt", "x");
  EXPECT_FALSE(RemoveDirectoryW(u"C:\\a"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DIR_NOT_EMPTY));
  EXPECT_FALSE(RemoveDirectoryW(u"C:\\a\\f.txt"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DIRECTORY));
  EXPECT_FALSE(DeleteFileW(u"C:\\a"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(GetFileAttributesW(u"C:\\a\\f.txt\\g"), INVALID_FILE_ATTRIBUTES) << "a file as a folder";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_TRUE(DeleteFileA("c:\\A\\F.TXT"));
  EXPECT_TRUE(RemoveDirectoryW(u"C:\\A"));
  EXPECT_EQ(GetFileAttributesA("C:\\a"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Files, ReadWriteSeekAndAccessRights) {
  HANDLE w = Open(u"C:\\f.bin", GENERIC_WRITE, CREATE_ALWAYS);
  ASSERT_NE(w, INVALID_HANDLE_VALUE);
  char buf[16];
  DWORD n = 99;
  EXPECT_FALSE(ReadFile(w, buf, 4, &n, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_EQ(n, 0u);
  EXPECT_TRUE(WriteFile(w, "0123456789", 10, &n, nullptr));
  EXPECT_EQ(SetFilePointer(w, 2, nullptr, FILE_BEGIN), 2u);
  EXPECT_TRUE(WriteFile(w, "ab", 2, &n, nullptr));
  EXPECT_EQ(SetFilePointer(w, 0, nullptr, FILE_CURRENT), 4u);
  EXPECT_EQ(SetFilePointer(w, -1, nullptr, FILE_END), 9u);
  EXPECT_EQ(SetFilePointer(w, -20, nullptr, FILE_CURRENT), INVALID_SET_FILE_POINTER);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NEGATIVE_SEEK));
  EXPECT_TRUE(FlushFileBuffers(w));
  CloseHandle(w);

  HANDLE r = Open(u"C:\\f.bin", GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(r, INVALID_HANDLE_VALUE);
  EXPECT_FALSE(WriteFile(r, "x", 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  EXPECT_FALSE(FlushFileBuffers(r));
  DWORD high = 7;
  EXPECT_EQ(GetFileSize(r, &high), 10u);
  EXPECT_EQ(high, 0u);
  EXPECT_TRUE(ReadFile(r, buf, sizeof buf, &n, nullptr));
  EXPECT_EQ(std::string(buf, n), "01ab456789");
  EXPECT_TRUE(ReadFile(r, buf, sizeof buf, &n, nullptr)) << "reading at the end succeeds";
  EXPECT_EQ(n, 0u);
  EXPECT_TRUE(CloseHandle(r));

  EXPECT_FALSE(CloseHandle(r));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(ReadFile(r, buf, 1, &n, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_FALSE(CloseHandle(INVALID_HANDLE_VALUE));
}

TEST_F(Files, SharingModesAreEnforced) {
  Put(u"C:\\s.bin", "data");
  HANDLE a = Open(u"C:\\s.bin", GENERIC_WRITE, OPEN_EXISTING, 0);
  ASSERT_NE(a, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Open(u"C:\\S.BIN", GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ | FILE_SHARE_WRITE), INVALID_HANDLE_VALUE);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  HANDLE attrs = Open(u"C:\\s.bin", 0, OPEN_EXISTING, 0);  // no data access: not subject to sharing
  EXPECT_NE(attrs, INVALID_HANDLE_VALUE);
  CloseHandle(attrs);
  EXPECT_FALSE(DeleteFileW(u"C:\\s.bin"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(MoveFileW(u"C:\\s.bin", u"C:\\t.bin"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
  CloseHandle(a);

  a = Open(u"C:\\s.bin", GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ | FILE_SHARE_DELETE);
  HANDLE b = Open(u"C:\\s.bin", GENERIC_READ, OPEN_EXISTING, FILE_SHARE_READ | FILE_SHARE_DELETE);
  EXPECT_NE(b, INVALID_HANDLE_VALUE);
  EXPECT_EQ(Open(u"C:\\s.bin", GENERIC_WRITE, OPEN_EXISTING, FILE_SHARE_READ), INVALID_HANDLE_VALUE);
  EXPECT_TRUE(DeleteFileW(u"C:\\s.bin"));
  CloseHandle(a);
  CloseHandle(b);
}

TEST_F(Files, MoveAndCopy) {
  Put(u"C:\\dir\\a.txt", "A");
  Put(u"C:\\dir\\b.txt", "B");
  EXPECT_FALSE(MoveFileW(u"C:\\dir\\a.txt", u"C:\\dir\\B.TXT"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  EXPECT_FALSE(MoveFileW(u"C:\\dir\\none.txt", u"C:\\dir\\c.txt"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(MoveFileW(u"C:\\dir\\a.txt", u"C:\\dir\\A.TXT")) << "case-only rename";
  EXPECT_EQ(Find(u"C:\\dir\\a*"), std::vector<std::string>{"A.TXT"});

  EXPECT_FALSE(CopyFileW(u"C:\\dir\\a.txt", u"C:\\dir\\b.txt", TRUE));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_FILE_EXISTS));
  EXPECT_TRUE(CopyFileW(u"C:\\dir\\a.txt", u"C:\\dir\\b.txt", FALSE));
  EXPECT_EQ(Get(u"C:\\dir\\b.txt"), "A");
  EXPECT_TRUE(MoveFileW(u"C:\\dir", u"C:\\moved"));
  EXPECT_EQ(Get(u"C:\\moved\\a.txt"), "A");
}

TEST_F(Files, FindMatchesWildcardsCaseInsensitively) {
  for (auto name : {u"page_0001_jobid_007_1.dat", u"PAGE_0002_JOBID_007_1.DAT", u"page_0003_jobid_008_1.dat",
                    u"mon_2024-1-2.log", u"noext"})
    Put(std::u16string(u"C:\\prtmonlog\\") + name, "x");
  ASSERT_TRUE(CreateDirectoryW(u"C:\\prtmonlog\\sub", nullptr));

  EXPECT_EQ(Find(u"C:\\prtmonlog\\*.dat"),
            (std::vector<std::string>{"page_0001_jobid_007_1.dat", "PAGE_0002_JOBID_007_1.DAT",
                                      "page_0003_jobid_008_1.dat"}));
  EXPECT_EQ(Find(u"c:\\PRTMONLOG\\page_????_jobid_007_*.dat").size(), 2u);
  EXPECT_EQ(Find(u"C:\\prtmonlog\\*"),
            (std::vector<std::string>{".", "..", "mon_2024-1-2.log", "noext", "page_0001_jobid_007_1.dat",
                                      "PAGE_0002_JOBID_007_1.DAT", "page_0003_jobid_008_1.dat", "sub"}));
  EXPECT_EQ(Find(u"C:\\prtmonlog\\*.*").size(), 8u) << "*.* also matches names without a dot";
  EXPECT_EQ(Find(u"C:\\prtmonlog\\NOEXT"), std::vector<std::string>{"noext"});

  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(u"C:\\prtmonlog\\s*", &fd);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_EQ(fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY, DWORD(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_FALSE(CloseHandle(h)) << "find handles close with FindClose only";
  EXPECT_TRUE(FindClose(h));
  EXPECT_FALSE(FindClose(h));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));

  DWORD err = 0;
  EXPECT_TRUE(Find(u"C:\\prtmonlog\\*.tmp", &err).empty());
  EXPECT_EQ(err, DWORD(ERROR_FILE_NOT_FOUND));
  EXPECT_TRUE(Find(u"C:\\nowhere\\*", &err).empty());
  EXPECT_EQ(err, DWORD(ERROR_PATH_NOT_FOUND));
  EXPECT_EQ(Find(u"C:\\*"), std::vector<std::string>{"prtmonlog"}) << "the root has no . and ..";
}

TEST_F(Files, ResetGivesAnEmptyDriveAndDropsHandles) {
  Put(u"C:\\keep.txt", "x");
  HANDLE h = Open(u"C:\\keep.txt", GENERIC_READ, OPEN_EXISTING);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  std::string oldRoot = winsim::RootDir();
  winsim::Reset();
  EXPECT_NE(winsim::RootDir(), oldRoot);
  EXPECT_FALSE(std::filesystem::exists(oldRoot));
  EXPECT_TRUE(std::filesystem::is_empty(winsim::RootDir()));
  EXPECT_EQ(GetFileAttributesW(u"C:\\keep.txt"), INVALID_FILE_ATTRIBUTES);
  EXPECT_FALSE(CloseHandle(h));
}

TEST_F(Files, JunctionsOwnersAndAccessLists) {
  ASSERT_TRUE(CreateDirectoryW(u"c:\\target", nullptr));
  Put(u"c:\\target\\a.dat", "A");
  ASSERT_TRUE(winsim::CreateJunction(u"c:\\link", u"c:\\target"));
  EXPECT_FALSE(winsim::CreateJunction(u"c:\\link", u"c:\\target")) << "the name is taken";
  EXPECT_EQ(GetFileAttributesW(u"c:\\link"), DWORD(FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT));
  EXPECT_EQ(GetFileAttributesW(u"c:\\target"), DWORD(FILE_ATTRIBUTE_DIRECTORY));
  EXPECT_EQ(Get(u"c:\\link\\a.dat"), "A") << "followed like a folder";
  WIN32_FIND_DATAW fd;
  HANDLE h = FindFirstFileW(u"c:\\li*", &fd);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT);
  FindClose(h);
  SetLastError(0);
  EXPECT_FALSE(CreateDirectoryW(u"c:\\link", nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ALREADY_EXISTS));
  // Junctions in a circle, and a link planted on the host that leads off the drive, lead nowhere.
  ASSERT_EQ(symlink((winsim::RootDir() + "/ring1").c_str(), (winsim::RootDir() + "/spare").c_str()), 0);
  ASSERT_EQ(symlink((winsim::RootDir() + "/spare").c_str(), (winsim::RootDir() + "/ring1").c_str()), 0);
  const std::string outside = winsim::RootDir() + "-outside";
  std::filesystem::create_directories(outside);
  Put(u"c:\\target\\b.dat", "B");
  std::filesystem::copy_file(winsim::RootDir() + "/target/b.dat", outside + "/b.dat");
  ASSERT_EQ(symlink(outside.c_str(), (winsim::RootDir() + "/away").c_str()), 0);
  for (const char16_t* path : {u"c:\\ring1\\a.dat", u"c:\\away\\b.dat"}) {
    SetLastError(0);
    EXPECT_EQ(GetFileAttributesW(path), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(CreateFileW(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr), INVALID_HANDLE_VALUE);
  }
  std::filesystem::remove_all(outside);
  for (const char* name : {"/ring1", "/spare", "/away"}) std::filesystem::remove(winsim::RootDir() + name);

  ASSERT_TRUE(RemoveDirectoryW(u"c:\\link"));
  EXPECT_EQ(Get(u"c:\\target\\a.dat"), "A") << "removing the junction leaves its target";

  // Owners: SYSTEM unless set; an access list from the descriptor the folder was created with.
  EXPECT_EQ(winsim::FileOwner(u"c:\\target"), "S-1-5-18");
  EXPECT_EQ(winsim::FileOwner(u"c:\\missing"), "");
  PSECURITY_DESCRIPTOR sd = nullptr;
  ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(u"O:BAD:P(A;OICI;FA;;;SY)(A;OICI;FA;;;S-1-5-21-9)",
                                                                  SDDL_REVISION_1, &sd, nullptr));
  SECURITY_ATTRIBUTES sa{sizeof sa, sd, FALSE};
  ASSERT_TRUE(CreateDirectoryW(u"c:\\guarded", &sa));
  LocalFree(sd);
  EXPECT_EQ(winsim::FileOwner(u"c:\\guarded"), "S-1-5-32-544");
  EXPECT_EQ(winsim::FileAccessList(u"c:\\guarded"), (std::vector<std::string>{"S-1-5-18", "S-1-5-21-9"}));
  EXPECT_FALSE(ConvertStringSecurityDescriptorToSecurityDescriptorW(u"D:(X;;;;;SY)", SDDL_REVISION_1, &sd, nullptr));

  ASSERT_TRUE(winsim::SetFileOwner(u"c:\\target", "S-1-5-21-9"));
  PSID owner = nullptr;
  ASSERT_EQ(GetNamedSecurityInfoW(u"c:\\target", SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                  nullptr, &sd),
            DWORD(ERROR_SUCCESS));
  EXPECT_FALSE(IsWellKnownSid(owner, WinLocalSystemSid));
  LocalFree(sd);
  ASSERT_EQ(GetNamedSecurityInfoW(u"c:\\guarded", SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                  nullptr, &sd),
            DWORD(ERROR_SUCCESS));
  EXPECT_TRUE(IsWellKnownSid(owner, WinBuiltinAdministratorsSid));
  LocalFree(sd);
  EXPECT_EQ(GetNamedSecurityInfoW(u"c:\\missing", SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                  nullptr, &sd),
            DWORD(ERROR_FILE_NOT_FOUND));
}

}  // namespace

TEST_F(Files, ProcessTokenNamesTheServiceAccount) {
  HANDLE token = nullptr;
  ASSERT_TRUE(OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token));
  DWORD size = 0;
  SetLastError(0);
  EXPECT_FALSE(GetTokenInformation(token, TokenUser, nullptr, 0, &size));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_GT(size, DWORD(sizeof(TOKEN_USER)));
  std::vector<BYTE> buffer(size);
  ASSERT_TRUE(GetTokenInformation(token, TokenUser, buffer.data(), size, &size));
  PSID self = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
  EXPECT_TRUE(IsWellKnownSid(self, WinLocalSystemSid));

  ASSERT_TRUE(CreateDirectoryW(u"c:\\mine", nullptr));
  ASSERT_TRUE(CreateDirectoryW(u"c:\\theirs", nullptr));
  ASSERT_TRUE(winsim::SetFileOwner(u"c:\\theirs", "S-1-5-21-9"));
  for (auto [path, same] : {std::pair{u"c:\\mine", true}, std::pair{u"c:\\theirs", false}}) {
    PSID owner = nullptr;
    PSECURITY_DESCRIPTOR sd = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoW(path, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                                    nullptr, &sd),
              DWORD(ERROR_SUCCESS));
    EXPECT_EQ(bool(EqualSid(owner, self)), same);
    LocalFree(sd);
  }
  EXPECT_TRUE(CloseHandle(token));
  EXPECT_FALSE(CloseHandle(token)) << "closed once";
}
