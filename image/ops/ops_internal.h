#pragma once
// Pieces shared by the image operations: the overlap of a placed image with a target, and
// the result image of CUT and ROT.
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "image/image.h"
#include "image/message.h"

namespace limg {

namespace ops {

// The row forms of blending, narrowest first: one pixel at a time, four (mode 1 on SSE2),
// eight (AVX2), sixteen (mode 1 on AVX-512). A form not available for a mode or processor
// leaves its pixels to the next narrower one.
enum class BlendForm { kOnePixel, kSse2, kAvx2, kAvx512 };
constexpr BlendForm kBlendForms[] = {BlendForm::kOnePixel, BlendForm::kSse2, BlendForm::kAvx2, BlendForm::kAvx512};
// Limits blending to the forms up to `widest` (by default every form), for comparing them.
void blendLimitForms(BlendForm widest);
// Whether this build and processor have the form.
bool blendHasForm(BlendForm form);

// A usable image: a record with a positive size and pixels.
inline bool hasPixels(const Image* image) {
  return image && image->pixels && image->width > 0 && image->height > 0;
}

// The part of a target (tw x th) covered by a placed image (pw x ph) whose top-left pixel
// lands at (x, y): target columns [x0, x0 + width), rows [y0, y0 + height); the placed
// pixel of target pixel (X, Y) is (X - x, Y - y), so the first one is (px0, py0).
struct Overlap {
  int32_t x0, y0;    // first target pixel
  int32_t px0, py0;  // first placed pixel
  int32_t width, height;
};

// False when the placed image doesn't overlap the target (-x < pw, x < tw, -y < ph and
// y < th must all hold). Computed in 64 bits so no position or size can overflow.
inline bool placeOnto(int32_t tw, int32_t th, int32_t pw, int32_t ph, int32_t x, int32_t y,
                      Overlap* o) {
  const int64_t X = x, Y = y;
  if (!(-X < pw && X < tw && -Y < ph && Y < th)) return false;
  const int64_t x0 = X > 0 ? X : 0, y0 = Y > 0 ? Y : 0;
  const int64_t x1 = X + pw < tw ? X + pw : tw, y1 = Y + ph < th ? Y + ph : th;
  o->x0 = int32_t(x0);
  o->y0 = int32_t(y0);
  o->px0 = int32_t(x0 - X);
  o->py0 = int32_t(y0 - Y);
  o->width = int32_t(x1 - x0);
  o->height = int32_t(y1 - y0);
  return true;
}

// The common walk of CMP, BLD and M2A: checks both images and the placement (printing the
// operation's "not loaded" or "bad position" message after `prefix`), then calls
// op(targetRow, placedRow, width) for each overlap row, top-down. Returns 1, or 0.
template <class RowOp>
int forEachOverlapRow(const char* prefix, Image* target, const Image* placed, int32_t x, int32_t y, RowOp op) {
  if (!hasPixels(target) || !hasPixels(placed)) {
    ImageMessage(kImageMessageOut, "%s画像データが読み込まれてません\n", prefix);
    return 0;
  }
  Overlap o;
  if (!placeOnto(target->width, target->height, placed->width, placed->height, x, y, &o)) {
    ImageMessage(kImageMessageOut, "%s座標の指定が不正です\n", prefix);
    return 0;
  }
  uint32_t* to = target->pixels + std::size_t(o.y0) * target->width + o.x0;
  const uint32_t* from = placed->pixels + std::size_t(o.py0) * placed->width + o.px0;
  for (int32_t row = 0; row < o.height; ++row, to += target->width, from += placed->width)
    op(to, from, o.width);
  return 1;
}

// The result image of CUT and ROT. *dst is reused when it has exactly w x h pixels;
// otherwise it is destroyed and a new image with src's bitDepth and a zeroed header takes
// its place. When *dst is src itself the result is built apart (src stays readable) and
// swapped in by finish(). On failure image() is null and so is *dst, except when *dst is
// src: then it is left as it was.
class ResultImage {
 public:
  ResultImage(Image** dst, const Image* src, int64_t w, int64_t h);
  ~ResultImage();
  ResultImage(const ResultImage&) = delete;
  ResultImage& operator=(const ResultImage&) = delete;
  Image* image() const { return image_; }
  void finish();

 private:
  Image** dst_;
  Image* image_ = nullptr;
  bool apart_ = false;
};

}  // namespace ops

}  // namespace limg
