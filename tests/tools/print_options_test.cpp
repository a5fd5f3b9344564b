// lbl print's options: the job options it shares with check-job, settings fields by name, and the
// refusals of unknown fields and bad values.
#include <gtest/gtest.h>
#include <rapidjson/document.h>

#include "tests/tools/refused_options.h"
#include "tools/json_out.h"
#include "tools/print_job.h"
#include "tools/settings_fields.h"

namespace tooltest {
namespace {

TEST(PrintOptions, TakesEveryOptionAndLeavesUnknownOnes) {
  std::vector<std::string> args = {"--model", "Tarnwell TW-QX", "--language=twl", "--paper", "4 x 6", "--copies", "2",
                                   "--set", "Speed=300", "--set=UserCommand1=A\\r\\n", "--doc-name", "Label",
                                   "--job-id", "42", "--actual-size", "--usb-device-id", "MFG:T;CMD:TWL;MDL:X;",
                                   "-o", "out.prn", "a.png", "--deliver", "b.bmp"};
  lbl::PrintOptions o;
  std::string error;
  ASSERT_TRUE(lbl::ParsePrintOptions(&args, &o, &error)) << error;
  EXPECT_EQ(args, std::vector<std::string>{"--deliver"});  // for another print path to take
  EXPECT_EQ(o.job.model, "Tarnwell TW-QX");
  EXPECT_EQ(o.job.paper, "4 x 6");
  EXPECT_EQ(o.job.copies, 2);
  EXPECT_EQ(o.language, int(kLangTwl));
  ASSERT_EQ(o.set.size(), 2u);
  EXPECT_EQ(o.set[1], (std::pair<std::string, std::string>{"UserCommand1", "A\\r\\n"}));
  EXPECT_EQ(o.docName, "Label");
  EXPECT_EQ(o.jobId, 42u);
  EXPECT_TRUE(o.actualSize);
  EXPECT_EQ(o.usbDeviceId, "MFG:T;CMD:TWL;MDL:X;");
  EXPECT_EQ(o.output, "out.prn");
  EXPECT_EQ(o.inputs, (std::vector<std::string>{"a.png", "b.bmp"}));
}

TEST(PrintOptions, RefusesBadValuesUnknownFieldsAndMixedInputs) {
  const std::vector<std::vector<std::string>> bad = {
      {"--language", "pcl"}, {"--set", "Speed"}, {"--set", "=3"}, {"--set", "Sped=3"}, {"--set", "Speed=fast"},
      {"--set", "Speed=-1"}, {"--set", "ShiftH=2147483648"}, {"--set", "InputDPI=40000"}, {"--set", "Flags=0x1G"},
      {"--set", "UserCommand0=\\q"}, {"--set", "UserCommand0=\\x0"}, {"--set", "UserCommand0=\\x00"},
      {"--job-id", "0"}, {"--blank", "0"}, {"--blank", "2", "x.png"}, {"-o"}, {"--copies", "0"},
      {"--set", "dmFormName=a form name longer than thirty-one characters"}};
  lbltest::ExpectEachRefused(bad, lbl::ParsePrintOptions);
  std::vector<std::string> args = {"--set", "Colour=1"};
  lbl::PrintOptions o;
  std::string error;
  EXPECT_FALSE(lbl::ParsePrintOptions(&args, &o, &error));
  EXPECT_NE(error.find("unknown settings field 'Colour'"), std::string::npos) << error;
  EXPECT_NE(error.find("PaperSaving"), std::string::npos);  // the message lists the fields
}

TEST(SettingsFields, StoresEachFieldWhereTheRecordHasIt) {
  PrinterDevmode dm{};
  std::string error, v;
  struct Case {
    const char* name;
    const char* value;
    const char* back;
  };
  const Case cases[] = {{"Speed", "400", "400"},         {"darkness", "9", "9"},          {"FeedOffset", "-1500", "-1500"},
                        {"Flags", "0x124", "292"},       {"Contrast", "-20", "-20"},      {"Brightness", "100", "100"},
                        {"PrintLanguage", "ZPL", "3"},   {"dmOrientation", "landscape", "2"}, {"dmCopies", "007", "7"},
                        {"PrintWidth", "101600", "101600"}, {"PrinterType", "1", "1"},     {"WatermarkPath", "c:\\\\w.bmp", "c:\\\\w.bmp"}};
  for (const Case& c : cases) {
    ASSERT_TRUE(lbl::SetSettingsField(&dm, c.name, c.value, &error)) << c.name << ": " << error;
    ASSERT_TRUE(lbl::GetSettingsField(dm, c.name, &v));
    EXPECT_EQ(v, c.back) << c.name;
  }
  EXPECT_EQ(dm.Speed, 400u);
  EXPECT_EQ(dm.Darkness, 9u);
  EXPECT_EQ(dm.FeedOffset, -1500);
  EXPECT_EQ(dm.Flags, 0x124u);
  EXPECT_EQ(dm.ColorAdjust.caContrast, -20);
  EXPECT_EQ(dm.ColorAdjust.caBrightness, 100);
  EXPECT_EQ(dm.PrintLanguage, uint32_t(kLangZpl));
  EXPECT_EQ(dm.PrinterType, 1);
  // Public fields carry their dmFields bit, as an application sets them.
  EXPECT_EQ(dm.dm.dmOrientation, DMORIENT_LANDSCAPE);
  EXPECT_EQ(dm.dm.dmCopies, 7);
  EXPECT_EQ(dm.dm.dmFields, DWORD(DM_ORIENTATION | DM_COPIES));
  EXPECT_EQ(dm.WatermarkPath[2], TEXT('\\'));
  EXPECT_EQ(dm.WatermarkPath[3], TEXT('w'));
}

// lbl defaults shows every field --set takes, by the same name and with the value it stored; the fields
// it shows only (sizes, versions, the signature) --set refuses.
TEST(SettingsFields, DefaultsShowWhatSetTakes) {
  PrinterDevmode dm{};
  std::string error;
  ASSERT_TRUE(lbl::SetSettingsField(&dm, "FeedOffset", "-1500", &error)) << error;
  ASSERT_TRUE(lbl::SetSettingsField(&dm, "UserCommand3", "A\\r", &error)) << error;
  ASSERT_TRUE(lbl::SetSettingsField(&dm, "dmPaperWidth", "1016", &error)) << error;
  lbl::JsonOut j;
  lbl::WriteAllSettingsFields(j, &dm);
  rapidjson::Document doc;
  ASSERT_FALSE(doc.Parse(j.Finish().c_str()).HasParseError());
  auto member = [&](const std::string& name) -> const rapidjson::Value* {
    for (const char* group : {"Public", "Private"})
      if (doc[group].HasMember(name.c_str())) return &doc[group][name.c_str()];
    return nullptr;
  };
  for (const std::string& name : lbl::SettingsFieldNames()) EXPECT_NE(member(name), nullptr) << name;
  EXPECT_EQ(member("FeedOffset")->GetInt(), -1500);
  EXPECT_STREQ(member("UserCommand3")->GetString(), "A\r");
  EXPECT_EQ(doc["Public"]["dmPaperWidth"].GetInt(), 1016);
  EXPECT_EQ(member("dmFields")->GetUint(), unsigned{DM_PAPERWIDTH});
  for (const char* fixed : {"dmSize", "Signature", "Version", "caSize", "Reserved1"}) {
    EXPECT_NE(member(fixed), nullptr) << fixed;
    EXPECT_FALSE(lbl::SetSettingsField(&dm, fixed, "1", &error)) << fixed;
  }
}

TEST(SettingsFields, UserCommandsTakeEscapesAndTheirFullLength) {
  PrinterDevmode dm{};
  std::string error, v;
  ASSERT_TRUE(lbl::SetSettingsField(&dm, "UserCommand2", "SOUND 1,100\\r\\n\\x1B\\\\", &error)) << error;
  EXPECT_EQ(dm.UserCommands[2][11], TEXT('\r'));
  EXPECT_EQ(dm.UserCommands[2][13], TEXT('\x1B'));
  EXPECT_EQ(dm.UserCommands[2][14], TEXT('\\'));
  EXPECT_EQ(dm.UserCommands[2][15], 0);
  ASSERT_TRUE(lbl::GetSettingsField(dm, "UserCommand2", &v));
  EXPECT_EQ(v, "SOUND 1,100\\r\\n\\x1B\\\\");

  const std::string longest(kUserCommandChars - 1, 'x');
  EXPECT_TRUE(lbl::SetSettingsField(&dm, "UserCommand3", longest, &error));
  EXPECT_FALSE(lbl::SetSettingsField(&dm, "UserCommand3", longest + "x", &error));
  EXPECT_NE(error.find("at most 261 characters"), std::string::npos) << error;
  EXPECT_EQ(dm.UserCommands[3][kUserCommandChars - 2], TEXT('x'));  // the refused value left the field alone

  // Shorter text clears what a longer one left behind.
  ASSERT_TRUE(lbl::SetSettingsField(&dm, "UserCommand3", "A", &error));
  EXPECT_EQ(dm.UserCommands[3][1], 0);
  EXPECT_EQ(dm.UserCommands[3][kUserCommandChars - 2], 0);
}

}  // namespace
}  // namespace tooltest
