// view_test.cpp - what the mouse and the window size do to the view.
#include <gtest/gtest.h>

#include <cmath>

#include "view.h"

namespace {

class ViewTest : public testing::Test {
 protected:
  void SetUp() override {
    view_reset();
    Viewport v;
    view_reshape(640, 480, v);
  }
};

TEST_F(ViewTest, ViewportIsASquareOfTheWidthCentredVertically) {
  Viewport v{};
  ASSERT_TRUE(view_reshape(800, 600, v));
  EXPECT_EQ(v.x, 0);
  EXPECT_EQ(v.y, -100);
  EXPECT_EQ(v.width, 800);
  EXPECT_EQ(v.height, 800);
  ASSERT_TRUE(view_reshape(300, 501, v));
  EXPECT_EQ(v.y, 100);  // integer division
  EXPECT_FALSE(view_reshape(300, 0, v));
  EXPECT_EQ(view.height, 501);
}

TEST_F(ViewTest, DragAcrossTheWholeWindowIsOneTurn) {
  // Pressing and releasing change nothing in the picture; only a motion does.
  EXPECT_FALSE(view_mouse(Button::Left, true, 100, 100, 0));
  EXPECT_TRUE(view_motion(260, 100));
  EXPECT_DOUBLE_EQ(view.yaw, 90);
  view_motion(100, 340);  // downward on the screen turns the pitch up
  EXPECT_DOUBLE_EQ(view.yaw, 0);
  EXPECT_DOUBLE_EQ(view.pitch, 180);
  EXPECT_FALSE(view_mouse(Button::Left, false, 100, 340, 0));
  view_mouse(Button::Left, true, 0, 0, kCtrl);  // Ctrl rotates too, from the saved angles
  view_motion(0, 120);
  EXPECT_DOUBLE_EQ(view.pitch, 270);
  view_mouse(Button::Left, false, 0, 120, kCtrl);
  EXPECT_FALSE(view_motion(500, 500));  // no motion without a drag
  EXPECT_DOUBLE_EQ(view.pitch, 270);
  // Past the window's edge the angle is brought back into 0..360 at once.
  view_mouse(Button::Left, true, 0, 0, 0);
  view_motion(640 * 3 + 64, 0);
  EXPECT_DOUBLE_EQ(view.yaw, 36);
}

TEST_F(ViewTest, ShiftAloneZoomsByAFactorPerEvent) {
  EXPECT_FALSE(view_mouse(Button::Left, true, 10, 200, kShift));
  view_motion(10, 199);  // up: larger
  EXPECT_NEAR(view.scale, std::exp(0.05), 1e-12);
  view_motion(10, 199);  // not downward counts as up
  for (int k = 0; k < 12; ++k) view_motion(10, 200 + k);
  // Two events up and twelve down (the first of them at y 200, one below 199) leave e^-0.5.
  EXPECT_NEAR(view.scale, std::exp(-0.5), 1e-12);
  EXPECT_DOUBLE_EQ(view.yaw, 0);
}

TEST_F(ViewTest, ZoomStaysFiniteHoweverFarItGoes) {
  view_mouse(Button::Left, true, 0, 0, kShift);
  for (int k = 1; k <= 5000; ++k) view_motion(0, k);
  EXPECT_GT(view.scale, 0.0);
  view_mouse(Button::Left, false, 0, 5000, kShift);
  view_mouse(Button::Left, true, 0, 0, kAlt);
  view_motion(50, 0);
  EXPECT_TRUE(std::isfinite(view.pan_x));
}

TEST_F(ViewTest, AltAlonePansAndCombinationsRotate) {
  EXPECT_FALSE(view_mouse(Button::Left, true, 100, 100, kAlt));
  view_motion(150, 0);
  EXPECT_DOUBLE_EQ(view.pan_x, 1);
  EXPECT_DOUBLE_EQ(view.pan_y, 2);
  view_mouse(Button::Left, false, 150, 0, kAlt);
  EXPECT_FALSE(view_mouse(Button::Left, true, 0, 0, kShift | kAlt));
  view_motion(64, 0);
  EXPECT_DOUBLE_EQ(view.yaw, 36);
  EXPECT_DOUBLE_EQ(view.pan_x, 1);
  EXPECT_DOUBLE_EQ(view.scale, 1);
}

TEST_F(ViewTest, RightClickRestoresTheInitialView) {
  view_mouse(Button::Left, true, 0, 0, kShift);
  view_motion(0, 50);
  view_mouse(Button::Left, false, 0, 50, kShift);
  view_mouse(Button::Left, true, 0, 0, kAlt);
  view_motion(30, 30);
  view_mouse(Button::Left, false, 30, 30, kAlt);
  view_mouse(Button::Left, true, 0, 0, 0);
  view_motion(30, 30);
  view_mouse(Button::Left, false, 30, 30, 0);
  EXPECT_TRUE(view_mouse(Button::Right, true, 30, 30, 0));
  EXPECT_EQ(view.yaw, 0);
  EXPECT_EQ(view.saved_pitch, 0);
  EXPECT_EQ(view.scale, 1.0);
  EXPECT_EQ(view.zoom, 0);
  EXPECT_EQ(view.pan_x, 0);
  EXPECT_EQ(view.saved_pan_y, 0);
  EXPECT_FALSE(view_mouse(Button::Other, true, 30, 30, 0));
}

TEST_F(ViewTest, AnglesComeBackIntoOneTurn) {
  view.yaw = 725;
  view.pitch = -10;
  view_keep_angles();
  EXPECT_DOUBLE_EQ(view.yaw, 5);
  EXPECT_DOUBLE_EQ(view.pitch, 350);
  view.yaw = 360;
  view.pitch = -360;
  view_keep_angles();
  EXPECT_DOUBLE_EQ(view.yaw, 360);
  EXPECT_DOUBLE_EQ(view.pitch, 0);
  view.yaw = 1080;
  view.pitch = -1170;
  view_keep_angles();
  EXPECT_DOUBLE_EQ(view.yaw, 360);
  EXPECT_DOUBLE_EQ(view.pitch, 270);
}

TEST_F(ViewTest, WheelZoomsByOneShiftStep) {
  EXPECT_TRUE(view_wheel(1));
  EXPECT_NEAR(view.scale, std::exp(0.05), 1e-12);
  view_wheel(-1);
  view_wheel(-1);
  EXPECT_NEAR(view.scale, std::exp(-0.05), 1e-12);
  EXPECT_FALSE(view_wheel(0));
}

// Where a point of the scene lands in the 640 x 480 window, as the display's matrices put it:
// scale, pan, yaw about Y, pitch about X; the eye 8 along Z, 45 degrees across the viewport.
void window_point(double x, double y, double z, double& column, double& row) {
  const double pi = 3.14159265358979323846;
  double p = view.pitch * pi / 180, w = view.yaw * pi / 180;
  double y1 = y * std::cos(p) - z * std::sin(p), z1 = y * std::sin(p) + z * std::cos(p);
  double x2 = x * std::cos(w) + z1 * std::sin(w), z2 = -x * std::sin(w) + z1 * std::cos(w);
  double sx = view.scale * (x2 + view.pan_x), sy = view.scale * (y1 + view.pan_y);
  double depth = 8 - view.scale * z2;
  double half = std::tan(22.5 * pi / 180);
  column = (sx / depth / half + 1) * 320;
  row = 240 - (sy / depth / half) * 320;  // the 640-pixel viewport is centred on the window
}

TEST_F(ViewTest, FitCentresThePathAndFillsMostOfTheWindow) {
  struct Case {
    double yaw, pitch;
    double box[6];
  };
  const Case cases[] = {
      {0, 0, {10, 30, 5, 9, -1, 0}},            // far from the origin, wide and flat
      {0, 0, {-0.01, 0.01, 0, 0.002, 0, 0}},    // tiny
      {30, 300, {-2, 6, -1, 1, -3, 0.5}},       // turned
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.box[0]);
    view_reset();
    Viewport v;
    view_reshape(640, 480, v);
    view.yaw = view.saved_yaw = c.yaw;
    view.pitch = view.saved_pitch = c.pitch;
    EXPECT_TRUE(view_fit(c.box[0], c.box[1], c.box[2], c.box[3], c.box[4], c.box[5]));
    double column, row;
    window_point((c.box[0] + c.box[1]) / 2, (c.box[2] + c.box[3]) / 2, (c.box[4] + c.box[5]) / 2,
                 column, row);
    EXPECT_NEAR(column, 320, 20);
    EXPECT_NEAR(row, 240, 20);
    double widest = 0, tallest = 0;
    for (int corner = 0; corner < 8; ++corner) {
      window_point(c.box[corner & 1], c.box[2 + (corner >> 1 & 1)], c.box[4 + (corner >> 2)], column, row);
      EXPECT_GT(column, 0);
      EXPECT_LT(column, 640);
      EXPECT_GT(row, 0);
      EXPECT_LT(row, 480);
      widest = std::fmax(widest, std::fabs(column - 320));
      tallest = std::fmax(tallest, std::fabs(row - 240));
    }
    EXPECT_GT(std::fmax(widest / 320, tallest / 240), 0.55);  // most of the window
    // A following Alt drag shifts from the fitted view, not from the one before it.
    EXPECT_EQ(view.saved_pan_x, view.pan_x);
  }
}

}  // namespace
