// The simulated printers on a loopback port, the bridge between the language monitor and a device,
// and a printer stream cut into its labels.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <thread>

#include "common/devmode.h"
#include "ipp/job_output.h"
#include "ipp/machine.h"
#include "ipp/sim_printer.h"
#include "ipp/twl_bridge.h"
#include "tools/viewer/viewer.h"
#include "winsim/twlprinter.h"

namespace {

TEST(SimPrinter, FramesKeepTheWritesAndCarryTheControlChannel) {
  auto twl = std::make_shared<winsim::TwlPrinterDevice>();
  twl->deviceId = "MFG:Tarnwell;CMD:TWL;MDL:TW-JA;";
  twl->SetPageCounter(41);
  lblipp::SimPrinter sim(twl);
  std::string error;
  ASSERT_TRUE(sim.Start(&error)) << error;
  lblipp::SimLink link;
  ASSERT_TRUE(link.Connect("127.0.0.1", sim.Port(), 5000, &error)) << error;
  std::string id;
  ASSERT_TRUE(link.DeviceId(&id));
  EXPECT_EQ(id, "MFG:Tarnwell;CMD:TWL;MDL:TW-JA;");
  std::vector<uint8_t> reply;
  ASSERT_TRUE(link.VendorGet({1}, &reply));
  lblipp::TwlStatus status;
  ASSERT_TRUE(lblipp::ParseTwlStatus(reply, &status));
  EXPECT_EQ(status.status, 0);
  EXPECT_EQ(status.pageCounter, 41u);
  twl->SetOffline(true);
  EXPECT_FALSE(link.VendorGet({1}, &reply)) << "an offline printer answers no request";
  twl->SetOffline(false);
  EXPECT_TRUE(link.VendorGet({1}, &reply)) << "a refused request leaves the connection usable";
}

TEST(SimPrinter, RawConnectionsTakeEveryByteAndOfflineRefusesThem) {
  auto usb = std::make_shared<winsim::UsbPrinterDevice>();
  lblipp::SimPrinter sim(usb);
  std::string error;
  ASSERT_TRUE(sim.Start(&error)) << error;
  EXPECT_EQ(sim.SocketUri(), "socket://127.0.0.1:" + std::to_string(sim.Port()));
  // A plain TCP client, as PAPPL's socket device is.
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_port = htons(uint16_t(sim.Port()));
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
  const std::string data = "SIZE 50 mm,30 mm\r\nCLS\r\nPRINT 1\r\n";
  ASSERT_EQ(::send(fd, data.data(), data.size(), 0), ssize_t(data.size()));
  ::close(fd);
  for (int i = 0; i < 200 && usb->Received().size() < data.size(); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  const auto got = usb->Received();
  EXPECT_EQ(std::string(got.begin(), got.end()), data);

  sim.SetOffline(true);
  lblipp::SimLink link;
  EXPECT_FALSE(link.Connect("127.0.0.1", sim.Port(), 1000, &error)) << "offline: the port refuses connections";
  sim.SetOffline(false);
  bool back = false;
  for (int i = 0; i < 100 && !back; ++i) {
    back = link.Connect("127.0.0.1", sim.Port(), 1000, &error);
    if (!back) std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  EXPECT_TRUE(back) << "back online on the same port: " << error;
}

TEST(SimPrinter, ADroppedConnectionTakesNothingOfTheWriteItCut) {
  auto usb = std::make_shared<winsim::UsbPrinterDevice>();
  lblipp::SimPrinter sim(usb);
  std::string error;
  ASSERT_TRUE(sim.Start(&error)) << error;
  lblipp::SimLink link;
  ASSERT_TRUE(link.Connect("127.0.0.1", sim.Port(), 5000, &error)) << error;
  sim.DropAfterBytes(15);
  const std::string first = "0123456789", second = "abcdefghij";
  EXPECT_TRUE(link.Write(reinterpret_cast<const uint8_t*>(first.data()), first.size()));
  EXPECT_FALSE(link.Write(reinterpret_cast<const uint8_t*>(second.data()), second.size()));
  EXPECT_FALSE(link.Connected());
  const auto got = usb->Received();
  EXPECT_EQ(std::string(got.begin(), got.end()), first);
}

TEST(TwlStatusReply, ReadsTheSpecifiedLayout) {
  // "80", "000005", then pages 258 (01 02) and 3 (00 03) and six empty entries.
  std::vector<uint8_t> reply = {'8', '0', '0', '0', '0', '0', '0', '5', 0x01, 0x02, 0x00, 0x03};
  reply.resize(24, 0);
  lblipp::TwlStatus s;
  ASSERT_TRUE(lblipp::ParseTwlStatus(reply, &s));
  EXPECT_EQ(s.status, 0x80);
  EXPECT_EQ(s.pageCounter, 5u);
  ASSERT_EQ(s.recentPages.size(), 8u);
  EXPECT_EQ(s.recentPages[0], 258);
  EXPECT_EQ(s.recentPages[1], 3);
  reply.resize(8);
  ASSERT_TRUE(lblipp::ParseTwlStatus(reply, &s));
  EXPECT_TRUE(s.recentPages.empty()) << "an 8-byte reply carries no page list";
  EXPECT_FALSE(lblipp::ParseTwlStatus({'Z', 'Z', '0'}, &s));
  EXPECT_EQ(lblipp::DescribeFaults(lblipp::kFaultPaperOut | lblipp::kFaultHeadOpen), "paper out, head open");
}

// A link that records what it was sent, with no control channel of its own.
struct RecordingLink : lblipp::DeviceLink {
  std::vector<std::vector<uint8_t>> writes;
  bool refuse = false;
  bool Write(const uint8_t* d, size_t n) override {
    if (refuse) return false;
    writes.emplace_back(d, d + n);
    return true;
  }
};

std::vector<uint8_t> PageBlock(uint16_t number) {
  // A 22-byte TWL page header with one row of one byte.
  std::vector<uint8_t> b = {'S', 'I', 'Z', 1, 8, 0, 1, 0, 0, 0, 0, 0, uint8_t(number), uint8_t(number >> 8),
                            0x1D, 0x76, 0x30, 0x00, 3, 0, 1, 0};
  b.insert(b.end(), {8, 0, 0xFF});
  return b;
}

TEST(TwlBridge, WithoutAControlChannelPagesCountOnceTheDeviceTookThem) {
  auto link = std::make_shared<RecordingLink>();
  lblipp::TwlBridge bridge(link);
  DWORD written = 0;
  auto p7 = PageBlock(7), p8 = PageBlock(8);
  EXPECT_TRUE(bridge.OnWrite(p7.data(), DWORD(p7.size()), &written));
  link->refuse = true;
  EXPECT_FALSE(bridge.OnWrite(p8.data(), DWORD(p8.size()), &written));
  EXPECT_EQ(bridge.Faults(), uint32_t(lblipp::kFaultOffline));
  std::vector<uint8_t> reply;
  ASSERT_TRUE(bridge.OnVendorGet({1}, &reply));
  EXPECT_EQ(bridge.Acknowledged(), (std::set<uint16_t>{7})) << "page 8 never reached the device";
  EXPECT_EQ(bridge.FirstPage(), 7);
  EXPECT_EQ(bridge.Faults(), 0u) << "the model answers: no fault";
  ASSERT_EQ(link->writes.size(), 1u);
  EXPECT_EQ(link->writes[0], p7);
}

TEST(TwlBridge, WithAControlChannelThePrinterSaysWhatItPrintedAndWhatIsWrong) {
  auto printer = std::make_shared<winsim::TwlPrinterDevice>();
  lblipp::SimPrinter sim(printer);
  std::string error;
  ASSERT_TRUE(sim.Start(&error)) << error;
  auto link = std::make_shared<lblipp::SimLink>();
  ASSERT_TRUE(link->Connect("127.0.0.1", sim.Port(), 5000, &error)) << error;
  lblipp::TwlBridge bridge(link);
  DWORD written = 0;
  auto p3 = PageBlock(3), p4 = PageBlock(4);
  printer->LosePage(4, 1, winsim::TwlPrinterDevice::kSilently);
  ASSERT_TRUE(bridge.OnWrite(p3.data(), DWORD(p3.size()), &written));
  ASSERT_TRUE(bridge.OnWrite(p4.data(), DWORD(p4.size()), &written));
  std::vector<uint8_t> reply;
  ASSERT_TRUE(bridge.OnVendorGet({1}, &reply));
  EXPECT_EQ(bridge.Acknowledged(), (std::set<uint16_t>{3})) << "page 4 was taken but not printed";
  printer->SetStatusByte(0x04);
  ASSERT_TRUE(bridge.OnVendorGet({1}, &reply));
  EXPECT_EQ(bridge.Faults(), uint32_t(lblipp::kFaultPaperOut));
  printer->SetStatusByte(0x80);  // a re-print request is no fault
  ASSERT_TRUE(bridge.OnVendorGet({1}, &reply));
  EXPECT_EQ(bridge.Faults(), 0u);
  sim.SetOffline(true);
  EXPECT_FALSE(bridge.OnVendorGet({1}, &reply));
  EXPECT_EQ(bridge.Faults(), uint32_t(lblipp::kFaultOffline));
}

// The delivery's thread writes page blocks while the job ends: once the job has cut the link, no
// call reaches the device any more, and one in progress has finished before Cut returns (the job
// closes the device right after).
TEST(TwlBridge, NothingReachesTheDeviceOnceTheJobCutItsLink) {
  struct SlowDevice : lblipp::DeviceLink {
    std::atomic<int> started{0}, finished{0};
    std::atomic<bool> closed{false}, touchedClosed{false};
    bool Write(const uint8_t*, size_t) override {
      if (closed) touchedClosed = true;
      ++started;
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
      ++finished;
      return true;
    }
  };
  auto device = std::make_shared<SlowDevice>();
  auto link = std::make_shared<lblipp::CutLink>(device);
  auto bridge = std::make_shared<lblipp::TwlBridge>(link);
  std::atomic<bool> stop{false};
  std::atomic<int> refused{0};
  std::thread delivery([&] {
    const auto block = PageBlock(1);
    DWORD written = 0;
    while (!stop)
      if (!bridge->OnWrite(block.data(), DWORD(block.size()), &written)) ++refused;
  });
  while (device->finished < 5) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  link->Cut();
  EXPECT_EQ(device->started.load(), device->finished.load()) << "a write still in progress after the cut";
  device->closed = true;  // the job closes its device
  while (refused < 5) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  stop = true;
  delivery.join();
  EXPECT_FALSE(device->touchedClosed) << "the delivery wrote to the closed device";
  EXPECT_EQ(bridge->Faults(), uint32_t(lblipp::kFaultOffline)) << "the bridge sees a printer that takes nothing";
  std::vector<uint8_t> reply;
  EXPECT_TRUE(bridge->OnVendorGet({1}, &reply)) << "status requests get the bridge's own answer";
}

// Label boundaries of the three streamed languages: each span with the job header is one label.
TEST(LabelSpans, CutEveryStreamIntoItsLabels) {
  for (auto [lang, driver] : {std::pair<int, const char*>{kLangTspl, "Tarnwell TW-QX"}, {kLangZpl, "Tarnwell TW-QX"},
                              {kLangEsc, "Tarnwell TW-LC"}}) {
    lbl::PrintOptions o;
    o.job.model = driver;
    o.job.hasSize = true;
    o.job.widthTenths = 400;
    o.job.lengthTenths = 250;
    o.job.copies = 2;
    o.language = lang;
    o.blankPages = 0;
    std::vector<lbl::RgbImage> pictures(2);
    for (size_t p = 0; p < pictures.size(); ++p) {
      pictures[p].width = 100;
      pictures[p].height = 60;
      pictures[p].rgb.assign(100 * 60 * 3, p ? 0 : 128);
    }
    std::vector<uint8_t> stream;
    std::string error;
    ASSERT_TRUE(lblipp::RenderJob(o, pictures, &stream, nullptr, &error)) << error;
    lblipp::LabelSpans spans;
    ASSERT_TRUE(lblipp::FindLabels(stream, &spans, &error)) << error;
    ASSERT_EQ(spans.starts.size(), 4u) << "two pages, two copies each, language " << lang;
    EXPECT_EQ(spans.End(3), stream.size());
    for (size_t k = 0; k < 4; ++k) {
      std::vector<uint8_t> one(stream.begin(), stream.begin() + ptrdiff_t(spans.starts[0]));
      one.insert(one.end(), stream.begin() + ptrdiff_t(spans.starts[k]), stream.begin() + ptrdiff_t(spans.End(k)));
      lblview::ViewResult r;
      lblview::ViewError fault;
      ASSERT_TRUE(lblview::ViewStream(one.data(), one.size(), {}, {}, &r, &fault)) << fault.Describe();
      EXPECT_EQ(r.labels.size(), 1u) << "label " << k << ", language " << lang;
    }
  }
  lblipp::LabelSpans none;
  std::string error;
  EXPECT_FALSE(lblipp::FindLabels({'x', 'y'}, &none, &error));
}

TEST(LabelsLeft, AreTheLabelsNotPrintedInJobOrder) {
  std::vector<lbl::RgbImage> pages(2);
  pages[0].width = 1;
  pages[1].width = 2;
  // Pages 0 and 1, three copies each: labels 0,1,2 are page 0; 3,4,5 page 1.
  const auto left = lblipp::LabelsLeft(pages, 3, {true, true, false, true, false, false});
  ASSERT_EQ(left.size(), 3u);
  EXPECT_EQ(left[0].width, 1u);
  EXPECT_EQ(left[1].width, 2u);
  EXPECT_EQ(left[2].width, 2u);
}

}  // namespace
