// Printer status replies and the printer-data values with reserved names.
#include <cstring>
#include <thread>

#include "monitor_test_util.h"

using namespace montest;

namespace {

class StatusTest : public MonitorTest {
 protected:
  void SetUp() override {
    MonitorTest::SetUp();
    port = Open();
    ASSERT_NE(port, nullptr);
  }
  // MonGetPrinterDataFromPort with a value name and control code 0.
  BOOL Query(const char16_t* name, std::vector<BYTE>* out, DWORD* returned, DWORD size = 64) {
    WString n = ToWString(name);
    out->assign(size, 0xEE);
    return MonGetPrinterDataFromPort(port, 0, n.data(), nullptr, 0, reinterpret_cast<LPWSTR>(out->data()), size,
                                     returned);
  }
  HANDLE port = nullptr;
};

std::vector<BYTE> Bytes(const std::string& text, std::vector<BYTE> tail = {}) {
  std::vector<BYTE> b(text.begin(), text.end());
  b.insert(b.end(), tail.begin(), tail.end());
  return b;
}

// ---- reply parsing ---------------------------------------------------------------------------

TEST(StatusReplyTest, ReadsStatusCounterAndRecentPages) {
  std::vector<BYTE> reply = Bytes("80000005", {0x01, 0x02, 0x00, 0x03});
  reply.resize(24, 0);
  StatusReply r;
  ParseStatusReply(reply.data(), reply.size(), &r);
  EXPECT_EQ(r.printerStatus, 0x80);
  EXPECT_EQ(r.pageCounter, 5u);
  ASSERT_TRUE(r.hasRecentPages);
  EXPECT_EQ((r.recentPages[0] << 8) | r.recentPages[1], 258);
  EXPECT_EQ((r.recentPages[2] << 8) | r.recentPages[3], 3);
  for (int i = 4; i < 16; ++i) EXPECT_EQ(r.recentPages[i], 0) << i;
}

TEST(StatusReplyTest, ReadsTheFieldsLikeTheirFormats) {
  struct Case {
    std::string text;
    LONG status;
    DWORD counter;
  } cases[] = {
      {"ff123456", 0xFF, 123456}, {"0A000000", 0x0A, 0},     {" 8000012", 8, 12},       {"8Z   007", 8, 7},
      {"ZZ000001", -1, 1},        {"", -1, 0},               {"-1000001", -1, 1},       {"01 12ab9", 1, 12},
      {"01abcdef", 1, 0},         {"1", 1, 0},               {"01-00005", 1, 0},        {"0x000010", 0, 10},
  };
  for (const auto& c : cases) {
    StatusReply r;
    std::vector<BYTE> b = Bytes(c.text);
    ParseStatusReply(b.data(), b.size(), &r);
    EXPECT_EQ(r.printerStatus, c.status) << '"' << c.text << '"';
    EXPECT_EQ(r.pageCounter, c.counter) << '"' << c.text << '"';
    EXPECT_FALSE(r.hasRecentPages);
  }
}

TEST(StatusReplyTest, OnlyTheFirst64BytesCount) {
  std::vector<BYTE> reply(200, '7');
  StatusReply r;
  ParseStatusReply(reply.data(), reply.size(), &r);
  EXPECT_EQ(r.printerStatus, 0x77);
  EXPECT_EQ(r.pageCounter, 777777u);
  EXPECT_TRUE(r.hasRecentPages);
  ParseStatusReply(nullptr, 0, &r);
  EXPECT_EQ(r.printerStatus, -1);
}

// ---- status queries through the port -----------------------------------------------------------

TEST(VendorCommandNameTest, ReadsRequestAndAccess) {
  struct Case {
    const char16_t* name;
    BYTE request;
    VendorAccess access;
  };
  for (const Case& c : {Case{u"twgetcmd1", 1, VendorAccess::kGet}, Case{u"twsetcmd5", 5, VendorAccess::kSet},
                        Case{u"twgetcmd9", 9, VendorAccess::kGet}, Case{u"twxetcmd3", 3, VendorAccess::kNone},
                        Case{u"twSetcmd2", 2, VendorAccess::kNone}}) {
    VendorCommand command{};
    WString name = ToWString(c.name);
    ASSERT_TRUE(ParseVendorCommandName(name.c_str(), &command)) << WideToUtf8(name.c_str());
    EXPECT_EQ(command.request, c.request) << WideToUtf8(name.c_str());
    EXPECT_EQ(command.access, c.access) << WideToUtf8(name.c_str());
  }
  // Only the length, the "tw" start and the request digit are read: the letters between are not.
  VendorCommand loose{};
  EXPECT_TRUE(ParseVendorCommandName(ToWString(u"twg-----4").c_str(), &loose));
  EXPECT_EQ(loose.request, 4);
  EXPECT_EQ(loose.access, VendorAccess::kGet);
}

TEST(VendorCommandNameTest, RefusesOtherNames) {
  for (auto text : {u"twsetcmd0", u"twgetcmdx", u"TWgetcmd1", u"twgetcmd10", u"twgetcmd", u"", u"IsTWL"}) {
    VendorCommand command{};
    EXPECT_FALSE(ParseVendorCommandName(ToWString(text).c_str(), &command)) << WideToUtf8(ToWString(text).c_str());
  }
  VendorCommand command{};
  EXPECT_FALSE(ParseVendorCommandName(nullptr, &command));
}

TEST_F(StatusTest, ShortRepliesKeepTheRecentPages) {
  twl->SetRecentPages({258, 3});
  twl->SetPageCounter(5);
  IniPort* p = Port(port);
  ASSERT_TRUE(GetPrinterStatus(p));
  EXPECT_EQ(p->recentPages[1], 2);
  EXPECT_EQ(p->recentPages[3], 3);
  twl->SetStatusReply(Bytes("81000009"));
  LONG status = 0;
  ASSERT_TRUE(GetPrinterStatus(p, &status));
  EXPECT_EQ(status, 0x81);
  EXPECT_EQ(p->printerStatus, 0x81);
  EXPECT_EQ(p->pageCounter, 9u);
  EXPECT_EQ(p->recentPages[0], 1);
  EXPECT_EQ(p->recentPages[1], 2) << "an 8-byte reply has no page list";
}

TEST_F(StatusTest, EachDistinctReplyIsLoggedOnceInARow) {
  IniPort* p = Port(port);
  const std::string a = "GetPrinterStatus: The data read from printer: 00000001";
  const std::string b = "GetPrinterStatus: The data read from printer: 00000002";
  twl->SetStatusReply(Bytes("00000001"));
  GetPrinterStatus(p);
  GetPrinterStatus(p);
  twl->SetStatusReply(Bytes("00000002"));
  GetPrinterStatus(p);
  twl->SetStatusReply(Bytes("00000001"));
  GetPrinterStatus(p);
  EXPECT_EQ(Count(a), 2);
  EXPECT_EQ(Count(b), 1);
}

TEST_F(StatusTest, FailuresLeaveTheStatusUnknown) {
  IniPort* p = Port(port);
  ASSERT_TRUE(GetPrinterStatus(p));
  ASSERT_EQ(p->printerStatus, 0);
  twl->SetOffline(true);
  LONG status = 0;
  EXPECT_FALSE(GetPrinterStatus(p, &status));
  EXPECT_EQ(status, -1);
  EXPECT_EQ(p->printerStatus, -1);
  EXPECT_TRUE(Has("GetPrinterStatus: pfnGetPrinterDataFromPort calling failed."));

  p->portMonitorTable.pfnGetPrinterDataFromPort = nullptr;
  EXPECT_FALSE(GetPrinterStatus(p));
  EXPECT_TRUE(Has("GetPrinterStatus: invalid funtion pfnGetPrinterDataFromPort."));
  p->portMonitorTable.pfnGetPrinterDataFromPort = winsim::UsbPortMonitor().pfnGetPrinterDataFromPort;
}

// ---- printer-data values --------------------------------------------------------------------

TEST_F(StatusTest, IsTWLAnswersFourBytes) {
  std::vector<BYTE> out;
  DWORD returned = 0;
  ASSERT_TRUE(Query(u"IsTWL", &out, &returned));
  EXPECT_EQ(returned, 4u);
  EXPECT_EQ(std::vector<BYTE>(out.begin(), out.begin() + 5), (std::vector<BYTE>{1, 0, 0, 0, 0xEE}));
  SetLastError(0);
  EXPECT_FALSE(Query(u"IsTWL", &out, &returned, 3));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(returned, 4u);
  EXPECT_EQ(out[0], 0xEE);
}

TEST_F(StatusTest, OtherNamesAreRefused) {
  for (auto name : {u"istwl", u"IsTWLx", u"ISTWL", u"twsetcmd0", u"twgetcmdx", u"TWgetcmd1", u"twgetcmd10",
                    u"twgetcmd", u"", u"FORMS"}) {
    std::vector<BYTE> out;
    DWORD returned = 0;
    SetLastError(0);
    EXPECT_FALSE(Query(name, &out, &returned)) << WideToUtf8(ToWString(name).c_str());
    EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  }
  DWORD returned;
  SetLastError(0);
  EXPECT_FALSE(MonGetPrinterDataFromPort(port, 0, nullptr, nullptr, 0, nullptr, 0, &returned));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
}

TEST_F(StatusTest, GetRequestsReturnThePrintersReply) {
  twl->SetPageCounter(17);
  std::vector<BYTE> out;
  DWORD returned = 0;
  ASSERT_TRUE(Query(u"twgetcmd1", &out, &returned));
  EXPECT_EQ(returned, 24u);
  EXPECT_EQ(std::vector<BYTE>(out.begin(), out.begin() + 24), twl->StatusReply());

  ASSERT_TRUE(Query(u"twgetcmd2", &out, &returned));
  EXPECT_EQ(std::string(out.begin(), out.begin() + returned), "TW-T4 FW 1.00");

  twl->SetVendorReply(7, {0x12, 0x34});
  ASSERT_TRUE(Query(u"twgetcmd7", &out, &returned));
  EXPECT_EQ(returned, 2u);
  EXPECT_EQ(out[0], 0x12);

  // Characters 4 to 8 are not looked at.
  twl->SetVendorReply(5, {0x01});
  ASSERT_TRUE(Query(u"twgXXXXX5", &out, &returned));
  EXPECT_EQ(returned, 1u);
}

TEST_F(StatusTest, AnUnansweredStatusRequestSucceedsWithTheNoAnswerMarkAndOthersFail) {
  twl->SetOffline(true);
  std::vector<BYTE> out;
  DWORD returned = 0;
  ASSERT_TRUE(Query(u"twgetcmd1", &out, &returned, 32));
  EXPECT_EQ(out[0], 8);
  EXPECT_EQ(out[1], 0);
  EXPECT_EQ(out[2], 0xEE);
  EXPECT_EQ(returned, 32u);
  // Every other request reports the port monitor's failure, so the printer tools can tell it.
  SetLastError(0);
  EXPECT_FALSE(Query(u"twgetcmd7", &out, &returned, 16));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_READY));
  EXPECT_EQ(out[0], 0xEE) << "only request 1 is marked";

  // The mark needs two bytes: a smaller buffer is left alone and told the size.
  out.assign(4, 0xEE);
  WString name = ToWString(u"twgetcmd1");
  SetLastError(0);
  EXPECT_FALSE(MonGetPrinterDataFromPort(port, 0, name.data(), nullptr, 0, reinterpret_cast<LPWSTR>(out.data()), 1,
                                         &returned));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(returned, 2u);
  EXPECT_EQ(out, (std::vector<BYTE>{0xEE, 0xEE, 0xEE, 0xEE}));
  SetLastError(0);
  EXPECT_FALSE(MonGetPrinterDataFromPort(port, 0, name.data(), nullptr, 0, nullptr, 0, &returned));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
}

