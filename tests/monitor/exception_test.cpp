// No exception leaves the language monitor: an entry point whose work throws fails (ERROR_NOT_ENOUGH_MEMORY
// for a failed allocation, else with a debug line) and leaves the port usable; a log line without memory
// is lost and nothing else (the monitor's own work allocates nothing else); the delivery thread outlives a
// turn that throws.
#include <algorithm>
#include <functional>
#include <stdexcept>

#include "common/throwing_new.h"
#include "delivery_test_util.h"

using namespace montest;

namespace {

class MonitorExceptionTest : public DeliveryTest {
 protected:
  void TearDown() override {
    lbltest::DisarmNewFault();
    DeliveryTest::TearDown();
  }
  static bool DebugLine(const std::string& line) {
    auto lines = winsim::DebugLines();
    return std::find(lines.begin(), lines.end(), line) != lines.end();
  }
};

// A port monitor whose start of document throws, as one that breaks its C interface could.
int g_throwStarts = 0;
MONITOR2 g_usb;
BOOL WINAPI ThrowingStart(HANDLE h, LPWSTR printer, DWORD job, DWORD level, LPBYTE info) {
  if (g_throwStarts > 0) {
    --g_throwStarts;
    if (g_throwStarts % 2) throw std::bad_alloc();
    throw std::logic_error("broken port monitor");
  }
  return g_usb.pfnStartDocPort(h, printer, job, level, info);
}

TEST_F(MonitorExceptionTest, AnEntryPointWhoseWorkThrowsFailsAndLeavesThePortUsable) {
  g_usb = winsim::UsbPortMonitor();
  MONITOR2 table = g_usb;
  table.pfnStartDocPort = ThrowingStart;
  HANDLE h = Open(u"USB001", &table);
  ASSERT_NE(h, nullptr);
  Pause();
  winsim::AddSpoolerJob(kPrinter, 7, u"Labels");
  winsim::ClearDebugLines();
  g_throwStarts = 2;
  BOOL ok = TRUE;
  SetLastError(0);
  EXPECT_NO_THROW(ok = StartDoc(h, 7));
  EXPECT_FALSE(ok);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_ENOUGH_MEMORY));
  SetLastError(0);
  EXPECT_NO_THROW(ok = StartDoc(h, 7));
  EXPECT_FALSE(ok);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INTERNAL_ERROR));
  EXPECT_TRUE(DebugLine("MonStartDocPort: exception: broken port monitor\r\n"));
  EXPECT_FALSE(AtomicLoad(&Port(h)->status) & PP_INSTARTDOC) << "no document left open";
  EXPECT_EQ(LoadPointer(&Port(h)->jobs), nullptr) << "no job record left behind";
  // The next document prints.
  WriteTwlJob(7, {1});
  ASSERT_TRUE(PrintDoc(h, 7, 1));
  Resume();
  ASSERT_TRUE(WaitEjected(7));
  EXPECT_EQ(Numbers(twl->PrintedPages()), std::vector<uint16_t>{1});
}

TEST_F(MonitorExceptionTest, ALogLineWithoutMemoryIsLostAndNothingElse) {
  MonLog(TEXT("before\n"));
  {
    lbltest::ScopedNewFault fault(1);  // the line's first allocation fails
    SetLastError(ERROR_PRINTER_NOT_FOUND);
    EXPECT_NO_THROW(MonLog(TEXT("without memory %d\n"), 1));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_PRINTER_NOT_FOUND)) << "the caller's last error stays";
    EXPECT_TRUE(lbltest::NewFaultFired());
  }
  MonLog(TEXT("after\n"));
  EXPECT_TRUE(Has("before"));
  EXPECT_FALSE(Has("without memory 1"));
  EXPECT_TRUE(Has("after"));
}

