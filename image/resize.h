#pragma once
// Resizing an Image: three size modes, filters chosen separately for enlarging and shrinking.
#include "image/image.h"

namespace limg {

enum ResizeMode { kResizePercent = 0, kResizePixels = 1, kResizeFactor = 2 };
enum ResizeFilter { kFilterNearest = 0, kFilterBilinear = 1, kFilterAreaAverage = 2 };

// Makes *target (reused when it already has the computed size) from source. Returns 1, or
// 0 after printing a "-RES: " message.
int ImageResize(Image** target, const Image* source, double a, double b, int mode, int shrinkFilter,
                int enlargeFilter);

// Replaces *image by its resized copy; on failure *image is left untouched.
int ImageResizeInPlace(Image** image, double a, double b, int mode, int shrinkFilter, int enlargeFilter);

}  // namespace limg
