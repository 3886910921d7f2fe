#include "image/reduce_area_average.h"
#include "image/reduce_area_average_kernels.h"
#include "image/resize_filters.h"

#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace limg {

// Channels are read and written as the bytes of the pixel words in places.
#if defined(__BYTE_ORDER__) && defined(__ORDER_LITTLE_ENDIAN__)
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "pixel words are stored little-endian");
#endif

namespace {

// ---- Division of channel sums --------------------------------------------------------

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

template <class Sum, class Div>
uint32_t packDivided(const Sum* sums, const Div& div) {
  return div(sums[0]) | div(sums[1]) << 8 | div(sums[2]) << 16 | div(sums[3]) << 24;
}

template <class Div>
void rowMeanGeneral(const uint32_t* src, uint32_t* dst, std::size_t count, uint64_t k, const Div& div) {
  for (std::size_t t = 0; t < count; ++t) {
    uint64_t sums[4] = {0, 0, 0, 0};
    for (uint64_t s = 0; s < k; ++s, ++src)
      for (int c = 0; c < 4; ++c) sums[c] += channel(*src, c);
    dst[t] = packDivided(sums, div);
  }
}

// Channel sums of one target row, 4 per column. 32-bit sums suffice while 255 * k fits.
template <class Sum, class Div>
void columnMeanGeneralT(const uint32_t* src, std::size_t width, uint32_t* dst, std::size_t targetRows,
                        uint64_t k, const Div& div) {
  std::vector<Sum> sums(width * 4);
  for (std::size_t r = 0; r < targetRows; ++r) {
    std::fill(sums.begin(), sums.end(), Sum(0));
    for (uint64_t s = 0; s < k; ++s) {
      const uint32_t* row = src + (r * k + s) * width;
      for (std::size_t x = 0; x < width; ++x)
        for (int c = 0; c < 4; ++c) sums[4 * x + std::size_t(c)] += Sum(channel(row[x], c));
    }
    uint32_t* out = dst + r * width;
    for (std::size_t x = 0; x < width; ++x) out[x] = packDivided(&sums[4 * x], div);
  }
}

void columnMeanGeneral(const uint32_t* src, std::size_t width, uint32_t* dst, std::size_t targetRows,
                       uint64_t k, bool wide) {
  withDivider(k, [&](const auto& div) {
    if (k <= (uint64_t(1) << 24) && !wide)
      columnMeanGeneralT<uint32_t>(src, width, dst, targetRows, k, div);
    else
      columnMeanGeneralT<uint64_t>(src, width, dst, targetRows, k, div);
  });
}

// ---- Fractional ratios ---------------------------------------------------------------

// A source sample is B units long, a target sample A units (A > B > 1, coprime). The first
// source sample of a target sample weighs B - c, where c units of it went to the previous
// target sample; the last one weighs what is still missing.

// The wide row pass (255 * A beyond 32 bits), sample by sample in 64-bit sums.
template <class Div>
void rowFractionalWide(const uint32_t* src, std::size_t w, uint32_t* dst, std::size_t W, std::size_t rows,
                       uint64_t A, uint64_t B, const Div& div) {
  using Sum = uint64_t;
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
      d[t] = packDivided(sum, div);
      if (e == B) {
        ++s;
        c = 0;
      } else {
        c = e;
      }
    }
  }
}

// The narrow row pass (255 * A < 2^32): see RowSpan.
std::vector<RowSpan> rowSpans(std::size_t W, uint64_t A, uint64_t B) {
  std::vector<RowSpan> spans(W);
  std::size_t i = 0;
  uint64_t c = 0;
  for (RowSpan& span : spans) {
    span.start = i;
    span.firstWeight = uint32_t(B - c);
    ++i;
    uint64_t e = A - (B - c);
    for (; e > B; e -= B) ++i;
    span.count = i - span.start + 1;
    span.lastWeight = uint32_t(e);
    if (e == B) {
      ++i;
      c = 0;
    } else {
      c = e;
    }
  }
  return spans;
}

// B and R (G and A) of a pixel in the two 32-bit lanes of a 64-bit word.
inline uint64_t spreadBR(uint32_t p) { return uint64_t(p & 0xFF) | uint64_t(p & 0xFF0000) << 16; }
inline uint64_t spreadGA(uint32_t p) { return uint64_t((p >> 8) & 0xFF) | uint64_t(p >> 24) << 32; }
// Two 16-bit lane sums into two 32-bit lanes.
inline uint64_t spread16(uint32_t x) { return uint64_t(x & 0xFFFF) | uint64_t(x >> 16) << 32; }

template <class Div>
void rowNarrowPortable(const uint32_t* src, std::size_t w, uint32_t* dst, std::size_t W, std::size_t rows,
                       const RowSpan* spans, uint32_t B, const Div& div) {
  constexpr std::size_t kChunk = 256;  // 256 * 255 fits a 16-bit lane
  for (std::size_t y = 0; y < rows; ++y) {
    const uint32_t* s = src + y * w;
    uint32_t* d = dst + y * W;
    for (std::size_t t = 0; t < W; ++t) {
      const RowSpan& span = spans[t];
      const uint32_t* p = s + span.start;
      const uint32_t* last = p + span.count - 1;
      uint64_t midBR = 0, midGA = 0;
      for (const uint32_t* q = p + 1; q < last;) {
        const std::size_t n = std::min<std::size_t>(kChunk, std::size_t(last - q));
        uint32_t br = 0, ga = 0;
        for (std::size_t k = 0; k < n; ++k) {
          br += q[k] & kLanes;
          ga += (q[k] >> 8) & kLanes;
        }
        midBR += spread16(br);
        midGA += spread16(ga);
        q += n;
      }
      const uint64_t br = spreadBR(*p) * span.firstWeight + midBR * B + spreadBR(*last) * span.lastWeight;
      const uint64_t ga = spreadGA(*p) * span.firstWeight + midGA * B + spreadGA(*last) * span.lastWeight;
      d[t] = div(br & 0xFFFFFFFFu) | div(ga & 0xFFFFFFFFu) << 8 | div(br >> 32) << 16 | div(ga >> 32) << 24;
    }
  }
}

