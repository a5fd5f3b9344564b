// Documents on the port monitor: the USB and TCP/IP port monitors take writes only inside a document, and
// the delivery thread writes each page in a document of its own that never overlaps the spooler's on the
// port. No port monitor call runs under the monitor lock.
#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

#include "delivery_test_util.h"
#include "winsim/spooler.h"

using namespace montest;

namespace {

// The first call on `port` that breaks the document rules: a write outside a document, a start inside
// one, or anything a port monitor refused for them. Empty when there is none.
std::string DocumentFault(const std::string& port) {
  bool open = false;
  for (const auto& c : winsim::PortMonitorCalls()) {
    const size_t space = c.find(' ');
    if (c.compare(space + 1, port.size(), port) != 0) continue;
    if (c.find("refused") != std::string::npos) return c;
    if (c.rfind("StartDocPort ", 0) == 0) {
      if (open) return c + " (inside a document)";
      open = true;
    } else if (c.rfind("EndDocPort ", 0) == 0) {
      open = false;
    } else if (c.rfind("WritePort ", 0) == 0 && !open) {
      return c + " (outside a document)";
    }
  }
  return "";
}

size_t IndexOf(const std::vector<std::string>& calls, const std::string& call, size_t from = 0) {
  auto it = std::find(calls.begin() + static_cast<long>(std::min(from, calls.size())), calls.end(), call);
  return static_cast<size_t>(it - calls.begin());
}

// ---- the port monitors' rules ---------------------------------------------------------------------
class PortMonitorDocumentTest : public MonitorTest {
 protected:
  // The TCP/IP port "IP_192.0.2.10", as its monitor's AddPort records it.
  static std::u16string AddTcpPort() {
    winsim::TcpIpPort record;
    record.name = u"IP_192.0.2.10";
    record.hostAddress = u"192.0.2.10";
    winsim::AddTcpIpPortRecord(record);
    return record.name;
  }
  // Open, write outside, start, start again, write inside, end, write after: what both monitors must do.
  // `received` reads what reached the printer.
  void CheckDocumentRules(const MONITOR2& pm, HANDLE monitor, const std::u16string& port,
                          const std::function<std::vector<uint8_t>()>& received) {
    WString name = ToWString(port.c_str());
    HANDLE h = nullptr;
    ASSERT_TRUE(pm.pfnOpenPort(monitor, name.data(), &h));
    BYTE data[5] = {'^', 'X', 'A', '^', 'Z'};
    DWORD written = 99;
    SetLastError(0);
    EXPECT_FALSE(pm.pfnWritePort(h, data, sizeof data, &written)) << "no connection before the document";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(written, 0u);

    WString doc = ToWString(u"Labels");
    DOC_INFO_1W info{doc.data(), nullptr, nullptr};
    WString printer = ToWString(kPrinter);
    ASSERT_TRUE(pm.pfnStartDocPort(h, printer.data(), 12, 1, reinterpret_cast<LPBYTE>(&info)));
    SetLastError(0);
    EXPECT_FALSE(pm.pfnStartDocPort(h, printer.data(), 13, 1, reinterpret_cast<LPBYTE>(&info)));
    EXPECT_EQ(GetLastError(), DWORD(ERROR_BUSY));
    ASSERT_TRUE(pm.pfnWritePort(h, data, sizeof data, &written));
    EXPECT_EQ(written, sizeof data);
    ASSERT_TRUE(pm.pfnEndDocPort(h));
    SetLastError(0);
    EXPECT_FALSE(pm.pfnWritePort(h, data, 3, &written)) << "the connection ended with the document";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
    EXPECT_EQ(received(), std::vector<uint8_t>(data, data + sizeof data));
    // A new document connects again.
    ASSERT_TRUE(pm.pfnStartDocPort(h, printer.data(), 14, 1, reinterpret_cast<LPBYTE>(&info)));
    EXPECT_TRUE(pm.pfnWritePort(h, data, 2, &written));
    EXPECT_TRUE(pm.pfnEndDocPort(h));
    EXPECT_TRUE(pm.pfnClosePort(h));
  }
};

TEST_F(PortMonitorDocumentTest, UsbPortMonitorWritesOnlyInsideADocument) {
  auto plain = AttachPlain(2);
  CheckDocumentRules(winsim::UsbPortMonitor(), winsim::UsbPortMonitorHandle(), u"USB002",
                     [&] { return plain->Received(); });
  std::vector<uint8_t> all = plain->Received();
  EXPECT_EQ(all.size(), 7u);
}

TEST_F(PortMonitorDocumentTest, TcpIpPortMonitorConnectsPerDocument) {
  const MONITOR2 tcp = winsim::TcpIpPortMonitor();
  CheckDocumentRules(tcp, winsim::TcpIpPortMonitorHandle(), AddTcpPort(), [] {
    auto docs = winsim::TcpIpDocuments();
    return docs.empty() ? std::vector<uint8_t>{} : docs.front().bytes;
  });
  auto docs = winsim::TcpIpDocuments();
  ASSERT_EQ(docs.size(), 2u) << "one connection per document";
  EXPECT_EQ(docs[0].jobId, 12u);
  EXPECT_TRUE(docs[0].ended);
  EXPECT_EQ(docs[1].bytes, (std::vector<uint8_t>{'^', 'X'}));

  // A name that is no port record of it, and no back channel.
  WString unknown = ToWString(u"IP_192.0.2.99");
  HANDLE h = nullptr;
  SetLastError(0);
  EXPECT_FALSE(tcp.pfnOpenPort(winsim::TcpIpPortMonitorHandle(), unknown.data(), &h));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT));
  EXPECT_EQ(tcp.pfnGetPrinterDataFromPort, nullptr);
}

