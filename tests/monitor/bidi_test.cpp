// Bidirectional queries: the schema table, "Get", "GetAll" and "EnumSchema".
#include <cstring>

#include "monitor_test_util.h"

using namespace montest;

namespace {

class BidiTest : public MonitorTest {
 protected:
  // Sends `schemas` as the requests of `action`; the response is released at tear-down.
  PBIDI_RESPONSE_CONTAINER Send(HANDLE port, const char16_t* action, const std::vector<std::u16string>& schemas) {
    names_.clear();
    for (const auto& s : schemas) names_.push_back(ToWString(s.c_str()));
    size_t count = schemas.empty() ? 1 : schemas.size();
    request_.assign(offsetof(BIDI_REQUEST_CONTAINER, aData) + count * sizeof(BIDI_REQUEST_DATA), 0);
    auto* req = reinterpret_cast<PBIDI_REQUEST_CONTAINER>(request_.data());
    req->Version = 1;
    req->Count = DWORD(schemas.size());
    for (size_t i = 0; i < schemas.size(); ++i) {
      req->aData[i].dwReqNumber = DWORD(i);
      req->aData[i].pSchema = names_[i].data();
    }
    PBIDI_RESPONSE_CONTAINER res = reinterpret_cast<PBIDI_RESPONSE_CONTAINER>(1);
    WString a = ToWString(action);
    EXPECT_EQ(MonBidiSendRecv(port, BIDI_ACCESS_USER, a.c_str(), req, &res), 0u);
    if (res) responses_.push_back(res);
    return res;
  }
  void TearDown() override {
    for (auto r : responses_) RouterFreeBidiResponseContainer(r);
    EXPECT_EQ(winsim::LiveBidiAllocations(), 0u);
    MonitorTest::TearDown();
  }
  std::vector<WString> names_;
  std::vector<uint8_t> request_;
  std::vector<PBIDI_RESPONSE_CONTAINER> responses_;
};

std::string Text(LPCWSTR s) { return s ? WideToUtf8(s) : "(null)"; }

const char* const kSchemas[] = {
    "/Printer/Installableoption/Duplexunit", "/Capability/MultiChannel", "/Communication/Version",
    "/Communication/BidiProtocol", "/Printer/BlackInk1/Level", "/Printer/Alerts", "/Printer/Language",
};

TEST_F(BidiTest, EnumSchemaListsTheTable) {
  HANDLE port = Open();
  auto res = Send(port, u"enumschema", {});
  ASSERT_NE(res, nullptr);
  EXPECT_EQ(res->Version, 1u);
  ASSERT_EQ(res->Count, 7u);
  for (DWORD i = 0; i < 7; ++i) {
    EXPECT_EQ(res->aData[i].dwResult, 0u);
    EXPECT_EQ(res->aData[i].dwReqNumber, 0u);
    EXPECT_EQ(res->aData[i].data.dwBidiType, DWORD(BIDI_TEXT));
    EXPECT_EQ(Text(res->aData[i].data.u.sData), kSchemas[i]);
  }
}

TEST_F(BidiTest, GetAnswersFromTheTable) {
  HANDLE port = Open();
  auto res = Send(port, u"Get",
                  {u"/printer/installableoption/duplexunit", u"/Capability/MultiChannel", u"/Communication/Version",
                   u"/Communication/BidiProtocol", u"/Printer/BlackInk1/Level", u"/Printer/Alerts",
                   u"/PRINTER/LANGUAGE", u"/Printer/Unknown"});
  ASSERT_NE(res, nullptr);
  ASSERT_EQ(res->Count, 8u);
  for (DWORD i = 0; i < 8; ++i) {
    EXPECT_EQ(res->aData[i].dwReqNumber, i);
    EXPECT_EQ(res->aData[i].pSchema, nullptr);
  }
  const BIDI_RESPONSE_DATA* e = res->aData;
  EXPECT_EQ(e[0].data.dwBidiType, DWORD(BIDI_BOOL));
  EXPECT_EQ(e[0].data.u.bData, TRUE);
  EXPECT_EQ(e[1].data.dwBidiType, DWORD(BIDI_BOOL));
  EXPECT_EQ(e[1].data.u.bData, FALSE);
  EXPECT_EQ(e[2].data.dwBidiType, DWORD(BIDI_INT));
  EXPECT_EQ(e[2].data.u.iData, 1);
  EXPECT_EQ(e[3].data.dwBidiType, DWORD(BIDI_ENUM));
  EXPECT_EQ(Text(e[3].data.u.sData), "PJL");
  EXPECT_EQ(e[4].data.dwBidiType, DWORD(BIDI_FLOAT));
  uint32_t bits;
  memcpy(&bits, &e[4].data.u.fData, 4);
  EXPECT_EQ(bits, 0x3F30A3D7u);
  EXPECT_EQ(e[5].dwResult, 0x80004005u);
  EXPECT_EQ(e[6].dwResult, 0u);
  EXPECT_EQ(e[6].data.dwBidiType, DWORD(BIDI_INT));
  EXPECT_EQ(e[6].data.u.iData, 0) << "TWL";
  EXPECT_EQ(e[7].dwResult, 0x80004005u);
  for (int i : {0, 1, 2, 3, 4}) EXPECT_EQ(e[i].dwResult, 0u) << i;

  EXPECT_TRUE(Has("MonBidiSendRecv: hPort:" + Hex(port) + ", Action:Get"));
  EXPECT_TRUE(Has("MonBidiSendRecv: RequestContainerSchema[6]:/PRINTER/LANGUAGE"));
}

TEST_F(BidiTest, LanguageIsTwoForOtherPrinters) {
  AttachPlain(2);
  HANDLE port = Open(u"USB002");
  auto res = Send(port, u"Get", {u"/Printer/Language"});
  ASSERT_NE(res, nullptr);
  EXPECT_EQ(res->aData[0].data.u.iData, 2);
}

TEST_F(BidiTest, GetAllAnswersThreeAlertsPerRequest) {
  HANDLE port = Open();
  auto res = Send(port, u"GetAll", {u"/Printer/Alerts", u"/Anything"});
  ASSERT_NE(res, nullptr);
  ASSERT_EQ(res->Count, 6u);
  const DWORD numbers[] = {0, 0, 0, 1, 1, 1};
  for (DWORD i = 0; i < 6; ++i) {
    EXPECT_EQ(res->aData[i].dwResult, 0u);
    EXPECT_EQ(res->aData[i].dwReqNumber, numbers[i]);
    EXPECT_EQ(Text(res->aData[i].pSchema), "/Printer/Alerts/1/Name");
    EXPECT_EQ(res->aData[i].data.dwBidiType, DWORD(BIDI_ENUM));
    EXPECT_EQ(Text(res->aData[i].data.u.sData), "CoverOpen");
  }
}

TEST_F(BidiTest, GetAllHoldsManyRequests) {
  HANDLE port = Open();
  std::vector<std::u16string> many(100, u"/Printer/Alerts");
  auto res = Send(port, u"GETALL", many);
  ASSERT_NE(res, nullptr);
  ASSERT_EQ(res->Count, 300u);
  EXPECT_EQ(res->aData[299].dwReqNumber, 99u);
  EXPECT_EQ(Text(res->aData[299].data.u.sData), "CoverOpen");
}

TEST_F(BidiTest, OtherActionsAndBadArguments) {
  HANDLE port = Open();
  EXPECT_EQ(Send(port, u"Set", {u"/Printer/Language"}), nullptr);
  PBIDI_RESPONSE_CONTAINER res = nullptr;
  EXPECT_EQ(MonBidiSendRecv(nullptr, BIDI_ACCESS_USER, TEXT("Get"), nullptr, &res), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(MonBidiSendRecv(port, BIDI_ACCESS_USER, TEXT("Get"), nullptr, nullptr), DWORD(ERROR_INVALID_PARAMETER));
  EXPECT_EQ(MonBidiSendRecv(port, BIDI_ACCESS_USER, nullptr, nullptr, &res), 0u);
  EXPECT_EQ(res, nullptr);
}

}  // namespace
