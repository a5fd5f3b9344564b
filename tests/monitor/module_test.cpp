// lblmon as the spooler sees it: loaded by name, its only entry InitializePrintMonitor2, and a document
// printed through the table it returns.
#include "monitor_test_util.h"
#include "winsim/printpath.h"

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

// The spooler calls the monitor makes for the page-file delivery: jobs read with GetJobW, ended with SetJobW.
TEST_F(ModuleTest, JobsAreReadAndControlledThroughThePrinterHandle) {
  WString name = ToWString(kPrinter);
  HANDLE printer = nullptr;
  ASSERT_TRUE(OpenPrinterW(name.data(), &printer, nullptr));
  winsim::AddSpoolerJob(kPrinter, 7, u"Labels");
  ASSERT_TRUE(winsim::SetJobStatus(7, JOB_STATUS_DELETING));

  DWORD needed = 0;
  EXPECT_FALSE(GetJobW(printer, 7, 1, nullptr, 0, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  ASSERT_GT(needed, sizeof(JOB_INFO_1W));
  std::vector<BYTE> buf(needed);
  ASSERT_TRUE(GetJobW(printer, 7, 1, buf.data(), needed, &needed));
  auto* info = reinterpret_cast<JOB_INFO_1W*>(buf.data());
  EXPECT_EQ(info->JobId, 7u);
  EXPECT_EQ(info->Status, DWORD(JOB_STATUS_DELETING));
  EXPECT_EQ(WideToUtf8(info->pDocument), "Labels");
  EXPECT_EQ(WideToUtf8(info->pPrinterName), "Label TWL");

  SetLastError(0);
  EXPECT_FALSE(GetJobW(printer, 8, 1, buf.data(), needed, &needed));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));

  EXPECT_TRUE(SetJobW(printer, 7, 0, nullptr, JOB_CONTROL_LAST_PAGE_EJECTED));
  EXPECT_FALSE(SetJobW(printer, 8, 0, nullptr, JOB_CONTROL_LAST_PAGE_EJECTED));
  EXPECT_TRUE(winsim::JobStatus(7) & JOB_STATUS_PRINTED);
  auto controls = winsim::JobControls();
  ASSERT_EQ(controls.size(), 2u);
  EXPECT_EQ(controls[0].jobId, 7u);
  EXPECT_EQ(controls[0].command, DWORD(JOB_CONTROL_LAST_PAGE_EJECTED));
  EXPECT_TRUE(controls[0].accepted);
  EXPECT_FALSE(controls[1].accepted);
  ClosePrinter(printer);
}

}  // namespace
