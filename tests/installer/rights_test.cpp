// Started without administrator rights, the installer says so before the wizard changes anything.
#include <gtest/gtest.h>

#include <windows.h>

#include "installer/rights.h"
#include "winsim/machine.h"
#include "winsim/resources.h"
#include "winsim/ui.h"

namespace {

namespace ui = winsim::ui;

class AdministratorRights : public ::testing::Test {
 protected:
  void SetUp() override { winsim::Reset(); }
  void TearDown() override { winsim::Reset(); }
};

TEST_F(AdministratorRights, WithoutThemTheUserIsToldHowToStartTheInstaller) {
  EXPECT_TRUE(AdministratorRightsOrExplain(nullptr, true));
  EXPECT_TRUE(ui::MessageBoxes().empty()) << "nothing to say with rights";

  ui::QueueMessageBox(IDOK);
  EXPECT_FALSE(AdministratorRightsOrExplain(nullptr, false));
  auto boxes = ui::MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text,
            u"Installing, upgrading or removing printer drivers needs administrator rights. Please start the "
            u"installer again with \"Run as administrator\".");
  EXPECT_EQ(boxes[0].caption, u"Prompt");
  EXPECT_EQ(boxes[0].type, UINT(MB_OK | MB_ICONWARNING));

  // In the user's language, naming the command as Windows shows it there.
  winsim::SetUserUiLanguage(0x0419);
  ui::QueueMessageBox(IDOK);
  EXPECT_FALSE(AdministratorRightsOrExplain(nullptr, false));
  boxes = ui::MessageBoxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_NE(boxes[1].text.find(u"«Запуск от имени администратора»"), std::u16string::npos);
  EXPECT_TRUE(ui::Unexpected().empty());
}

}  // namespace
