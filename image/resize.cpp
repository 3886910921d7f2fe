#include "image/resize.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "image/message.h"
#include "image/reduce_area_average.h"
#include "image/resize_filters.h"
#include "image/resize_kernels.h"

namespace limg {

namespace {

using Filter = void (*)(Image* target, const Image* source);

// Indexed by the caller's filter number.
constexpr Filter kEnlargeFilters[] = {ResizeNearest, ResizeBilinear, ResizeNearest};
constexpr Filter kShrinkFilters[] = {ResizeNearest, ResizeBilinear, ReduceAreaAverage};
constexpr int kFilterCount = 3;

// int(x) for a size: truncation toward zero, -1 when x is not a number or out of range.
int32_t truncSize(double x) {
  if (!(x > -2147483648.0 && x < 2147483648.0)) return -1;
  return int32_t(x);
}

int32_t roundHalfUp(double x) { return truncSize(x + 0.5); }

}  // namespace

void ResizeTargetSize(int32_t w, int32_t h, double a, double b, int mode, int32_t* W, int32_t* H) {
  int32_t tw = 1, th = 1;
  switch (mode) {
    case kResizePercent:
      if (a == 0) a = b;
      if (b == 0) b = a;
      tw = roundHalfUp(w * a / 100);
      th = roundHalfUp(h * b / 100);
      break;
    case kResizePixels:
      if (a == 0) {
        tw = roundHalfUp(w * b / h);
        th = truncSize(b);
      } else if (b == 0) {
        tw = truncSize(a);
        th = roundHalfUp(h * a / w);
      } else {
        tw = truncSize(a);
        th = truncSize(b);
      }
      break;
    case kResizeFactor:
      if (a == 0) a = b;
      if (b == 0) b = a;
      tw = roundHalfUp(w * a);
      th = roundHalfUp(h * b);
      break;
    default:
      break;
  }
  *W = tw == 0 ? 1 : tw;
  *H = th == 0 ? 1 : th;
}

int ImageResize(Image** target, const Image* source, double a, double b, int mode, int shrinkFilter,
                int enlargeFilter) {
  if (!source || !source->pixels) {
    ImageMessage(kImageMessageOut, "-RES: 画像データを読み込めませんでした\n");
    return 0;
  }
  if (a < 1 && b < 1) {
    ImageMessage(kImageMessageOut, "-RES: 幅値の設定が無効です\n");
    return 0;
  }
  const int32_t w = source->width, h = source->height;
  int32_t W = 0, H = 0;
  ResizeTargetSize(w, h, a, b, mode, &W, &H);

  // The source may be the image held by *target: it is then freed only after filtering.
  Image* held = *target;
  const bool reuse = held && held->width == W && held->height == H;
  Image* out = reuse ? held : nullptr;
  if (!reuse) {
    if (held != source) ImageDestroy(target);
    *target = nullptr;
    out = ImageCreate(W, H, source->bitDepth);
    if (!out) {
      if (held == source) ImageDestroy(&held);
      ImageMessage(kImageMessageOut, "-RES: メモリを確保出来ませんでした\n");
      return 0;
    }
  }

  const bool enlarging = w < W || h < H;
  const int filter = enlarging ? enlargeFilter : shrinkFilter;
  try {
    if (W == w && H == h) {
      if (out != source) std::memcpy(out->pixels, source->pixels, std::size_t(source->pixelCount) * 4);
    } else if (filter >= 0 && filter < kFilterCount) {
      (enlarging ? kEnlargeFilters : kShrinkFilters)[filter](out, source);
    } else {
      // Not a filter number; the target is still filled rather than left undefined.
      ResizeNearest(out, source);
    }
  } catch (const std::bad_alloc&) {
    // A filter's working rows could not be had: the same failure as the target's.
    if (!reuse) ImageDestroy(&out);
    if (!reuse && held == source) ImageDestroy(&held);
    *target = reuse ? out : nullptr;
    ImageMessage(kImageMessageOut, "-RES: メモリを確保出来ませんでした\n");
    return 0;
  }
  if (!reuse && held == source) ImageDestroy(&held);
  *target = out;
  return 1;
}

int ImageResizeInPlace(Image** image, double a, double b, int mode, int shrinkFilter, int enlargeFilter) {
  Image* result = nullptr;
  const int ok = ImageResize(&result, *image, a, b, mode, shrinkFilter, enlargeFilter);
  if (ok) {
    ImageDestroy(image);
    *image = result;
  }
  return ok;
}

// ---- Nearest neighbour -------------------------------------------------------------

namespace {

// min(int(i * ratio + 0.5), n - 1) for i = 0 .. count - 1.
std::vector<int32_t> nearestTable(int32_t n, int32_t count) {
  std::vector<int32_t> table(static_cast<std::size_t>(count));
  const double ratio = double(n) / count;
  for (int32_t i = 0; i < count; ++i) {
    const int32_t s = int32_t(i * ratio + 0.5);
    table[std::size_t(i)] = s < n - 1 ? s : n - 1;
  }
  return table;
}

}  // namespace

void ResizeNearest(Image* target, const Image* source) {
  const int32_t w = source->width, h = source->height, W = target->width, H = target->height;
  const std::vector<int32_t> columns = nearestTable(w, W);
  const std::vector<int32_t> rows = nearestTable(h, H);
  const int32_t* col = columns.data();
  for (int32_t j = 0; j < H; ++j) {
    const uint32_t* src = source->pixels + std::size_t(rows[std::size_t(j)]) * std::size_t(w);
    uint32_t* dst = target->pixels + std::size_t(j) * std::size_t(W);
    for (int32_t i = 0; i < W; ++i) dst[i] = src[col[i]];
  }
}

// ---- Bilinear ----------------------------------------------------------------------

namespace {

constexpr int kFracBits = 18;
constexpr int32_t kOne = 1 << kFracBits;

// One axis of the bilinear mapping. Positions are kept in 64 bits so that sides of any
// length work; below 8192 pixels every value equals the 32-bit formula's.
struct AxisStep {
  int64_t start;  // position of target sample 0, in source pixels << 18
  int64_t step;
};

AxisStep axisStep(int32_t n, int32_t m) {  // n source samples, m target samples
  AxisStep s;
  s.step = (int64_t(n) * kOne) / m;
  if (m < n)
    s.start = (int64_t(n - m) * kOne) / n;
  else
    s.start = ((int64_t(n - m) * kOne) / m) / 2;  // zero or negative; truncates toward zero
  return s;
}

// The two source samples and the weight of the second for the position pos. Clamped at the
// far edge to (n - 2, weight ONE); a single sample gives (-1, ONE), whose first sample
// carries no weight and is replaced by sample 0 so that nothing outside is read.
using Tap = BilinearTap;

Tap tapAt(int64_t pos, int32_t n) {
  const int64_t p = pos > 0 ? pos : 0;
  int64_t index = p >> kFracBits;
  int32_t frac = int32_t(p & (kOne - 1));
  if (index > n - 2) {
    index = n - 2;
    frac = kOne;
  }
  Tap t;
  t.first = index < 0 ? 0 : int32_t(index);
  t.second = int32_t(index + 1);
  t.frac = frac;
  return t;
}

// (a * (ONE - f) + b * f) >> 18, computed as a + floor((b - a) * f / ONE): the same value.
inline int32_t lerp(int32_t a, int32_t b, int32_t f) { return a + (((b - a) * f) >> kFracBits); }

void horizontalPortable(const uint32_t* src, const BilinearTap* taps, std::size_t count, int32_t* out) {
  for (std::size_t i = 0; i < count; ++i) {
    const BilinearTap& t = taps[i];
    const uint32_t p = src[t.first], q = src[t.second];
    for (int c = 0; c < 4; ++c) {
      const int32_t a = int32_t((p >> (8 * c)) & 0xFF), b = int32_t((q >> (8 * c)) & 0xFF);
      out[4 * i + std::size_t(c)] = lerp(a, b, t.frac);
    }
  }
}

void verticalPortable(const int32_t* top, const int32_t* bottom, int32_t fy, uint32_t* dst, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    uint32_t word = 0;
    for (std::size_t c = 0; c < 4; ++c) word |= uint32_t(lerp(top[4 * i + c], bottom[4 * i + c], fy)) << (8 * c);
    dst[i] = word;
  }
}

constexpr BilinearKernels kBilinearPortable = {horizontalPortable, verticalPortable};

int cpuVectorLevel() {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  if (kBilinearSse41 && __builtin_cpu_supports("sse4.1")) return kVectorSse41;
#endif
  return kVectorPortable;
}

int& currentVectorLevel() {
  static int level = cpuVectorLevel();
  return level;
}

}  // namespace