TEST_F(StatusTest, RequestsFromManyThreadsEachSendTheirOwnCode) {
  constexpr int kEach = 200;
  auto send = [&](const char16_t* name) {
    std::vector<BYTE> out;
    DWORD returned = 0;
    for (int i = 0; i < kEach; ++i) Query(name, &out, &returned);
  };
  std::thread a(send, u"twsetcmd3"), b(send, u"twsetcmd4"), c(send, u"twsetcmd6");
  a.join();
  b.join();
  c.join();
  int counts[8] = {};
  for (const auto& r : twl->SetRequests()) {
    ASSERT_EQ(r.size(), 64u);
    ++counts[r[0] & 7];
  }
  EXPECT_EQ(counts[3], kEach);
  EXPECT_EQ(counts[4], kEach);
  EXPECT_EQ(counts[6], kEach);
}

TEST_F(StatusTest, AFull64ByteReplyWithoutAZeroStaysInItsBytes) {
  std::vector<BYTE> reply = Bytes("80000012");
  reply.resize(64, 'A');  // no terminating zero anywhere
  twl->SetStatusReply(reply);
  LONG status = 0;
  ASSERT_TRUE(GetPrinterStatus(Port(port), &status));
  EXPECT_EQ(status, 0x80);
  EXPECT_EQ(Port(port)->pageCounter, 12u);
  EXPECT_EQ(Count("GetPrinterStatus: The data read from printer: 80000012" + std::string(55, 'A')), 1)
      << "the logged text is the first 63 bytes";
}

