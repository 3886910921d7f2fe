// Any bytes through the loader's dispatch and the decoders behind it.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "image/image.h"

using namespace limg;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
  // An exact-size copy, so that any read past the end is caught.
  std::vector<uint8_t> copy(data, data + size);
  Image* image = ImageLoadFromMemory(copy.data(), int32_t(size));
  if (image && image->pixels) {
    // Touch every pixel: the decoder must have written the whole area.
    uint32_t x = 0;
    for (int32_t i = 0; i < image->pixelCount; ++i) x ^= image->pixels[i];
    volatile uint32_t sink = x;
    (void)sink;
  }
  ImageDestroy(&image);
  return 0;
}
