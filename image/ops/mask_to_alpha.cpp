// M2A: an image's alpha channel from a mask, a second image or the right half of the same one.
#include <cstdio>

#include "image/message.h"
#include "image/ops/blend_tables.h"
#include "image/ops/ops.h"
#include "image/ops/ops_internal.h"

namespace limg {

namespace {

// Sets the alpha of n pixels of `to` from the mask pixels `from` by the mask type; any
// other type changes nothing.
void maskRow(uint32_t* to, const uint32_t* from, int32_t n, int type, const uint8_t* coverage) {
  if (type < 0 || type > 7) return;
  const bool fromAlpha = (type & 2) != 0, inverse = (type & 1) != 0, combine = type >= 4;
  for (int32_t i = 0; i < n; ++i) {
    uint32_t m = fromAlpha ? from[i] >> 24 : from[i] & 255;
    if (inverse) m = 255 - m;
    if (combine) m = coverage[m * 256 + (to[i] >> 24)];
    to[i] = (to[i] & 0xFFFFFFu) | m << 24;
  }
}

}  // namespace

int ImageMaskToAlpha(Image** dst, const Image* mask, int type, int32_t x, int32_t y) {
  Image* image = dst ? *dst : nullptr;
  const uint8_t* coverage = ops::blendTables().coverage;
  if (!ops::forEachOverlapRow("-M2A: ", image, mask, x, y, [&](uint32_t* to, const uint32_t* from, int32_t n) {
        maskRow(to, from, n, type, coverage);
      }))
    return 0;
  image->bitDepth = 32;
  return 1;
}

int ImageSplitMaskToAlpha(Image** image, const Image* /*unused*/, int type, int32_t x, int32_t y) {
  Image* source = image ? *image : nullptr;
  if (!ops::hasPixels(source)) {
    ImageMessage(kImageMessageOut, "-M2A: 画像データを読み込めませんでした\n");
    return 0;
  }
  const int32_t half = source->width / 2, height = source->height;
  ops::Overlap o;
  if (!ops::placeOnto(half, height, half, height, x, y, &o)) {
    ImageMessage(kImageMessageOut, "-M2A: 座標の指定が不正です\n");
    return 0;
  }
  Image* picture = nullptr;
  if (!ImageCut(&picture, source, 0, 0, half, height)) {
    ImageMessage(kImageMessageOut, "-M2A: メモリを確保出来ませんでした\n");
    return 0;
  }
  const uint8_t* coverage = ops::blendTables().coverage;
  uint32_t* to = picture->pixels + std::size_t(o.y0) * half + o.x0;
  const uint32_t* from = source->pixels + std::size_t(o.py0) * source->width + half + o.px0;
  for (int32_t row = 0; row < o.height; ++row, to += half, from += source->width)
    maskRow(to, from, o.width, type, coverage);
  ImageDestroy(image);
  *image = picture;
  picture->bitDepth = 32;
  return 1;
}

const ImageMaskToAlphaFunction ImageMaskToAlphaFunctions[2] = {ImageMaskToAlpha,
                                                               ImageSplitMaskToAlpha};

}  // namespace limg
