// Vector forms of the bilinear kernels for x86-64 (SSE4.1: one pixel's four channels per
// vector), compiled with target attributes and chosen at run time. They give the portable
// kernels' values exactly: the same integer operations, a + ((b - a) * f >> 18) with an
// arithmetic shift. (An AVX2 form with two pixels per vector measured no faster here.)
#include "image/resize_kernels.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>

namespace limg {

namespace {

constexpr int kFracBits = 18;

// ---- SSE4.1: one pixel's four channels per vector ------------------------------------

__attribute__((target("sse4.1"))) inline __m128i widen(uint32_t p) {
  return _mm_cvtepu8_epi32(_mm_cvtsi32_si128(int(p)));
}

__attribute__((target("sse4.1"))) inline __m128i lerp4(__m128i a, __m128i b, __m128i f) {
  return _mm_add_epi32(a, _mm_srai_epi32(_mm_mullo_epi32(_mm_sub_epi32(b, a), f), kFracBits));
}

__attribute__((target("sse4.1"))) void horizontalSse41(const uint32_t* src, const BilinearTap* taps,
                                                       std::size_t count, int32_t* out) {
  for (std::size_t i = 0; i < count; ++i) {
    const BilinearTap& t = taps[i];
    const __m128i v = lerp4(widen(src[t.first]), widen(src[t.second]), _mm_set1_epi32(t.frac));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i), v);
  }
}

__attribute__((target("sse4.1"))) inline __m128i verticalColumn(const int32_t* top, const int32_t* bottom,
                                                                 std::size_t i, __m128i f) {
  const __m128i t = _mm_loadu_si128(reinterpret_cast<const __m128i*>(top + 4 * i));
  const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bottom + 4 * i));
  return lerp4(t, b, f);
}

// Values are 0-255, so the saturating packs only narrow them.
__attribute__((target("sse4.1"))) void verticalSse41(const int32_t* top, const int32_t* bottom, int32_t fy,
                                                     uint32_t* dst, std::size_t count) {
  const __m128i f = _mm_set1_epi32(fy);
  std::size_t i = 0;
  for (; i + 4 <= count; i += 4) {
    const __m128i p01 = _mm_packs_epi32(verticalColumn(top, bottom, i, f), verticalColumn(top, bottom, i + 1, f));
    const __m128i p23 =
        _mm_packs_epi32(verticalColumn(top, bottom, i + 2, f), verticalColumn(top, bottom, i + 3, f));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + i), _mm_packus_epi16(p01, p23));
  }
  for (; i < count; ++i) {
    const __m128i v = verticalColumn(top, bottom, i, f);
    dst[i] = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(_mm_packs_epi32(v, v), v)));
  }
}

constexpr BilinearKernels kSse41 = {horizontalSse41, verticalSse41};

}  // namespace

const BilinearKernels* const kBilinearSse41 = &kSse41;

}  // namespace limg

#else

namespace limg {

const BilinearKernels* const kBilinearSse41 = nullptr;

}  // namespace limg

#endif
