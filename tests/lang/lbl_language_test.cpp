// The lbl program with --ui-language: the driver's and the installer's texts in the chosen language.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <string>

namespace {

struct Ran {
  int status = -1;
  std::string out;
};

Ran Lbl(const std::string& args) {
  Ran r;
  FILE* p = popen((std::string(LBL_EXE) + " " + args + " 2>/dev/null").c_str(), "r");
  char buf[4096];
  for (size_t n; p && (n = fread(buf, 1, sizeof buf, p)) > 0;) r.out.append(buf, n);
  const int status = p ? pclose(p) : -1;
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}

TEST(LblLanguage, CapabilityNamesAndInstallLogInTheChosenLanguage) {
  Ran caps = Lbl("--ui-language zh caps");
  ASSERT_EQ(caps.status, 0);
  EXPECT_NE(caps.out.find("\"卷纸纸仓\""), std::string::npos) << "DC_BINNAMES in Chinese";

  Ran install = Lbl("install --model \"Tarnwell TW-JA\" --port FILE: --ui-language=ru");
  ASSERT_EQ(install.status, 0);
  EXPECT_NE(install.out.find("Установка драйвера принтера: Tarnwell TW-JA, порт: FILE:.\\r\\n"), std::string::npos)
      << install.out;

  Ran english = Lbl("install --model \"Tarnwell TW-JA\" --port FILE:");
  EXPECT_NE(english.out.find("The printer driver is installed successfully"), std::string::npos);

  EXPECT_EQ(Lbl("--ui-language fr caps").status, 2);
}

}  // namespace