TEST_F(PortMonitorDocumentTest, LanguageMonitorPassesADocumentToTheTcpIpPort) {
  const MONITOR2 tcp = winsim::TcpIpPortMonitor();
  HANDLE h = Open(AddTcpPort(), &tcp);
  ASSERT_NE(h, nullptr);
  EXPECT_FALSE(Port(h)->isTWL) << "no device identifier over raw TCP";
  ASSERT_TRUE(StartDoc(h, 21));
  std::vector<uint8_t> zpl = {'^', 'X', 'A', '^', 'F', 'O', '0', ',', '0', '^', 'X', 'Z'};
  DWORD written = 0;
  ASSERT_TRUE(MonWritePort(h, zpl.data(), DWORD(zpl.size()), &written));
  EXPECT_EQ(written, zpl.size());
  ASSERT_TRUE(MonEndDocPort(h));
  auto docs = winsim::TcpIpDocuments();
  ASSERT_EQ(docs.size(), 1u);
  EXPECT_EQ(docs[0].jobId, 21u);
  EXPECT_EQ(docs[0].bytes, zpl);
  EXPECT_TRUE(docs[0].ended);
  EXPECT_EQ(DocumentFault("IP_192.0.2.10"), "");
}

// ---- the delivery thread's documents ---------------------------------------------------------------
// A TWL printer whose page writes can be held in the middle (the page block on its way to the printer).
class HeldTwlPrinter : public winsim::TwlPrinterDevice {
 public:
  void Hold(bool hold) {
    std::lock_guard<std::mutex> l(m_);
    hold_ = hold;
    cv_.notify_all();
  }
  bool WaitUntilHeld(int ms = 5000) {
    std::unique_lock<std::mutex> l(m_);
    return cv_.wait_for(l, std::chrono::milliseconds(ms), [&] { return held_ > 0; });
  }
  BOOL OnWrite(const uint8_t* data, DWORD size, DWORD* written) override {
    {
      std::unique_lock<std::mutex> l(m_);
      if (hold_ && size >= 10) {
        ++held_;
        cv_.notify_all();
        cv_.wait(l, [&] { return !hold_; });
      }
    }
    return TwlPrinterDevice::OnWrite(data, size, written);
  }

 private:
  std::mutex m_;
  std::condition_variable cv_;
  bool hold_ = false;
  int held_ = 0;
};

