#include <gtest/gtest.h>

#include "platform/Afx.h"

namespace {

const POINT kOutline[] = {{157, 75},  {938, 75},  {955, 108}, {940, 141},
                          {938, 592}, {139, 594}, {36, 316}};

TEST(RegionTest, PolygonHitTestsFollowTheOutline) {
  CRgn rgn;
  ASSERT_TRUE(rgn.CreatePolygonRgn(kOutline, 7, ALTERNATE));
  EXPECT_TRUE(rgn.PtInRegion(490, 325));
  EXPECT_TRUE(rgn.PtInRegion(40, 316));  // the left tip
  EXPECT_FALSE(rgn.PtInRegion(30, 316));
  EXPECT_FALSE(rgn.PtInRegion(10, 10));
  EXPECT_FALSE(rgn.PtInRegion(150, 80));  // left of the slanted upper edge
  EXPECT_TRUE(rgn.PtInRegion(157, 75));   // first point's pixel
  // The right edge runs from x 940 to 938: at y 300 it crosses x 939.3, so pixel 938's
  // centre is inside and pixel 939's is not.
  EXPECT_TRUE(rgn.PtInRegion(938, 300));
  EXPECT_FALSE(rgn.PtInRegion(939, 300));
  EXPECT_FALSE(rgn.CreateRectRgn(0, 0, 1, 1));  // one region per object
}

TEST(RegionTest, EvenOddFillLeavesTheOverlapOfASelfCrossingPolygonOut) {
  // Two squares drawn as one path: their overlap is crossed twice.
  const POINT star[] = {{0, 0}, {20, 0}, {20, 20}, {10, 20}, {10, 10}, {30, 10}, {30, 30}, {0, 30}};
  CRgn rgn;
  ASSERT_TRUE(rgn.CreatePolygonRgn(star, 8, ALTERNATE));
  EXPECT_TRUE(rgn.PtInRegion(5, 5));
  EXPECT_FALSE(rgn.PtInRegion(15, 15));
  EXPECT_TRUE(rgn.PtInRegion(25, 25));
}

TEST(RegionTest, XorGivesTheWindowSystemsResultCodes) {
  CRgn a, b, same, dst, empty1, empty2;
  a.CreateRectRgn(0, 0, 10, 10);
  b.CreateRectRgn(0, 0, 10, 10);
  same.CreateRectRgn(0, 0, 1, 1);
  EXPECT_EQ(same.CombineRgn(&a, &b, RGN_XOR), NULLREGION);

  empty1.CreateRectRgn(0, 0, 0, 0);
  dst.CreateRectRgn(0, 0, 5, 5);
  EXPECT_EQ(dst.CombineRgn(&a, &empty1, RGN_XOR), SIMPLEREGION);
  EXPECT_TRUE(dst.PtInRegion(9, 9));

  // The main window's frame: the picture's rectangle minus the inner outline.
  const POINT inner[] = {{207, 85},  {928, 85},  {945, 118}, {930, 151},
                         {928, 582}, {189, 584}, {86, 326}};
  CRgn frame, rect, poly;
  frame.CreateRectRgn(0, 0, 5, 5);
  rect.CreateRectRgn(0, 0, 980, 650);
  poly.CreatePolygonRgn(inner, 7, ALTERNATE);
  EXPECT_EQ(frame.CombineRgn(&poly, &rect, RGN_XOR), COMPLEXREGION);
  EXPECT_TRUE(frame.PtInRegion(2, 2));
  EXPECT_TRUE(frame.PtInRegion(979, 649));
  EXPECT_FALSE(frame.PtInRegion(490, 325));
  EXPECT_TRUE(frame.PtInRegion(150, 80));

  EXPECT_EQ(empty2.CombineRgn(&a, &b, RGN_XOR), ERROR);  // no region in the destination
  EXPECT_EQ(CombineRgn(nullptr, a, b, RGN_XOR), ERROR);
  EXPECT_EQ(frame.CombineRgn(&rect, nullptr, RGN_XOR), ERROR);  // no second region
}

TEST(DialogUnitsTest, FixedBaseUnitsOfSixByThirteen) {
  const RECT px = MapDialogRect(RECT{503, 50, 503 + 19, 50 + 18});
  EXPECT_EQ(px.left, 755);  // 503 * 6 / 4 = 754.5, rounded
  EXPECT_EQ(px.top, 81);    // 50 * 13 / 8 = 81.25
  EXPECT_EQ(px.right, 783);
  EXPECT_EQ(px.bottom, 111);
  const RECT dlg = MapDialogRect(RECT{0, 0, 800, 454});
  EXPECT_EQ(dlg.right, 1200);
  EXPECT_EQ(dlg.bottom, 738);
}

}  // namespace
