// Resize with sizes, mode and filters taken from the input; the rest of the input fills the
// source pixels. The target size is kept small enough for quick runs.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "image/image.h"
#include "image/resize.h"
#include "image/resize_filters.h"

using namespace limg;

namespace {

struct Reader {
  const uint8_t* p;
  size_t n;
  uint32_t byte() {
    if (n == 0) return 0;
    --n;
    return *p++;
  }
  uint32_t u16() { return byte() | byte() << 8; }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size};
  const int32_t w = int32_t(in.u16() % 200) + 1, h = int32_t(in.u16() % 200) + 1;
  const int mode = int(in.byte() % 4);
  const int shrink = int(in.byte() % 3), enlarge = int(in.byte() % 3);
  // a and b as 1/16 steps from -2 to about 14, or as pixels up to 600.
  const double a = mode == 1 ? double(in.u16() % 601) : (double(in.byte()) - 32) / 16;
  const double b = mode == 1 ? double(in.u16() % 601) : (double(in.byte()) - 32) / 16;
  const double scale = mode == 0 ? 100.0 : 1.0;
  int32_t W = 0, H = 0;
  ResizeTargetSize(w, h, a * scale, b * scale, mode, &W, &H);
  if (int64_t(W) * H > (1 << 18)) return 0;
  ResizeTargetSize(w, h, b * scale, a * scale, mode, &W, &H);
  if (int64_t(W) * H > (1 << 18)) return 0;
  Image* source = ImageCreate(w, h, 32);
  if (!source) return 0;
  for (int32_t i = 0; i < source->pixelCount; ++i)
    source->pixels[i] = in.n ? (in.u16() | in.u16() << 16) : uint32_t(i * 2654435761u);
  Image* target = nullptr;
  if (ImageResize(&target, source, a * scale, b * scale, mode, shrink, enlarge)) {
    if (!target || target->width <= 0 || target->height <= 0) abort();
    // The portable code must give the vector code's pixels.
    const int level = ResizeVectorSupported();
    if (level > 0) {
      Image* portable = nullptr;
      ResizeSetVector(kVectorPortable);
      ImageResize(&portable, source, a * scale, b * scale, mode, shrink, enlarge);
      ResizeSetVector(level);
      if (!portable || portable->pixelCount != target->pixelCount ||
          std::memcmp(portable->pixels, target->pixels, std::size_t(target->pixelCount) * 4) != 0)
        abort();
      ImageDestroy(&portable);
    }
  }
  ImageDestroy(&target);
  ImageResizeInPlace(&source, b * scale, a * scale, mode, enlarge, shrink);
  ImageDestroy(&source);
  return 0;
}
