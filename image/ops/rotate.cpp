// ROT: rotation and scaling about the centre, nearest-neighbour and bilinear.
// Source positions are fixed point with 18 fractional bits; they are held in 64 bits so
// that large images and scales follow the integer formulas exactly.
#include <cmath>
#include <cstdio>

#include "image/message.h"
#include "image/ops/ops.h"
#include "image/ops/ops_internal.h"

namespace limg {

namespace {

constexpr int kFracBits = 18;
constexpr int64_t kOne = int64_t(1) << kFracBits;  // one pixel
// pi as a single-precision value, widened to double.
constexpr double kPi = 3.1415927410125732;

struct RotationPlan {
  int64_t width = 0, height = 0;  // result size
  int64_t stepS = 0, stepC = 0;   // fixed-point sine and cosine (divided by the scale)
};

// Integer part of v, or `fallback` when v is not a finite value within +-limit.
int64_t integerPart(double v, double limit, int64_t fallback) {
  if (!(std::fabs(v) <= limit)) return fallback;
  return int64_t(v);
}

RotationPlan planRotation(const Image* src, double angle, double scale) {
  RotationPlan p;
  const double theta = -angle * kPi / 180;
  double s = std::sin(theta), c = std::cos(theta);
  const double W = src->width, H = src->height;
  // Sizes beyond int32 (or not finite) come out as 0 and are refused like a zero size.
  const double kMaxSize = 2147483647.0;
  int64_t w = integerPart(std::fabs(H * s) + std::fabs(W * c) + 0.5, kMaxSize, 0);
  int64_t h = integerPart(std::fabs(H * c) + std::fabs(W * s) + 0.5, kMaxSize, 0);
  if (scale != 0) {
    w = integerPart(double(w) * scale, kMaxSize, 0);
    h = integerPart(double(h) * scale, kMaxSize, 0);
    s /= scale;
    c /= scale;
  }
  // With a positive size the steps stay far below this bound; anything else is refused.
  const double kMaxStep = 4503599627370496.0;  // 2^52
  p.stepS = integerPart(s * double(kOne) + 0.5, kMaxStep, INT64_MIN);
  p.stepC = integerPart(c * double(kOne) + 0.5, kMaxStep, INT64_MIN);
  if (p.stepS == INT64_MIN || p.stepC == INT64_MIN) w = h = 0;
  p.width = w;
  p.height = h;
  return p;
}

// Half-pixel correction of the bilinear form along one axis (src size n, result size m).
int64_t halfPixelCorrection(int64_t n, int64_t m) {
  return m < n ? (n - m) * kOne / n : (n - m) * kOne / m / 2;
}

struct NearestSampler {
  const Image* src;
  uint32_t operator()(int64_t X, int64_t Y) const {
    const int64_t ix = X >> kFracBits, iy = Y >> kFracBits;
    if (ix < 0 || ix >= src->width || iy < 0 || iy >= src->height) return 0;
    return src->pixels[iy * src->width + ix];
  }
};

struct BilinearSampler {
  const Image* src;

  // A neighbour outside the image is 0: left of column 0, right of the last column, above
  // row 0, and the row below the last, which is where the zeroed spare row lies.
  uint32_t at(int64_t ix, int64_t iy) const {
    if (ix < 0 || ix >= src->width || iy < 0 || iy >= src->height) return 0;
    return src->pixels[iy * src->width + ix];
  }

  uint32_t operator()(int64_t X, int64_t Y) const {
    const int64_t ix = X >> kFracBits, iy = Y >> kFracBits;
    if (ix < -1 || ix >= src->width || iy < -1 || iy >= src->height) return 0;
    const uint32_t fx = uint32_t(X - ix * kOne), fy = uint32_t(Y - iy * kOne);
    const uint32_t gx = uint32_t(kOne) - fx, gy = uint32_t(kOne) - fy;
    uint32_t p00, p10, p01, p11;
    if (ix >= 0 && ix + 1 < src->width && iy >= 0 && iy + 1 < src->height) {
      const uint32_t* p = src->pixels + iy * src->width + ix;
      p00 = p[0];
      p10 = p[1];
      p01 = p[src->width];
      p11 = p[src->width + 1];
    } else {
      p00 = at(ix, iy);
      p10 = at(ix + 1, iy);
      p01 = at(ix, iy + 1);
      p11 = at(ix + 1, iy + 1);
    }
    uint32_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
      const uint32_t top = (((p00 >> shift) & 255) * gx + ((p10 >> shift) & 255) * fx) >> kFracBits;
      const uint32_t bottom =
          (((p01 >> shift) & 255) * gx + ((p11 >> shift) & 255) * fx) >> kFracBits;
      out |= ((top * gy + bottom * fy) >> kFracBits) << shift;
    }
    return out;
  }
};

template <class Sampler>
int rotate(Image** dst, const Image* src, double angle, double scale, bool bilinear) {
  if (!dst || !ops::hasPixels(src)) {
    ImageMessage(kImageMessageOut, "-ROT: 画像データを読み込めませんでした\n");
    return 0;
  }
  const RotationPlan p = planRotation(src, angle, scale);
  ops::ResultImage result(dst, src, p.width, p.height);
  Image* out = result.image();
  if (!out) {
    ImageMessage(kImageMessageOut, "-ROT: メモリを確保出来ませんでした\n");
    return 0;
  }
  const int64_t W = src->width, H = src->height, w = out->width, h = out->height;
  const int64_t S = p.stepS, C = p.stepC;
  int64_t x0 = (W / 2) * kOne + S * (h / 2) - C * (w / 2);
  int64_t y0 = (H / 2) * kOne - C * (h / 2) - S * (w / 2);
  if (bilinear) {
    y0 += halfPixelCorrection(H, h);
    x0 += halfPixelCorrection(W, w);
  }
  const Sampler sample{src};
  uint32_t* row = out->pixels;
  for (int64_t j = 0; j < h; ++j, row += w) {
    int64_t X = x0, Y = y0;
    for (int64_t i = 0; i < w; ++i, X += C, Y += S) row[i] = sample(X, Y);
    x0 -= S;
    y0 += C;
  }
  result.finish();
  return 1;
}

}  // namespace

int ImageRotateNearest(Image** dst, const Image* src, double angle, double scale) {
  return rotate<NearestSampler>(dst, src, angle, scale, false);
}

int ImageRotateBilinear(Image** dst, const Image* src, double angle, double scale) {
  return rotate<BilinearSampler>(dst, src, angle, scale, true);
}

const ImageRotateFunction ImageRotateFunctions[2] = {ImageRotateNearest, ImageRotateBilinear};

}  // namespace limg
