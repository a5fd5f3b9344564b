// Page-file delivery through the simulated TWL printer: pages printed, the printed check, re-prints and
// the faults the delivery thread meets.
#include <algorithm>
#include <thread>

#include "delivery_test_util.h"

using namespace montest;

namespace {

class DeliveryFaultTest : public DeliveryTest {
 protected:
  std::string Ids(HANDLE h) { return "pIniPort:" + Hex(Port(h)) + ", hPort:" + Hex(Port(h)->hPort); }
  // Runs the queued documents and waits until `job` is ended and the queue is empty.
  void Deliver(HANDLE h, DWORD job) {
    Resume();
    ASSERT_TRUE(WaitEjected(job)) << "job " << job << " never reported ejected";
    ASSERT_TRUE(WaitQueueEmpty(h));
    Pause();
  }
  int PortWrites() const {
    int n = 0;
    for (const auto& c : winsim::PortMonitorCalls()) n += c.rfind("WritePort ", 0) == 0;
    return n;
  }
};

TEST_F(DeliveryFaultTest, PagesArePrintedInOrderAndTheirFilesRemoved) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  auto paths = WriteTwlJob(7, {2, 3, 258, 4});
  ASSERT_TRUE(PrintDoc(h, 7, 4));
  Deliver(h, 7);

  auto printed = twl->PrintedPages();
  EXPECT_EQ(Numbers(printed), (std::vector<uint16_t>{2, 3, 4, 258}));
  ASSERT_EQ(printed.size(), 4u);
  auto block = PageBlock(3);
  EXPECT_EQ(printed[1].rows, 4u);
  EXPECT_EQ(printed[1].rowBytes, 3u);
  EXPECT_EQ(std::vector<uint8_t>(printed[1].raster.begin(), printed[1].raster.begin() + 3),
            std::vector<uint8_t>(block.begin() + 24, block.begin() + 27));
  EXPECT_EQ(twl->OtherItems(), std::vector<std::vector<uint8_t>>{JobHeader()});
  EXPECT_TRUE(PageFilesLeft().empty());

  // The job header is below 10 bytes: removed once written, and it counts as printed at once.
  EXPECT_TRUE(Has("WritePage: The page " + Narrow(paths[0]) + " is removed. Datasize:7, Written:7."));
  // Page 258 (01 02) found among the recent pages.
  EXPECT_TRUE(Has("IsPagePrinted: Check 258(0102) in [0102 0004 0003 0002 0000 0000 0000 0000 ], Yes, " + Ids(h)));
  EXPECT_TRUE(Has("RemovePrintedPages. File [" + Narrow(paths[3]) + "] is removed, " + Ids(h)));
  EXPECT_TRUE(Has("RemovePrintedPages. Job 7 is removed as all the pages of it are removed, " + Ids(h)));
  EXPECT_TRUE(Has("ClearPagesInQueue: The printer handle is closed for job 7"));
  EXPECT_EQ(Port(h)->jobs, nullptr);
}

TEST_F(DeliveryFaultTest, SmallJobLevelFilesGoOnceSentEmptyAndVanishedFilesAreSkipped) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  const auto nine = PagePath(0, 7, 0), ten = PagePath(0, 7, 1), empty = PagePath(2, 7), gone = PagePath(3, 7);
  WriteFileAt(nine, std::vector<uint8_t>(9, 'A'));
  WriteFileAt(ten, std::vector<uint8_t>(10, 'B'));
  WriteFileAt(empty, {});
  WriteFileAt(gone, PageBlock(3));
  WriteFileAt(PagePath(4, 7), PageBlock(4));
  ASSERT_TRUE(PrintDoc(h, 7, 3));
  ASSERT_TRUE(DeleteFileW(ToWString(gone.c_str()).c_str()));
  winsim::ClearPortMonitorCalls();
  Deliver(h, 7);

  EXPECT_TRUE(Has("WritePage: The page " + Narrow(nine) + " is removed. Datasize:9, Written:9."));
  EXPECT_TRUE(Has("WritePage: Page " + Narrow(ten) + " is sent to the printer. Datasize:10, Written:10."));
  EXPECT_FALSE(Has("WritePage: The page " + Narrow(ten) + " is removed. Datasize:10, Written:10."));
  EXPECT_EQ(CountPrefix("WritePage: Page " + Narrow(empty)), 0);
  EXPECT_TRUE(Has("WritePage, failed to open file " + Narrow(gone) + ". " + Ids(h)));
  EXPECT_EQ(PortWrites(), 3) << "9 bytes, 10 bytes and page 4";
  EXPECT_EQ(Numbers(twl->PrintedPages()), std::vector<uint16_t>{4});
  EXPECT_TRUE(Has("ClearPagesInQueue. File [" + Narrow(empty) +
                  ", isSent(0), isPrinted(0)] is removed from queue, pIniJob->JobId:7, jobID:7"));
  EXPECT_TRUE(PageFilesLeft().empty());
}

