// Scaling, the main window's size and place, and the slot tables.
#include <gtest/gtest.h>

#include <climits>
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

TEST(DpiScale, ResultsBeyondAnIntAreClamped) {
  // Layout numbers can be anything: "80px" reads 8250, a long digit string wraps.
  struct Case {
    int v;
    double scale;
    int expected;
  } cases[] = {
      {8250, 1.25, 10313},
      {INT_MAX, 1.0, INT_MAX},      // INT_MAX + 0.5 still truncates to INT_MAX
      {INT_MIN, 1.0, INT_MIN + 1},  // -2147483647.5 truncates toward zero
      {INT_MAX, 1.25, INT_MAX},
      {INT_MIN, 1.25, INT_MIN},
      {2000000000, 1.5, INT_MAX},
      {-2000000000, 2.0, INT_MIN},
      {1717986918, 1.25, INT_MAX},  // 2147483647.5 + 0.5: just past the top
      {1717986917, 1.25, 2147483646},
  };
  for (const Case& c : cases) EXPECT_EQ(scaleBy(c.v, c.scale), c.expected) << c.v << " x " << c.scale;
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

TEST(DpiScale, AMonitorsDpiReplacesTheScaleWithinTheRange) {
  struct Case {
    int dpiX, dpiY;
    bool taken;
    double scaleX, scaleY;  // afterwards, from 1.0 and 1.0
  };
  const Case cases[] = {
      {144, 144, true, 1.5, 1.5},   {120, 96, true, 1.25, 1.0},  {96, 96, true, 1.0, 1.0},
      {kMinDpi, kMaxDpi, true, 0.25, 10.0}, {0, 0, false, 1.0, 1.0}, {144, 0, false, 1.0, 1.0},
      {kMinDpi - 1, 96, false, 1.0, 1.0},   {96, kMaxDpi + 1, false, 1.0, 1.0}, {-96, 96, false, 1.0, 1.0},
  };
  for (const Case& c : cases) {
    dpiScaleX = dpiScaleY = 1.0;  // set already: unlike setDpiScaleOnce, a change replaces it
    EXPECT_EQ(setDpiScale(c.dpiX, c.dpiY), c.taken) << c.dpiX << "," << c.dpiY;
    EXPECT_DOUBLE_EQ(dpiScaleX, c.scaleX) << c.dpiX;
    EXPECT_DOUBLE_EQ(dpiScaleY, c.scaleY) << c.dpiY;
  }
  dpiScaleX = dpiScaleY = 0.0;
}

TEST(DpiScale, TheMessageWordCarriesXLowAndYHigh) {
  struct Case {
    uint64_t word;
    int x, y;
  };
  const Case cases[] = {
      {0x00900090u, 144, 144},
      {0x00600078u, 120, 96},
      {0xFFFFFFFF00780090ull, 144, 120},  // a 64-bit wParam's upper half is not part of it
      {0, 0, 0},
  };
  for (const Case& c : cases) {
    const DpiPair dpi = dpiFromMessageWord(c.word);
    EXPECT_EQ(dpi.x, c.x) << std::hex << c.word;
    EXPECT_EQ(dpi.y, c.y) << std::hex << c.word;
  }
}

TEST(DpiScale, ChangesScaleFromTheLogicalValuesNotFromThePreviousDevicePixels) {
  // 96 -> 144 -> 120 ends where a fresh start at 120 does. Scaling 144's device pixels by
  // 120 / 144 instead would give x 17 (from 20), not 16, for a logical x of 13.
  ASSERT_TRUE(setDpiScale(144, 144));
  const DeviceRect at144 = scaledRect(13, 7, 155, 21);
  EXPECT_EQ(at144.x, 20);
  EXPECT_EQ(at144.width, 233);
  ASSERT_TRUE(setDpiScale(120, 120));
  const DeviceRect at120 = scaledRect(13, 7, 155, 21);
  EXPECT_EQ(at120.x, 16);
  EXPECT_EQ(at120.y, 9);
  EXPECT_EQ(at120.width, 194);
  EXPECT_EQ(at120.height, 26);
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

TEST(MainWindowGeometry, OuterSizeForAClientKeepsTheWindowsOwnFrame) {
  struct Case {
    WindowSize outer, client, wanted, expected;
  };
  const Case cases[] = {
      {{646, 505}, {640, 480}, {960, 720}, {966, 745}},  // 96 -> 144 with the frame of 96
      {{970, 757}, {960, 720}, {800, 600}, {810, 637}},  // a frame drawn at 144 DPI, to 120
      {{646, 505}, {640, 480}, {640, 480}, {646, 505}},  // already right
      {{200, 100}, {0, 0}, {320, 200}, {520, 300}},      // an empty client area
      {{INT_MAX, 100}, {10, 0}, {INT_MAX, 8250}, {INT_MAX, 8350}},  // clamped, not wrapped
  };
  for (const Case& c : cases) {
    const WindowSize outer = outerForClient(c.outer, c.client, c.wanted);
    EXPECT_EQ(outer.width, c.expected.width) << c.wanted.width;
    EXPECT_EQ(outer.height, c.expected.height) << c.wanted.height;
  }
}

TEST(MainWindowGeometry, SizesAndPlacesBeyondAnIntAreClamped) {
  EXPECT_EQ(outerWindowSize(INT_MAX, INT_MAX - 10, 3, 3, 19).width, INT_MAX);
  EXPECT_EQ(outerWindowSize(INT_MAX, INT_MAX - 10, 3, 3, 19).height, INT_MAX);
  EXPECT_EQ(outerWindowSize(INT_MIN, INT_MIN, 3, 3, 19).width, INT_MIN + 6);
  EXPECT_EQ(outerWindowSize(INT_MIN, INT_MIN, 3, 3, 19).height, INT_MIN + 25);
  struct Case {
    ScreenRect monitor;
    WindowSize outer;
    WindowOrigin expected;
  } cases[] = {
      {{0, 0, 1024, 768}, {INT_MAX, INT_MAX}, {-1073741312, -1073741440}},  // (1024 - INT_MAX) >> 1
      {{0, 0, 1024, 768}, {INT_MIN, INT_MIN}, {1073742336, 1073742208}},
      {{-1280, 0, 0, 1024}, {INT_MIN, INT_MAX}, {1073741184, -1073741312}},
      {{INT_MAX - 600, INT_MIN, INT_MAX, INT_MIN + 400}, {INT_MIN, INT_MAX}, {INT_MAX, INT_MIN}},
  };
  for (const Case& c : cases) {
    const WindowOrigin at = centreOnMonitor(c.monitor, c.outer);
    EXPECT_EQ(at.x, c.expected.x) << c.outer.width;
    EXPECT_EQ(at.y, c.expected.y) << c.outer.height;
  }
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
