// Round trips through the codec's own reader, TlgLoadFromMemory.
#include "image/tlg/tlg.h"
#include "tests/image/tlg_write/tlg_roundtrip_cases.h"

using namespace limg;

namespace tlgtest {

Decoded decodeForRoundTrip(const std::vector<uint8_t>& file) {
  Decoded d;
  Image* image = TlgLoadFromMemory(file.data(), int32_t(file.size()));
  if (!image) return d;
  d.ok = image->pixels != nullptr;
  d.width = image->width;
  d.height = image->height;
  if (d.ok) d.pixels.assign(image->pixels, image->pixels + image->pixelCount);
  d.name = image->name;
  d.left = image->left;
  d.top = image->top;
  d.mode = image->mode;
  ImageDestroy(&image);
  return d;
}

}  // namespace tlgtest
