// The service's folder "c:\prtmonlog": created with a restricted access list, and refused (no log lines,
// no page files listed, nothing deleted) when it is a junction or belongs to someone else.
#include "delivery_test_util.h"

using namespace montest;

namespace {

constexpr char kUserSid[] = "S-1-5-21-1004336348-1177238915-682003330-1001";

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
           winsim::ReadHostFile(u"c:\\windows\\system32\\mon_2024-2-4.log").empty();
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

TEST(PageFileNames, OnlyTheRendererShapeIsAPageFile) {
  for (auto name : {u"page_0001_jobid_005_0.dat", u"page_12345_jobid_1234_17.dat"})
    EXPECT_TRUE(IsPageFileName(ToWString(name).c_str())) << Narrow(name);
  for (auto name : {u"page_0001_jobid_005.dat", u"other.dat", u"page__jobid_005_0.dat", u"page_1_jobid_5_0.dat.bak",
                    u"Page_1_jobid_5_0.dat", u"page_1_jobid_5_x.dat", u"page_1_jobid_5_0.datx"})
    EXPECT_FALSE(IsPageFileName(ToWString(name).c_str())) << Narrow(name);
}

}  // namespace
