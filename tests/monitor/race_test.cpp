// The page queue and the job list under concurrent use: spooler threads append pages and push jobs while
// the delivery thread walks and clears them, and ports close while pages are on their way. Run these
// under ThreadSanitizer (the linux-tsan preset) as well.
#include <chrono>
#include <thread>

#include "delivery_test_util.h"

using namespace montest;

namespace {

class QueueRaceTest : public DeliveryTest {};

TEST_F(QueueRaceTest, DocumentsEndingWhileTheQueueIsDeliveredAllComeOut) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  constexpr DWORD kJobs = 24;
  std::vector<uint16_t> expected;
  // One spooler thread ends documents back to back; another keeps polling the printer's status, as the
  // markers of a document in progress on another printer of the port would.
  std::atomic<bool> done{false};
  std::thread poller([&] {
    while (!done) {
      LONG status = 0;
      GetPrinterStatus(Port(h), &status);
      std::this_thread::yield();
    }
  });
  for (DWORD job = 1; job <= kJobs; ++job) {
    std::vector<uint16_t> pages;
    for (uint16_t i = 0; i < 1 + job % 3; ++i) pages.push_back(uint16_t(job * 10 + i));
    expected.insert(expected.end(), pages.begin(), pages.end());
    WriteTwlJob(job, pages, job % 2 == 0);
    ASSERT_TRUE(PrintDoc(h, job, int(pages.size())));
    if (job % 5 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  for (DWORD job = 1; job <= kJobs; ++job) EXPECT_TRUE(WaitEjected(job, 15000)) << "job " << job;
  EXPECT_TRUE(WaitQueueEmpty(h));
  done = true;
  poller.join();
  EXPECT_EQ(Numbers(twl->PrintedPages()), expected);
  EXPECT_TRUE(PageFilesLeft().empty());
}

TEST_F(QueueRaceTest, ClosingAPortWithPagesOnTheirWayReleasesEverything) {
  for (int round = 0; round < 6; ++round) {
    HANDLE h = Open();
    ASSERT_NE(h, nullptr);
    const DWORD job = DWORD(100 + round);
    WriteTwlJob(job, {uint16_t(round * 10 + 1), uint16_t(round * 10 + 2), uint16_t(round * 10 + 3)});
    ASSERT_TRUE(PrintDoc(h, job, 3));
    if (round % 2) std::this_thread::sleep_for(std::chrono::milliseconds(round * 3));
    EXPECT_TRUE(Close(h));
  }
  EXPECT_EQ(winsim::OpenPortHandles(), 0u);
  EXPECT_EQ(CountPrefix("UWriteThread: Exit UWriteThread"), 6);
  EXPECT_EQ(CountPrefix("DeletePortEntry: the port USB001 is deleted."), 6);
}

TEST_F(QueueRaceTest, APortClosesPromptlyWhileAPageWriteKeepsFailing) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  twl->SetWriteFaults(true);
  WriteTwlJob(7, {2, 3}, false);
  ASSERT_TRUE(PrintDoc(h, 7, 2));
  ASSERT_TRUE(WaitFor([&] { return CountPrefix("PrintPageFiles. PP_WRITE_ERROR") > 3; }));
  const auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(Close(h));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2)) << "the pass ends with the port";
  EXPECT_TRUE(Has("UWriteThread: Exit UWriteThread"));
  EXPECT_TRUE(twl->PrintedPages().empty());
}

}  // namespace