template <class Div>
void rowFractionalNarrow(const uint32_t* src, std::size_t w, uint32_t* dst, std::size_t W, std::size_t rows,
                         uint64_t A, uint64_t B, const Div& div) {
  const std::vector<RowSpan> spans = rowSpans(W, A, B);
  AreaRowKernel<Div> kernel = rowNarrowPortable<Div>;
  if (kAreaRowSse41 && ResizeVectorInUse() >= kVectorSse41) kernel = kernelFor(*kAreaRowSse41, div);
  kernel(src, w, dst, W, rows, spans.data(), uint32_t(B), div);
}

// Across rows: target row t is first * (first row) + B * (the rows between) + last * (last
// row), divided by A. The rows between are summed unweighted; channels are taken as the
// bytes of the rows (B, G, R, A in memory order), which keeps the loops simple to vectorise.
template <class Sum, class Div>
void columnFractionalT(const uint32_t* src, std::size_t width, uint32_t* dst, std::size_t H, uint64_t A,
                       uint64_t B, const Div& div) {
  const std::size_t n = width * 4;
  std::vector<Sum> between(n);
  std::size_t row = 0;  // current source row
  uint64_t c = 0;       // carried over from one target row to the next
  for (std::size_t t = 0; t < H; ++t) {
    const Sum firstWeight = Sum(B - c);
    const uint8_t* first = reinterpret_cast<const uint8_t*>(src + row * width);
    ++row;
    uint64_t e = A - (B - c);
    std::fill(between.begin(), between.end(), Sum(0));
    for (; e > B; e -= B, ++row) {
      const uint8_t* r = reinterpret_cast<const uint8_t*>(src + row * width);
      for (std::size_t k = 0; k < n; ++k) between[k] += r[k];
    }
    const uint8_t* last = reinterpret_cast<const uint8_t*>(src + row * width);
    const Sum lastWeight = Sum(e);
    uint8_t* out = reinterpret_cast<uint8_t*>(dst + t * width);
    for (std::size_t k = 0; k < n; ++k)
      out[k] = uint8_t(div(firstWeight * first[k] + Sum(B) * between[k] + lastWeight * last[k]));
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

void rowPass(const uint32_t* src, std::size_t w, std::size_t h, uint32_t* dst, std::size_t W, bool wide) {
  const Ratio r = ratioOf(w, W);
  if (r.B != 1) {
    withDivider(r.A, [&](const auto& div) {
      if (r.A <= kNarrowSumLimit && !wide)
        rowFractionalNarrow(src, w, dst, W, h, r.A, r.B, div);
      else
        rowFractionalWide(src, w, dst, W, h, r.A, r.B, div);
    });
  } else if (r.A > 10) {
    withDivider(r.A, [&](const auto& div) { rowMeanGeneral(src, dst, W * h, r.A, div); });
  } else {
    kRowRoutines[r.A](src, dst, W * h);
  }
}

void columnPass(const uint32_t* src, std::size_t width, std::size_t h, uint32_t* dst, std::size_t H,
                bool wide) {
  const Ratio r = ratioOf(h, H);
  if (r.B != 1) {
    withDivider(r.A, [&](const auto& div) {
      if (r.A <= kNarrowSumLimit && !wide)
        columnFractionalT<uint32_t>(src, width, dst, H, r.A, r.B, div);
      else
        columnFractionalT<uint64_t>(src, width, dst, H, r.A, r.B, div);
    });
  } else if (r.A > 10) {
    columnMeanGeneral(src, width, dst, H, r.A, wide);
  } else {
    kColumnRoutines[r.A](src, width, dst, H);
  }
}

void reduce(Image* target, const Image* source, bool wide) {
  const std::size_t w = std::size_t(source->width), h = std::size_t(source->height);
  const std::size_t W = std::size_t(target->width), H = std::size_t(target->height);
  if (W > w || H > h) return;  // only reductions reach this filter
  if (W == w) {  // the row pass would be a copy
    columnPass(source->pixels, W, h, target->pixels, H, wide);
    return;
  }
  Image* mid = ImageCreate(int32_t(W), int32_t(h), source->bitDepth);
  if (!mid) {
    // No room for the intermediate: nearest neighbour still fills every target pixel,
    // rather than leaving the new target's memory as it came.
    ResizeNearest(target, source);
    return;
  }
  rowPass(source->pixels, w, h, mid->pixels, W, wide);
  columnPass(mid->pixels, W, h, target->pixels, H, wide);
  ImageDestroy(&mid);
}

}  // namespace

void ReduceAreaAverage(Image* target, const Image* source) { reduce(target, source, false); }

void ReduceAreaAverageWide(Image* target, const Image* source) { reduce(target, source, true); }

}  // namespace limg
