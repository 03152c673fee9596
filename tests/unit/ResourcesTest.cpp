// Resources compiled into the program: strings, icons, pictures, dialog templates.
#include <gtest/gtest.h>

#include <cmath>
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
  EXPECT_EQ(icon->picture.width, 256);                   // the largest entry
  EXPECT_EQ(Surface::Alpha(icon->picture.At(0, 0)), 0);  // an emblem: clear corners
  EXPECT_EQ(Surface::Alpha(icon->picture.At(128, 128)), 255);
  DestroyIcon(icon);

  TempDir dir;
  EXPECT_EQ(LoadIconFromFile((dir / "ico.ico").c_str()), nullptr);  // missing: no icon
  WriteFile(dir / "ico.ico", "not an icon");
  EXPECT_EQ(LoadIconFromFile((dir / "ico.ico").c_str()), nullptr);
}

// Picture resource `id` decoded; 0 x 0 when it is missing or broken.
Gdiplus::Image Picture(UINT id) {
  res::Resource found;
  res::FindResource(id, "png", &found);
  return Gdiplus::Image(found.data, found.size);
}

int AlphaAt(const Gdiplus::Image& picture, double x, double y) {
  return Surface::Alpha(
      picture.GetSurface().At(static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y))));
}

// The windows take their sizes from the pictures and place the controls by them.
TEST(ResourcesTest, PicturesHaveTheirWindowsSizes) {
  struct Size {
    UINT id;
    UINT width, height;
  };
  const Size sizes[] = {{203, 980, 650}, {190, 442, 307}, {180, 200, 12}, {160, 28, 28},
                        {161, 28, 28},   {159, 28, 28},   {177, 24, 24},  {178, 24, 24},
                        {176, 24, 24},   {196, 76, 25},   {194, 77, 24},  {192, 77, 25},
                        {198, 76, 24}};
  for (const Size& size : sizes) {
    const Gdiplus::Image picture = Picture(size.id);
    EXPECT_EQ(picture.GetWidth(), size.width) << size.id;
    EXPECT_EQ(picture.GetHeight(), size.height) << size.id;
  }
  // A link button's hover picture is drawn from its top-left corner, one pixel larger.
  const std::pair<UINT, UINT> links[] = {{196, 195}, {194, 193}, {192, 191}, {198, 197}};
  for (const auto& [normal, hover] : links) {
    const Gdiplus::Image n = Picture(normal), h = Picture(hover);
    EXPECT_EQ(h.GetWidth(), n.GetWidth() + 1) << hover;
    EXPECT_EQ(h.GetHeight(), n.GetHeight() + 1) << hover;
  }
}

// Inside the main window's outline the picture is opaque, since the shaped dialog paints it on
// its own face; outside it fades out, shown by the layered window, and is clear at the border.
TEST(ResourcesTest, MainBackgroundIsOpaqueInItsOutlineAndFadesOutsideIt) {
  const Gdiplus::Image picture = Picture(203);
  ASSERT_EQ(picture.GetWidth(), 980u);
  const POINT outline[] = {{157, 75},  {938, 75},  {955, 108}, {940, 141},
                           {938, 592}, {139, 594}, {36, 316}};
  for (size_t i = 0; i < std::size(outline); ++i) {
    const POINT a = outline[i], b = outline[(i + 1) % std::size(outline)];
    const double length = std::hypot(b.x - a.x, b.y - a.y);
    const double nx = (b.y - a.y) / length, ny = (a.x - b.x) / length;  // outwards
    const double mx = (a.x + b.x) / 2.0, my = (a.y + b.y) / 2.0;
    EXPECT_EQ(AlphaAt(picture, mx - 10 * nx, my - 10 * ny), 255) << "edge " << i;
    const int shade = AlphaAt(picture, mx + 3 * nx, my + 3 * ny);
    EXPECT_GT(shade, 0) << "edge " << i;
    EXPECT_LT(shade, 255) << "edge " << i;
  }
  for (int x = 0; x < 980; ++x) {
    ASSERT_EQ(AlphaAt(picture, x, 0), 0) << x;
    ASSERT_EQ(AlphaAt(picture, x, 649), 0) << x;
  }
  for (int y = 0; y < 650; ++y) {
    ASSERT_EQ(AlphaAt(picture, 0, y), 0) << y;
    ASSERT_EQ(AlphaAt(picture, 979, y), 0) << y;
  }
}

// The update dialog paints only its rectangle, on its own face: that part must be opaque.
TEST(ResourcesTest, UpdateBackgroundIsOpaqueWhereTheDialogPaintsIt) {
  const Gdiplus::Image picture = Picture(190);
  ASSERT_EQ(picture.GetWidth(), 442u);
  for (int y = 50; y < 226; ++y) {
    for (int x = 120; x < 426; ++x) ASSERT_EQ(AlphaAt(picture, x, y), 255) << x << "," << y;
  }
  EXPECT_EQ(AlphaAt(picture, 0, 0), 0);
  EXPECT_EQ(AlphaAt(picture, 441, 306), 0);
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
