// lbl --ui-language: taken from anywhere on the command line, refused when unknown, and given to the
// machine each time a command sets it up afresh.
#include <gtest/gtest.h>

#include "tools/embedded.h"
#include "tools/ui_language.h"
#include "winsim/machine.h"

namespace {

using Args = std::vector<std::string>;

TEST(UiLanguageOption, TakenWhereverItStands) {
  Args a = {"--ui-language", "ru", "sheet", "device"};
  EXPECT_EQ(lbl::TakeUiLanguageOption(&a), 0);
  EXPECT_EQ(a, (Args{"sheet", "device"}));
  a = {"caps", "--ui-language=ko", "--json"};
  EXPECT_EQ(lbl::TakeUiLanguageOption(&a), 0);
  EXPECT_EQ(a, (Args{"caps", "--json"}));
  a = {"caps"};
  EXPECT_EQ(lbl::TakeUiLanguageOption(&a), 0);
  EXPECT_EQ(a, Args{"caps"});

  a = {"caps", "--ui-language", "de"};
  EXPECT_EQ(lbl::TakeUiLanguageOption(&a), 2);
  a = {"caps", "--ui-language"};
  EXPECT_EQ(lbl::TakeUiLanguageOption(&a), 2) << "the value is missing";
  EXPECT_EQ(lbl::UiLanguageByName("zh"), 0x0804);
  EXPECT_EQ(lbl::UiLanguageByName("EN"), 0);
}

TEST(UiLanguageOption, EveryFreshMachineGetsIt) {
  Args a = {"--ui-language", "ko"};
  ASSERT_EQ(lbl::TakeUiLanguageOption(&a), 0);
  std::string error;
  ASSERT_TRUE(lbl::SetupPrinter(lbl::kDefaultDriver, lbl::kDefaultPort, &error)) << error;
  EXPECT_EQ(GetUserDefaultUILanguage(), 0x0412);
  winsim::Reset();
  EXPECT_EQ(GetUserDefaultUILanguage(), 0x0409) << "a reset machine speaks English";
  ASSERT_TRUE(lbl::SetupPrinter(lbl::kDefaultDriver, lbl::kDefaultPort, &error)) << error;
  EXPECT_EQ(GetUserDefaultUILanguage(), 0x0412);

  a = {"--ui-language", "en"};
  ASSERT_EQ(lbl::TakeUiLanguageOption(&a), 0);
  ASSERT_TRUE(lbl::SetupPrinter(lbl::kDefaultDriver, lbl::kDefaultPort, &error)) << error;
  EXPECT_EQ(GetUserDefaultUILanguage(), 0x0409);
}

}  // namespace
