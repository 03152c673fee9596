// Resources compiled into the program: strings, icons, dialog templates.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "LauncherSettings.h"
#include "TempDir.h"
#include "platform/Afx.h"

namespace {

TEST(ResourcesTest, StringTableCutsToTheBuffer) {
  char buffer[260];
  EXPECT_EQ(LoadString(129, buffer, sizeof buffer), static_cast<int>(strlen(LAUNCHER_GAME_TITLE)));
  EXPECT_STREQ(buffer, LAUNCHER_GAME_TITLE);
  EXPECT_GT(LoadString(130, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "更新游戏");
  char small[4];
  EXPECT_EQ(LoadString(130, small, sizeof small), 3);  // cut, always terminated
  EXPECT_EQ(LoadString(999, buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "");
}

TEST(ResourcesTest, IconsFromTheResourceAndFromAFile) {
  HICON icon = LoadIconResource(128);
  ASSERT_NE(icon, nullptr);
  EXPECT_EQ(icon->picture.width, 32);                    // the largest entry
  EXPECT_EQ(Surface::Alpha(icon->picture.At(0, 0)), 0);  // a round icon: clear corners
  EXPECT_EQ(Surface::Alpha(icon->picture.At(16, 16)), 255);
  DestroyIcon(icon);

  TempDir dir;
  EXPECT_EQ(LoadIconFromFile((dir / "ico.ico").c_str()), nullptr);  // missing: no icon
  WriteFile(dir / "ico.ico", "not an icon");
  EXPECT_EQ(LoadIconFromFile((dir / "ico.ico").c_str()), nullptr);
}

TEST(ResourcesTest, DialogTemplatesAsTheResourceScriptHasThem) {
  const DialogTemplate* main = res::FindDialogTemplate(102);
  ASSERT_NE(main, nullptr);
  EXPECT_EQ(main->style, 0x90000848u);
  EXPECT_EQ(main->exStyle, 0x00040000u);
  EXPECT_STREQ(main->className, "DODuzoDizuzide");
  ASSERT_EQ(main->items.size(), 8u);
  EXPECT_EQ(main->items[6].id, 1013u);
  EXPECT_EQ(main->items[6].style, 0x50000007u);
  const DialogTemplate* upgrade = res::FindDialogTemplate(104);
  ASSERT_NE(upgrade, nullptr);
  EXPECT_EQ(upgrade->style, 0x80080848u);
  EXPECT_STREQ(upgrade->items[0].className, "msctls_progress32");
  const DialogTemplate* popup = res::FindDialogTemplate(204);
  ASSERT_NE(popup, nullptr);
  EXPECT_EQ(popup->exStyle, 0x00040008u);
  EXPECT_STREQ(popup->title, "Dialog");
  EXPECT_EQ(res::FindDialogTemplate(103), nullptr);
}

}  // namespace
