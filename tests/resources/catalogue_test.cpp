// The generated model catalogue: structure, computed PnP IDs, the example model and the papers.
#include "resources/catalogue_blob.h"

#include "common/crc16.h"

#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace {

using rapidjson::Value;

class Catalogue : public ::testing::Test {
 protected:
  void SetUp() override {
    doc.Parse(reinterpret_cast<const char*>(g_CatalogueJson), g_CatalogueJsonSize);
    ASSERT_FALSE(doc.HasParseError()) << "error " << doc.GetParseError() << " at " << doc.GetErrorOffset();
    ASSERT_TRUE(doc["Venders"].IsArray());
    ASSERT_EQ(doc["Venders"].Size(), 1u);
  }
  const Value& Vendor() const { return doc["Venders"][0]; }
  const Value* FindModel(const char* name) const {
    for (const Value& m : Vendor()["Models"].GetArray())
      if (std::strcmp(m["Model Name"].GetString(), name) == 0) return &m;
    return nullptr;
  }
  static std::vector<int> Ints(const Value& a) {
    std::vector<int> v;
    for (const Value& e : a.GetArray()) v.push_back(e.GetInt());
    return v;
  }
  rapidjson::Document doc;
};

TEST(CatalogueBlob, IsTerminatedUtf8WithoutBom) {
  ASSERT_GT(g_CatalogueJsonSize, 1000u);
  EXPECT_EQ(g_CatalogueJson[0], '{');
  EXPECT_EQ(g_CatalogueJson[g_CatalogueJsonSize], 0);
  EXPECT_EQ(std::strlen(reinterpret_cast<const char*>(g_CatalogueJson)), g_CatalogueJsonSize);
}