class DeliveryDocumentTest : public DeliveryTest {
 protected:
  void UseHeldPrinter() {
    winsim::DetachUsbPrinter(twl);
    held_ = std::make_shared<HeldTwlPrinter>();
    twl = held_;
    winsim::AttachUsbPrinter(twl);
  }
  void Deliver(HANDLE h, DWORD job) {
    Resume();
    ASSERT_TRUE(WaitEjected(job)) << "job " << job << " never reported ejected";
    ASSERT_TRUE(WaitQueueEmpty(h));
    Pause();
  }
  std::shared_ptr<HeldTwlPrinter> held_;
};

TEST_F(DeliveryDocumentTest, EveryPageGoesInADocumentOfItsOwnUnderItsJob) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  WriteTwlJob(7, {1, 2, 3});
  ASSERT_TRUE(PrintDoc(h, 7, 3));
  winsim::ClearPortMonitorCalls();
  Deliver(h, 7);

  EXPECT_EQ(Numbers(twl->PrintedPages()), (std::vector<uint16_t>{1, 2, 3}));
  EXPECT_EQ(DocumentFault("USB001"), "");
  auto calls = winsim::PortMonitorCalls();
  // The job header and three pages: four documents of job 7, each with its write.
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "StartDocPort USB001 7"), 4);
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "EndDocPort USB001"), 4);
  EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](const std::string& c) { return c.rfind("WritePort", 0) == 0; }),
            4);
}

TEST_F(DeliveryDocumentTest, AFailedWriteIsTriedAgainInANewDocument) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  WriteTwlJob(8, {5}, false);
  ASSERT_TRUE(PrintDoc(h, 8, 1));
  twl->FailNextWrites(2);
  winsim::ClearPortMonitorCalls();
  Deliver(h, 8);
  EXPECT_EQ(Numbers(twl->PrintedPages()), std::vector<uint16_t>{5});
  EXPECT_EQ(DocumentFault("USB001"), "");
  auto calls = winsim::PortMonitorCalls();
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "StartDocPort USB001 8"), 3) << "two failed, one good";
}

TEST_F(DeliveryDocumentTest, TheSpoolersNextDocumentWaitsForThePageBeingWritten) {
  UseHeldPrinter();
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  WriteTwlJob(7, {1}, false);
  ASSERT_TRUE(PrintDoc(h, 7, 1));
  winsim::ClearPortMonitorCalls();
  held_->Hold(true);
  Resume();
  ASSERT_TRUE(held_->WaitUntilHeld()) << "the page never reached the printer";

  // The spooler starts job 8 on the port while page 1 of job 7 is on its way.
  winsim::AddSpoolerJob(kPrinter, 8, u"Labels");
  std::atomic<int> started{-1};
  std::thread spooler([&] { started = StartDoc(h, 8); });
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  EXPECT_EQ(started.load(), -1) << "the start did not wait for the page";
  {
    auto calls = winsim::PortMonitorCalls();
    EXPECT_EQ(IndexOf(calls, "StartDocPort USB001 8"), calls.size());
  }
  held_->Hold(false);
  spooler.join();
  EXPECT_EQ(started.load(), TRUE);

  auto calls = winsim::PortMonitorCalls();
  const size_t write = IndexOf(calls, "WritePort USB001 " + std::to_string(PageBlock(1).size()));
  const size_t deliveryEnd = IndexOf(calls, "EndDocPort USB001", write);
  const size_t next = IndexOf(calls, "StartDocPort USB001 8");
  ASSERT_LT(write, calls.size());
  EXPECT_LT(deliveryEnd, next) << "job 8's document began inside the delivery's";
  ASSERT_TRUE(MonEndDocPort(h));
  ASSERT_TRUE(WaitEjected(7));
  EXPECT_EQ(DocumentFault("USB001"), "");
  EXPECT_EQ(Numbers(twl->PrintedPages()), std::vector<uint16_t>{1});
}

