#include "image/image.h"

#include <cstring>
#include <limits>
#include <new>

#include "image/aligned_alloc.h"

namespace limg {

std::size_t ImagePixelBlockBytes(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0) return 0;
  const uint64_t count = uint64_t(width) * uint64_t(height);
  if (count > uint64_t(std::numeric_limits<int32_t>::max())) return 0;
  const uint64_t bytes = (count + uint64_t(width)) * 4 + uint64_t(height);
  if (bytes > uint64_t(std::numeric_limits<std::size_t>::max() / 2)) return 0;
  return std::size_t(bytes);
}

Image* ImageNewRecord() {
  Image* image = new (std::nothrow) Image;
  if (image) std::memset(image, 0, sizeof(Image));
  return image;
}

Image* ImageCreate(int32_t width, int32_t height, int32_t bitDepth) {
  const std::size_t bytes = ImagePixelBlockBytes(width, height);
  if (bytes == 0) return nullptr;
  Image* image = ImageNewRecord();
  if (!image) return nullptr;
  image->pixels = static_cast<uint32_t*>(alignedAlloc(bytes));
  if (!image->pixels) {
    delete image;
    return nullptr;
  }
  image->width = width;
  image->height = height;
  image->bitDepth = bitDepth;
  image->pixelCount = width * height;
  std::memset(image->pixels + image->pixelCount, 0, std::size_t(width) * 4);
  return image;
}

void ImageDestroy(Image** image) {
  if (!image || !*image) return;
  alignedFree((*image)->pixels);
  delete *image;
  *image = nullptr;
}

void ImageBytesFree(ImageBytes* bytes) {
  if (!bytes) return;
  alignedFree(bytes->data);
  bytes->data = nullptr;
  bytes->size = 0;
}

}  // namespace limg
