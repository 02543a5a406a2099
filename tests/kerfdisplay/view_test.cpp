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
  EXPECT_EQ(view_mouse(Button::Left, true, 100, 100, 0), Idle::KeepAngles);
  EXPECT_EQ(view_motion(260, 100), Idle::KeepAngles);
  EXPECT_DOUBLE_EQ(view.yaw, 90);
  view_motion(100, 340);  // downward on the screen turns the pitch up
  EXPECT_DOUBLE_EQ(view.yaw, 0);
  EXPECT_DOUBLE_EQ(view.pitch, 180);
  EXPECT_EQ(view_mouse(Button::Left, false, 100, 340, 0), Idle::Redraw);
  view_mouse(Button::Left, true, 0, 0, kCtrl);  // Ctrl rotates too, from the saved angles
  view_motion(0, 120);
  EXPECT_DOUBLE_EQ(view.pitch, 270);
  view_mouse(Button::Left, false, 0, 120, kCtrl);
  view_motion(500, 500);  // no motion without a drag
  EXPECT_DOUBLE_EQ(view.pitch, 270);
}

TEST_F(ViewTest, ShiftAloneZoomsByAFactorPerEvent) {
  EXPECT_EQ(view_mouse(Button::Left, true, 10, 200, kShift), Idle::Redraw);
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
  EXPECT_EQ(view_mouse(Button::Left, true, 100, 100, kAlt), Idle::Redraw);
  view_motion(150, 0);
  EXPECT_DOUBLE_EQ(view.pan_x, 1);
  EXPECT_DOUBLE_EQ(view.pan_y, 2);
  view_mouse(Button::Left, false, 150, 0, kAlt);
  EXPECT_EQ(view_mouse(Button::Left, true, 0, 0, kShift | kAlt), Idle::KeepAngles);
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
  EXPECT_EQ(view_mouse(Button::Right, true, 30, 30, 0), Idle::Unchanged);
  EXPECT_EQ(view.yaw, 0);
  EXPECT_EQ(view.saved_pitch, 0);
  EXPECT_EQ(view.scale, 1.0);
  EXPECT_EQ(view.zoom, 0);
  EXPECT_EQ(view.pan_x, 0);
  EXPECT_EQ(view.saved_pan_y, 0);
  EXPECT_EQ(view_mouse(Button::Other, true, 30, 30, 0), Idle::Unchanged);
}

TEST_F(ViewTest, AnglesComeBackOneTurnAtATime) {
  view.yaw = 725;
  view.pitch = -10;
  view_keep_angles();
  EXPECT_DOUBLE_EQ(view.yaw, 365);
  EXPECT_DOUBLE_EQ(view.pitch, 350);
  view_keep_angles();
  EXPECT_DOUBLE_EQ(view.yaw, 5);
  view.yaw = 360;
  view_keep_angles();
  EXPECT_DOUBLE_EQ(view.yaw, 360);
}

}  // namespace