TEST_F(DeliveryFaultTest, AFailingWriteIsRepeatedUntilItSucceeds) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  auto paths = WriteTwlJob(7, {2, 3, 4});
  twl->FailPageWrites(3, 3);
  ASSERT_TRUE(PrintDoc(h, 7, 3));
  Deliver(h, 7);

  EXPECT_EQ(Count("WritePage: pfnWritePort failed sending the page " + Narrow(paths[2]) + ". Datasize:" +
                  std::to_string(PageBlock(3).size()) + ", Written:0."),
            3);
  EXPECT_EQ(Count("PrintPageFiles. PP_WRITE_ERROR, " + Ids(h)), 3);
  EXPECT_EQ(twl->ReceivedPageNumbers(), (std::vector<uint16_t>{2, 3, 4})) << "sent again until taken, then once";
  EXPECT_EQ(Numbers(twl->PrintedPages()), (std::vector<uint16_t>{2, 3, 4}));
  EXPECT_FALSE(AtomicLoad(&Port(h)->status) & PP_WRITE_ERROR);
}

TEST_F(DeliveryFaultTest, APageVisitedMoreThanTenTimesIsGivenUpAndAPageLostSilentlyIsSentAgain) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  auto paths = WriteTwlJob(7, {2, 3, 5}, false);
  // Page 3 fails ten writes and is then lost without a word; page 5 fails nine and is lost the same way.
  twl->FailPageWrites(3, 10);
  twl->LosePage(3, 1, winsim::TwlPrinterDevice::kSilently);
  twl->FailPageWrites(5, 9);
  twl->LosePage(5, 1, winsim::TwlPrinterDevice::kSilently);
  ASSERT_TRUE(PrintDoc(h, 7, 3));
  Deliver(h, 7);

  // Page 5 had ten visits when the pass first got past it: it is sent again and comes out.
  EXPECT_EQ(Numbers(twl->PrintedPages()), (std::vector<uint16_t>{2, 5}));
  // The eleventh visit of page 3 wrote it: given up as printed, and said so.
  EXPECT_TRUE(Has("IsPagePrinted: Check 3(0003) in [0002 0000 0000 0000 0000 0000 0000 0000 ], No, " + Ids(h)));
  EXPECT_TRUE(Has("PrintPageFiles. Page " + Narrow(paths[1]) + " is given up after 11 visits. " + Ids(h)));
  EXPECT_TRUE(Has("RemovePrintedPages. File [" + Narrow(paths[1]) + "] is removed, " + Ids(h)));
  EXPECT_TRUE(Has("PrintPageFiles. Page " + Narrow(paths[2]) + " is not confirmed by the printer, it is sent again. " +
                  Ids(h)));
  EXPECT_TRUE(Has("ClearPagesInQueue. File [" + Narrow(paths[2]) +
                  ", isSent(1), isPrinted(1)] is removed from queue, pIniJob->JobId:7, jobID:7"));
  EXPECT_TRUE(PageFilesLeft().empty());
}