TEST_F(StatusTest, SetRequestsSendTheVendorBuffer) {
  std::vector<BYTE> out;
  DWORD returned = 0;
  ASSERT_TRUE(Query(u"twsetcmd3", &out, &returned));
  ASSERT_TRUE(Query(u"twsetcmd5", &out, &returned));
  ASSERT_TRUE(Query(u"twsetcmd4", &out, &returned));
  auto sent = twl->SetRequests();
  ASSERT_EQ(sent.size(), 3u);
  for (const auto& s : sent) ASSERT_EQ(s.size(), 64u);
  std::vector<BYTE> first(64, 0);
  first[0] = 3;
  EXPECT_EQ(sent[0], first);
  EXPECT_EQ(sent[1][0], 5);
  EXPECT_EQ(sent[1][1], 0);
  EXPECT_EQ(sent[1][2], 0);
  bool anyRandom = false;
  for (int i = 3; i <= 18; ++i) {
    EXPECT_LT(sent[1][i], 255);
    anyRandom = anyRandom || sent[1][i] != 0;
  }
  EXPECT_TRUE(anyRandom);
  for (int i = 19; i < 64; ++i) EXPECT_EQ(sent[1][i], 0);
  EXPECT_EQ(sent[2][0], 4);
  EXPECT_TRUE(std::equal(sent[2].begin() + 1, sent[2].end(), sent[1].begin() + 1)) << "request 5's bytes stay";

  // A SET the printer refuses fails with the port monitor's error ("Failed to switch mode." in the
  // printer tools); any other third letter sends nothing.
  twl->SetOffline(true);
  SetLastError(0);
  EXPECT_FALSE(Query(u"twsetcmd3", &out, &returned));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NOT_READY));
  twl->SetOffline(false);
  EXPECT_TRUE(Query(u"twxetcmd1", &out, &returned));
  EXPECT_EQ(twl->SetRequests().size(), 3u);
}

