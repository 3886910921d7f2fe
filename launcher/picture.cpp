#include "launcher/picture.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "image/resize.h"
#include "image/resize_filters.h"
#include "launcher/error_box.h"
#include "pack/packed_data_file.h"

using namespace limg;

Image* loadPicture(const char* name) {
  uint32_t size = 0;
  if (!loadFileToScratch(name, &size)) return nullptr;
  Image* picture = ImageLoadFromMemory(packedData.scratch.data, int32_t(size));
  if (!picture) ShowErrorBox(std::string(name) + " を読み込めませんでした");
  return picture;
}

void copyPictureToBitmap(const Image* picture, uint8_t* bits, int bitmapWidth, int bitmapHeight) {
  if (!picture || !picture->pixels || !bits || bitmapWidth <= 0 || bitmapHeight <= 0) return;
  if (picture->width == bitmapWidth && picture->height == bitmapHeight) {
    std::memcpy(bits, picture->pixels, std::size_t(picture->pixelCount) * 4);
    return;
  }
  const int width = std::min(picture->width, bitmapWidth);
  const int height = std::min(picture->height, bitmapHeight);
  for (int y = 0; y < height; ++y)
    std::memcpy(bits + std::size_t(y) * bitmapWidth * 4, picture->pixels + std::size_t(y) * picture->width,
                std::size_t(width) * 4);
}

bool drawPictureAtScale(const Image* original, double sx, double sy, uint8_t* bits, int bitmapWidth,
                        int bitmapHeight) {
  if (!original || !original->pixels || !bits || bitmapWidth <= 0 || bitmapHeight <= 0) return false;
  const bool fits = original->width == bitmapWidth && original->height == bitmapHeight;
  int32_t width = 0, height = 0;
  ResizeTargetSize(original->width, original->height, sx, sy, kResizeFactor, &width, &height);
  if (width == original->width && height == original->height) {
    copyPictureToBitmap(original, bits, bitmapWidth, bitmapHeight);
    return fits;
  }
  if (width == bitmapWidth && height == bitmapHeight) {
    // The bitmap has an Image's pixel layout: the resize fills it in place as a target of
    // the right size, which it reuses (and writes no further than its rows), saving a
    // picture-sized allocation and copy. On failure (both scales below 1) it is untouched.
    Image view;
    std::memset(&view, 0, sizeof view);
    view.width = width, view.height = height, view.bitDepth = original->bitDepth;
    view.pixelCount = width * height;
    view.pixels = reinterpret_cast<uint32_t*>(bits);
    Image* target = &view;
    if (ImageResize(&target, original, sx, sy, kResizeFactor, kFilterBilinear, kFilterBilinear) == 1) return true;
    copyPictureToBitmap(original, bits, bitmapWidth, bitmapHeight);
    return fits;
  }
  Image* scaled = nullptr;
  const bool resized = ImageResize(&scaled, original, sx, sy, kResizeFactor, kFilterBilinear, kFilterBilinear) == 1;
  const Image* shown = resized ? scaled : original;
  copyPictureToBitmap(shown, bits, bitmapWidth, bitmapHeight);
  const bool covered = shown->width == bitmapWidth && shown->height == bitmapHeight;
  ImageDestroy(&scaled);
  return covered;
}
