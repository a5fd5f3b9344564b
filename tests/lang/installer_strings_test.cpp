// The installer's messages come from the program's string table in the user's UI language; the engine
// linked into a program without that table keeps its English texts.
#include <gtest/gtest.h>

#include <windows.h>

#include "installer/strings.h"
#include "winsim/machine.h"
#include "winsim/resources.h"

extern "C" const unsigned char lbl_lang_inst_res[], lbl_lang_inst_res_end[];  // lblinst32.rc

namespace {

std::u16string Text(const WCHAR* s) { return reinterpret_cast<const char16_t*>(s); }

class InstallerStrings : public ::testing::Test {
 protected:
  HMODULE self = GetModuleHandleW(nullptr);
  void SetUp() override { winsim::Reset(); }
  void TearDown() override {
    winsim::RemoveResources(self);
    winsim::Reset();
  }
};

TEST_F(InstallerStrings, FromTheProgramsTableInTheUserLanguage) {
  EXPECT_EQ(Text(InstallerString(IDS_INSTALL_OK)), u"The printer driver is installed successfully\r\n")
      << "no table: the built-in English";
  ASSERT_TRUE(winsim::AddResourceFile(self, lbl_lang_inst_res, size_t(lbl_lang_inst_res_end - lbl_lang_inst_res)));
  EXPECT_EQ(Text(InstallerString(IDS_INSTALL_OK)), u"The printer driver is installed successfully\r\n");

  winsim::SetUserUiLanguage(0x0419);
  const WCHAR* ok = InstallerString(IDS_INSTALL_OK);
  EXPECT_EQ(Text(ok), u"Драйвер принтера успешно установлен.\r\n");
  EXPECT_EQ(InstallerString(IDS_INSTALL_OK), ok) << "one lasting copy per text";
  EXPECT_EQ(Text(InstallerString(IDS_REMOVE_DRIVER)), u"Удаление драйвера принтера %ws %ws. Код: %d\r\n");

  winsim::SetUserUiLanguage(0x0804);
  EXPECT_EQ(Text(InstallerString(IDS_PROMPT)), u"提示");
  EXPECT_EQ(Text(ok), u"Драйвер принтера успешно установлен.\r\n") << "earlier texts stay valid";
  EXPECT_EQ(Text(InstallerString(9999)), u"");
}

TEST_F(InstallerStrings, KeepTheLastError) {
  SetLastError(ERROR_ACCESS_DENIED);
  InstallerString(IDS_FAILED);  // no table: the lookup fails inside
  EXPECT_EQ(GetLastError(), DWORD(ERROR_ACCESS_DENIED));
}

}  // namespace