TEST_F(StatusTest, ControlCodesGoToThePortMonitor) {
  BYTE id[128] = {};
  DWORD returned = 0;
  ASSERT_TRUE(MonGetPrinterDataFromPort(port, kIoctlQueryDeviceId, nullptr, nullptr, 0, reinterpret_cast<LPWSTR>(id),
                                        sizeof id, &returned));
  EXPECT_EQ(std::string(reinterpret_cast<char*>(id), returned), twl->deviceId);
  Port(port)->portMonitorTable.pfnGetPrinterDataFromPort = nullptr;
  SetLastError(0);
  EXPECT_FALSE(MonGetPrinterDataFromPort(port, kIoctlQueryDeviceId, nullptr, nullptr, 0, reinterpret_cast<LPWSTR>(id),
                                         sizeof id, &returned));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_PARAMETER));
  Port(port)->portMonitorTable.pfnGetPrinterDataFromPort = winsim::UsbPortMonitor().pfnGetPrinterDataFromPort;
}

TEST_F(StatusTest, EachPortLogsItsOwnRepliesOnceInARow) {
  auto second = std::make_shared<winsim::TwlPrinterDevice>();
  second->portNumber = 2;
  second->serial = "TW0000009";
  winsim::AttachUsbPrinter(second);
  HANDLE other = Open(u"USB002");
  ASSERT_NE(other, nullptr);
  twl->SetPageCounter(11);
  second->SetPageCounter(22);
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(GetPrinterStatus(Port(port)));
    ASSERT_TRUE(GetPrinterStatus(Port(other)));
  }
  EXPECT_EQ(Count("GetPrinterStatus: The data read from printer: 00000011"), 1);
  EXPECT_EQ(Count("GetPrinterStatus: The data read from printer: 00000022"), 1);
}

}  // namespace