TEST(CatalogueBlob, MatchesGeneratedJsonFile) {
  std::ifstream f(LBL_CATALOGUE_JSON_PATH, std::ios::binary);
  ASSERT_TRUE(f) << LBL_CATALOGUE_JSON_PATH;
  std::string file((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  EXPECT_EQ(file, std::string(reinterpret_cast<const char*>(g_CatalogueJson), g_CatalogueJsonSize));
}

TEST_F(Catalogue, EveryModelHasPnpIdRightAfterItsName) {
  std::string vendor = Vendor()["Vender Name"].GetString();
  EXPECT_EQ(vendor, "Tarnwell");
  std::set<std::string> names;
  for (const Value& m : Vendor()["Models"].GetArray()) {
    auto it = m.MemberBegin();
    ASSERT_STREQ(it->name.GetString(), "Model Name");
    std::string name = it->value.GetString();
    EXPECT_TRUE(names.insert(name).second) << "duplicate " << name;
    ++it;
    ASSERT_STREQ(it->name.GetString(), "PnP ID") << name;
    std::string key = vendor + name;
    char hex[8];
    snprintf(hex, sizeof hex, "%04X", Crc16Arc(key.data(), key.size()));
    EXPECT_EQ(std::string(it->value.GetString()), hex) << name;
  }
  EXPECT_GE(names.size(), 25u);
}

TEST_F(Catalogue, ExampleModelTwQx) {
  const Value* m = FindModel("TW-QX");
  ASSERT_NE(m, nullptr);
  const Value& q = *m;
  EXPECT_STREQ(q["PnP ID"].GetString(), "F1DD");
  EXPECT_EQ(q["DPI"].GetInt(), 203);
  EXPECT_EQ(q["Speed"]["Value"].GetInt(), 400);
  EXPECT_EQ(q["Speed"]["Step"].GetInt(), 100);
  EXPECT_EQ(Ints(q["Speed"]["Option"]), (std::vector<int>{200, 300, 400}));
  EXPECT_FALSE(q["Speed"].HasMember("SendThis"));
  EXPECT_EQ(q["Density"]["Value"].GetInt(), 8);
  EXPECT_EQ(Ints(q["Density"]["Option"]), (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16}));
  EXPECT_FALSE(q["Density"].HasMember("SendThis"));
  EXPECT_TRUE(q["Fonts"].IsArray() && q["Fonts"].Empty());
  EXPECT_EQ(q["Memory Size"]["SDRAM"].GetInt(), 8192);
  EXPECT_EQ(q["Memory Size"]["FLASH"].GetInt(), 4096);
  EXPECT_EQ(q["Accesories"]["Cutter"].GetInt(), 1);
  EXPECT_EQ(q["Accesories"]["Peeler"].GetInt(), 0);
  EXPECT_TRUE(q["RFID"].IsFalse());
  EXPECT_EQ(q["Paper Alignment"]["Value"].GetInt(), 0);
  EXPECT_EQ(Ints(q["Paper Alignment"]["Option"]), (std::vector<int>{0, 1, 2}));
  EXPECT_EQ(q["Paper Alignment"]["OutDirection"].GetInt(), 0);
  EXPECT_EQ(q["Maximum Print Width"].GetInt(), 104);
  EXPECT_EQ(q["Maximum Print Length"].GetInt(), 2286);
  EXPECT_EQ(q["Minimum Label Width"].GetInt(), 20);
  EXPECT_EQ(q["Minimum Label Length"].GetInt(), 10);
  EXPECT_EQ(q["Printing Mode"]["Value"].GetInt(), 0);
  EXPECT_EQ(Ints(q["Printing Mode"]["Option"]), (std::vector<int>{0, 1}));
  EXPECT_EQ(q["Sensor Type"]["Value"].GetInt(), 2);
  EXPECT_EQ(q["Gap High"].GetInt(), 3);
  EXPECT_EQ(q["Gap High Offset"].GetInt(), 0);
  EXPECT_EQ(q["Printer Languages"]["Value"].GetInt(), 2);
  EXPECT_EQ(Ints(q["Printer Languages"]["Option"]), (std::vector<int>{2, 4}));
}

TEST_F(Catalogue, ListsTheModelsOtherComponentsName) {
  // USB device-ID special cases, the installer's model table and its TW-KA identification.
  for (const char* name : {"TW-LA", "TW-LB", "AV-MA", "AV-MB", "TW-KA_", "TW-KB_", "TW-KC_", "TW-KD_", "TW-KE_",
                           "TW-JA", "TW-JB", "TW-KA"})
    EXPECT_NE(FindModel(name), nullptr) << name;
  EXPECT_EQ((*FindModel("TW-KA_"))["Printer Languages"]["Value"].GetInt(), 8);
  EXPECT_NE((*FindModel("TW-KA"))["Printer Languages"]["Value"].GetInt(), 8);
  EXPECT_EQ(Ints((*FindModel("TW-LA"))["Printer Languages"]["Option"]), (std::vector<int>{1, 2}));
}

TEST_F(Catalogue, CoversTheShippedValueRanges) {
  std::set<int> dpi, langDefaults;
  std::set<std::vector<int>> langSets;
  int minWidth = 1 << 30, maxWidth = 0, minLength = 1 << 30, maxLength = 0, sendThis = 0, inputDpi = 0;
  for (const Value& m : Vendor()["Models"].GetArray()) {
    dpi.insert(m["DPI"].GetInt());
    minWidth = std::min(minWidth, m["Maximum Print Width"].GetInt());
    maxWidth = std::max(maxWidth, m["Maximum Print Width"].GetInt());
    minLength = std::min(minLength, m["Maximum Print Length"].GetInt());
    maxLength = std::max(maxLength, m["Maximum Print Length"].GetInt());
    langDefaults.insert(m["Printer Languages"]["Value"].GetInt());
    langSets.insert(Ints(m["Printer Languages"]["Option"]));
    bool speedSend = m["Speed"].HasMember("SendThis"), densitySend = m["Density"].HasMember("SendThis");
    EXPECT_EQ(speedSend, densitySend) << m["Model Name"].GetString();
    sendThis += speedSend;
    inputDpi += m.HasMember("InputDPI");
  }
  EXPECT_EQ(dpi, (std::set<int>{203, 300}));
  EXPECT_EQ(minWidth, 48);
  EXPECT_EQ(maxWidth, 219);
  EXPECT_EQ(minLength, 762);
  EXPECT_EQ(maxLength, 8000);
  EXPECT_EQ(langDefaults, (std::set<int>{2, 4, 8}));
  for (const std::vector<int>& s : {std::vector<int>{1}, {2}, {2, 4}, {4}, {8}}) EXPECT_EQ(langSets.count(s), 1u);
  EXPECT_EQ(sendThis, 1);
  EXPECT_EQ(inputDpi, 7);
}

TEST_F(Catalogue, ShippedPapersInOrder) {
  struct P {
    const char* name;
    double w, h;
    int type;
    double gap, top;
  };
  const P expected[] = {
      {"A4", 210, 297, 4, 0, 10},          {"A5", 148, 210, 4, 0, 10},
      {"4 x 6", 101.6, 152.4, 1, 3, 0},    {"76mm x 130mm", 76, 130, 1, 3, 0},
      {"72mm x 130mm", 72, 130, 1, 3, 0},  {"1.5 x 1", 38.1, 25.4, 1, 3, 0},
      {"2.5 x 1.25", 63.5, 31.75, 1, 3, 0}, {"2 x 1", 50.8, 25.4, 1, 3, 0},
      {"3 x 1", 76, 25.4, 1, 3, 0},        {"3 x 2", 76, 50.8, 1, 3, 0},
      {"4 x 4", 101.6, 101.6, 1, 3, 0},    {"40mm x 30mm", 40, 30, 1, 3, 0},
      {"50mm x 30mm", 50, 30, 1, 3, 0},    {"60mm x 40mm", 60, 40, 1, 3, 0},
      {"100mm x 100mm", 100, 100, 1, 3, 0}, {"100mm x 150mm", 100, 150, 1, 3, 0},
  };
  const Value& papers = Vendor()["Papers"];
  ASSERT_EQ(papers.Size(), 16u);
  for (size_t i = 0; i < 16; ++i) {
    const Value& p = papers[static_cast<rapidjson::SizeType>(i)];
    const P& e = expected[i];
    SCOPED_TRACE(e.name);
    EXPECT_STREQ(p["Paper Name"].GetString(), e.name);
    EXPECT_DOUBLE_EQ(p["Width"].GetDouble(), e.w);
    EXPECT_DOUBLE_EQ(p["Height"].GetDouble(), e.h);
    EXPECT_EQ(p["Type"].GetInt(), e.type);
    EXPECT_DOUBLE_EQ(p["Gap"].GetDouble(), e.gap);
    EXPECT_DOUBLE_EQ(p["GapOffset"].GetDouble(), 0);
    EXPECT_DOUBLE_EQ(p["Margin"]["Top"].GetDouble(), e.top);
    EXPECT_DOUBLE_EQ(p["Margin"]["Left"].GetDouble(), 0);
    EXPECT_DOUBLE_EQ(p["Margin"]["Right"].GetDouble(), 0);
    EXPECT_DOUBLE_EQ(p["Margin"]["Bottom"].GetDouble(), 0);
    EXPECT_EQ(p.HasMember("Type Description"), i == 0);
  }
  EXPECT_STREQ(papers[0]["Type Description"].GetString(), "1=gap,2=black mark,4=non-label");
}

}  // namespace
