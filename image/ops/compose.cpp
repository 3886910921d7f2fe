// CMP: one image onto another at a position, by copy, masked copy or XOR.
#include <cstdio>
#include <cstring>

#include "image/ops/ops.h"
#include "image/ops/ops_internal.h"

namespace limg {

namespace {

template <class RowOp>
int compose(Image* dst, const Image* src, int32_t x, int32_t y, RowOp op) {
  return ops::forEachOverlapRow("-CMP: ", dst, src, x, y, op);
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

}  // namespace limg
