// The PNG reader on arbitrary bytes; what decodes is written again and read back.
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "image/aligned_alloc.h"
#include "image/codecs/png.h"

using namespace limg;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
  int32_t width = 0, height = 0, depth = 0;
  PngProbe(data, int32_t(size), &width, &height, &depth);
  // Header sizes beyond a few megapixels only measure the allocator.
  if (int64_t(width) * height > (1 << 22)) return 0;
  Image* image = PngLoadFromMemory(data, int32_t(size));
  if (!image) return 0;
  if (image->pixelCount <= (1 << 16)) {
    uint8_t* buffer = nullptr;
    int32_t encoded = 0;
    if (!PngEncode(image, 32, 1, image->width & 1, &buffer, &encoded)) std::abort();
    Image* back = PngLoadFromMemory(buffer, encoded);
    if (!back || std::memcmp(back->pixels, image->pixels, size_t(image->pixelCount) * 4) != 0) std::abort();
    ImageDestroy(&back);
    alignedFree(buffer);
  }
  ImageDestroy(&image);
  return 0;
}
