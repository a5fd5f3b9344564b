// The page-file queue: names, listing at the end of a document, the clear after a pass, and a listing
// that comes between a pass and its clear.
#include <chrono>
#include <thread>

#include "delivery_test_util.h"

using namespace montest;

namespace {

class PageQueueTest : public DeliveryTest {
 protected:
  std::vector<std::string> Queue(HANDLE h) {
    std::vector<std::string> out;
    for (PageEntry* e = LoadPointer(&Port(h)->pageQueue); e; e = LoadPointer(&e->next)) out.push_back(WideToUtf8(e->path));
    return out;
  }
  std::string Added(const std::u16string& path, HANDLE h) {
    return "Enter ListPageFiles. Page " + Narrow(path) + " is added. pIniPort:" + Hex(Port(h)) +
           ", hPort:" + Hex(Port(h)->hPort);
  }
};

std::pair<DWORD, DWORD> Parse(const char16_t* path) {
  WString p = ToWString(path);
  DWORD page = 99, job = 99;
  ParsePageFileName(p.c_str(), &page, &job);
  return {page, job};
}

TEST(PageFileName, ReadsWholeNumbersAfterTheFirstUnderscore) {
  EXPECT_EQ(Parse(u"c:\\prtmonlog\\page_0003_jobid_1234_0.dat"), std::make_pair(3u, 1234u));
  EXPECT_EQ(Parse(u"c:\\prtmonlog\\page_12345_jobid_005_1.dat"), std::make_pair(12345u, 5u));
  EXPECT_EQ(Parse(u"c:\\prtmonlog\\page_0000_jobid_007_2.dat"), std::make_pair(0u, 7u));
  // The counter field and the extension are not checked.
  EXPECT_EQ(Parse(u"c:\\prtmonlog\\page_0004_jobid_009.dat"), std::make_pair(4u, 9u));
}

TEST(PageFileName, FieldsThatDoNotParseStayZero) {
  EXPECT_EQ(Parse(u"c:\\prtmonlog\\page_x_jobid_007_0.dat"), std::make_pair(0u, 0u));
  EXPECT_EQ(Parse(u"c:\\prtmonlog\\page_0003-jobid_007_0.dat"), std::make_pair(3u, 0u));
  EXPECT_EQ(Parse(u"c:\\prtmonlog\\page_0003_jobid_x.dat"), std::make_pair(3u, 0u));
  EXPECT_EQ(Parse(u"c:\\prtmonlog\\nounderscore.dat"), std::make_pair(0u, 0u));
  EXPECT_EQ(Parse(u"c:\\prtmonlog\\page_99999999999_jobid_7_0.dat"), std::make_pair(0u, 0u));  // beyond 32 bits
  EXPECT_EQ(Parse(u""), std::make_pair(0u, 0u));
  DWORD page = 1, job = 1;
  ParsePageFileName(nullptr, &page, &job);
  EXPECT_EQ(page + job, 0u);
}

TEST_F(PageQueueTest, EndOfDocumentQueuesTheJobsFilesInNameOrder) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  auto paths = WriteTwlJob(7, {2, 3, 258});
  WriteFileAt(PagePath(2, 8), PageBlock(2));  // another job's
  ASSERT_TRUE(PrintDoc(h, 7, 3));
  std::vector<std::string> expected;
  for (const auto& p : paths) expected.push_back(Narrow(p));
  EXPECT_EQ(Queue(h), expected);
  for (const auto& p : paths) EXPECT_TRUE(Has(Added(p, h)));
  EXPECT_TRUE(Has("Using jobid 0 to get pages for unknown reason. pIniPort:" + Hex(Port(h)) + ", hPort:" +
                  Hex(Port(h)->hPort)));

  PageEntry* e = LoadPointer(&Port(h)->pageQueue);
  EXPECT_EQ(e->pageNumber, 0u);
  EXPECT_EQ(e->jobId, 7u);
  e = LoadPointer(&e->next);
  EXPECT_EQ(e->pageNumber, 2u);
  EXPECT_FALSE(e->isSent || e->isPrinted || e->checkCount);

  // Listed again (a second end of document): nothing is added twice.
  EnterMonitorLock();
  ListPageFiles(Port(h));
  LeaveMonitorLock();
  EXPECT_EQ(Queue(h).size(), 4u);
}

TEST_F(PageQueueTest, OnlyTheJobsOwnFilesAreListedInPageOrderBeyondPage9999) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  WriteTwlJob(123, {1, 9999, 10000, 10001}, false);
  WriteFileAt(PagePath(5, 1230), PageBlock(5));  // "*jobid_123*" matches these two as well
  WriteFileAt(PagePath(6, 12345), PageBlock(6));
  WriteFileAt(PagePath(0, 0), JobHeader());  // a job-level file, still taken
  ASSERT_TRUE(PrintDoc(h, 123, 4));
  EXPECT_EQ(Queue(h), (std::vector<std::string>{Narrow(PagePath(1, 123)), Narrow(PagePath(9999, 123)),
                                                Narrow(PagePath(10000, 123)), Narrow(PagePath(10001, 123)),
                                                Narrow(PagePath(0, 0))}));
  std::vector<DWORD> pages;
  for (PageEntry* e = LoadPointer(&Port(h)->pageQueue); e; e = LoadPointer(&e->next)) pages.push_back(e->pageNumber);
  EXPECT_EQ(pages, (std::vector<DWORD>{1, 9999, 10000, 10001, 0}));

  // Delivered and cleared, the other jobs' files stay where they are.
  Resume();
  ASSERT_TRUE(WaitEjected(123));
  ASSERT_TRUE(WaitQueueEmpty(h));
  Pause();
  EXPECT_EQ(Numbers(twl->PrintedPages()), (std::vector<uint16_t>{1, 9999, 10000, 10001}));
  EXPECT_TRUE(Exists(PagePath(5, 1230)));
  EXPECT_TRUE(Exists(PagePath(6, 12345)));
}

