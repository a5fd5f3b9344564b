// Monitor entry, ports, jobs and the delivery thread's start and stop.
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <cstddef>
#include <thread>

#include "monitor_test_util.h"

using namespace montest;

namespace {

class PortsTest : public MonitorTest {};

std::string Utf8(const WCHAR* s) { return WideToUtf8(s); }

bool CalledPort(const std::string& call) {
  auto calls = winsim::PortMonitorCalls();
  return std::find(calls.begin(), calls.end(), call) != calls.end();
}

// A port monitor that opens any name, for names the USB port monitor does not have.
BOOL WINAPI AnyOpen(HANDLE, LPWSTR, PHANDLE h) {
  static char tag;
  *h = &tag;
  return TRUE;
}
BOOL WINAPI AnyStartDoc(HANDLE, LPWSTR, DWORD, DWORD, LPBYTE) { return TRUE; }
BOOL WINAPI AnyWrite(HANDLE, LPBYTE, DWORD cb, LPDWORD written) {
  *written = cb;
  return TRUE;
}
BOOL WINAPI AnyRead(HANDLE, LPBYTE, DWORD, LPDWORD read) {
  *read = 0;
  return TRUE;
}
BOOL WINAPI AnyClose(HANDLE) { return TRUE; }
MONITOR2 AnyPortMonitor() {
  return {.cbSize = sizeof(MONITOR2), .pfnOpenPort = AnyOpen, .pfnStartDocPort = AnyStartDoc,
          .pfnWritePort = AnyWrite, .pfnReadPort = AnyRead, .pfnClosePort = AnyClose};
}

// ---- InitializePrintMonitor2 and module load ----------------------------------------------------

TEST_F(PortsTest, InitializeRefusesAMissingRecordOrRegistryRoot) {
  HANDLE hMonitor = reinterpret_cast<HANDLE>(1);
  SetLastError(0);
  EXPECT_EQ(InitializePrintMonitor2(nullptr, &hMonitor), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  MONITORINIT init = winsim::SpoolerMonitorInit();
  init.hckRegistryRoot = nullptr;
  SetLastError(0);
  EXPECT_EQ(InitializePrintMonitor2(&init, &hMonitor), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(PortsTest, InitializeHandsOutTheTable) {
  MONITORINIT init = winsim::SpoolerMonitorInit();
  HANDLE hMonitor = reinterpret_cast<HANDLE>(1);
  LPMONITOR2 t = InitializePrintMonitor2(&init, &hMonitor);
  ASSERT_NE(t, nullptr);
  EXPECT_EQ(hMonitor, nullptr);
  EXPECT_EQ(t->cbSize, sizeof(MONITOR2));
  EXPECT_EQ(t->pfnOpenPortEx, MonOpenPortEx);
  EXPECT_EQ(t->pfnStartDocPort, MonStartDocPort);
  EXPECT_EQ(t->pfnWritePort, MonWritePort);
  EXPECT_EQ(t->pfnReadPort, MonReadPort);
  EXPECT_EQ(t->pfnEndDocPort, MonEndDocPort);
  EXPECT_EQ(t->pfnClosePort, MonClosePort);
  EXPECT_EQ(t->pfnGetPrinterDataFromPort, MonGetPrinterDataFromPort);
  EXPECT_EQ(t->pfnShutdown, Shutdown);
  EXPECT_EQ(t->pfnSendRecvBidiDataFromPort, MonBidiSendRecv);
  EXPECT_TRUE(!t->pfnEnumPorts && !t->pfnOpenPort && !t->pfnAddPort && !t->pfnAddPortEx && !t->pfnConfigurePort &&
              !t->pfnDeletePort && !t->pfnSetPortTimeOuts && !t->pfnXcvOpenPort && !t->pfnXcvDataPort &&
              !t->pfnXcvClosePort && !t->pfnNotifyUsedPorts && !t->pfnNotifyUnusedPorts && !t->pfnPowerEvent);
}

TEST_F(PortsTest, LeftoverPageFilesGoOnceAtInitializeNotAtLoad) {
  for (auto name : {u"c:\\prtmonlog\\pages\\page_0001_jobid_005_0.dat", u"c:\\prtmonlog\\pages\\other.dat",
                    u"c:\\prtmonlog\\mon_2024-2-3.log"})
    winsim::WriteHostFile(name, "x", 1);
  MonitorProcessAttach();
  EXPECT_TRUE(Has("DLL PROCESS ATTACHED, Version: 2024.02.04.1"));
  EXPECT_EQ(winsim::ReadHostFile(u"c:\\prtmonlog\\pages\\other.dat").size(), 1u) << "nothing is deleted at load";

  MONITORINIT init = winsim::SpoolerMonitorInit();
  HANDLE hMonitor;
  ASSERT_NE(InitializePrintMonitor2(&init, &hMonitor), nullptr);
  EXPECT_TRUE(winsim::ReadHostFile(u"c:\\prtmonlog\\pages\\page_0001_jobid_005_0.dat").empty());
  EXPECT_EQ(winsim::ReadHostFile(u"c:\\prtmonlog\\pages\\other.dat").size(), 1u) << "only names of page files go";
  EXPECT_EQ(winsim::ReadHostFile(u"c:\\prtmonlog\\mon_2024-2-3.log").size(), 1u);

  // Page files written after the first initialisation belong to jobs of this run.
  winsim::WriteHostFile(u"c:\\prtmonlog\\pages\\page_0001_jobid_006_0.dat", "x", 1);
  ASSERT_NE(InitializePrintMonitor2(&init, &hMonitor), nullptr);
  EXPECT_EQ(winsim::ReadHostFile(u"c:\\prtmonlog\\pages\\page_0001_jobid_006_0.dat").size(), 1u);
}

TEST_F(PortsTest, ShutdownOnlyLogs) {
  Shutdown(reinterpret_cast<HANDLE>(0x1234));
  EXPECT_TRUE(Has("Shutdown: Enter Shutdown, hMonitor:0x1234"));
}

// ---- open and close --------------------------------------------------------------------------

TEST_F(PortsTest, OpenNeedsACompletePortMonitorTable) {
  struct Required {
    const char* name;
    void (*clear)(MONITOR2*);
  } required[] = {
      {"pfnOpenPort", [](MONITOR2* t) { t->pfnOpenPort = nullptr; }},
      {"pfnStartDocPort", [](MONITOR2* t) { t->pfnStartDocPort = nullptr; }},
      {"pfnWritePort", [](MONITOR2* t) { t->pfnWritePort = nullptr; }},
      {"pfnReadPort", [](MONITOR2* t) { t->pfnReadPort = nullptr; }},
      {"pfnClosePort", [](MONITOR2* t) { t->pfnClosePort = nullptr; }},
  };
  for (const auto& r : required) {
    MONITOR2 t = winsim::UsbPortMonitor();
    r.clear(&t);
    SetLastError(0);
    EXPECT_EQ(Open(u"USB001", &t), nullptr) << r.name;
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINT_MONITOR)) << r.name;
  }
  HANDLE h = nullptr;
  WString name = ToWString(u"USB001");
  SetLastError(0);
  EXPECT_FALSE(MonOpenPortEx(nullptr, nullptr, name.data(), nullptr, &h, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINT_MONITOR));
  EXPECT_EQ(Count("MonOpenPortEx: Invalid port monitors passed to OpenPortEx."), 6);
  EXPECT_TRUE(winsim::PortMonitorCalls().empty());

  // End of document and printer data are optional.
  MONITOR2 t = winsim::UsbPortMonitor();
  t.pfnEndDocPort = nullptr;
  t.pfnGetPrinterDataFromPort = nullptr;
  HANDLE port = Open(u"USB001", &t);
  ASSERT_NE(port, nullptr);
  EXPECT_FALSE(Port(port)->isTWL) << "no detection without pfnGetPrinterDataFromPort";
  EXPECT_TRUE(MonEndDocPort(port));
}

TEST_F(PortsTest, OnlyTheBytesTheTableReportsAreTaken) {
  // A table that says it ends before pfnGetPrinterDataFromPort: the entries behind its end (here valid
  // ones) are not the port monitor's and are never called.
  MONITOR2 full = winsim::UsbPortMonitor();
  const DWORD cut = offsetof(MONITOR2, pfnGetPrinterDataFromPort);
  MONITOR2 reported = full;
  reported.cbSize = cut;
  WString name = ToWString(u"USB001");
  HANDLE h = nullptr;
  ASSERT_TRUE(MonOpenPortEx(nullptr, winsim::UsbPortMonitorHandle(), name.data(), nullptr, &h, &reported));
  EXPECT_EQ(Port(h)->portMonitorTable.pfnGetPrinterDataFromPort, nullptr);
  EXPECT_EQ(Port(h)->portMonitorTable.pfnSendRecvBidiDataFromPort, nullptr);
  EXPECT_FALSE(Port(h)->isTWL) << "the TWL printer's device ID was read through an entry past the table";
  EXPECT_EQ(Port(h)->portMonitorTable.pfnWritePort, full.pfnWritePort);
  EXPECT_TRUE(MonClosePort(h));

  // The same table in a block of exactly its size is not read past its end (the sanitizer build sees it).
  std::vector<unsigned char> block(cut);
  memcpy(block.data(), &reported, cut);
  h = nullptr;
  ASSERT_TRUE(MonOpenPortEx(nullptr, winsim::UsbPortMonitorHandle(), name.data(), nullptr, &h,
                            reinterpret_cast<LPMONITOR2>(block.data())));
  EXPECT_EQ(Port(h)->portMonitorTable.pfnGetPrinterDataFromPort, nullptr);
  EXPECT_TRUE(MonClosePort(h));

  // A table too short to hold the required entries is refused.
  reported.cbSize = offsetof(MONITOR2, pfnClosePort);
  SetLastError(0);
  EXPECT_FALSE(MonOpenPortEx(nullptr, winsim::UsbPortMonitorHandle(), name.data(), nullptr, &h, &reported));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINT_MONITOR));
}

