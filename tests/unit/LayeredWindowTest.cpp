// PNG pictures from resources and the layered window around a hole.
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
  EXPECT_TRUE(same(bands[2], 0, 0, 282, 650));   // left
  EXPECT_TRUE(same(bands[3], 922, 0, 58, 650));  // right
}

TEST_F(LayeredWindowTest, CornersAreCompositedTwiceAndTheHoleStaysClear) {
  const std::string png = SolidPng(20, 10, 0x80FF0000);
  Gdiplus::Image picture(png.data(), png.size());
  CLayeredWindow layered;
  ASSERT_TRUE(layered.Create(&m_owner, &picture, 5, 3, 10, 4, nullptr));
  layered.UpdateLayered();
  const Surface& px = m_backend.LayeredPixels(layered.m_hWnd);
  ASSERT_EQ(px.width, 20);
  ASSERT_EQ(px.height, 10);
  // Source-over of alpha a onto itself: a + a (1 - a) = 0x80 + 0x40.
  EXPECT_NEAR(Surface::Alpha(px.At(0, 0)), 0xC0, 1);   // top-left corner
  EXPECT_NEAR(Surface::Alpha(px.At(19, 9)), 0xC0, 1);  // bottom-right corner
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

TEST(ImageTest, UndecodablePictureIsEmptyAndReportsItOnce) {
  const char garbage[] = "not a picture";
  Gdiplus::Image image(garbage, sizeof garbage);
  EXPECT_EQ(image.GetWidth(), 0u);
  EXPECT_EQ(image.GetHeight(), 0u);
  EXPECT_NE(image.GetLastStatus(), Gdiplus::Ok);
  EXPECT_EQ(image.GetLastStatus(), Gdiplus::Ok);  // reading the status resets it
}

}  // namespace
