// Scaling, the main window's size and place, and the slot tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "launcher/dpi_scale.h"
#include "launcher/error_box.h"
#include "launcher/slot_counter.h"
#include "launcher/window_geometry.h"

namespace {

struct BoxCapture {
  std::vector<std::string> boxes;
  BoxCapture() {
    setErrorBoxSink([this](const std::string& text) { boxes.push_back(text); });
  }
  ~BoxCapture() { setErrorBoxSink(nullptr); }
};

}  // namespace

TEST(DpiScale, AddsAHalfAndTruncatesTowardZero) {
  EXPECT_EQ(scaleBy(640, 1.25), 800);
  EXPECT_EQ(scaleBy(480, 1.25), 600);
  EXPECT_EQ(scaleBy(12, 1.25), 15);  // the font height at 120 DPI
  EXPECT_EQ(scaleBy(12, 1.0), 12);
  EXPECT_EQ(scaleBy(100, 1.5), 150);
  EXPECT_EQ(scaleBy(1, 1.5), 2);    // 2.0
  EXPECT_EQ(scaleBy(3, 1.5), 5);    // 4.5 + 0.5
  EXPECT_EQ(scaleBy(-3, 1.0), -2);  // not rounding: -2.5 truncates to -2
  EXPECT_EQ(scaleBy(-1, 1.5), -1);  // -1.0
  EXPECT_EQ(scaleBy(0, 2.0), 0);
}

TEST(DpiScale, IsTakenOnceFromTheLogicalPixels) {
  dpiScaleX = dpiScaleY = 0.0;
  setDpiScaleOnce(120, 144);
  EXPECT_DOUBLE_EQ(dpiScaleX, 1.25);
  EXPECT_DOUBLE_EQ(dpiScaleY, 1.5);
  EXPECT_EQ(scaleX(80), 100);
  EXPECT_EQ(scaleY(20), 30);
  setDpiScaleOnce(96, 96);  // already set: kept
  EXPECT_DOUBLE_EQ(dpiScaleX, 1.25);
  dpiScaleY = 0.0;  // one scale missing: both are taken again
  setDpiScaleOnce(96, 96);
  EXPECT_DOUBLE_EQ(dpiScaleX, 1.0);
  EXPECT_DOUBLE_EQ(dpiScaleY, 1.0);
  dpiScaleX = dpiScaleY = 0.0;
}

TEST(MainWindowGeometry, OuterSizeAddsFramesAndCaption) {
  const WindowSize outer = outerWindowSize(800, 600, 3, 3, 19);
  EXPECT_EQ(outer.width, 806);
  EXPECT_EQ(outer.height, 625);
}

TEST(MainWindowGeometry, CentresOnTheMonitorRectangle) {
  const WindowOrigin at = centreOnMonitor({0, 0, 1024, 768}, {646, 505});
  EXPECT_EQ(at.x, 189);  // 378 / 2
  EXPECT_EQ(at.y, 131);  // 263 >> 1
  // A second monitor to the left of the first, at negative coordinates.
  const WindowOrigin left = centreOnMonitor({-1280, 0, 0, 1024}, {646, 505});
  EXPECT_EQ(left.x, -1280 + 317);
  EXPECT_EQ(left.y, 259);
}

TEST(MainWindowGeometry, LargerThanTheMonitorRoundsTowardMinusInfinity) {
  // (1024 - 1281) >> 1 is -129, not -128 as a division would give.
  const WindowOrigin at = centreOnMonitor({0, 0, 1024, 768}, {1281, 771});
  EXPECT_EQ(at.x, -129);
  EXPECT_EQ(at.y, -2);  // -3 >> 1
  const WindowOrigin even = centreOnMonitor({100, 50, 1124, 818}, {1280, 768});
  EXPECT_EQ(even.x, 100 - 128);
  EXPECT_EQ(even.y, 50);
}

TEST(SlotCounter, HandsOutSlotsInOrderThenRefusesAndReportsOnce) {
  BoxCapture capture;
  SlotCounter slots(kButtonSlots, kTooManyButtonsMessage);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(slots.take(), i);
  EXPECT_TRUE(capture.boxes.empty());
  EXPECT_EQ(slots.take(), -1);
  EXPECT_EQ(slots.take(), -1);
  EXPECT_EQ(slots.take(), -1);
  ASSERT_EQ(capture.boxes.size(), 1u);
  EXPECT_EQ(capture.boxes[0], kTooManyButtonsMessage);
  EXPECT_EQ(slots.used(), 16);
}

TEST(SlotCounter, PanelTableHasEightSlots) {
  BoxCapture capture;
  SlotCounter slots(kPanelSlots, kTooManyPanelsMessage);
  int last = -1;
  for (int i = 0; i < 8; ++i) last = slots.take();
  EXPECT_EQ(last, 7);
  EXPECT_EQ(slots.take(), -1);
  ASSERT_EQ(capture.boxes.size(), 1u);
  EXPECT_EQ(capture.boxes[0], kTooManyPanelsMessage);
  EXPECT_NE(std::string(kTooManyPanelsMessage), std::string(kTooManyButtonsMessage));
}