TEST_F(PortsTest, OpenAndCloseLogTheirStepsAndRunTheThread) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  IniPort* port = Port(h);
  EXPECT_EQ(port->signature, kIniPortSignature);
  EXPECT_EQ(Utf8(port->portName), "USB001");
  EXPECT_TRUE(port->isTWL);
  EXPECT_TRUE(AtomicLoad(&port->status) & PP_THREAD_RUNNING);
  EXPECT_TRUE(WaitFor([&] { return Has("UWriteThread: Enter UWriteThread"); }));
  const std::string hPort = Hex(port->hPort);
  EXPECT_TRUE(Has("MonOpenPortEx: enter OpenPortEx"));
  EXPECT_TRUE(Has("CreatePortEntry: the PortEntry USB001 is created."));
  EXPECT_TRUE(Has("MonOpenPortEx: the port USB001 is opened. hPort=" + hPort));
  EXPECT_TRUE(Has("MonOpenPortEx: The printer supports TWL."));
  EXPECT_TRUE(Has("CreateUWriteThread: Enter CreateUWriteThread. Driver Version: 2024.02.04.1"));
  EXPECT_TRUE(Has("CreateUWriteThread: Thread for Port USB001 is Starting."));

  ASSERT_TRUE(StartDoc(h, 7));
  ASSERT_TRUE(MonEndDocPort(h));
  auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(Close(h));
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  auto log = Log();
  auto at = [&](const std::string& m) { return std::find(log.begin(), log.end(), m) - log.begin(); };
  // The thread stops before the port monitor's handle is closed: it may be writing through it.
  EXPECT_LT(at("UWriteThread: Exit UWriteThread"), at("MonClosePort: the port USB001 is closed. hPort=" + hPort));
  EXPECT_LT(at("MonClosePort: the port USB001 is closed. hPort=" + hPort),
            at("FreeIniJobs: Free the jobs on port USB001. hPort=" + hPort));
  EXPECT_LT(at("FreeIniJobs: Free the jobs on port USB001. hPort=" + hPort), at("FreeIniJob: the job 7 is free."));
  EXPECT_LT(at("FreeIniJob: the job 7 is free."), at("DeletePortEntry: the port USB001 is deleted. hPort=" + hPort));
  EXPECT_LT(at("DeletePortEntry: the port USB001 is deleted. hPort=" + hPort), ptrdiff_t(log.size()));
  EXPECT_TRUE(CalledPort("ClosePort USB001"));
  EXPECT_EQ(winsim::OpenPortHandles(), 0u);
}