BilinearKernels bilinearKernelsFor(int level) {
  if (level >= kVectorSse41 && kBilinearSse41) return *kBilinearSse41;
  return kBilinearPortable;
}

int ResizeVectorSupported() { return cpuVectorLevel(); }

int ResizeVectorInUse() { return currentVectorLevel(); }

int ResizeSetVector(int level) {
  const int supported = cpuVectorLevel();
  currentVectorLevel() = level < 0 ? 0 : level > supported ? supported : level;
  return currentVectorLevel();
}

void ResizeBilinear(Image* target, const Image* source) {
  const BilinearKernels kernels = bilinearKernelsFor(currentVectorLevel());
  const int32_t w = source->width, h = source->height, W = target->width, H = target->height;
  const AxisStep ax = axisStep(w, W), ay = axisStep(h, H);
  std::vector<Tap> columns(std::size_t(W), Tap{});
  int64_t pos = ax.start;
  for (int32_t i = 0; i < W; ++i, pos += ax.step) columns[std::size_t(i)] = tapAt(pos, w);

  // Two interpolated source rows, reused while consecutive target rows share them.
  std::vector<int32_t> bufA(std::size_t(W) * 4), bufB(std::size_t(W) * 4);
  int32_t* rowTop = bufA.data();
  int32_t* rowBottom = bufB.data();
  int32_t haveTop = -1, haveBottom = -1;
  pos = ay.start;
  for (int32_t j = 0; j < H; ++j, pos += ay.step) {
    const Tap t = tapAt(pos, h);
    if (t.first == haveBottom && t.first != haveTop) {
      std::swap(rowTop, rowBottom);
      std::swap(haveTop, haveBottom);
    }
    if (t.first != haveTop) {
      kernels.horizontal(source->pixels + std::size_t(t.first) * std::size_t(w), columns.data(), columns.size(), rowTop);
      haveTop = t.first;
    }
    if (t.second != haveBottom) {
      if (t.second == haveTop) {
        std::memcpy(rowBottom, rowTop, std::size_t(W) * 4 * sizeof(int32_t));
      } else {
        kernels.horizontal(source->pixels + std::size_t(t.second) * std::size_t(w), columns.data(), columns.size(),
                           rowBottom);
      }
      haveBottom = t.second;
    }
    kernels.vertical(rowTop, rowBottom, t.frac, target->pixels + std::size_t(j) * std::size_t(W), std::size_t(W));
  }
}

}  // namespace limg
