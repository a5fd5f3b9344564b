// Shared set-up of the monitor tests: a fresh machine at a fixed local time, a TWL label printer on
// USB001 with an installed printer using it, ports opened through the simulated USB port monitor, and
// the messages of the day's log file.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "common/wstr.h"
#include "monitor/monitor.h"
#include "winsim/machine.h"
#include "winsim/monitorhost.h"
#include "winsim/twlprinter.h"

namespace montest {

inline constexpr char16_t kPrinter[] = u"Label TWL";

SYSTEMTIME Time(WORD y, WORD m, WORD d, WORD h = 10, WORD min = 0, WORD s = 0, WORD ms = 0);
std::u16string LogPath(WORD y, WORD m, WORD d);
// The lines of a log file ("\r\n" removed), and their messages (the text after "]:").
std::vector<std::string> FileLines(const std::u16string& path);
std::vector<std::string> Messages(const std::u16string& path);
// `pred` polled every 5 ms for up to `ms`.
bool WaitFor(const std::function<bool()>& pred, int ms = 5000);

class MonitorTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // MonOpenPortEx through `table` (the USB port monitor when null); the port is closed at tear-down
  // unless the test closed it (Close()).
  HANDLE Open(const std::u16string& port = u"USB001", const MONITOR2* table = nullptr);
  BOOL Close(HANDLE port);
  // MonStartDocPort on kPrinter with level 1.
  BOOL StartDoc(HANDLE port, DWORD jobId, const std::u16string& printer = kPrinter);
  IniPort* Port(HANDLE h) { return static_cast<IniPort*>(h); }

  std::vector<std::string> Log() const;  // messages of today's log
  int Count(const std::string& message) const;  // messages equal to it
  int CountPrefix(const std::string& prefix) const;
  bool Has(const std::string& message) const { return Count(message) > 0; }
  // A plain USB printer (device ID without TWL) on port `number`.
  std::shared_ptr<winsim::UsbPrinterDevice> AttachPlain(DWORD number);

  std::shared_ptr<winsim::TwlPrinterDevice> twl;
  std::vector<HANDLE> open_;
  SYSTEMTIME today{};
};

std::string Hex(const void* p);  // "0x1a2b" as the monitor prints handles

}  // namespace montest
