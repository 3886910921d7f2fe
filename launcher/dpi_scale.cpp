#include "launcher/dpi_scale.h"

#include <climits>

double dpiScaleX = 0.0;
double dpiScaleY = 0.0;

int scaleBy(int v, double scale) {
  const double scaled = double(v) * scale + 0.5;
  // Truncation is defined only for results that fit an int: the rest is clamped.
  if (scaled != scaled) return 0;
  if (scaled <= double(INT_MIN) - 1.0) return INT_MIN;
  if (scaled >= double(INT_MAX) + 1.0) return INT_MAX;
  return int(scaled);
}

void setDpiScaleOnce(int logPixelsX, int logPixelsY) {
  if (dpiScaleX != 0.0 && dpiScaleY != 0.0) return;
  dpiScaleX = logPixelsX / 96.0;
  dpiScaleY = logPixelsY / 96.0;
}

bool setDpiScale(int dpiX, int dpiY) {
  if (dpiX < kMinDpi || dpiX > kMaxDpi || dpiY < kMinDpi || dpiY > kMaxDpi) return false;
  dpiScaleX = dpiX / 96.0;
  dpiScaleY = dpiY / 96.0;
  return true;
}

DpiPair dpiFromMessageWord(uint64_t word) { return {int(word & 0xFFFF), int((word >> 16) & 0xFFFF)}; }

DeviceRect scaledRect(int x, int y, int width, int height) {
  return {scaleX(x), scaleY(y), scaleX(width), scaleY(height)};
}
