// The lbl program with --ui-language: the driver's and the installer's texts in the chosen language.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "tests/tools/run_lbl.h"

using namespace lbltest;

namespace {

TEST(LblLanguage, CapabilityNamesAndInstallLogInTheChosenLanguage) {
  Ran caps = Lbl("--ui-language zh caps");
  ASSERT_EQ(caps.status, 0);
  EXPECT_NE(caps.out.find("\"卷纸纸仓\""), std::string::npos) << "DC_BINNAMES in Chinese";

  Ran install = Lbl("install --model \"Tarnwell TW-JA\" --port FILE: --ui-language=ru");
  ASSERT_EQ(install.status, 0);
  EXPECT_NE(install.out.find("Установка драйвера принтера: Tarnwell TW-JA, порт: FILE:.\\r\\n"), std::string::npos)
      << install.out;

  Ran english = Lbl("install --model \"Tarnwell TW-JA\" --port FILE: --printer \"Labels in English\"");
  EXPECT_NE(english.out.find("The printer driver is installed successfully"), std::string::npos);

  EXPECT_EQ(Lbl("--ui-language fr caps").status, 2);
}

}  // namespace
