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
