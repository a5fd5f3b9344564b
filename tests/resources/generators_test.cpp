// The build-time generators on small inputs: what they add, and that bad input fails the build.
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>

#include <sys/wait.h>
#include <unistd.h>

namespace {

// Per test and per process: ctest runs the cases of this file in parallel, other builds too.
std::string Tmp(const std::string& name) {
  return ::testing::TempDir() + "lbl_gen_" + std::to_string(getpid()) + "_" +
         ::testing::UnitTest::GetInstance()->current_test_info()->name() + "_" + name;
}

void Write(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

std::string Read(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

// Runs a generator; returns its exit code and leaves its stderr in `err`.
int RunTool(const std::string& cmd, std::string& err) {
  std::string errFile = Tmp("stderr.txt");
  int rc = std::system((cmd + " 2>\"" + errFile + "\"").c_str());
  err = Read(errFile);
  return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
}

std::string Model(const std::string& name, const std::string& speed) {
  return R"({"Model Name":")" + name + R"(","DPI":203,"Speed":)" + speed +
         R"(,"Density":{"Value":8,"Option":[1,2,3]},"Memory Size":{"SDRAM":8192,"FLASH":4096},)"
         R"("Accesories":{"Cutter":0,"Peeler":0},"RFID":false,"Paper Alignment":{"Value":0,"OutDirection":0},)"
         R"("Maximum Print Width":104,"Maximum Print Length":2286,"Minimum Label Width":20,"Minimum Label Length":10,)"
         R"("Printing Mode":{"Value":0},"Sensor Type":{"Value":2},"Gap High":3,"Gap High Offset":0,)"
         R"("Printer Languages":{"Value":2,"Option":[2,4]}})";
}

std::string Catalogue(const std::string& models) {
  return R"({"Venders":[{"Vender Name":"Tarnwell","Models":[)" + models +
         R"(],"Papers":[{"Paper Name":"4 x 6","Type":1,"Width":101.6,"Height":152.4,)"
         R"("Margin":{"Left":0,"Right":0,"Top":0,"Bottom":0},"Gap":3,"GapOffset":0}]}]})";
}

std::string CatgenCommand(const std::string& in) {
  return std::string("\"") + LBL_CATGEN_EXE + "\" \"" + in + "\" \"" + Tmp("out.json") + "\" \"" + Tmp("out.cpp") + "\"";
}

TEST(Catgen, InsertsPnpIdAfterModelNameAndKeepsValues) {
  std::string in = Tmp("good.json");
  Write(in, Catalogue(Model("TW-QX", R"({"Value":400,"Step":100,"Option":[200,300,400]})")));
  std::string err;
  ASSERT_EQ(RunTool(CatgenCommand(in), err), 0) << err;

  std::string json = Read(Tmp("out.json"));
  rapidjson::Document d;
  d.Parse(json.c_str());
  ASSERT_FALSE(d.HasParseError());
  const auto& m = d["Venders"][0]["Models"][0];
  auto it = m.MemberBegin() + 1;
  EXPECT_STREQ(it->name.GetString(), "PnP ID");
  EXPECT_STREQ(it->value.GetString(), "F1DD");
  EXPECT_EQ(m.MemberCount(), 18u);  // 17 source keys + PnP ID
  EXPECT_DOUBLE_EQ(d["Venders"][0]["Papers"][0]["Width"].GetDouble(), 101.6);

  std::string blob = Read(Tmp("out.cpp"));
  EXPECT_NE(blob.find("g_CatalogueJsonSize = " + std::to_string(json.size()) + "u;"), std::string::npos);
}

TEST(Catgen, RejectsModelsTheDriverCannotLoad) {
  struct Case {
    std::string models, message;
  } cases[] = {
      {Model("TW-QX", R"({"Value":400,"Step":100})"), "\"TW-QX\" \"Speed\": \"Option\""},
      {Model("TW-QX", R"({"Value":400,"Step":100,"Option":[]})"), "\"Option\" must be a non-empty ascending"},
      {Model("TW-QX", R"({"Value":400,"Step":100,"Option":[300,200]})"), "ascending"},
      {Model("TW-QX", R"({"Value":400,"Step":100,"Option":[200]})") + "," +
           Model("TW-QX", R"({"Value":400,"Step":100,"Option":[200]})"),
       "duplicate model name"},
      {R"({"Model Name":"TW-QX","PnP ID":"F1DD"})", "\"PnP ID\" is computed"},
  };
  for (const Case& c : cases) {
    std::string in = Tmp("bad.json");
    Write(in, Catalogue(c.models));
    std::remove(Tmp("out.json").c_str());
    std::string err;
    EXPECT_EQ(RunTool(CatgenCommand(in), err), 1) << c.message;
    EXPECT_NE(err.find(c.message), std::string::npos) << err;
    EXPECT_TRUE(Read(Tmp("out.json")).empty()) << "no output on failure";
  }
  std::string err;
  Write(Tmp("broken.json"), "{\"Venders\": [");
  EXPECT_EQ(RunTool(CatgenCommand(Tmp("broken.json")), err), 1);
  EXPECT_NE(err.find("parse error"), std::string::npos) << err;
}

TEST(Datgen, RejectsUnknownKeysBadValuesAndWrongHeaderSize) {
  std::string in = Tmp("bad.dat.txt"), out = Tmp("bad.dat");
  Write(in, "HeaderSize = 364\nMaxWidth = 12x\nColorInfo.Red = 1, 2\nColour = 3\nDeviceName = "
            "0123456789012345678901234567890123\n");
  std::remove(out.c_str());
  std::string err;
  EXPECT_EQ(RunTool(std::string("\"") + LBL_DATGEN_EXE + "\" \"" + in + "\" \"" + out + "\"", err), 1);
  for (const char* msg : {"HeaderSize must be 360", "MaxWidth: \"12x\"", "ColorInfo.Red takes 3", "unknown key Colour",
                          "DeviceName longer than 31", "missing Flags"})
    EXPECT_NE(err.find(msg), std::string::npos) << msg << "\n" << err;
  EXPECT_TRUE(Read(out).empty());
}

}  // namespace