TEST_F(PortsTest, AFailedPortMonitorOpenLeavesNoRecord) {
  SetLastError(0);
  EXPECT_EQ(Open(u"USB009"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_UNKNOWN_PORT)) << "the port monitor's error";
  EXPECT_TRUE(Has("MonOpenPortEx: OpenPort USB009 : Failed"));
  EXPECT_FALSE(Has("CreateUWriteThread: Thread for Port USB009 is Starting."));

  winsim::SetPortFaults(u"USB001", {.failOpen = true});
  EXPECT_EQ(Open(u"USB001"), nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
  winsim::SetPortFaults(u"USB001", {});
  HANDLE h = Open(u"USB001");
  ASSERT_NE(h, nullptr);
  EXPECT_FALSE(Has("MonOpenPortEx: the port USB001 is open already.")) << "the failed record is gone";
}

TEST_F(PortsTest, ASecondOpenSharesThePortUntilTheLastClose) {
  HANDLE first = Open(u"USB001");
  HANDLE second = Open(u"usb001");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(second, first);
  EXPECT_TRUE(Has("MonOpenPortEx: the port USB001 is open already."));
  EXPECT_TRUE(Close(first));
  EXPECT_FALSE(CalledPort("ClosePort USB001"));
  DWORD written = 0;
  BYTE data[300] = {};
  ASSERT_TRUE(StartDoc(second, 4));
  EXPECT_TRUE(MonWritePort(second, data, sizeof data, &written));
  EXPECT_EQ(written, sizeof data);
  EXPECT_TRUE(MonEndDocPort(second));
  EXPECT_TRUE(Close(second));
  EXPECT_TRUE(CalledPort("ClosePort USB001"));
  EXPECT_EQ(Count("UWriteThread: Enter UWriteThread"), 1);
}

TEST_F(PortsTest, NamesKeep49CharactersAndLongerOnesAreCut) {
  MONITOR2 any = AnyPortMonitor();
  const std::u16string name49(49, u'P');
  HANDLE h49 = Open(name49, &any);
  ASSERT_NE(h49, nullptr);
  EXPECT_EQ(Utf8(Port(h49)->portName), std::string(49, 'P'));

  const std::u16string long1 = std::u16string(49, u'Q') + u"-one-long-name";
  const std::u16string long2 = std::u16string(49, u'Q') + u"-two-long-name";
  HANDLE a = Open(long1, &any);
  HANDLE b = Open(long2, &any);
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b) << "names that differ after 49 characters are different ports";
  EXPECT_EQ(Utf8(Port(a)->portName), std::string(49, 'Q'));
  EXPECT_EQ(Open(long1, &any), a);

  // A long printer name opens the printer by its whole name; the job keeps 49 characters.
  const std::u16string printer = std::u16string(60, u'L');
  winsim::PrinterSpec spec;
  spec.name = printer;
  spec.driver = u"Tarnwell Label Driver";
  ASSERT_TRUE(winsim::AddPrinter(spec));
  HANDLE plainPort = Open(u"USB002", &any);
  ASSERT_TRUE(StartDoc(plainPort, 3, printer));
  ASSERT_NE(Port(plainPort)->jobs, nullptr);
  EXPECT_EQ(Utf8(Port(plainPort)->jobs->printerName), std::string(49, 'L'));
}

