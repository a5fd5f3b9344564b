// lblmon as the spooler sees it: loaded by name, its only entry InitializePrintMonitor2, and a document
// printed through the table it returns.
#include "monitor_test_util.h"
#include "winsim/gdi.h"

using namespace montest;

namespace {

class ModuleTest : public MonitorTest {};

TEST_F(ModuleTest, TheSpoolerLoadsItAndPrintsThroughIt) {
  AttachPlain(2);
  winsim::LoadedMonitor mon;
  std::string error;
  ASSERT_TRUE(winsim::LoadPrintMonitor(u"lblmon", &mon, &error)) << error;
  EXPECT_EQ(winsim::GetModuleProc(mon.module, "MonOpenPortEx"), nullptr);
  EXPECT_EQ(winsim::GetModuleProc(mon.module, "MonWritePort"), nullptr);
  const MONITOR2* t = mon.table;
  ASSERT_NE(t->pfnOpenPortEx, nullptr);
  EXPECT_EQ(t->cbSize, sizeof(MONITOR2));

  MONITOR2 usb = winsim::UsbPortMonitor();
  WString port = ToWString(u"USB002");
  WString printer = ToWString(kPrinter);
  WString doc = ToWString(u"Labels");
  HANDLE h = nullptr;
  ASSERT_TRUE(t->pfnOpenPortEx(mon.hMonitor, winsim::UsbPortMonitorHandle(), port.data(), printer.data(), &h, &usb));
  DOC_INFO_1W info{doc.data(), nullptr, nullptr};
  ASSERT_TRUE(t->pfnStartDocPort(h, printer.data(), 3, 1, reinterpret_cast<LPBYTE>(&info)));
  BYTE data[] = "SIZE 50 mm,30 mm\r\nPRINT 1\r\n";
  DWORD written = 0;
  ASSERT_TRUE(t->pfnWritePort(h, data, sizeof data - 1, &written));
  ASSERT_TRUE(t->pfnEndDocPort(h));
  ASSERT_TRUE(t->pfnClosePort(h));
  t->pfnShutdown(mon.hMonitor);

  auto device = winsim::UsbPrinterOnPort(u"USB002");
  EXPECT_EQ(device->Received(), std::vector<uint8_t>(data, data + sizeof data - 1));
  EXPECT_TRUE(Has("MonStartDocPort: pIniPort has 1 pIniJob, JobId:3"));
  EXPECT_TRUE(Has("Shutdown: Enter Shutdown, hMonitor:0x0"));
  EXPECT_TRUE(winsim::UnloadDriverModule(mon.module));
}

}  // namespace