TEST_F(DeliveryFaultTest, AReprintRequestSendsThePagesAfterTheCounterAgain) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  auto paths = WriteTwlJob(7, {2, 3, 4, 5, 6});
  twl->LosePage(4);  // the printer asks for everything after page 3
  ASSERT_TRUE(PrintDoc(h, 7, 5));
  Deliver(h, 7);

  EXPECT_EQ(twl->ReceivedPageNumbers(), (std::vector<uint16_t>{2, 3, 4, 4, 5, 6}));
  EXPECT_EQ(Numbers(twl->PrintedPages()), (std::vector<uint16_t>{2, 3, 4, 5, 6}));
  EXPECT_EQ(Count("RemovePrintedPages. File [" + Narrow(paths[3]) + "] is asked re-print, " + Ids(h)), 1);
  EXPECT_EQ(CountPrefix("RemovePrintedPages. File [" + Narrow(paths[1]) + "] is asked"), 0);
  EXPECT_EQ(CountPrefix("RemovePrintedPages. File [" + Narrow(paths[2]) + "] is asked"), 0);
  EXPECT_TRUE(PageFilesLeft().empty());
}

TEST_F(DeliveryFaultTest, APageAskedForAgainAndAgainIsSentUntilItsVisitsRunOut) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  auto paths = WriteTwlJob(7, {2, 3, 4}, false);
  twl->LosePage(3, 3);   // asked for three times, printed the fourth
  twl->LosePage(4, 20);  // asked for every time
  ASSERT_TRUE(PrintDoc(h, 7, 3));
  Deliver(h, 7);

  EXPECT_EQ(Numbers(twl->PrintedPages()), (std::vector<uint16_t>{2, 3}));
  EXPECT_EQ(Count("RemovePrintedPages. File [" + Narrow(paths[1]) + "] is asked re-print, " + Ids(h)), 3);
  // Page 4: eleven visits, each one a write and a re-print request; then the pass moves on.
  EXPECT_EQ(Count("RemovePrintedPages. File [" + Narrow(paths[2]) + "] is asked re-print, " + Ids(h)), 11);
  const auto received = twl->ReceivedPageNumbers();
  EXPECT_EQ(std::count(received.begin(), received.end(), 4), 11);
  EXPECT_TRUE(Has("PrintPageFiles. Page " + Narrow(paths[2]) + " is given up after 11 visits. " + Ids(h)));
  EXPECT_TRUE(Has("ClearPagesInQueue. File [" + Narrow(paths[2]) +
                  ", isSent(0), isPrinted(0)] is removed from queue, pIniJob->JobId:7, jobID:7"));
  EXPECT_TRUE(PageFilesLeft().empty());
}

TEST_F(DeliveryFaultTest, AReprintRequestTouchesOnlySentPagesAboveTheCounter) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  auto paths = WriteTwlJob(7, {3, 4, 5, 6}, false);
  twl->LosePage(3, 1, winsim::TwlPrinterDevice::kSilently);  // sent, never listed
  twl->LosePage(6, 1, 4);                                     // status 0x80, page counter 4
  ASSERT_TRUE(PrintDoc(h, 7, 4));
  Deliver(h, 7);

  EXPECT_EQ(Count("RemovePrintedPages. File [" + Narrow(paths[3]) + "] is asked re-print, " + Ids(h)), 1);
  EXPECT_EQ(CountPrefix("RemovePrintedPages. File [" + Narrow(paths[0]) + "] is asked"), 0);
  // Page 3 never came out: once the pass is through, it is sent again.
  EXPECT_EQ(twl->ReceivedPageNumbers(), (std::vector<uint16_t>{3, 4, 5, 6, 6, 3}));
  EXPECT_EQ(Numbers(twl->PrintedPages()), (std::vector<uint16_t>{4, 5, 6, 3}));
}

TEST_F(DeliveryFaultTest, ALateReprintRequestFromAnEarlierCounterSendsTheUnconfirmedPageAgain) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  auto paths = WriteTwlJob(7, {4, 5, 6}, false);
  // Page 5 is lost without a word; after page 6 the printer asks for everything after page 4.
  twl->LosePage(5, 1, winsim::TwlPrinterDevice::kSilentlyThenEarlier);
  ASSERT_TRUE(PrintDoc(h, 7, 3));
  Deliver(h, 7);

  // Page 6 is sent again at once as the printer asked; page 5, never confirmed, once the pass is through.
  EXPECT_EQ(Numbers(twl->PrintedPages()), (std::vector<uint16_t>{4, 6, 6, 5}));
  EXPECT_EQ(Count("RemovePrintedPages. File [" + Narrow(paths[1]) + "] is asked re-print, " + Ids(h)), 1);
  const std::string size = std::to_string(PageBlock(5).size());
  EXPECT_EQ(Count("WritePage: Page " + Narrow(paths[1]) + " is sent to the printer. Datasize:" + size + ", Written:" +
                  size + "."),
            2);
  EXPECT_EQ(CountPrefix("PrintPageFiles. Page " + Narrow(paths[1]) + " is given up"), 0);
  EXPECT_TRUE(Has("ClearPagesInQueue. File [" + Narrow(paths[1]) +
                  ", isSent(1), isPrinted(1)] is removed from queue, pIniJob->JobId:7, jobID:7"));
  EXPECT_TRUE(PageFilesLeft().empty());
}