// ---- TWL detection ---------------------------------------------------------------------------

TEST_F(PortsTest, TwlIsFoundOnlyInTheFirst64BytesOfTheDeviceId) {
  struct Case {
    std::string id;
    bool twl;
  } cases[] = {
      {"MFG:Tarnwell;CMD:TWL;MDL:TW-T4;", true},
      {"MFG:Tarnwell;CMD:TSPL,ZPL;MDL:TW-QX;", false},
      {std::string(56, 'x') + "CMD:TWL;", true},         // ends at byte 64
      {std::string(57, 'x') + "CMD:TWL;", false},        // crosses byte 64
      {std::string(70, 'x') + "CMD:TWL;MDL:x;", false},  // beyond
  };
  for (const auto& c : cases) {
    twl->deviceId = c.id;
    HANDLE h = Open();
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(AtomicLoad(&Port(h)->isTWL), c.twl ? 1 : 0) << c.id;
    Close(h);
  }
}

// A device ID query that reports 6 bytes but leaves more in the buffer.
BOOL WINAPI ShortDeviceId(HANDLE, DWORD, LPWSTR, LPWSTR, DWORD, LPWSTR out, DWORD cbOut, LPDWORD returned) {
  const char text[] = "MFG:x;CMD:TWL;";
  if (cbOut < sizeof text) return FALSE;
  memcpy(out, text, sizeof text);
  *returned = 6;
  return TRUE;
}

TEST_F(PortsTest, TwlIsSearchedOnlyInTheBytesReturned) {
  MONITOR2 t = winsim::UsbPortMonitor();
  t.pfnGetPrinterDataFromPort = ShortDeviceId;
  HANDLE h = Open(u"USB001", &t);
  ASSERT_NE(h, nullptr);
  EXPECT_FALSE(AtomicLoad(&Port(h)->isTWL));
}

TEST_F(PortsTest, TwlIsDetectedAgainAtStartOfDocumentAndNeverReset) {
  twl->deviceId = "MFG:Tarnwell;CMD:TSPL;";
  HANDLE h = Open();
  ASSERT_FALSE(AtomicLoad(&Port(h)->isTWL));
  twl->deviceId = "MFG:Tarnwell;CMD:TWL;";
  ASSERT_TRUE(StartDoc(h, 1));
  EXPECT_TRUE(AtomicLoad(&Port(h)->isTWL));
  MonEndDocPort(h);
  twl->deviceId = "MFG:Tarnwell;CMD:TSPL;";
  ASSERT_TRUE(StartDoc(h, 2));
  EXPECT_TRUE(AtomicLoad(&Port(h)->isTWL));
}

// ---- start and end of document -------------------------------------------------------------

TEST_F(PortsTest, StartDocumentChecksItsArguments) {
  HANDLE h = Open();
  WString printer = ToWString(kPrinter);
  WString empty;
  DOC_INFO_1W doc{nullptr, nullptr, nullptr};
  auto info = reinterpret_cast<LPBYTE>(&doc);
  IniPort fake{};
  fake.signature = 0x5755;
  struct Case {
    HANDLE port;
    LPWSTR printer;
    DWORD level;
    LPBYTE info;
    DWORD error;
  } cases[] = {
      {nullptr, printer.data(), 1, info, ERROR_INVALID_PARAMETER},
      {&fake, printer.data(), 1, info, ERROR_INVALID_PARAMETER},
      {h, printer.data(), 1, nullptr, ERROR_INVALID_PARAMETER},
      {h, nullptr, 1, info, ERROR_INVALID_PARAMETER},
      {h, empty.data(), 1, info, ERROR_INVALID_PARAMETER},
      {h, printer.data(), 2, info, ERROR_INVALID_LEVEL},
      {h, printer.data(), 0, info, ERROR_INVALID_LEVEL},
  };
  for (const auto& c : cases) {
    SetLastError(0);
    EXPECT_FALSE(MonStartDocPort(c.port, c.printer, 5, c.level, c.info));
    EXPECT_EQ(GetLastError(), c.error);
  }
  EXPECT_EQ(Port(h)->jobs, nullptr);
  EXPECT_EQ(CountPrefix("Enter StartDocPort"), 0);
}

