#include "launcher/dpi_scale.h"

double dpiScaleX = 0.0;
double dpiScaleY = 0.0;

int scaleBy(int v, double scale) { return int(double(v) * scale + 0.5); }

void setDpiScaleOnce(int logPixelsX, int logPixelsY) {
  if (dpiScaleX != 0.0 && dpiScaleY != 0.0) return;
  dpiScaleX = logPixelsX / 96.0;
  dpiScaleY = logPixelsY / 96.0;
}
