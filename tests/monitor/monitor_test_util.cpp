#include "monitor_test_util.h"

#include <chrono>
#include <cstdio>
#include <thread>

namespace montest {

namespace {
// A spooler stops its monitors' threads before it exits; a test process must too, or a delivery thread
// still logging would use the simulated machine while static destructors take it down.
class StopMonitorThreads : public testing::Environment {
 public:
  void TearDown() override { winsim::CloseLanguageMonitorPorts(); }
};
const testing::Environment* const kStopMonitorThreads = testing::AddGlobalTestEnvironment(new StopMonitorThreads);
}  // namespace

SYSTEMTIME Time(WORD y, WORD m, WORD d, WORD h, WORD min, WORD s, WORD ms) {
  return {.wYear = y, .wMonth = m, .wDay = d, .wHour = h, .wMinute = min, .wSecond = s, .wMilliseconds = ms};
}

std::u16string LogPath(WORD y, WORD m, WORD d) {
  WCHAR path[MAX_PATH];
  LogFileName(y, m, d, path, MAX_PATH);
  return std::u16string(path);
}

std::vector<std::string> FileLines(const std::u16string& path) {
  std::vector<uint8_t> bytes = winsim::ReadHostFile(path);
  std::string text(bytes.begin(), bytes.end());
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

std::vector<std::string> Messages(const std::u16string& path) {
  std::vector<std::string> out;
  for (const auto& line : FileLines(path)) {
    size_t at = line.find("]:");
    out.push_back(at == std::string::npos ? line : line.substr(at + 2));
  }
  return out;
}

bool WaitFor(const std::function<bool()>& pred, int ms) {
  for (int waited = 0; waited < ms; waited += 5) {
    if (pred()) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return pred();
}

std::string Hex(const void* p) {
  char buf[24];
  snprintf(buf, sizeof buf, "0x%x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)));
  return buf;
}

void MonitorTest::SetUp() {
  winsim::Reset();
  today = Time(2024, 2, 4, 10, 0, 0, 0);
  winsim::SetLocalTime(today);
  ResetMonitorState();
  SetDeliveryStep(nullptr);
  winsim::HoldNewThreads(false);
  winsim::FailNextCreateThreads(0);
  twl = std::make_shared<winsim::TwlPrinterDevice>();
  winsim::AttachUsbPrinter(twl);
  winsim::DriverSpec driver;
  driver.name = u"Tarnwell Label Driver";
  driver.monitorName = u"Tarnwell Language Monitor V6";
  winsim::AddDriver(driver);
  winsim::PrinterSpec printer;
  printer.name = kPrinter;
  printer.driver = driver.name;
  winsim::AddPrinter(printer);
}

void MonitorTest::TearDown() {
  for (HANDLE h : open_) MonClosePort(h);
  open_.clear();
  SetDeliveryStep(nullptr);
  winsim::HoldNewThreads(false);
}

HANDLE MonitorTest::Open(const std::u16string& port, const MONITOR2* table) {
  MONITOR2 usb = winsim::UsbPortMonitor();
  MONITOR2 copy = table ? *table : usb;
  WString name = ToWString(port.c_str());
  HANDLE h = nullptr;
  if (!MonOpenPortEx(nullptr, winsim::UsbPortMonitorHandle(), name.data(), nullptr, &h, &copy)) return nullptr;
  open_.push_back(h);
  return h;
}

BOOL MonitorTest::Close(HANDLE port) {
  for (auto it = open_.begin(); it != open_.end(); ++it) {
    if (*it == port) {
      open_.erase(it);
      break;
    }
  }
  return MonClosePort(port);
}

BOOL MonitorTest::StartDoc(HANDLE port, DWORD jobId, const std::u16string& printer) {
  WString name = ToWString(printer.c_str());
  WString doc = ToWString(u"Labels");
  DOC_INFO_1W info{doc.data(), nullptr, nullptr};
  return MonStartDocPort(port, name.data(), jobId, 1, reinterpret_cast<LPBYTE>(&info));
}

std::vector<std::string> MonitorTest::Log() const {
  return Messages(LogPath(today.wYear, today.wMonth, today.wDay));
}

int MonitorTest::Count(const std::string& message) const {
  int n = 0;
  for (const auto& m : Log()) n += m == message;
  return n;
}

int MonitorTest::CountPrefix(const std::string& prefix) const {
  int n = 0;
  for (const auto& m : Log()) n += m.rfind(prefix, 0) == 0;
  return n;
}

std::shared_ptr<winsim::UsbPrinterDevice> MonitorTest::AttachPlain(DWORD number) {
  auto dev = std::make_shared<winsim::UsbPrinterDevice>();
  dev->portNumber = number;
  dev->serial = "PLAIN" + std::to_string(number);
  return winsim::AttachUsbPrinter(dev);
}

}  // namespace montest
