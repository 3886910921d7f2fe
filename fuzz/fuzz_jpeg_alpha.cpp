// JpegFindAlphaPlane on arbitrary bytes: the first four bytes give the picture's width
// and height (1-256 each), the rest is the file.
#include <cstdint>

#include "image/aligned_alloc.h"
#include "image/codecs/jpeg.h"

using namespace limg;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4 || size > (1u << 24)) return 0;
  const int32_t width = 1 + ((data[0] << 8 | data[1]) & 0xFF);
  const int32_t height = 1 + ((data[2] << 8 | data[3]) & 0xFF);
  uint8_t* plane = JpegFindAlphaPlane(data + 4, int32_t(size - 4), width, height);
  if (plane) {
    // The whole plane is there to be read.
    volatile uint32_t sum = 0;
    for (int32_t i = 0; i < width * height; ++i) sum = sum + plane[i];
    alignedFree(plane);
  }
  return 0;
}
