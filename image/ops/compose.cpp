// CMP: one image onto another at a position, by copy, masked copy or XOR.
#include <cstdio>
#include <cstring>

#include "image/ops/ops.h"
#include "image/ops/ops_internal.h"

namespace {

// Checks and places src on dst, then hands each overlap row (dst row, src row, width) to op.
template <class RowOp>
int compose(Image* dst, const Image* src, int32_t x, int32_t y, RowOp op) {
  if (!ops::hasPixels(dst) || !ops::hasPixels(src)) {
    std::printf("-CMP: 画像データが読み込まれてません\n");
    return 0;
  }
  ops::Overlap o;
  if (!ops::placeOnto(dst->width, dst->height, src->width, src->height, x, y, &o)) {
    std::printf("-CMP: 座標の指定が不正です\n");
    return 0;
  }
  uint32_t* to = dst->pixels + std::size_t(o.y0) * dst->width + o.x0;
  const uint32_t* from = src->pixels + std::size_t(o.py0) * src->width + o.px0;
  for (int32_t row = 0; row < o.height; ++row, to += dst->width, from += src->width)
    op(to, from, o.width);
  return 1;
}

}  // namespace

int ImageComposeCopy(Image* dst, const Image* src, int32_t x, int32_t y) {
  // memmove: dst and src may be the same image.
  return compose(dst, src, x, y, [](uint32_t* to, const uint32_t* from, int32_t n) {
    std::memmove(to, from, std::size_t(n) * 4);
  });
}

int ImageComposeMasked(Image* dst, const Image* src, int32_t x, int32_t y) {
  return compose(dst, src, x, y, [](uint32_t* to, const uint32_t* from, int32_t n) {
    for (int32_t i = 0; i < n; ++i)
      if (from[i] >> 24) to[i] = from[i];
  });
}

int ImageComposeXor(Image* dst, const Image* src, int32_t x, int32_t y) {
  return compose(dst, src, x, y, [](uint32_t* to, const uint32_t* from, int32_t n) {
    for (int32_t i = 0; i < n; ++i) to[i] ^= from[i];
  });
}

const ImageComposeFunction ImageComposeFunctions[3] = {ImageComposeCopy, ImageComposeMasked,
                                                       ImageComposeXor};
