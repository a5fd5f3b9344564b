// The spooler's print path through lblmon as winsim runs it for a printer whose driver names the language
// monitor: StartDocPrinterW, WritePrinter and EndDocPrinter reach lblmon.so, the port monitor and the
// simulated printer, and the page files of a TWL job come out of the printer.
#include <algorithm>

#include "delivery_test_util.h"
#include "winsim/printpath.h"
#include "winsim/spooler.h"

using namespace montest;

namespace {

class SpoolerPathTest : public MonitorTest {
 protected:
  void SetUp() override {
    MonitorTest::SetUp();
    std::string error;
    ASSERT_TRUE(winsim::AddLanguageMonitor(u"Tarnwell Language Monitor V6", u"lblmon", &error)) << error;
  }
  void TearDown() override {
    if (printer_) ClosePrinter(printer_);
    // The ports the spooler opened keep their delivery threads running: stop them before the process
    // exits under them.
    winsim::CloseLanguageMonitorPorts();
    MonitorTest::TearDown();
  }
  HANDLE Printer(const std::u16string& name = kPrinter) {
    WString n = ToWString(name.c_str());
    EXPECT_TRUE(OpenPrinterW(n.data(), &printer_, nullptr));
    return printer_;
  }
  DWORD StartDocument(HANDLE printer) {
    WString doc = ToWString(u"Labels");
    DOC_INFO_1W info{doc.data(), nullptr, nullptr};
    return StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&info));
  }
  static bool Write(HANDLE printer, const std::vector<uint8_t>& bytes) {
    DWORD written = 0;
    return WritePrinter(printer, const_cast<uint8_t*>(bytes.data()), DWORD(bytes.size()), &written) &&
           written == bytes.size();
  }
  static bool Ejected(DWORD job) {
    for (const auto& c : winsim::JobControls())
      if (c.jobId == job && c.command == JOB_CONTROL_LAST_PAGE_EJECTED && c.accepted) return true;
    return false;
  }
  HANDLE printer_ = nullptr;
};

TEST_F(SpoolerPathTest, ATwlDocumentComesOutOfThePrinterPageByPage) {
  HANDLE printer = Printer();
  const DWORD job = StartDocument(printer);
  ASSERT_NE(job, 0u);
  // As the rendering DLL does for TWL: page files, and a marker per page copy through the spooler.
  WriteTwlJob(job, {2, 3, 4});
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(Write(printer, Marker(uint32_t(PageBlock(2).size()))));
  ASSERT_TRUE(EndDocPrinter(printer));

  ASSERT_TRUE(WaitFor([&] { return Ejected(job); }));
  ASSERT_TRUE(WaitFor([] { return PageFilesLeft().empty(); }));
  std::vector<uint16_t> printed;
  for (const auto& p : twl->PrintedPages()) printed.push_back(p.number);
  EXPECT_EQ(printed, (std::vector<uint16_t>{2, 3, 4}));
  EXPECT_TRUE(winsim::JobStatus(job) & JOB_STATUS_PRINTED);
  // The markers were status polls: nothing but the page files reached the printer.
  auto calls = winsim::PortMonitorCalls();
  EXPECT_NE(std::find(calls.begin(), calls.end(), "StartDocPort USB001 " + std::to_string(job)), calls.end());
  EXPECT_NE(std::find(calls.begin(), calls.end(), "EndDocPort USB001"), calls.end());
  EXPECT_EQ(std::count(calls.begin(), calls.end(), "WritePort USB001 " + std::to_string(PageBlock(2).size())), 3);
  EXPECT_EQ(winsim::SpoolJobs(kPrinter).back().data.size(), 24u);
  EXPECT_TRUE(Has("MonStartDocPort: pIniPort has 1 pIniJob, JobId:" + std::to_string(job)));
  EXPECT_EQ(winsim::LanguageMonitorPorts(), std::vector<std::u16string>{u"USB001"});
}

TEST_F(SpoolerPathTest, OtherLanguagesPassThroughToThePort) {
  twl->deviceId = "MFG:Tarnwell;CMD:TSPL,ZPL;MDL:TW-QX;CLS:PRINTER;";
  HANDLE printer = Printer();
  const DWORD job = StartDocument(printer);
  ASSERT_NE(job, 0u);
  const std::string text = std::string(300, 'x') + "SIZE 50 mm,30 mm\r\nPRINT 1,1\r\n";
  const std::vector<uint8_t> tspl(text.begin(), text.end());
  ASSERT_TRUE(Write(printer, tspl));
  ASSERT_TRUE(EndDocPrinter(printer));
  EXPECT_EQ(twl->Received(), tspl);
}