TEST_F(DeliveryDocumentTest, PagesWaitWhileTheSpoolersDocumentIsOpen) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  Pause();
  auto paths = WriteTwlJob(7, {1, 2}, false);
  ASSERT_TRUE(PrintDoc(h, 7, 2));
  winsim::AddSpoolerJob(kPrinter, 8, u"Labels");
  ASSERT_TRUE(StartDoc(h, 8));  // the spooler's next job is being sent
  winsim::ClearPortMonitorCalls();
  Resume();
  ASSERT_TRUE(WaitFor([&] { return CountPrefix("WritePage: the page " + Narrow(paths[0]) + " waits") > 0; }));
  std::this_thread::sleep_for(std::chrono::milliseconds(150));
  for (const auto& c : winsim::PortMonitorCalls()) EXPECT_NE(c.rfind("WritePort", 0), 0u) << c;
  EXPECT_TRUE(twl->PrintedPages().empty());

  std::vector<uint8_t> marker = Marker(uint32_t(PageBlock(1).size()));
  DWORD written = 0;
  ASSERT_TRUE(MonWritePort(h, marker.data(), DWORD(marker.size()), &written));
  ASSERT_TRUE(MonEndDocPort(h));
  ASSERT_TRUE(WaitEjected(7));
  EXPECT_EQ(Numbers(twl->PrintedPages()), (std::vector<uint16_t>{1, 2}));
  EXPECT_EQ(DocumentFault("USB001"), "");
}

// A port monitor that notes every call made with the monitor lock held by the caller.
std::atomic<int> g_callsUnderLock{0};
std::atomic<int> g_calls{0};
MONITOR2 g_usb;
void Note() {
  ++g_calls;
  if (MonitorLockHeld()) ++g_callsUnderLock;
}
BOOL WINAPI NoteOpen(HANDLE m, LPWSTR name, PHANDLE h) { return Note(), g_usb.pfnOpenPort(m, name, h); }
BOOL WINAPI NoteStart(HANDLE h, LPWSTR p, DWORD job, DWORD level, LPBYTE info) {
  return Note(), g_usb.pfnStartDocPort(h, p, job, level, info);
}
BOOL WINAPI NoteWrite(HANDLE h, LPBYTE b, DWORD n, LPDWORD w) { return Note(), g_usb.pfnWritePort(h, b, n, w); }
BOOL WINAPI NoteRead(HANDLE h, LPBYTE b, DWORD n, LPDWORD r) { return Note(), g_usb.pfnReadPort(h, b, n, r); }
BOOL WINAPI NoteEnd(HANDLE h) { return Note(), g_usb.pfnEndDocPort(h); }
BOOL WINAPI NoteClose(HANDLE h) { return Note(), g_usb.pfnClosePort(h); }
BOOL WINAPI NoteData(HANDLE h, DWORD c, LPWSTR v, LPWSTR in, DWORD ni, LPWSTR out, DWORD no, LPDWORD r) {
  return Note(), g_usb.pfnGetPrinterDataFromPort(h, c, v, in, ni, out, no, r);
}

TEST_F(DeliveryDocumentTest, NoPortMonitorCallRunsUnderTheMonitorLock) {
  g_usb = winsim::UsbPortMonitor();
  g_calls = 0;
  g_callsUnderLock = 0;
  const MONITOR2 noting{.cbSize = sizeof(MONITOR2), .pfnOpenPort = NoteOpen, .pfnStartDocPort = NoteStart,
                        .pfnWritePort = NoteWrite, .pfnReadPort = NoteRead, .pfnEndDocPort = NoteEnd,
                        .pfnClosePort = NoteClose, .pfnGetPrinterDataFromPort = NoteData};
  HANDLE h = Open(u"USB001", &noting);
  ASSERT_NE(h, nullptr);
  Pause();
  WriteTwlJob(9, {1, 2});
  ASSERT_TRUE(PrintDoc(h, 9, 2));
  Deliver(h, 9);
  BYTE buffer[8];
  DWORD read = 0;
  MonReadPort(h, buffer, sizeof buffer, &read);
  ASSERT_TRUE(Close(h));
  EXPECT_GT(g_calls.load(), 10);
  EXPECT_EQ(g_callsUnderLock.load(), 0);
}

}  // namespace
