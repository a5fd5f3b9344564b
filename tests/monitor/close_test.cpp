// Ports closed while pages are on their way, and printers that hang in the port monitor while other
// ports deliver.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "delivery_test_util.h"

using namespace montest;

namespace {

class PortCloseTest : public DeliveryTest {
 protected:
  void TearDown() override {
    g_holdWrites = false;
    g_holdClose = false;
    DeliveryTest::TearDown();
  }
  static int PagesRemoved(const std::vector<std::string>& log) {
    return int(std::count_if(log.begin(), log.end(), [](const std::string& m) {
      return m.rfind("RemovePrintedPages. File [", 0) == 0 && m.find("] is removed,") != std::string::npos;
    }));
  }

  // Port monitor entries that hang while the test holds them.
  static inline std::atomic<bool> g_holdWrites{false}, g_holdClose{false};
  static inline std::atomic<int> g_pageWrites{0}, g_writesHeld{0};
  static inline std::atomic<IniPort*> g_closing{nullptr};
  static BOOL WINAPI HeldWrite(HANDLE h, LPBYTE data, DWORD size, LPDWORD written) {
    // The fourth page block waits until its port is being closed, then goes out.
    if (size > 10 && ++g_pageWrites == 4) {
      ++g_writesHeld;
      while (IniPort* p = g_closing.load()) {
        if (!AtomicLoad(&p->threadRun)) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    }
    return winsim::UsbPortMonitor().pfnWritePort(h, data, size, written);
  }
  static BOOL WINAPI HangingWrite(HANDLE h, LPBYTE data, DWORD size, LPDWORD written) {
    ++g_writesHeld;
    while (g_holdWrites.load()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return winsim::UsbPortMonitor().pfnWritePort(h, data, size, written);
  }
  static BOOL WINAPI HangingClose(HANDLE h) {
    while (g_holdClose.load()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return winsim::UsbPortMonitor().pfnClosePort(h);
  }
};

TEST_F(PortCloseTest, AJobClosedMidwayIsNeitherReportedPrintedNorEjected) {
  MONITOR2 t = winsim::UsbPortMonitor();
  t.pfnWritePort = HeldWrite;
  HANDLE h = Open(u"USB001", &t);
  ASSERT_NE(h, nullptr);
  Pause();
  std::vector<uint16_t> pages;
  for (uint16_t p = 1; p <= 40; ++p) pages.push_back(p);
  auto paths = WriteTwlJob(7, pages);
  ASSERT_TRUE(PrintDoc(h, 7, 40));
  g_pageWrites = 0;
  g_writesHeld = 0;
  g_closing = Port(h);
  Resume();
  ASSERT_TRUE(WaitFor([] { return g_writesHeld.load() == 1; }));
  EXPECT_TRUE(Close(h));
  g_closing = nullptr;

  // Three pages out, the fourth on its way when the close came: nothing after it.
  const auto printed = Numbers(twl->PrintedPages());
  EXPECT_EQ(printed, (std::vector<uint16_t>{1, 2, 3, 4}));
  const auto log = Log();
  EXPECT_EQ(PagesRemoved(log), 1 + int(printed.size())) << "the header and the printed pages only";
  EXPECT_FALSE(Ejected(7)) << "the job stays in the spooler's queue to be printed again";
  EXPECT_FALSE(winsim::JobStatus(7) & JOB_STATUS_PRINTED);
  EXPECT_TRUE(PageFilesLeft().empty());
  // The port monitor's handle was closed after the last write through it (a later one would abort).
  const auto calls = winsim::PortMonitorCalls();
  auto close = std::find(calls.begin(), calls.end(), "ClosePort USB001");
  ASSERT_NE(close, calls.end());
  EXPECT_TRUE(std::none_of(close, calls.end(), [](const std::string& c) { return c.rfind("WritePort", 0) == 0; }));
  EXPECT_TRUE(Has("FreeIniJob: the job 7 is free.") || Has("ClearPagesInQueue: The printer handle is closed for job 7"));
}

TEST_F(PortCloseTest, APortHangingInItsWriteDoesNotStallAnotherPort) {
  auto second = AddSecondPrinter("TW0000007");
  MONITOR2 t = winsim::UsbPortMonitor();
  t.pfnWritePort = HangingWrite;
  t.pfnClosePort = HangingClose;
  HANDLE a = Open(u"USB001", &t);
  HANDLE b = Open(u"USB002");
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  g_holdWrites = true;
  g_holdClose = true;
  g_writesHeld = 0;
  WriteTwlJob(10, {1, 2}, false);
  ASSERT_TRUE(PrintDoc(a, 10, 2));
  ASSERT_TRUE(WaitFor([] { return g_writesHeld.load() > 0; }));

  // Port A hangs in a write; port B prints two documents, is told they are out, and starts another.
  WriteTwlJob(20, {5, 6});
  ASSERT_TRUE(PrintDoc(b, 20, 2, u"Label TWL 2"));
  EXPECT_TRUE(WaitEjected(20));
  // Port A's close now hangs too (it waits for A's thread, then in the port monitor).
  std::thread closer([&] { Close(a); });
  WriteTwlJob(21, {7});
  ASSERT_TRUE(PrintDoc(b, 21, 1, u"Label TWL 2"));
  EXPECT_TRUE(WaitEjected(21));
  EXPECT_EQ(Numbers(second->PrintedPages()), (std::vector<uint16_t>{5, 6, 7}));
  g_holdWrites = false;
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  g_holdClose = false;
  closer.join();
  EXPECT_TRUE(WaitQueueEmpty(b));
}

}  // namespace