TEST_F(PortsTest, OneDocumentAtATimeAndJobsStayAfterTheirEnd) {
  HANDLE h = Open();
  ASSERT_TRUE(StartDoc(h, 11));
  IniPort* port = Port(h);
  EXPECT_TRUE(AtomicLoad(&port->status) & PP_INSTARTDOC);
  EXPECT_TRUE(Has("Enter StartDocPort, PrinterName: Label TWL, pIniPort:" + Hex(port) + ", hPort:" + Hex(port->hPort) +
                  ", JobId:11, Level:1, DocName: Labels"));
  EXPECT_TRUE(Has("MonStartDocPort: set pIniPort->status to PP_INSTARTDOC, hPort:" + Hex(port->hPort)));
  EXPECT_TRUE(Has("MonStartDocPort: set pIniJob->status to PP_INSTARTDOC, JobId:11"));
  EXPECT_TRUE(Has("MonStartDocPort: pIniPort has 1 pIniJob, JobId:11"));

  SetLastError(0);
  EXPECT_FALSE(StartDoc(h, 12));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_BUSY));

  ASSERT_TRUE(MonEndDocPort(h));
  EXPECT_TRUE(Has("MonEndDocPort: Enter EndDocPort, hPort:" + Hex(h)));
  EXPECT_FALSE(AtomicLoad(&port->status) & PP_INSTARTDOC);
  EXPECT_TRUE(CalledPort("EndDocPort USB001"));
  ASSERT_NE(port->jobs, nullptr);
  EXPECT_EQ(port->jobs->JobId, 11u);

  ASSERT_TRUE(StartDoc(h, 12));
  EXPECT_TRUE(Has("MonStartDocPort: pIniPort has many pIniJobs:"));
  auto log = Log();
  auto many = std::find(log.begin(), log.end(), "MonStartDocPort: pIniPort has many pIniJobs:");
  ASSERT_GE(log.end() - many, 3);
  EXPECT_EQ(many[1], "MonStartDocPort: JobId:12, Status:1");
  EXPECT_EQ(many[2], "MonStartDocPort: JobId:11, Status:1");
  EXPECT_TRUE(CalledPort("StartDocPort USB001 12"));

  HANDLE printer = port->jobs->hPrinter;
  ASSERT_TRUE(Close(h));
  EXPECT_TRUE(Has("FreeIniJob: the job 12 is free."));
  EXPECT_TRUE(Has("FreeIniJob: the job 11 is free."));
  EXPECT_FALSE(ClosePrinter(printer)) << "the job's printer handle was closed with it";
}

TEST_F(PortsTest, AFailedStartAtThePortMonitorLeavesNoDocumentOpen) {
  HANDLE h = Open();
  winsim::SetPortFaults(u"USB001", {.failStartDoc = true});
  SetLastError(0);
  EXPECT_FALSE(StartDoc(h, 21));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_READY));
  EXPECT_FALSE(AtomicLoad(&Port(h)->status) & PP_INSTARTDOC);
  EXPECT_EQ(Port(h)->jobs, nullptr);
  winsim::SetPortFaults(u"USB001", {});
  ASSERT_TRUE(StartDoc(h, 22)) << "the next document is not refused with ERROR_BUSY";
  EXPECT_EQ(Port(h)->jobs->JobId, 22u);
}

TEST_F(PortsTest, AnUnknownPrinterFailsTheStart) {
  HANDLE h = Open();
  IniPort* port = Port(h);
  SetLastError(0);
  EXPECT_FALSE(StartDoc(h, 4, u"No Such Printer"));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PRINTER_NAME));
  EXPECT_TRUE(Has("StartDocPort, OpenPrinter failed. pIniPort:" + Hex(port) + ", hPort:" + Hex(port->hPort)));
  EXPECT_FALSE(AtomicLoad(&port->status) & PP_INSTARTDOC);
}

TEST_F(PortsTest, TwlStartOfDocumentReadsStatusAndVersion) {
  twl->SetVersionText("TW-T4 FW 2.10");
  twl->SetPageCounter(42);
  HANDLE h = Open();
  ASSERT_TRUE(StartDoc(h, 8));
  IniPort* port = Port(h);
  EXPECT_EQ(std::string(port->hwVersion), "'W-T4 FW 2.10");
  EXPECT_EQ(port->printerStatus, 0);
  EXPECT_EQ(port->pageCounter, 42u);
  EXPECT_TRUE(Has("GetPrinterVersion: Driver Version:2024.02.04.1, HW version: 'W-T4 FW 2.10."));
  EXPECT_TRUE(Has("GetPrinterStatus: The data read from printer: 00000042"));
}

