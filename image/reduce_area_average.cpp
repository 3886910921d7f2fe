#include "image/reduce_area_average.h"

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace {

// ---- Division of channel sums --------------------------------------------------------

// x / d for sums x <= 255 * d: a shift for powers of two, a multiply by a rounded-up
// reciprocal for d < 65536 (exact for that range: x * (m*d - 2^40) < 2^40), else a division.
struct Divider {
  uint64_t d = 1;
  uint64_t multiplier = 0;
  int shift = 0;
  enum Kind { kShift, kMultiply, kDivide } kind = kShift;

  explicit Divider(uint64_t divisor) : d(divisor) {
    if ((d & (d - 1)) == 0) {
      while ((uint64_t(1) << shift) < d) ++shift;
      kind = kShift;
    } else if (d < 65536) {
      multiplier = (uint64_t(1) << 40) / d + 1;
      kind = kMultiply;
    } else {
      kind = kDivide;
    }
  }
  uint32_t operator()(uint64_t x) const {
    switch (kind) {
      case kShift: return uint32_t(x >> shift);
      case kMultiply: return uint32_t((x * multiplier) >> 40);
      default: return uint32_t(x / d);
    }
  }
};

uint64_t gcd(uint64_t a, uint64_t b) {
  while (b != 0) {
    const uint64_t t = a % b;
    a = b;
    b = t;
  }
  return a;
}

// ---- Integer factors 1 to 10: straight-line sums ------------------------------------

// Two channels per 32-bit word (B and R, or G and A) in 16-bit lanes: up to 10 sums of
// 255 fit in a lane.
constexpr uint32_t kLanes = 0x00FF00FFu;

template <uint32_t K>
inline uint32_t packMean(uint32_t sumBR, uint32_t sumGA) {
  if constexpr ((K & (K - 1)) == 0) {
    constexpr int s = K >= 8 ? 3 : K >= 4 ? 2 : K >= 2 ? 1 : 0;
    return ((sumBR >> s) & kLanes) | ((sumGA >> s) & kLanes) << 8;
  } else {
    const uint32_t b = (sumBR & 0xFFFF) / K, r = (sumBR >> 16) / K;
    const uint32_t g = (sumGA & 0xFFFF) / K, a = (sumGA >> 16) / K;
    return b | g << 8 | r << 16 | a << 24;
  }
}

// Row routine for factor K: each target pixel is the mean of the next K source pixels of
// one flat run.
template <uint32_t K, std::size_t... I>
void rowMeanK(const uint32_t* src, uint32_t* dst, std::size_t count, std::index_sequence<I...>) {
  for (std::size_t t = 0; t < count; ++t, src += K) {
    const uint32_t br = ((src[I] & kLanes) + ...);
    const uint32_t ga = (((src[I] >> 8) & kLanes) + ...);
    dst[t] = packMean<K>(br, ga);
  }
}

template <uint32_t K>
void rowMean(const uint32_t* src, uint32_t* dst, std::size_t count) {
  rowMeanK<K>(src, dst, count, std::make_index_sequence<K>());
}

// Column routine for factor K: target row r is the mean of source rows K*r .. K*r+K-1.
template <uint32_t K, std::size_t... I>
void columnMeanK(const uint32_t* src, std::size_t width, uint32_t* dst, std::size_t targetRows,
                 std::index_sequence<I...>) {
  for (std::size_t r = 0; r < targetRows; ++r) {
    const uint32_t* rows[K] = {(src + (r * K + I) * width)...};
    uint32_t* out = dst + r * width;
    for (std::size_t x = 0; x < width; ++x) {
      const uint32_t br = ((rows[I][x] & kLanes) + ...);
      const uint32_t ga = (((rows[I][x] >> 8) & kLanes) + ...);
      out[x] = packMean<K>(br, ga);
    }
  }
}

template <uint32_t K>
void columnMean(const uint32_t* src, std::size_t width, uint32_t* dst, std::size_t targetRows) {
  columnMeanK<K>(src, width, dst, targetRows, std::make_index_sequence<K>());
}

using RowRoutine = void (*)(const uint32_t* src, uint32_t* dst, std::size_t count);
using ColumnRoutine = void (*)(const uint32_t* src, std::size_t width, uint32_t* dst, std::size_t targetRows);

// Indexed by the factor; entry 0 is never used.
constexpr RowRoutine kRowRoutines[11] = {
    nullptr,      rowMean<1>, rowMean<2>, rowMean<3>, rowMean<4>, rowMean<5>,
    rowMean<6>,   rowMean<7>, rowMean<8>, rowMean<9>, rowMean<10>};
constexpr ColumnRoutine kColumnRoutines[11] = {
    nullptr,         columnMean<1>, columnMean<2>, columnMean<3>, columnMean<4>, columnMean<5>,
    columnMean<6>,   columnMean<7>, columnMean<8>, columnMean<9>, columnMean<10>};

// ---- General integer factors (k > 10) ------------------------------------------------

inline uint32_t channel(uint32_t p, int c) { return (p >> (8 * c)) & 0xFF; }

uint32_t packDivided(const uint64_t* sums, const Divider& div) {
  return div(sums[0]) | div(sums[1]) << 8 | div(sums[2]) << 16 | div(sums[3]) << 24;
}

void rowMeanGeneral(const uint32_t* src, uint32_t* dst, std::size_t count, uint64_t k) {
  const Divider div(k);
  for (std::size_t t = 0; t < count; ++t) {
    uint64_t sums[4] = {0, 0, 0, 0};
    for (uint64_t s = 0; s < k; ++s, ++src)
      for (int c = 0; c < 4; ++c) sums[c] += channel(*src, c);
    dst[t] = packDivided(sums, div);
  }
}

// Channel sums of one target row, 4 per column. 32-bit sums suffice while 255 * k fits.
template <class Sum>
void columnMeanGeneralT(const uint32_t* src, std::size_t width, uint32_t* dst, std::size_t targetRows,
                        uint64_t k) {
  const Divider div(k);
  std::vector<Sum> sums(width * 4);
  for (std::size_t r = 0; r < targetRows; ++r) {
    std::fill(sums.begin(), sums.end(), Sum(0));
    for (uint64_t s = 0; s < k; ++s) {
      const uint32_t* row = src + (r * k + s) * width;
      for (std::size_t x = 0; x < width; ++x)
        for (int c = 0; c < 4; ++c) sums[4 * x + std::size_t(c)] += Sum(channel(row[x], c));
    }
    uint32_t* out = dst + r * width;
    for (std::size_t x = 0; x < width; ++x) {
      const Sum* s = &sums[4 * x];
      out[x] = div(s[0]) | div(s[1]) << 8 | div(s[2]) << 16 | div(s[3]) << 24;
    }
  }
}

void columnMeanGeneral(const uint32_t* src, std::size_t width, uint32_t* dst, std::size_t targetRows,
                       uint64_t k) {
  if (k <= (uint64_t(1) << 24))
    columnMeanGeneralT<uint32_t>(src, width, dst, targetRows, k);
  else
    columnMeanGeneralT<uint64_t>(src, width, dst, targetRows, k);
}

// ---- Fractional ratios ---------------------------------------------------------------

// A source sample is B units long, a target sample A units (A > B > 1, coprime). The first
// source sample of a target sample weighs B - c, where c units of it went to the previous
// target sample; the last one weighs what is still missing.

template <class Sum>
void rowFractionalT(const uint32_t* src, std::size_t w, uint32_t* dst, std::size_t W, std::size_t rows,
                    uint64_t A, uint64_t B) {
  const Divider div(A);
  for (std::size_t y = 0; y < rows; ++y) {
    const uint32_t* s = src + y * w;
    uint32_t* d = dst + y * W;
    uint64_t c = 0;
    for (std::size_t t = 0; t < W; ++t) {
      const Sum first = Sum(B - c);
      Sum sum[4];
      for (int k = 0; k < 4; ++k) sum[k] = first * Sum(channel(*s, k));
      ++s;
      uint64_t e = A - (B - c);
      for (; e > B; e -= B, ++s)
        for (int k = 0; k < 4; ++k) sum[k] += Sum(B) * Sum(channel(*s, k));
      for (int k = 0; k < 4; ++k) sum[k] += Sum(e) * Sum(channel(*s, k));
      d[t] = div(sum[0]) | div(sum[1]) << 8 | div(sum[2]) << 16 | div(sum[3]) << 24;
      if (e == B) {
        ++s;
        c = 0;
      } else {
        c = e;
      }
    }
  }
}

template <class Sum>
inline void addWeightedRow(Sum* sums, const uint32_t* row, std::size_t width, Sum weight) {
  for (std::size_t x = 0; x < width; ++x)
    for (int c = 0; c < 4; ++c) sums[4 * x + std::size_t(c)] += weight * Sum(channel(row[x], c));
}

template <class Sum>
void columnFractionalT(const uint32_t* src, std::size_t width, uint32_t* dst, std::size_t H, uint64_t A,
                       uint64_t B) {
  const Divider div(A);
  std::vector<Sum> sums(width * 4);
  std::size_t row = 0;  // current source row
  uint64_t c = 0;       // carried over from one target row to the next
  for (std::size_t t = 0; t < H; ++t) {
    std::fill(sums.begin(), sums.end(), Sum(0));
    addWeightedRow(sums.data(), src + row * width, width, Sum(B - c));
    ++row;
    uint64_t e = A - (B - c);
    for (; e > B; e -= B, ++row) addWeightedRow(sums.data(), src + row * width, width, Sum(B));
    addWeightedRow(sums.data(), src + row * width, width, Sum(e));
    uint32_t* out = dst + t * width;
    for (std::size_t x = 0; x < width; ++x) {
      const Sum* s = &sums[4 * x];
      out[x] = div(s[0]) | div(s[1]) << 8 | div(s[2]) << 16 | div(s[3]) << 24;
    }
    if (e == B) {
      ++row;
      c = 0;
    } else {
      c = e;
    }
  }
}

// 32-bit sums while 255 * A fits.
constexpr uint64_t kNarrowSumLimit = uint64_t(1) << 24;

// ---- The two passes ------------------------------------------------------------------

struct Ratio {
  uint64_t A;  // source samples per g
  uint64_t B;  // target samples per g
};

Ratio ratioOf(uint64_t n, uint64_t m) {
  const uint64_t g = gcd(n, m);
  return Ratio{n / g, m / g};
}

void rowPass(const uint32_t* src, std::size_t w, std::size_t h, uint32_t* dst, std::size_t W) {
  const Ratio r = ratioOf(w, W);
  if (r.B != 1) {
    if (r.A <= kNarrowSumLimit)
      rowFractionalT<uint32_t>(src, w, dst, W, h, r.A, r.B);
    else
      rowFractionalT<uint64_t>(src, w, dst, W, h, r.A, r.B);
  } else if (r.A > 10) {
    rowMeanGeneral(src, dst, W * h, r.A);
  } else {
    kRowRoutines[r.A](src, dst, W * h);
  }
}

void columnPass(const uint32_t* src, std::size_t width, std::size_t h, uint32_t* dst, std::size_t H) {
  const Ratio r = ratioOf(h, H);
  if (r.B != 1) {
    if (r.A <= kNarrowSumLimit)
      columnFractionalT<uint32_t>(src, width, dst, H, r.A, r.B);
    else
      columnFractionalT<uint64_t>(src, width, dst, H, r.A, r.B);
  } else if (r.A > 10) {
    columnMeanGeneral(src, width, dst, H, r.A);
  } else {
    kColumnRoutines[r.A](src, width, dst, H);
  }
}

}  // namespace

void ReduceAreaAverage(Image* target, const Image* source) {
  const std::size_t w = std::size_t(source->width), h = std::size_t(source->height);
  const std::size_t W = std::size_t(target->width), H = std::size_t(target->height);
  if (W > w || H > h) return;  // only reductions reach this filter
  if (W == w) {  // the row pass would be a copy
    columnPass(source->pixels, W, h, target->pixels, H);
    return;
  }
  Image* mid = ImageCreate(int32_t(W), int32_t(h), source->bitDepth);
  if (!mid) return;  // no room for the intermediate: the target stays as created
  rowPass(source->pixels, w, h, mid->pixels, W);
  columnPass(mid->pixels, W, h, target->pixels, H);
  ImageDestroy(&mid);
}