// A port monitor that takes at most 10 bytes a call, and hands a page block to the printer once all of it
// has arrived, as a printer reading a byte stream does.
struct TricklePort {
  static inline BOOL(WINAPI* real)(HANDLE, LPBYTE, DWORD, LPDWORD) = nullptr;
  static inline std::vector<std::vector<uint8_t>> blocks;
  static inline std::vector<uint8_t> pending;
  static inline int calls = 0;
  static BOOL WINAPI Write(HANDLE h, LPBYTE data, DWORD size, LPDWORD written) {
    ++calls;
    const DWORD n = size < 10 ? size : 10;
    pending.insert(pending.end(), data, data + n);
    *written = n;
    if (std::find(blocks.begin(), blocks.end(), pending) != blocks.end()) {
      DWORD whole = 0;
      real(h, pending.data(), DWORD(pending.size()), &whole);
      pending.clear();
    }
    return TRUE;
  }
};

TEST_F(DeliveryFaultTest, AShortWriteContinuesWithTheRestOfThePage) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  auto paths = WriteTwlJob(7, {2, 3}, false);
  ASSERT_TRUE(PrintDoc(h, 7, 2));
  TricklePort::real = Port(h)->portMonitorTable.pfnWritePort;
  TricklePort::blocks = {PageBlock(2), PageBlock(3)};
  TricklePort::pending.clear();
  TricklePort::calls = 0;
  Port(h)->portMonitorTable.pfnWritePort = TricklePort::Write;
  Deliver(h, 7);
  Port(h)->portMonitorTable.pfnWritePort = TricklePort::real;

  const size_t size = PageBlock(2).size();
  EXPECT_TRUE(Has("WritePage: Page " + Narrow(paths[0]) + " is sent to the printer. Datasize:" +
                  std::to_string(size) + ", Written:" + std::to_string(size) + "."));
  EXPECT_EQ(TricklePort::calls, int(2 * ((size + 9) / 10)));
  EXPECT_TRUE(TricklePort::pending.empty());
  EXPECT_EQ(twl->ReceivedPageNumbers(), (std::vector<uint16_t>{2, 3})) << "each page once, whole";
  EXPECT_EQ(twl->TornBlocks(), 0u);
  EXPECT_EQ(Numbers(twl->PrintedPages()), (std::vector<uint16_t>{2, 3}));
}

TEST_F(DeliveryFaultTest, AShortWriteThePrinterTearsIsSentAgain) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  auto paths = WriteTwlJob(7, {2, 3}, false);
  twl->ShortenNextWrites(1, 10);  // this printer reads each write on its own: the block is torn
  ASSERT_TRUE(PrintDoc(h, 7, 2));
  Deliver(h, 7);

  const std::string size = std::to_string(PageBlock(2).size());
  EXPECT_TRUE(Has("WritePage: Page " + Narrow(paths[0]) + " is sent to the printer. Datasize:" + size +
                  ", Written:" + size + "."));
  EXPECT_EQ(twl->TornBlocks(), 1u);
  EXPECT_EQ(Numbers(twl->PrintedPages()), (std::vector<uint16_t>{2, 3}));
}