TEST_F(PortsTest, TwlStartOfDocumentFailsWhileTheStatusIsUnknown) {
  HANDLE h = Open();
  twl->SetOffline(true);
  EXPECT_FALSE(StartDoc(h, 9));
  EXPECT_TRUE(Has("GetPrinterStatus: pfnGetPrinterDataFromPort calling failed."));
  twl->SetOffline(false);
  twl->SetStatusReply(std::vector<uint8_t>{'?', '?', '0', '0', '0', '0', '0', '1'});
  EXPECT_FALSE(StartDoc(h, 9));
  EXPECT_EQ(Port(h)->printerStatus, -1);
  EXPECT_FALSE(AtomicLoad(&Port(h)->status) & PP_INSTARTDOC);
  EXPECT_EQ(Port(h)->jobs, nullptr);
  EXPECT_FALSE(CalledPort("StartDocPort USB001 9"));
}

// ---- write and read --------------------------------------------------------------------------

TEST_F(PortsTest, TwlWritesOfPageMarkersArePollsAndEverythingElseGoesToThePort) {
  HANDLE h = Open();
  ASSERT_TRUE(StartDoc(h, 1));
  auto markers = [](int n) {
    std::vector<BYTE> b;
    for (int i = 0; i < n; ++i) b.insert(b.end(), {0x1D, 0x1D, 0x76, 0x76, BYTE(40 + i), 0x01, 0, 0});
    return b;
  };
  DWORD written = 0;
  // One marker, and one page with 30 copies in one write: polls, whatever their size.
  for (int n : {1, 30}) {
    const unsigned polls = twl->StatusRequests();
    std::vector<BYTE> m = markers(n);
    ASSERT_TRUE(MonWritePort(h, m.data(), DWORD(m.size()), &written));
    EXPECT_EQ(written, m.size());
    EXPECT_EQ(twl->StatusRequests(), polls + 1);
  }
  EXPECT_TRUE(twl->Received().empty());
  EXPECT_TRUE(Has("Enter MonWritePort, cbBuf:240, pIniPort:" + Hex(h) + ", hPort:" + Hex(Port(h)->hPort)));

  // Small writes that are not markers are printer data: a raw command, a marker with a stray byte, a
  // marker followed by something else.
  std::vector<BYTE> raw = {'~', '!', 'T', '\r', '\n'};
  std::vector<BYTE> odd = markers(1);
  odd.push_back(0);
  std::vector<BYTE> mixed = markers(2);
  mixed[8] = 0x1B;
  std::vector<BYTE> expected;
  for (const auto* w : {&raw, &odd, &mixed}) {
    ASSERT_TRUE(MonWritePort(h, const_cast<BYTE*>(w->data()), DWORD(w->size()), &written));
    EXPECT_EQ(written, w->size());
    expected.insert(expected.end(), w->begin(), w->end());
  }
  EXPECT_EQ(twl->Received(), expected);
  EXPECT_TRUE(CalledPort("WritePort USB001 5"));

  twl->SetOffline(true);
  std::vector<BYTE> m = markers(1);
  EXPECT_FALSE(MonWritePort(h, m.data(), 8, &written));
  EXPECT_TRUE(Has("MonWritePort, unable to get printer status. pIniPort:" + Hex(h) + ", hPort:" +
                  Hex(Port(h)->hPort)));
  SetLastError(0);
  EXPECT_FALSE(MonWritePort(h, raw.data(), DWORD(raw.size()), &written)) << "data to an offline printer fails";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_READY));
}

TEST_F(PortsTest, NonTwlWritesReportThePortMonitorsResult) {
  auto plain = AttachPlain(2);
  HANDLE h = Open(u"USB002");
  ASSERT_NE(h, nullptr);
  ASSERT_FALSE(Port(h)->isTWL);
  BYTE data[16] = {0x1D, 0x1D, 0x76, 0x76};
  DWORD written = 99;
  ASSERT_TRUE(StartDoc(h, 4));
  ASSERT_TRUE(MonWritePort(h, data, 8, &written)) << "markers are data for other printers";
  EXPECT_EQ(written, 8u);
  winsim::SetPortFaults(u"USB002", {.failWrites = true});
  SetLastError(0);
  EXPECT_FALSE(MonWritePort(h, data, sizeof data, &written)) << "a switched-off printer is an error in the queue";
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_READY));
  EXPECT_EQ(written, 0u);
  winsim::SetPortFaults(u"USB002", {.writeLimit = 10});
  EXPECT_TRUE(MonWritePort(h, data, sizeof data, &written));
  EXPECT_EQ(written, 10u);
  plain->present = false;  // the cable pulled
  SetLastError(0);
  EXPECT_FALSE(MonWritePort(h, data, sizeof data, &written));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DEVICE_NOT_CONNECTED));
  EXPECT_EQ(plain->Received().size(), 18u);
  EXPECT_TRUE(MonEndDocPort(h));
}

