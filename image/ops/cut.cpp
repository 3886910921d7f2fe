// CUT: a window of an image into a new (or reused) image.
#include <cstdio>
#include <cstring>

#include "image/message.h"
#include "image/ops/ops.h"
#include "image/ops/ops_internal.h"

namespace limg {

namespace ops {

ResultImage::ResultImage(Image** dst, const Image* src, int64_t w, int64_t h) : dst_(dst) {
  const bool fits = w > 0 && h > 0 && w <= INT32_MAX && h <= INT32_MAX;
  Image* old = *dst;
  if (old && old != src && fits && old->width == w && old->height == h && old->pixels) {
    image_ = old;
    return;
  }
  Image* fresh = fits ? ImageCreate(int32_t(w), int32_t(h), src->bitDepth) : nullptr;
  if (old == src) {
    // Built apart. When that fails the source stays where it is: a failed operation must not
    // destroy the caller's only copy.
    if (!fresh) return;
    // A same-sized source keeps its header as a reused result would.
    if (old->width == w && old->height == h) {
      std::memcpy(fresh->name, old->name, sizeof fresh->name);
      fresh->left = old->left;
      fresh->top = old->top;
      fresh->mode = old->mode;
      fresh->bitDepth = old->bitDepth;
    }
    apart_ = true;
    image_ = fresh;
    return;
  }
  ImageDestroy(dst);
  *dst = fresh;
  image_ = fresh;
}

ResultImage::~ResultImage() {
  if (apart_) ImageDestroy(&image_);
}

void ResultImage::finish() {
  if (!apart_) return;
  ImageDestroy(dst_);
  *dst_ = image_;
  image_ = nullptr;
  apart_ = false;
}

}  // namespace ops

int ImageCut(Image** dst, const Image* src, int32_t x, int32_t y, int32_t w, int32_t h) {
  if (!dst || !ops::hasPixels(src)) {
    ImageMessage(kImageMessageOut, "-CUT: 画像データを読み込めませんでした\n");
    return 0;
  }
  if (w <= 0) w = src->width;
  if (h <= 0) h = src->height;
  ops::ResultImage result(dst, src, w, h);
  Image* out = result.image();
  if (!out) {
    ImageMessage(kImageMessageOut, "-CUT: メモリを確保出来ませんでした\n");
    return 0;
  }
  out->left = x;
  out->top = y;

  // The window in 64 bits: x + w may pass the int32 range.
  const int64_t X = x, Y = y;
  if (X < 0 || Y < 0 || X + w > src->width || Y + h > src->height)
    std::memset(out->pixels, 0, std::size_t(out->pixelCount) * 4);
  const int64_t x0 = X > 0 ? X : 0, y0 = Y > 0 ? Y : 0;
  const int64_t x1 = X + w < src->width ? X + w : src->width;
  const int64_t y1 = Y + h < src->height ? Y + h : src->height;
  if (x0 < x1 && y0 < y1) {
    const std::size_t rowBytes = std::size_t(x1 - x0) * 4;
    for (int64_t row = y0; row < y1; ++row) {
      const uint32_t* from = src->pixels + row * src->width + x0;
      uint32_t* to = out->pixels + (row - Y) * out->width + (x0 - X);
      std::memcpy(to, from, rowBytes);
    }
  }
  result.finish();
  return 1;
}

}  // namespace limg