TEST_F(DeliveryFaultTest, OfflineAfterTheSecondOfFivePagesDeletesTheJobsFilesAndEndsIt) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  auto paths = WriteTwlJob(7, {2, 3, 4, 5, 6});
  twl->GoOfflineAfterPages(2);
  ASSERT_TRUE(PrintDoc(h, 7, 5));
  Deliver(h, 7);

  EXPECT_EQ(Numbers(twl->PrintedPages()), (std::vector<uint16_t>{2, 3}));
  EXPECT_EQ(Count("PrintPageFiles. Printer is offline, the job 007 will be deleted. Please reprint it again. " +
                  Ids(h)),
            1);
  EXPECT_TRUE(PageFilesLeft().empty());
  for (const auto& p : paths) EXPECT_FALSE(Exists(p));
  EXPECT_EQ(Port(h)->jobs, nullptr);

  // Back online, the next job goes through: the error the offline printer left holds nothing.
  twl->SetOffline(false);
  WriteFileAt(PagePath(0, 8), {});  // an empty header file: nothing written for it
  WriteTwlJob(8, {7, 8}, false);
  ASSERT_TRUE(PrintDoc(h, 8, 2));
  Deliver(h, 8);
  EXPECT_EQ(Numbers(twl->PrintedPages()), (std::vector<uint16_t>{2, 3, 7, 8}));
}

TEST_F(DeliveryFaultTest, PagesOfAJobDeletedInTheSpoolerAreDroppedUnsent) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  auto paths = WriteTwlJob(7, {2, 3});
  ASSERT_TRUE(PrintDoc(h, 7, 2));
  ASSERT_TRUE(winsim::SetJobStatus(7, JOB_STATUS_DELETING));
  winsim::ClearPortMonitorCalls();
  Deliver(h, 7);

  EXPECT_EQ(PortWrites(), 0);
  EXPECT_TRUE(twl->ReceivedPageNumbers().empty());
  EXPECT_TRUE(Has("PrintPageFiles. Job 7 is deleting by someway, make page 0002 done. " + Ids(h)));
  EXPECT_TRUE(Has("PrintPageFiles. Job 7 is deleting by someway, make page 0000 done. " + Ids(h)));
  EXPECT_TRUE(PageFilesLeft().empty());
  EXPECT_TRUE(Has("ClearPagesInQueue. File [" + Narrow(paths[2]) +
                  ", isSent(1), isPrinted(1)] is removed from queue, pIniJob->JobId:7, jobID:7"));
}

TEST_F(DeliveryFaultTest, OnlyFilesNamedAsTheRendererNamesThemAreTaken) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  WriteTwlJob(7, {2});
  // Anyone may add files to the page folder: names of another shape are not pages of the job.
  const auto odd = FolderPath("page_x_jobid_007_0.dat"), extra = FolderPath("page_0003_jobid_007_0.dat.dat");
  WriteFileAt(odd, PageBlock(9));
  WriteFileAt(extra, PageBlock(3));
  ASSERT_TRUE(PrintDoc(h, 7, 2));
  Deliver(h, 7);
  EXPECT_EQ(Numbers(twl->PrintedPages()), std::vector<uint16_t>{2});
  EXPECT_TRUE(Exists(odd));
  EXPECT_TRUE(Exists(extra));
  EXPECT_EQ(CountPrefix("Enter ListPageFiles. Page " + Narrow(odd)), 0);
  EXPECT_EQ(LoadPointer(&Port(h)->jobs), nullptr);
}

TEST_F(DeliveryFaultTest, TwoJobsBackToBackOnOnePort) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  WriteTwlJob(7, {2, 3});
  ASSERT_TRUE(PrintDoc(h, 7, 2));
  WriteTwlJob(8, {4, 5});
  ASSERT_TRUE(PrintDoc(h, 8, 2));
  Deliver(h, 8);
  EXPECT_TRUE(Ejected(7));
  EXPECT_EQ(Numbers(twl->PrintedPages()), (std::vector<uint16_t>{2, 3, 4, 5}));
  EXPECT_EQ(twl->OtherItems().size(), 2u);
  EXPECT_TRUE(PageFilesLeft().empty());
}

