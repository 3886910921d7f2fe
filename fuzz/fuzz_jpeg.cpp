// The JPEG reader on arbitrary bytes: the probe, libjpeg behind its recovery point, the
// "pos" segment and the alpha plane.
#include <cstdint>

#include "image/codecs/jpeg.h"

using namespace limg;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24)) return 0;
  int32_t width = 0, height = 0;
  JpegProbe(data, int32_t(size), &width, &height);
  // Frame sizes beyond a megapixel only measure the decoder's speed on padding.
  if (int64_t(width) * height > (1 << 20)) return 0;
  Image* image = JpegLoadFromMemory(data, int32_t(size));
  ImageDestroy(&image);
  return 0;
}
