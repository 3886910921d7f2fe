#pragma once
// The DPI scale and the conversion of layout values (96 pixels per inch) into device
// pixels. The scale is the one of the monitor the window is on: taken at start-up and
// taken again whenever the window's DPI changes.
#include <cstdint>

// Logical pixels per inch / 96.0, horizontally and vertically; 0.0 until computed.
extern double dpiScaleX;
extern double dpiScaleY;

// v * scale + 0.5 truncated toward zero (so -3 at 1.0 gives -2: it is not rounding); a
// result beyond an int is clamped to INT_MIN or INT_MAX.
int scaleBy(int v, double scale);
inline int scaleX(int v) { return scaleBy(v, dpiScaleX); }
inline int scaleY(int v) { return scaleBy(v, dpiScaleY); }

// Sets both scales from the screen's logical pixels per inch, unless both are already set.
void setDpiScaleOnce(int logPixelsX, int logPixelsY);

// Sets both scales from a monitor's pixels per inch, whatever they were. A DPI outside
// kMinDpi..kMaxDpi is no monitor's: the scales are kept and the result is false.
constexpr int kMinDpi = 24, kMaxDpi = 960;  // 25 % to 1000 %
bool setDpiScale(int dpiX, int dpiY);

// The horizontal and vertical DPI that a DPI-change message carries in one word:
// x in the low 16 bits, y in the next 16.
struct DpiPair {
  int x, y;
};
DpiPair dpiFromMessageWord(uint64_t word);

// A control's rectangle in device pixels from its logical one at the current scale.
struct DeviceRect {
  int x, y, width, height;
};
DeviceRect scaledRect(int x, int y, int width, int height);