TEST_F(DeliveryFaultTest, JobsOnTwoPortsAtOnce) {
  auto second = AddSecondPrinter("TW0000005");
  HANDLE a = Open(u"USB001"), b = Open(u"USB002");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);

  auto run = [&](HANDLE port, DWORD firstJob, uint16_t firstPage, const std::u16string& name) {
    for (DWORD job = firstJob; job < firstJob + 4; ++job) {
      const uint16_t page = uint16_t(firstPage + (job - firstJob) * 3);
      WriteTwlJob(job, {page, uint16_t(page + 1), uint16_t(page + 2)});
      EXPECT_TRUE(PrintDoc(port, job, 3, name));
      EXPECT_TRUE(WaitEjected(job));
    }
  };
  std::thread one(run, a, 10, 100, std::u16string(kPrinter));
  std::thread two(run, b, 20, 200, std::u16string(u"Label TWL 2"));
  one.join();
  two.join();
  ASSERT_TRUE(WaitQueueEmpty(a));
  ASSERT_TRUE(WaitQueueEmpty(b));

  std::vector<uint16_t> expectA, expectB;
  for (uint16_t i = 0; i < 12; ++i) expectA.push_back(uint16_t(100 + i)), expectB.push_back(uint16_t(200 + i));
  EXPECT_EQ(Numbers(twl->PrintedPages()), expectA);
  EXPECT_EQ(Numbers(second->PrintedPages()), expectB);
  EXPECT_TRUE(PageFilesLeft().empty());
}

TEST_F(DeliveryFaultTest, TwoTwlPortsNeverReportEachOthersJobsEjected) {
  auto second = AddSecondPrinter("TW0000006");
  HANDLE a = Open(u"USB001"), b = Open(u"USB002");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  Pause();
  WriteTwlJob(10, {1, 2}, false);
  WriteTwlJob(20, {5, 6}, false);
  ASSERT_TRUE(PrintDoc(a, 10, 2));
  ASSERT_TRUE(PrintDoc(b, 20, 2, u"Label TWL 2"));

  // Port A's pass is still open (its clear has not run) when port B's pass prints its pages.
  PrintPageFiles(Port(a));
  EXPECT_EQ(LastRemovedJob(Port(a)), 10u);
  PrintPageFiles(Port(b));
  EXPECT_EQ(LastRemovedJob(Port(b)), 20u);
  EXPECT_EQ(LastRemovedJob(Port(a)), 10u);
  for (const auto& c : winsim::JobControls()) {
    if (c.command != JOB_CONTROL_LAST_PAGE_EJECTED) continue;
    EXPECT_EQ(c.printer == u"Label TWL 2", c.jobId == 20u) << "job " << c.jobId << " told through " << Narrow(c.printer);
  }

  Resume();
  EXPECT_TRUE(WaitEjected(10));
  EXPECT_TRUE(WaitEjected(20));
  ASSERT_TRUE(WaitQueueEmpty(a));
  ASSERT_TRUE(WaitQueueEmpty(b));
  EXPECT_EQ(Numbers(twl->PrintedPages()), (std::vector<uint16_t>{1, 2}));
  EXPECT_EQ(Numbers(second->PrintedPages()), (std::vector<uint16_t>{5, 6}));
  EXPECT_TRUE(PageFilesLeft().empty());
}

// A port whose delivery thread cannot start opens all the same; a TWL job on it is refused at its start (the
// spooler tries it again) until the thread runs, rather than accepted with pages nothing would deliver.
TEST_F(DeliveryTest, ADeliveryThreadThatCannotStartIsStartedWithTheNextJob) {
  winsim::FailNextCreateThreads(2);
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  EXPECT_FALSE(AtomicLoad(&Port(h)->status) & PP_THREAD_RUNNING);
  EXPECT_TRUE(Has("CreateUWriteThread: Exit CreateUWriteThread."));
  SetLastError(0);
  EXPECT_FALSE(StartDoc(h, 4));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
  EXPECT_FALSE(AtomicLoad(&Port(h)->status) & PP_INSTARTDOC) << "no document left open";
  EXPECT_EQ(LoadPointer(&Port(h)->jobs), nullptr) << "no job record left behind";

  WriteTwlJob(4, {1, 2});
  ASSERT_TRUE(PrintDoc(h, 4, 2));
  EXPECT_TRUE(AtomicLoad(&Port(h)->status) & PP_THREAD_RUNNING);
  ASSERT_TRUE(WaitEjected(4));
  EXPECT_EQ(Numbers(twl->PrintedPages()), (std::vector<uint16_t>{1, 2}));
  EXPECT_TRUE(Close(h));
  EXPECT_EQ(Count("UWriteThread: Enter UWriteThread"), 1);
}

}  // namespace
