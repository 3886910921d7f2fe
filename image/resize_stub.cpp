// Placeholder until the resize operation lands.
#include "image/resize.h"
int ImageResize(Image**, const Image*, double, double, int, int, int) { return 0; }
int ImageResizeInPlace(Image**, double, double, int, int, int) { return 0; }
