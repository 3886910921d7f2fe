// SSE4.1 form of the area average's narrow row pass (x86-64), compiled with a target
// attribute and chosen at run time: one pixel's four channels per vector, in 32-bit lanes.
// The sums are the portable ones (first * S0 + B * (S1 + ...) + last * Sn, below 2^32), and
// the division is the same divider applied lane by lane, so the results are identical.
#include "image/reduce_area_average_kernels.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>

namespace limg {

namespace {

__attribute__((target("sse4.1"))) inline __m128i widen(uint32_t p) {
  return _mm_cvtepu8_epi32(_mm_cvtsi32_si128(int(p)));
}

// The four lane sums divided and packed into one pixel word.
__attribute__((target("sse4.1"))) inline uint32_t divided(__m128i sums, const ShiftBy& div) {
  const __m128i q = _mm_srl_epi32(sums, _mm_cvtsi32_si128(div.shift));
  return uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(_mm_packus_epi32(q, q), q)));
}

template <class Div>
__attribute__((target("sse4.1"))) inline uint32_t divided(__m128i sums, const Div& div) {
  const uint32_t b = div(uint32_t(_mm_cvtsi128_si32(sums))), g = div(uint32_t(_mm_extract_epi32(sums, 1)));
  const uint32_t r = div(uint32_t(_mm_extract_epi32(sums, 2))), a = div(uint32_t(_mm_extract_epi32(sums, 3)));
  return b | g << 8 | r << 16 | a << 24;
}

template <class Div>
__attribute__((target("sse4.1"))) void rowNarrowSse41(const uint32_t* src, std::size_t w, uint32_t* dst,
                                                      std::size_t W, std::size_t rows, const RowSpan* spans,
                                                      uint32_t B, const Div& div) {
  const __m128i weightB = _mm_set1_epi32(int(B));
  for (std::size_t y = 0; y < rows; ++y) {
    const uint32_t* s = src + y * w;
    uint32_t* d = dst + y * W;
    for (std::size_t t = 0; t < W; ++t) {
      const RowSpan& span = spans[t];
      const uint32_t* p = s + span.start;
      const uint32_t* last = p + span.count - 1;
      __m128i between = _mm_setzero_si128();
      for (const uint32_t* q = p + 1; q < last; ++q) between = _mm_add_epi32(between, widen(*q));
      __m128i sums = _mm_mullo_epi32(widen(*p), _mm_set1_epi32(int(span.firstWeight)));
      sums = _mm_add_epi32(sums, _mm_mullo_epi32(between, weightB));
      sums = _mm_add_epi32(sums, _mm_mullo_epi32(widen(*last), _mm_set1_epi32(int(span.lastWeight))));
      d[t] = divided(sums, div);
    }
  }
}

constexpr AreaRowKernels kSse41 = {rowNarrowSse41<ShiftBy>, rowNarrowSse41<MultiplyBy>, rowNarrowSse41<DivideBy>};

}  // namespace

const AreaRowKernels* const kAreaRowSse41 = &kSse41;

}  // namespace limg

#else

namespace limg {

const AreaRowKernels* const kAreaRowSse41 = nullptr;

}  // namespace limg

#endif