TEST_F(PageQueueTest, FilesOlderThanTheFirstOfTheirScanAreSkipped) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  // Created before the file that sorts first: left over from something older.
  WriteFileAt(PagePath(3, 7), PageBlock(3));
  WriteFileAt(PagePath(1, 0), PageBlock(1));
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  WriteFileAt(PagePath(2, 7), PageBlock(2));
  WriteFileAt(PagePath(0, 0), JobHeader());
  ASSERT_TRUE(PrintDoc(h, 7, 2));

  EXPECT_EQ(Queue(h), (std::vector<std::string>{Narrow(PagePath(2, 7)), Narrow(PagePath(0, 0))}));
  EXPECT_EQ(Count("Enter ListPageFiles. Skipped the file " + Narrow(PagePath(3, 7)) +
                  " because invalid time. pIniPort:" + Hex(Port(h)) + ", hPort:" + Hex(Port(h)->hPort)),
            1);
  // The job-0 scan skips without a message; its reference is its own first file.
  EXPECT_EQ(CountPrefix("Enter ListPageFiles. Skipped the file"), 1);
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW(ToWString(PagePath(0, 0).c_str()).c_str(), &found);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  FindClose(find);
  FILETIME ref = ReferenceTime();
  EXPECT_EQ(ref.dwLowDateTime, found.ftCreationTime.dwLowDateTime);
  EXPECT_EQ(ref.dwHighDateTime, found.ftCreationTime.dwHighDateTime);
}

TEST_F(PageQueueTest, AnEndOfDocumentWithoutAJobListsNothing) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  WriteTwlJob(0, {2});
  WriteTwlJob(5, {3});
  EXPECT_TRUE(MonEndDocPort(h));
  EXPECT_TRUE(Queue(h).empty());
  EXPECT_FALSE(Has("Using jobid 0 to get pages for unknown reason. pIniPort:" + Hex(Port(h)) + ", hPort:" +
                   Hex(Port(h)->hPort)));
  EXPECT_EQ(PageFilesLeft().size(), 4u) << "the files stay for their own jobs";
}

// ---- a listing between a pass and its clear ------------------------------------------------------

std::atomic<int> g_stage{0};

// A turn that lets the test list more files after the pass and before the clear.
void TurnWithListingBeforeClear(IniPort* port) {
  PrintPageFiles(port);
  if (g_stage == 1) {
    g_stage = 2;
    while (g_stage != 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ClearPagesInQueue(port);
}

TEST_F(PageQueueTest, EntriesListedAfterAPassBeganWaitForTheNextPass) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  SetDeliveryStep(TurnWithListingBeforeClear);
  WriteTwlJob(7, {2, 3});
  ASSERT_TRUE(PrintDoc(h, 7, 2));
  g_stage = 1;
  ASSERT_TRUE(WaitFor([] { return g_stage == 2; }));  // the pass over job 7 is done, its clear waits

  auto second = WriteTwlJob(8, {4, 5});
  ASSERT_TRUE(PrintDoc(h, 8, 2));
  for (const auto& p : second) EXPECT_TRUE(Exists(p));
  g_stage = 3;

  ASSERT_TRUE(WaitEjected(8));
  ASSERT_TRUE(WaitQueueEmpty(h));
  EXPECT_EQ(Numbers(twl->PrintedPages()), (std::vector<uint16_t>{2, 3, 4, 5}));
  EXPECT_TRUE(Ejected(7));
  EXPECT_TRUE(PageFilesLeft().empty());
  // Job 8's files left the queue sent and printed, not unsent.
  for (const auto& p : second)
    EXPECT_TRUE(Has("ClearPagesInQueue. File [" + Narrow(p) + ", isSent(1), isPrinted(1)] is removed from queue, "
                    "pIniJob->JobId:8, jobID:8"));
  SetDeliveryStep(nullptr);
}

TEST_F(PageQueueTest, ClearReleasesEveryJobItPasses) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  WriteTwlJob(7, {2});
  ASSERT_TRUE(PrintDoc(h, 7, 1));
  WriteTwlJob(8, {3});
  ASSERT_TRUE(PrintDoc(h, 8, 1));
  Resume();
  ASSERT_TRUE(WaitEjected(8));
  ASSERT_TRUE(WaitQueueEmpty(h));
  Pause();
  EXPECT_TRUE(Ejected(7));
  EXPECT_TRUE(Has("ClearPagesInQueue: The printer handle is closed for job 8"));
  EXPECT_TRUE(Has("ClearPagesInQueue: The printer handle is closed for job 7")) << "no handle kept per job";
  EXPECT_EQ(Port(h)->jobs, nullptr);
  EXPECT_EQ(LastRemovedJob(Port(h)), 0u);

  // After an offline spell every job of the pass leaves the spooler's queue, not only the last.
  twl->GoOfflineAfterPages(1);
  WriteTwlJob(9, {4, 5});
  ASSERT_TRUE(PrintDoc(h, 9, 2));
  WriteTwlJob(10, {6});
  ASSERT_TRUE(PrintDoc(h, 10, 1));
  Resume();
  ASSERT_TRUE(WaitEjected(9));
  ASSERT_TRUE(WaitEjected(10));
  ASSERT_TRUE(WaitQueueEmpty(h));
  Pause();
  EXPECT_EQ(Port(h)->jobs, nullptr);
  EXPECT_TRUE(PageFilesLeft().empty());
}

}  // namespace
