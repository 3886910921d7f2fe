#include "launcher/picture.h"

#include <algorithm>
#include <cstring>
#include <string>

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