// Every allocation of a whole document on a plain printer fails in turn: the entry points still do their
// work (the monitor's own work allocates only its log lines, which are then lost) and nothing escapes.
TEST_F(MonitorExceptionTest, EveryAllocationOfADocumentMayThrow) {
  AttachPlain(2);
  MONITOR2 usb = winsim::UsbPortMonitor();
  WString port = ToWString(u"USB002"), printer = ToWString(kPrinter), doc = ToWString(u"Labels");
  DOC_INFO_1W info{doc.data(), nullptr, nullptr};
  BYTE data[300] = {'^', 'X', 'A'};
  WString value = ToWString(u"IsTWL"), schema = ToWString(u"/Printer/Language"), action = ToWString(u"Get");
  std::vector<std::string> escaped, failed;
  auto call = [&](const char* what, const std::function<BOOL()>& entry) {
    lbltest::ResumeNewFault();
    BOOL ok = FALSE;
    try {
      ok = entry();
    } catch (...) {
      escaped.push_back(what);
    }
    lbltest::PauseNewFault();
    if (!ok) failed.push_back(what);
    return ok != FALSE;
  };
  auto document = [&] {
    HANDLE h = nullptr;
    DWORD written = 0;
    // No delivery thread (a plain printer has nothing to deliver): the close need not wait for one.
    winsim::FailNextCreateThreads(1);
    if (!call("MonOpenPortEx", [&] {
          return MonOpenPortEx(nullptr, winsim::UsbPortMonitorHandle(), port.data(), nullptr, &h, &usb);
        }))
      return;
    if (call("MonStartDocPort", [&] { return MonStartDocPort(h, printer.data(), 5, 1, reinterpret_cast<LPBYTE>(&info)); })) {
      call("MonWritePort", [&] { return MonWritePort(h, data, sizeof data, &written); });
      call("MonEndDocPort", [&] { return MonEndDocPort(h); });
    }
    // The spooler's questions between documents.
    call("MonGetPrinterDataFromPort", [&] {
      DWORD isTwl = 1, got = 0;
      return MonGetPrinterDataFromPort(h, 0, value.data(), nullptr, 0, reinterpret_cast<LPWSTR>(&isTwl), sizeof isTwl,
                                       &got) &&
             got == sizeof isTwl && isTwl == 0;
    });
    call("MonBidiSendRecv", [&] {
      BYTE request[offsetof(BIDI_REQUEST_CONTAINER, aData) + sizeof(BIDI_REQUEST_DATA)] = {};
      auto* req = reinterpret_cast<PBIDI_REQUEST_CONTAINER>(request);
      req->Version = 1;
      req->Count = 1;
      req->aData[0].pSchema = schema.data();
      PBIDI_RESPONSE_CONTAINER res = nullptr;
      const DWORD result = MonBidiSendRecv(h, BIDI_ACCESS_USER, action.c_str(), req, &res);
      const bool answered = result == ERROR_SUCCESS && res && res->Count == 1 && res->aData[0].data.u.iData == 2;
      if (res) RouterFreeBidiResponseContainer(res);
      return answered;
    });
    call("MonClosePort", [&] { return MonClosePort(h); });
    call("Shutdown", [&] { return Shutdown(nullptr), TRUE; });
  };
  lbltest::ArmNewFault(0);
  lbltest::PauseNewFault();
  document();
  const unsigned allocations = lbltest::NewCount();
  lbltest::DisarmNewFault();
  ASSERT_TRUE(failed.empty());
  ASSERT_GT(allocations, 5u) << "the log lines allocate";
  for (unsigned n = 1; n <= allocations; ++n) {
    SCOPED_TRACE(n);
    lbltest::ArmNewFault(n);
    lbltest::PauseNewFault();
    document();
    EXPECT_TRUE(lbltest::NewFaultFired());
    lbltest::DisarmNewFault();
    EXPECT_TRUE(escaped.empty()) << escaped.front();
    EXPECT_TRUE(failed.empty()) << failed.front();
    escaped.clear();
    failed.clear();
  }
}

std::atomic<int> g_throwingTurns{0};
void ThrowingTurn(IniPort* port) {
  const int left = g_throwingTurns.fetch_sub(1);
  if (left > 1) throw std::bad_alloc();
  if (left == 1) throw std::runtime_error("turn fault");
  RunDeliveryTurn(port);
}

TEST_F(MonitorExceptionTest, TheDeliveryThreadOutlivesATurnThatThrows) {
  winsim::ClearDebugLines();
  g_throwingTurns = 3;
  SetDeliveryStep(ThrowingTurn);
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  WriteTwlJob(9, {4});
  ASSERT_TRUE(PrintDoc(h, 9, 1));
  ASSERT_TRUE(WaitEjected(9));
  EXPECT_LE(g_throwingTurns.load(), 0);
  EXPECT_TRUE(DebugLine("UWriteThread: exception: turn fault\r\n"));
  EXPECT_EQ(Numbers(twl->PrintedPages()), std::vector<uint16_t>{4});
  EXPECT_TRUE(Close(h));
  EXPECT_TRUE(Has("UWriteThread: Exit UWriteThread"));
}

}  // namespace