TEST_F(PortsTest, ReadGoesToThePortMonitor) {
  HANDLE h = Open();
  BYTE buf[8];
  DWORD read = 5;
  EXPECT_TRUE(MonReadPort(h, buf, sizeof buf, &read));
  EXPECT_EQ(read, 0u);
  EXPECT_TRUE(CalledPort("ReadPort USB001"));
  EXPECT_TRUE(Has("MonReadPort: Enter ReadPort, hPort:" + Hex(h)));
  twl->present = false;
  EXPECT_FALSE(MonReadPort(h, buf, sizeof buf, &read));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_DEVICE_NOT_CONNECTED));
}

TEST_F(PortsTest, EveryPortEntryRefusesABadHandle) {
  IniPort fake{};
  fake.signature = 0x1234;
  BYTE buf[4] = {};
  DWORD n = 0;
  for (HANDLE bad : {static_cast<HANDLE>(nullptr), static_cast<HANDLE>(&fake)}) {
    auto expect87 = [](BOOL r) {
      EXPECT_FALSE(r);
      EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
    };
    SetLastError(0);
    expect87(MonWritePort(bad, buf, sizeof buf, &n));
    SetLastError(0);
    expect87(MonReadPort(bad, buf, sizeof buf, &n));
    SetLastError(0);
    expect87(MonEndDocPort(bad));
    SetLastError(0);
    expect87(MonClosePort(bad));
    SetLastError(0);
    expect87(MonGetPrinterDataFromPort(bad, 0, nullptr, nullptr, 0, nullptr, 0, &n));
  }
}

// ---- the delivery thread's stop -------------------------------------------------------------

std::atomic<bool> g_blockStep{false};
std::atomic<int> g_inStep{0};

void BlockingStep(IniPort*) {
  ++g_inStep;
  while (g_blockStep.load()) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  --g_inStep;
}

TEST_F(PortsTest, CloseWaitsTenSecondsAndLeavesTheRecordToAThreadThatDoesNotStop) {
  g_blockStep = true;
  SetDeliveryStep(BlockingStep);
  HANDLE h = Open();
  ASSERT_TRUE(StartDoc(h, 31));
  ASSERT_TRUE(WaitFor([] { return g_inStep.load() > 0; }));
  const std::string hPort = Hex(Port(h)->hPort);

  auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(Close(h));
  auto waited = std::chrono::steady_clock::now() - started;
  EXPECT_GE(waited, std::chrono::milliseconds(9500));
  EXPECT_LT(waited, std::chrono::seconds(15));
  EXPECT_FALSE(CalledPort("ClosePort USB001")) << "the thread may still write through the port";
  EXPECT_FALSE(Has("DeletePortEntry: the port USB001 is deleted. hPort=" + hPort)) << "the thread still uses it";
  DWORD n;
  EXPECT_FALSE(MonWritePort(h, nullptr, 0, &n)) << "the handle is no longer valid";

  g_blockStep = false;
  EXPECT_TRUE(WaitFor([&] { return Has("DeletePortEntry: the port USB001 is deleted. hPort=" + hPort); }));
  EXPECT_TRUE(CalledPort("ClosePort USB001")) << "by the thread, as it ended";
  // The thread's last steps come after its last message; the process must not end under them.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  auto log = Log();
  auto exit = std::find(log.begin(), log.end(), "UWriteThread: Exit UWriteThread");
  EXPECT_LT(exit, std::find(log.begin(), log.end(), "FreeIniJob: the job 31 is free."));
}

TEST_F(PortsTest, AThreadThatFirstRunsAfterTheCloseStillStops) {
  winsim::HoldNewThreads(true);
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  const std::string hPort = Hex(Port(h)->hPort);
  std::thread release([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    winsim::HoldNewThreads(false);
  });
  auto started = std::chrono::steady_clock::now();
  EXPECT_TRUE(Close(h));
  release.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
  EXPECT_TRUE(Has("UWriteThread: Exit UWriteThread"));
  EXPECT_TRUE(Has("DeletePortEntry: the port USB001 is deleted. hPort=" + hPort));
}

TEST_F(PortsTest, OpenAndCloseAtOnceStopEveryThread) {
  for (int i = 0; i < 25; ++i) {
    HANDLE h = Open();
    ASSERT_NE(h, nullptr);
    auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(Close(h));
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  }
  EXPECT_TRUE(WaitFor([&] { return Count("UWriteThread: Exit UWriteThread") == 25; }));
  EXPECT_EQ(Count("UWriteThread: Enter UWriteThread"), 25);
  EXPECT_EQ(CountPrefix("DeletePortEntry: the port USB001 is deleted."), 25);
}

