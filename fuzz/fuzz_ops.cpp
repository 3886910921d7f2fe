// Image operations with sizes, positions, modes, angles and scales taken from the input.
// ASan catches any access outside the two images; the checks below catch changes outside
// the overlap and results of the wrong shape.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/image.h"
#include "image/ops/ops.h"
#include "image/ops/ops_internal.h"

using namespace limg;

namespace {

struct Reader {
  const uint8_t* data;
  size_t size;
  uint8_t byte() {
    if (!size) return 0;
    --size;
    return *data++;
  }
  int32_t int32() {
    uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v = v << 8 | byte();
    return int32_t(v);
  }
  // Mostly small positions, sometimes any int32.
  int32_t position() { return (byte() & 7) == 0 ? int32() : int32_t(byte() % 48) - 24; }
};

Image* imageFrom(Reader& in) {
  const int32_t w = 1 + in.byte() % 24, h = 1 + in.byte() % 24;
  Image* image = ImageCreate(w, h, 32);
  if (!image) abort();
  for (int32_t i = 0; i < image->pixelCount; ++i) {
    uint32_t v = 0;
    for (int k = 0; k < 4; ++k) v = v << 8 | in.byte();
    image->pixels[i] = v;
  }
  return image;
}

void checkOutsideUnchanged(const Image* dst, const std::vector<uint32_t>& before, const Image* placed,
                           int32_t x, int32_t y) {
  for (int64_t py = 0; py < dst->height; ++py)
    for (int64_t px = 0; px < dst->width; ++px) {
      const bool covered = px - x >= 0 && px - x < placed->width && py - y >= 0 && py - y < placed->height;
      if (!covered && dst->pixels[py * dst->width + px] != before[py * dst->width + px]) abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Reader in{data, size};
  const uint8_t op = in.byte();
  const int32_t x = in.position(), y = in.position();
  const uint8_t mode = in.byte(), extra = in.byte();
  Image* dst = imageFrom(in);
  Image* src = imageFrom(in);
  std::vector<uint32_t> before(dst->pixels, dst->pixels + dst->pixelCount);
  switch (op % 6) {
    case 0:
      ImageComposeFunctions[mode % 3](dst, src, x, y);
      checkOutsideUnchanged(dst, before, src, x, y);
      break;
    case 1: {
      const uint32_t opacity = extra < 200 ? extra : 256 + extra;
      // Every row form the processor has against the one-pixel form, each on a copy of the
      // destination: same bytes, same result.
      ops::blendLimitForms(ops::BlendForm::kOnePixel);
      Image* plain = nullptr;
      if (ImageCut(&plain, dst, 0, 0, 0, 0) != 1) abort();
      const int plainResult = ImageBlendFunctions[mode % kBlendModeCount](plain, src, x, y, opacity);
      checkOutsideUnchanged(plain, before, src, x, y);
      for (ops::BlendForm form : ops::kBlendForms) {
        if (form == ops::BlendForm::kOnePixel || !ops::blendHasForm(form)) continue;
        Image* wide = nullptr;
        if (ImageCut(&wide, dst, 0, 0, 0, 0) != 1) abort();
        ops::blendLimitForms(form);
        const int result = ImageBlendFunctions[mode % kBlendModeCount](wide, src, x, y, opacity);
        if (result != plainResult ||
            std::memcmp(wide->pixels, plain->pixels, std::size_t(plain->pixelCount) * 4) != 0)
          abort();
        ImageDestroy(&wide);
      }
      ops::blendLimitForms(ops::BlendForm::kAvx512);
      ImageDestroy(&plain);
      break;
    }
    case 2:
      ImageMaskToAlpha(&dst, src, mode % 10, x, y);
      checkOutsideUnchanged(dst, before, src, x, y);
      break;
    case 3:
      ImageSplitMaskToAlpha(&dst, nullptr, mode % 10, x, y);
      break;
    case 4: {
      const int32_t w = int32_t(extra % 40) - 4, h = int32_t(mode % 40) - 4;
      if (ImageCut(&dst, src, x, y, w, h) != 1) abort();
      if (dst->width != (w > 0 ? w : src->width) || dst->height != (h > 0 ? h : src->height)) abort();
      break;
    }
    default: {
      const double angle = double(int16_t(x)) + double(extra) / 256;
      const double scale = double(int32_t(mode) - 32) / 16;  // -2 to 14, 0 meaning 1
      ImageRotateFunctions[op / 6 % 2](&dst, src, angle, scale);
      break;
    }
  }
  ImageDestroy(&dst);
  ImageDestroy(&src);
  return 0;
}
