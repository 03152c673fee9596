// PNG pictures from resources and the layered window around a hole.
#include <algorithm>
#include <cstdlib>

#include "HeadlessFixture.h"
#include "LayeredWindow.h"
#include "PngImage.h"
#include "TestPictures.h"

namespace {

class LayeredWindowTest : public HeadlessTest {
 protected:
  // A plain owner window.
  void SetUp() override {
    HeadlessTest::SetUp();
    ASSERT_TRUE(m_owner.CreateEx(0, "#32770", "", WS_POPUP, RECT{100, 50, 120, 60}, nullptr, 0));
  }
  CWnd m_owner;
};

TEST(LayeredBandsTest, MainWindowHoleOnTheBackgroundPicture) {
  const auto bands = LayeredBands(980, 650, HoleRect{282, 143, 640, 416});
  auto same = [](const Gdiplus::Rect& r, int x, int y, int w, int h) {
    return r.X == x && r.Y == y && r.Width == w && r.Height == h;
  };
  EXPECT_TRUE(same(bands[0], 0, 0, 980, 143));   // top
  EXPECT_TRUE(same(bands[1], 0, 559, 980, 91));  // bottom
  EXPECT_TRUE(same(bands[2], 0, 143, 282, 416));   // left
  EXPECT_TRUE(same(bands[3], 922, 143, 58, 416));  // right
}

TEST_F(LayeredWindowTest, ThePixelsShownAreThePicturesAndTheHoleStaysClear) {
  const std::string png = SolidPng(20, 10, 0x80FF0000);
  Gdiplus::Image picture(png.data(), png.size());
  CLayeredWindow layered;
  ASSERT_TRUE(layered.Create(&m_owner, &picture, 5, 3, 10, 4, nullptr));
  layered.UpdateLayered();
  const Surface& px = m_backend.LayeredPixels(layered.m_hWnd);
  ASSERT_EQ(px.width, 20);
  ASSERT_EQ(px.height, 10);
  // Drawn twice, a corner would show a + a (1 - a) = 0xC0.
  EXPECT_NEAR(Surface::Alpha(px.At(0, 0)), 0x80, 1);   // top-left corner
  EXPECT_NEAR(Surface::Alpha(px.At(19, 9)), 0x80, 1);  // bottom-right corner
  EXPECT_NEAR(Surface::Alpha(px.At(10, 0)), 0x80, 1);  // top band only
  EXPECT_NEAR(Surface::Alpha(px.At(17, 5)), 0x80, 1);  // right band only
  EXPECT_EQ(px.At(7, 4), 0u);                          // the hole
  EXPECT_EQ(px.At(14, 6), 0u);
  EXPECT_EQ(Surface::Green(px.At(0, 0)), 0);
  EXPECT_EQ(Log(), "");
}

TEST_F(LayeredWindowTest, CreateMakesAHiddenOwnedPictureSizedWindow) {
  const std::string png = SolidPng(30, 20, 0xFF00FF00);
  Gdiplus::Image picture(png.data(), png.size());
  CLayeredWindow plain;
  ASSERT_TRUE(plain.Create(&m_owner, &picture, 1, 1, 2, 2, nullptr));
  RECT rc;
  plain.GetWindowRect(&rc);
  EXPECT_EQ(rc.right - rc.left, 30);
  EXPECT_EQ(rc.bottom - rc.top, 20);
  EXPECT_FALSE(plain.IsWindowVisible());
  EXPECT_EQ(plain.GetOwner(), &m_owner);
  EXPECT_TRUE(plain.GetExStyle() & WS_EX_LAYERED);
  CRgn copy;
  copy.CreateRectRgn(0, 0, 1, 1);
  EXPECT_EQ(plain.GetWindowRgn(copy), ERROR);  // no region: the whole rectangle counts

  CRgn frame;
  frame.CreateRectRgn(0, 0, 30, 5);
  CLayeredWindow shaped;
  ASSERT_TRUE(shaped.Create(&m_owner, &picture, 1, 1, 2, 2, &frame));
  EXPECT_EQ(shaped.GetWindowRgn(copy), SIMPLEREGION);
  EXPECT_TRUE(copy.PtInRegion(29, 4));
  EXPECT_FALSE(copy.PtInRegion(29, 5));
}

TEST_F(LayeredWindowTest, FailuresAreLoggedWithTheirCheckLines) {
  CLayeredWindow layered;
  EXPECT_FALSE(layered.Create(&m_owner, nullptr, 0, 0, 1, 1, nullptr));
  EXPECT_EQ(layered.m_hWnd, 0u);
  layered.UpdateLayered();  // never made a window
  layered.UpdateLayered();
  const std::string log = Log();
  EXPECT_NE(log.find("LayeredWindow(31) : pImage \n"), std::string::npos);
  size_t first = log.find("UpdateLayeredWindow error(1400)! \n");
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(log.find("UpdateLayeredWindow error(1400)!", first + 1), std::string::npos);
}

TEST_F(LayeredWindowTest, PicturesLoadFromResourcesWithTheirChecks) {
  std::unique_ptr<Gdiplus::Image> background(LoadPngImage(203));
  ASSERT_NE(background, nullptr);
  EXPECT_EQ(background->GetWidth(), 980u);
  EXPECT_EQ(background->GetHeight(), 650u);
  std::unique_ptr<Gdiplus::Image> bar(LoadPngImage(180));
  ASSERT_NE(bar, nullptr);
  EXPECT_EQ(bar->GetWidth(), 200u);
  EXPECT_EQ(bar->GetHeight(), 12u);
  EXPECT_EQ(Log(), "");

  EXPECT_EQ(LoadPngImage(4242), nullptr);
  EXPECT_NE(Log().find("Launcher(489) : ImageFromIDResource(id, \"png\", image) \n"),
            std::string::npos);
  Gdiplus::Image* image = nullptr;
  EXPECT_FALSE(ImageFromIDResource(203, "bmp", image));
  EXPECT_EQ(image, nullptr);
}

// The largest change of alpha between neighbours across a seam of the layered window's bands:
// the column left of x against x (rows from..to), or the row above y against y.
int LargestStepAcrossColumn(const Surface& px, int x, int from, int to) {
  int largest = 0;
  for (int y = from; y < to; ++y) {
    largest =
        std::max(largest, std::abs(Surface::Alpha(px.At(x - 1, y)) - Surface::Alpha(px.At(x, y))));
  }
  return largest;
}
int LargestStepAcrossRow(const Surface& px, int y, int from, int to) {
  int largest = 0;
  for (int x = from; x < to; ++x) {
    largest =
        std::max(largest, std::abs(Surface::Alpha(px.At(x, y - 1)) - Surface::Alpha(px.At(x, y))));
  }
  return largest;
}

// The shades round the windows' outlines must run on across the seams of the bands (a step there would show as a box in the shade). The rows and
// columns checked lie in the shade only, outside each picture's opaque part.
TEST_F(LayeredWindowTest, BackgroundShadesRunOnAcrossTheBandSeams) {
  std::unique_ptr<Gdiplus::Image> main(LoadPngImage(203));
  ASSERT_NE(main, nullptr);
  CLayeredWindow mainLayered;
  ASSERT_TRUE(mainLayered.Create(&m_owner, main.get(), 282, 143, 640, 416, nullptr));
  mainLayered.UpdateLayered();
  const Surface& shown = m_backend.LayeredPixels(mainLayered.m_hWnd);
  for (int x : {282, 922}) {
    EXPECT_LE(LargestStepAcrossColumn(shown, x, 0, 70), 10) << x;     // above the outline
    EXPECT_LE(LargestStepAcrossColumn(shown, x, 600, 650), 10) << x;  // below it
  }
  for (int y : {143, 559}) {
    EXPECT_LE(LargestStepAcrossRow(shown, y, 0, 115), 10) << y;    // left of the outline
    EXPECT_LE(LargestStepAcrossRow(shown, y, 945, 980), 10) << y;  // right of it
  }

  std::unique_ptr<Gdiplus::Image> update(LoadPngImage(190));
  ASSERT_NE(update, nullptr);
  CLayeredWindow updateLayered;
  ASSERT_TRUE(updateLayered.Create(&m_owner, update.get(), 120, 50, 306, 176, nullptr));
  updateLayered.UpdateLayered();
  const Surface& card = m_backend.LayeredPixels(updateLayered.m_hWnd);
  for (int x : {120, 426}) {
    EXPECT_LE(LargestStepAcrossColumn(card, x, 0, 28), 10) << x;
    EXPECT_LE(LargestStepAcrossColumn(card, x, 265, 307), 10) << x;
  }
  for (int y : {50, 226}) {
    EXPECT_LE(LargestStepAcrossRow(card, y, 0, 28), 10) << y;
    EXPECT_LE(LargestStepAcrossRow(card, y, 435, 442), 10) << y;
  }
  EXPECT_EQ(Log(), "");
}

TEST(ImageTest, UndecodablePictureIsEmptyAndReportsItOnce) {
  const char garbage[] = "not a picture";
  Gdiplus::Image image(garbage, sizeof garbage);
  EXPECT_EQ(image.GetWidth(), 0u);
  EXPECT_EQ(image.GetHeight(), 0u);
  EXPECT_NE(image.GetLastStatus(), Gdiplus::Ok);
  EXPECT_EQ(image.GetLastStatus(), Gdiplus::Ok);  // reading the status resets it
}

}  // namespace
