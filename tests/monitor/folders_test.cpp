// The service's folder "c:\prtmonlog": created with a restricted access list, and refused (no log lines,
// no page files listed, nothing deleted) when it is a junction or belongs to someone else. Its page folder,
// where every user adds his own page files and none can touch another's.
#include <filesystem>

#include "common/service_folder.h"
#include "delivery_test_util.h"
#include "winsim/security.h"

using namespace montest;

namespace {

constexpr char kUserSid[] = "S-1-5-21-1004336348-1177238915-682003330-1001";

// An account's SID as a service looks it up from the job's user name.
std::vector<BYTE> SidOf(const char16_t* name) {
  DWORD sidSize = 0, domainChars = 0;
  SID_NAME_USE use{};
  LookupAccountNameW(nullptr, name, nullptr, &sidSize, nullptr, &domainChars, &use);
  std::vector<BYTE> sid(sidSize);
  std::vector<WCHAR> domain(domainChars + 1);
  if (sid.empty() || !LookupAccountNameW(nullptr, name, sid.data(), &sidSize, domain.data(), &domainChars, &use))
    ADD_FAILURE() << "no account";
  return sid;
}

class ServiceFolderTest : public DeliveryTest {
 protected:
  // What an ordinary user can leave behind in place of the folder.
  void PlantJunction() {
    ASSERT_TRUE(CreateDirectoryW(TEXT("c:\\windows"), nullptr));
    ASSERT_TRUE(CreateDirectoryW(TEXT("c:\\windows\\system32"), nullptr));
    WriteFileAt(u"c:\\windows\\system32\\page_0001_jobid_007_0.dat", PageBlock(1));
    WriteFileAt(u"c:\\windows\\system32\\drivers.dat", {1, 2, 3});
    ASSERT_TRUE(winsim::CreateJunction(u"c:\\prtmonlog", u"c:\\windows\\system32"));
  }
  bool Untouched() {
    return winsim::ReadHostFile(u"c:\\windows\\system32\\page_0001_jobid_007_0.dat") == PageBlock(1) &&
           winsim::ReadHostFile(u"c:\\windows\\system32\\drivers.dat").size() == 3 &&
           winsim::ReadHostFile(u"c:\\windows\\system32\\mon_2024-2-4.log").empty() &&
           GetFileAttributesW(TEXT("c:\\windows\\system32\\pages")) == INVALID_FILE_ATTRIBUTES;
  }
  static DWORD Create(const std::u16string& path, DWORD access, DWORD disposition) {
    WString p = ToWString(path.c_str());
    HANDLE h = CreateFileW(p.c_str(), access, FILE_SHARE_READ, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return GetLastError();
    const std::vector<uint8_t> block = PageBlock(1);
    DWORD written = 0;
    if (access & GENERIC_WRITE) WriteFile(h, block.data(), DWORD(block.size()), &written, nullptr);
    CloseHandle(h);
    return ERROR_SUCCESS;
  }
  // Opens USB001 and prints job `job` of `markers` page markers; returns once the spooler was told it is out.
  HANDLE PrintAndWait(DWORD job, int markers) {
    HANDLE h = Open();
    EXPECT_NE(h, nullptr);
    Pause();
    EXPECT_TRUE(PrintDoc(h, job, markers));
    Resume();
    EXPECT_TRUE(WaitEjected(job));
    return h;
  }
  static void InitializeMonitor() {
    MONITORINIT init = winsim::SpoolerMonitorInit();
    HANDLE hMonitor;
    ASSERT_NE(InitializePrintMonitor2(&init, &hMonitor), nullptr);
  }
};

TEST_F(ServiceFolderTest, TheFolderIsCreatedForTheServiceOnly) {
  MonLog(TEXT("first line\n"));
  EXPECT_TRUE(Has("first line"));
  EXPECT_EQ(winsim::FileOwner(u"c:\\prtmonlog"), "S-1-5-18");
  EXPECT_EQ(winsim::FileAccessList(u"c:\\prtmonlog"),
            (std::vector<std::string>{"S-1-5-18", "S-1-5-32-544", "S-1-5-19"}));
}

TEST_F(ServiceFolderTest, AJunctionInPlaceOfTheFolderIsNeitherWrittenNorCleared) {
  PlantJunction();
  MONITORINIT init = winsim::SpoolerMonitorInit();
  HANDLE hMonitor;
  ASSERT_NE(InitializePrintMonitor2(&init, &hMonitor), nullptr);
  MonLog(TEXT("a line\n"));
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  ASSERT_TRUE(PrintDoc(h, 7, 1));
  EXPECT_EQ(LoadPointer(&Port(h)->pageQueue), nullptr) << "nothing listed through the junction";
  Resume();
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(Close(h));
  EXPECT_TRUE(Untouched());
  EXPECT_TRUE(twl->PrintedPages().empty());
}

TEST_F(ServiceFolderTest, AFolderOwnedByAUserIsNeitherWrittenNorCleared) {
  WriteFileAt(PagePath(1, 7), PageBlock(1));
  ASSERT_TRUE(winsim::SetFileOwner(u"c:\\prtmonlog", kUserSid));
  MONITORINIT init = winsim::SpoolerMonitorInit();
  HANDLE hMonitor;
  ASSERT_NE(InitializePrintMonitor2(&init, &hMonitor), nullptr);
  EXPECT_TRUE(Exists(PagePath(1, 7)));
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  ASSERT_TRUE(PrintDoc(h, 7, 1));
  EXPECT_EQ(LoadPointer(&Port(h)->pageQueue), nullptr);
  EXPECT_TRUE(Log().empty()) << "no log lines in a folder someone else controls";

  // Owned by Administrators, it is the service's.
  ASSERT_TRUE(winsim::SetFileOwner(u"c:\\prtmonlog", "S-1-5-32-544"));
  ASSERT_TRUE(PrintDoc(h, 8, 0));
  MonLog(TEXT("owned by the administrators\n"));
  EXPECT_TRUE(Has("owned by the administrators"));
}

TEST_F(ServiceFolderTest, ThePageFolderTakesEveryUsersPagesAndGivesEachHisOwn) {
  InitializeMonitor();  // the spooler loads the monitor: the folders are made
  MonLog(TEXT("loaded\n"));
  EXPECT_EQ(winsim::FileOwner(u"c:\\prtmonlog\\pages"), "S-1-5-18");
  const auto alice = winsim::StandardUser("alice"), bob = winsim::StandardUser("bob");
  const std::u16string page = PagePath(1, 7);
  {
    winsim::ActAs as(alice);
    EXPECT_EQ(Create(page, GENERIC_WRITE, CREATE_NEW), DWORD(ERROR_SUCCESS));
    EXPECT_EQ(Create(page, GENERIC_READ | GENERIC_WRITE, OPEN_EXISTING), DWORD(ERROR_SUCCESS)) << "hers";
    // The log folder stays the service's.
    EXPECT_EQ(Create(u"c:\\prtmonlog\\mine.log", GENERIC_WRITE, CREATE_NEW), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Create(u"c:\\prtmonlog\\mon_2024-2-4.log", GENERIC_READ, OPEN_EXISTING), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(CreateDirectoryW(TEXT("c:\\prtmonlog\\pages\\sub"), nullptr));
    EXPECT_TRUE(PreparePageFolder()) << "the renderer, as the user, finds the folder the service's";
  }
  EXPECT_EQ(winsim::FileOwner(page), alice.sid);
  {
    winsim::ActAs as(bob);
    EXPECT_EQ(Create(page, GENERIC_WRITE, OPEN_EXISTING), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Create(page, GENERIC_WRITE, CREATE_ALWAYS), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_EQ(Create(page, GENERIC_READ, OPEN_EXISTING), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_FALSE(DeleteFileW(ToWString(page.c_str()).c_str()));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
    EXPECT_TRUE(PageFilesLeft().empty()) << "users do not list the folder";
    // A file named for her job is his, not hers: it must not print as one of her pages.
    EXPECT_EQ(Create(PagePath(2, 7), GENERIC_WRITE, CREATE_NEW), DWORD(ERROR_SUCCESS)) << "a file of his own";
  }
  EXPECT_EQ(winsim::FileOwner(PagePath(2, 7)), bob.sid);
  // Job 7 is alice's. The monitor lists, reads and removes both files, and prints hers only.
  EXPECT_EQ(PageFilesLeft().size(), 2u);
  EXPECT_EQ(winsim::ReadHostFile(page), PageBlock(1));
  jobUser = alice;
  HANDLE h = PrintAndWait(7, 2);
  ASSERT_TRUE(WaitFor([] { return PageFilesLeft().empty(); }));
  EXPECT_EQ(twl->PrintedPages().size(), 1u);
  EXPECT_TRUE(Has("WritePage, the file " + Narrow(PagePath(2, 7)) + " is not the job's: another user's. pIniPort:" +
                  Hex(h) + ", hPort:" + Hex(Port(h)->hPort)));
}

// The owner is checked on the file the monitor has open: one swapped in under the name afterwards, or the
// name's holder at the time of the check, cannot stand in for the bytes that are read.
TEST_F(ServiceFolderTest, TheOwnerCheckedIsThatOfTheOpenFile) {
  ASSERT_TRUE(PreparePageFolder());
  const auto alice = winsim::StandardUser("alice"), bob = winsim::StandardUser("bob");
  const std::u16string page = PagePath(1, 7), aside = PagePath(9, 7);
  WriteFileAt(page, PageBlock(1));
  ASSERT_TRUE(winsim::SetFileOwner(page, bob.sid));
  WString name = ToWString(page.c_str());
  HANDLE h = CreateFileW(name.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                         OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  ASSERT_NE(h, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(MoveFileW(name.c_str(), ToWString(aside.c_str()).c_str()));
  WriteFileAt(page, PageBlock(2));
  ASSERT_TRUE(winsim::SetFileOwner(page, alice.sid));
  std::vector<BYTE> aliceSid = SidOf(u"alice");
  PSID user = aliceSid.data();
  EXPECT_TRUE(IsOwnedBy(name.c_str(), user)) << "the name is now hers";
  SetLastError(0);
  EXPECT_FALSE(IsOpenFileOwnedBy(h, user)) << "what the handle reads is bob's";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  std::vector<BYTE> bobSid = SidOf(u"bob");
  EXPECT_TRUE(IsOpenFileOwnedBy(h, bobSid.data()));
  CloseHandle(h);
  // A failed open's handle is no file of anyone's (on Windows it would stand for the process itself).
  SetLastError(0);
  EXPECT_FALSE(IsOpenFileOwnedBy(INVALID_HANDLE_VALUE, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

// Another user's page file, renamed away in the moment after the monitor opened it and replaced by one of
// the job's user: the bytes the monitor has open are still his, and do not print.
TEST_F(ServiceFolderTest, AFileSwappedAfterTheOpenIsJudgedByWhatWasOpened) {
  InitializeMonitor();
  const auto alice = winsim::StandardUser("alice"), bob = winsim::StandardUser("bob");
  {
    winsim::ActAs as(alice);
    ASSERT_EQ(Create(PagePath(1, 7), GENERIC_WRITE, CREATE_NEW), DWORD(ERROR_SUCCESS));
  }
  {
    winsim::ActAs as(bob);
    ASSERT_EQ(Create(PagePath(2, 7), GENERIC_WRITE, CREATE_NEW), DWORD(ERROR_SUCCESS));
  }
  bool swapped = false;
  winsim::OnceAfterOpen(PagePath(2, 7), [&] {
    swapped = MoveFileW(ToWString(PagePath(2, 7).c_str()).c_str(), TEXT("c:\\prtmonlog\\pages\\aside.tmp")) &&
              winsim::WriteHostFile(PagePath(2, 7), PageBlock(2).data(), PageBlock(2).size()) &&
              winsim::SetFileOwner(PagePath(2, 7), alice.sid);
  });
  jobUser = alice;
  HANDLE h = PrintAndWait(7, 2);
  ASSERT_TRUE(swapped) << "the monitor opened the page file";
  EXPECT_EQ(Numbers(twl->PrintedPages()), std::vector<uint16_t>{1}) << "bob's bytes did not print as her page 2";
  EXPECT_TRUE(Has("WritePage, the file " + Narrow(PagePath(2, 7)) + " is not the job's: another user's. pIniPort:" +
                  Hex(h) + ", hPort:" + Hex(Port(h)->hPort)));
}

TEST_F(ServiceFolderTest, PagesOfAJobWhoseUserIsUnknownPrintOnlyFromTheService) {
  InitializeMonitor();
  const auto alice = winsim::StandardUser("alice");
  WriteTwlJob(7, {1}, false);  // the service's own file
  {
    winsim::ActAs as(alice);
    EXPECT_EQ(Create(PagePath(2, 7), GENERIC_WRITE, CREATE_NEW), DWORD(ERROR_SUCCESS));
  }
  // A user name that names no account on this machine.
  jobUser = winsim::Account{"nobody-here", "S-1-5-21-1-2-3-4242", false};
  HANDLE h = PrintAndWait(7, 2);
  ASSERT_TRUE(WaitFor([] { return PageFilesLeft().empty(); }));
  EXPECT_EQ(Numbers(twl->PrintedPages()), std::vector<uint16_t>{1});
  EXPECT_TRUE(Has("StartDocPort, the user of job 7 is unknown (error 1332): only the service's page files print. "
                  "pIniPort:" + Hex(h) + ", hPort:" + Hex(Port(h)->hPort)));
}

TEST_F(ServiceFolderTest, AUserCannotMakeTheFoldersBeforeTheService) {
  const auto alice = winsim::StandardUser("alice");
  {
    winsim::ActAs as(alice);
    SetLastError(0);
    EXPECT_FALSE(PreparePageFolder());
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PATH_NOT_FOUND));
  }
  EXPECT_EQ(GetFileAttributesW(TEXT("c:\\prtmonlog")), INVALID_FILE_ATTRIBUTES) << "no folder of hers for the service";
  // An administrator's renderer (or the service) makes both, owned by the Administrators.
  {
    winsim::ActAs as(winsim::AdministratorUser("ada"));
    EXPECT_TRUE(PreparePageFolder());
  }
  EXPECT_EQ(winsim::FileOwner(u"c:\\prtmonlog"), "S-1-5-32-544");
  EXPECT_EQ(winsim::FileOwner(u"c:\\prtmonlog\\pages"), "S-1-5-32-544");
  InitializeMonitor();
  MonLog(TEXT("the service writes here\n"));
  EXPECT_TRUE(Has("the service writes here"));
}

TEST_F(ServiceFolderTest, ALinkPlantedInThePageFolderIsNotPrinted) {
  InitializeMonitor();
  WriteFileAt(u"c:\\secret.dat", PageBlock(4));
  WriteTwlJob(7, {2}, false);
  // A second name of the secret file, as a hard link a user made there.
  std::filesystem::create_hard_link(winsim::HostPath(u"c:\\secret.dat"), winsim::HostPath(PagePath(4, 7)));
  HANDLE h = PrintAndWait(7, 2);
  EXPECT_EQ(Numbers(twl->PrintedPages()), std::vector<uint16_t>{2});
  EXPECT_TRUE(Has("WritePage, the file " + Narrow(PagePath(4, 7)) + " is not a page file. pIniPort:" + Hex(h) +
                  ", hPort:" + Hex(Port(h)->hPort)));
  EXPECT_EQ(winsim::ReadHostFile(u"c:\\secret.dat"), PageBlock(4));
}

TEST(PageFileNames, OnlyTheRendererShapeIsAPageFile) {
  for (auto name : {u"page_0001_jobid_005_0.dat", u"page_12345_jobid_1234_17.dat"})
    EXPECT_TRUE(IsPageFileName(ToWString(name).c_str())) << Narrow(name);
  for (auto name : {u"page_0001_jobid_005.dat", u"other.dat", u"page__jobid_005_0.dat", u"page_1_jobid_5_0.dat.bak",
                    u"Page_1_jobid_5_0.dat", u"page_1_jobid_5_x.dat", u"page_1_jobid_5_0.datx"})
    EXPECT_FALSE(IsPageFileName(ToWString(name).c_str())) << Narrow(name);
}

}  // namespace