TEST_F(SpoolerPathTest, APrinterOnATcpIpPortPrintsThroughTheTcpIpPortMonitor) {
  winsim::TcpIpPort record;
  record.name = u"IP_192.0.2.10";
  record.hostAddress = u"192.0.2.10";
  winsim::AddTcpIpPortRecord(record);
  winsim::PrinterSpec spec;
  spec.name = u"Label Net";
  spec.port = record.name;
  spec.driver = u"Tarnwell Label Driver";
  ASSERT_TRUE(winsim::AddPrinter(spec));
  HANDLE printer = Printer(spec.name);
  const DWORD job = StartDocument(printer);
  ASSERT_NE(job, 0u);
  const std::string text = "^XA^FO10,10^GB100,100,4^FS^XZ";
  ASSERT_TRUE(Write(printer, std::vector<uint8_t>(text.begin(), text.end())));
  ASSERT_TRUE(EndDocPrinter(printer));
  auto docs = winsim::TcpIpDocuments();
  ASSERT_EQ(docs.size(), 1u);
  EXPECT_EQ(docs[0].port, record.name);
  EXPECT_EQ(docs[0].jobId, job);
  EXPECT_EQ(std::string(docs[0].bytes.begin(), docs[0].bytes.end()), text);
  EXPECT_TRUE(docs[0].ended);
  EXPECT_TRUE(twl->Received().empty());
}

TEST_F(SpoolerPathTest, ShortPortWritesAreCompletedAsTheSpoolerDespools) {
  twl->deviceId = "MFG:Tarnwell;CMD:TSPL;MDL:TW-QX;CLS:PRINTER;";
  winsim::PortFaults faults;
  faults.writeLimit = 100;
  winsim::SetPortFaults(u"USB001", faults);
  HANDLE printer = Printer();
  ASSERT_NE(StartDocument(printer), 0u);
  std::vector<uint8_t> data(450);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i);
  ASSERT_TRUE(Write(printer, data));
  ASSERT_TRUE(EndDocPrinter(printer));
  EXPECT_EQ(twl->Received(), data);
}

TEST_F(SpoolerPathTest, AnOfflineTwlPrinterRefusesTheDocument) {
  twl->SetOffline(true);
  HANDLE printer = Printer();
  EXPECT_EQ(StartDocument(printer), 0u);
  ASSERT_FALSE(winsim::SpoolJobs(kPrinter).empty());
  EXPECT_TRUE(winsim::SpoolJobs(kPrinter).back().aborted);
  twl->SetOffline(false);
  const DWORD job = StartDocument(printer);
  EXPECT_NE(job, 0u);
  EXPECT_TRUE(EndDocPrinter(printer));
}

TEST_F(SpoolerPathTest, PrintersWithoutTheMonitorAreNotRouted) {
  winsim::DriverSpec driver;
  driver.name = u"Plain Driver";
  winsim::AddDriver(driver);
  winsim::PrinterSpec spec;
  spec.name = u"Plain";
  spec.driver = driver.name;
  ASSERT_TRUE(winsim::AddPrinter(spec));
  HANDLE printer = Printer(u"Plain");
  ASSERT_NE(StartDocument(printer), 0u);
  ASSERT_TRUE(Write(printer, std::vector<uint8_t>(500, 'z')));
  ASSERT_TRUE(EndDocPrinter(printer));
  EXPECT_TRUE(winsim::PortMonitorCalls().empty());
  EXPECT_TRUE(twl->Received().empty());
  EXPECT_TRUE(winsim::LanguageMonitorPorts().empty());
}

TEST_F(SpoolerPathTest, PortsOpenedForTheSpoolerAreClosedWithTheirThreads) {
  HANDLE printer = Printer();
  ASSERT_NE(StartDocument(printer), 0u);
  ASSERT_TRUE(EndDocPrinter(printer));
  winsim::CloseLanguageMonitorPorts();
  EXPECT_TRUE(winsim::LanguageMonitorPorts().empty());
  EXPECT_EQ(winsim::OpenPortHandles(), 0u);
  EXPECT_TRUE(Has("UWriteThread: Exit UWriteThread"));
  // The next document opens the port again.
  ASSERT_NE(StartDocument(printer), 0u);
  ASSERT_TRUE(EndDocPrinter(printer));
  EXPECT_EQ(winsim::LanguageMonitorPorts().size(), 1u);
}

}  // namespace
