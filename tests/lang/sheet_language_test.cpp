// The driver's texts follow the machine's user-interface language: strings and the About page come from
// the resources of that language, and a language the driver does not carry falls back to English.
#include <gtest/gtest.h>

#include <compstui.h>
#include <winddiui.h>

#include "ui/about.h"
#include "ui/docprops.h"
#include "ui/module.h"
#include "ui/sheets.h"
#include "ui/doc_sheet.h"
#include "ui/ui_fixture.h"
#include "winsim/resources.h"
#include "winsim/ui.h"

namespace uitest {
namespace {

class SheetLanguage : public UiTest {
 protected:
  std::u16string String(UINT id) {
    WCHAR buf[256];
    int n = LoadUiString(id, buf, 256);
    return std::u16string(reinterpret_cast<const char16_t*>(buf), size_t(n));
  }
};

TEST_F(SheetLanguage, StringsFollowTheUserLanguageWithEnglishFallback) {
  Install();
  EXPECT_EQ(String(IDS_CUSTOM_SIZE), u"Custom size");
  winsim::SetUserUiLanguage(0x0419);
  EXPECT_EQ(String(IDS_CUSTOM_SIZE), u"Пользовательский размер");
  winsim::SetUserUiLanguage(0x0412);
  EXPECT_EQ(String(IDS_ERR_SAVE_PAPER), u"용지 정보를 저장하지 못했습니다.");
  winsim::SetUserUiLanguage(0x0804);
  EXPECT_EQ(String(IDS_BIN_MAIN), u"主纸仓");
  winsim::SetUserUiLanguage(0x0819);  // Russian (Moldova): the primary language decides
  EXPECT_EQ(String(IDS_BIN_MAIN), u"Основной лоток");
  winsim::SetUserUiLanguage(0x040C);  // French: not carried, English
  EXPECT_EQ(String(IDS_BIN_MAIN), u"Main storehouse");
}

TEST_F(SheetLanguage, AboutPageInRussian) {
  namespace ui = winsim::ui;
  winsim::SetUserUiLanguage(MAKELANGID(LANG_RUSSIAN, SUBLANG_DEFAULT));
  Install();
  PrinterDevmode in = DefaultDevmode();
  PrinterDevmode out{};
  WString name = ToWString(kPrinter.c_str());
  DOCUMENTPROPERTYHEADER h = DocumentHeader(printer, name, &in.dm, &out.dm, sizeof out, DM_IN_BUFFER | DM_OUT_BUFFER);
  DWORD result = 0;
  ui::UiThread t([&] {
    return intptr_t(CommonPropertySheetUIW(nullptr, DrvDocumentPropertySheets, reinterpret_cast<LPARAM>(&h), &result));
  });
  HWND sheet = ui::FindSheet();
  ASSERT_NE(sheet, nullptr);
  HWND about = ui::SelectPage(sheet, kAboutTemplate) ? ui::Page(sheet, kAboutTemplate) : nullptr;
  if (!about) ui::Press(sheet, ui::Button::Cancel);  // so the sheet's thread ends
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(ui::WindowText(about), u"О программе");
  EXPECT_EQ(ui::Text(about, kAboutProductControl), u"Драйвер принтера этикеток Tarnwell");
  EXPECT_EQ(ui::Text(about, kAboutNoticeControl), u"Copyright (C) 2024 Tarnwell. Все права защищены.");
  EXPECT_EQ(ui::Text(about, kAboutVersionControl), u"2024.02.04.1");
  ASSERT_TRUE(ui::Press(sheet, ui::Button::Cancel));
  t.Join();
  EXPECT_TRUE(ui::Unexpected().empty());
}

}  // namespace
}  // namespace uitest