TEST_F(PortsTest, PortsOpenCloseAndPrintFromManyThreadsAtOnce) {
  std::vector<std::shared_ptr<winsim::UsbPrinterDevice>> devices;
  for (DWORD n = 2; n <= 5; ++n) devices.push_back(AttachPlain(n));
  std::atomic<int> failures{0};
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t) {
    threads.emplace_back([t, &failures] {
      MONITOR2 usb = winsim::UsbPortMonitor();
      WString port = ToWString((u"USB00" + std::u16string(1, char16_t(u'2' + t))).c_str());
      WString printer = ToWString(kPrinter);
      WString doc = ToWString(u"Labels");
      DOC_INFO_1W info{doc.data(), nullptr, nullptr};
      BYTE data[64] = {};
      for (int i = 0; i < 8; ++i) {
        HANDLE h = nullptr;
        DWORD written = 0;
        bool ok = MonOpenPortEx(nullptr, winsim::UsbPortMonitorHandle(), port.data(), nullptr, &h, &usb) &&
                  MonStartDocPort(h, printer.data(), DWORD(100 * t + i), 1, reinterpret_cast<LPBYTE>(&info)) &&
                  MonWritePort(h, data, sizeof data, &written) && written == sizeof data && MonEndDocPort(h);
        if (h) ok = MonClosePort(h) && ok;
        if (!ok) ++failures;
      }
    });
  }
  for (auto& th : threads) th.join();
  EXPECT_EQ(failures.load(), 0);
  for (const auto& d : devices) EXPECT_EQ(d->Received().size(), 8u * 64);
  EXPECT_TRUE(WaitFor([&] { return Count("UWriteThread: Exit UWriteThread") == 32; }));
  EXPECT_EQ(CountPrefix("DeletePortEntry: the port USB00"), 32);
}

// ---- job records of other languages, concurrent opens and starts -------------------------------

TEST_F(PortsTest, ANonTwlJobIsReleasedAtTheEndOfItsDocument) {
  AttachPlain(2);
  HANDLE h = Open(u"USB002");
  ASSERT_NE(h, nullptr);
  for (DWORD job = 1; job <= 3; ++job) {
    ASSERT_TRUE(StartDoc(h, job));
    ASSERT_NE(Port(h)->jobs, nullptr);
    HANDLE printer = Port(h)->jobs->hPrinter;
    ASSERT_TRUE(MonEndDocPort(h));
    EXPECT_EQ(Port(h)->jobs, nullptr) << "job " << job;
    EXPECT_FALSE(ClosePrinter(printer)) << "its printer handle went with it";
    EXPECT_TRUE(Has("FreeIniJob: the job " + std::to_string(job) + " is free."));
  }
}

// A port monitor whose open waits until the test lets it go.
std::atomic<bool> g_holdOpen{false};
std::atomic<int> g_opens{0};
BOOL WINAPI SlowOpen(HANDLE monitor, LPWSTR name, PHANDLE h) {
  ++g_opens;
  while (g_holdOpen.load()) std::this_thread::sleep_for(std::chrono::milliseconds(2));
  return winsim::UsbPortMonitor().pfnOpenPort(monitor, name, h);
}

TEST_F(PortsTest, AnOpenOfAPortBeingOpenedWaitsAndSharesIt) {
  MONITOR2 t = winsim::UsbPortMonitor();
  t.pfnOpenPort = SlowOpen;
  g_opens = 0;
  g_holdOpen = true;
  HANDLE first = nullptr, second = nullptr;
  auto open = [&t](const char16_t* name, HANDLE* h) {
    MONITOR2 copy = t;
    WString n = ToWString(name);
    MonOpenPortEx(nullptr, winsim::UsbPortMonitorHandle(), n.data(), nullptr, h, &copy);
  };
  std::thread a(open, u"USB001", &first);
  ASSERT_TRUE(WaitFor([] { return g_opens.load() == 1; }));
  std::thread b(open, u"usb001", &second);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  g_holdOpen = false;
  a.join();
  b.join();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(second, first);
  EXPECT_EQ(g_opens.load(), 1) << "the port monitor opens the port once";
  EXPECT_EQ(Count("CreatePortEntry: the PortEntry USB001 is created."), 1);
  EXPECT_TRUE(MonClosePort(first));
  EXPECT_FALSE(CalledPort("ClosePort USB001")) << "the second printer still has it";
  EXPECT_TRUE(MonClosePort(second));
  EXPECT_EQ(winsim::OpenPortHandles(), 0u);
}

TEST_F(PortsTest, OnlyOneOfManySimultaneousStartsOfDocumentWins) {
  HANDLE h = Open();
  ASSERT_NE(h, nullptr);
  for (int round = 0; round < 5; ++round) {
    std::atomic<int> ready{0}, won{0}, busy{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 6; ++i) {
      threads.emplace_back([&, i] {
        ++ready;
        while (ready.load() < 6) std::this_thread::yield();
        if (StartDoc(h, DWORD(100 * round + i)))
          ++won;
        else if (GetLastError() == ERROR_BUSY)
          ++busy;
      });
    }
    for (auto& t : threads) t.join();
    EXPECT_EQ(won.load(), 1) << "round " << round;
    EXPECT_EQ(busy.load(), 5) << "round " << round;
    ASSERT_TRUE(MonEndDocPort(h));
  }
}

}  // namespace
