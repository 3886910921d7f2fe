// AVX2 form of the bilinear kernels for x86-64, compiled with target attributes and chosen at
// run time; the portable kernels' values exactly. Its rows between the passes hold 16-bit
// values (0-255) in the first half of their storage. Along y, four pixels' channels per
// vector: with fy = 512 fh + fl, (b - a) * fy is one multiply-add of the 16-bit pairs
// (d, 64 d) and (fl, 8 fh), every factor within 16 signed bits and the sum exact in 32, then
// the same arithmetic shift. Along x, the SSE4.1 arithmetic a column at a time (its loads of
// two pixels per column don't gain from wider vectors).
#include "image/resize_kernels.h"

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#include <immintrin.h>

namespace limg {

namespace {

constexpr int kFracBits = 18;

#define RESIZE_AVX2 __attribute__((target("avx2")))

RESIZE_AVX2 inline __m128i widen(uint32_t p) { return _mm_cvtepu8_epi32(_mm_cvtsi32_si128(int(p))); }

// One column's four channels, a + floor((b - a) * f / 2^18) in 32 bits.
RESIZE_AVX2 inline __m128i column(const uint32_t* src, const BilinearTap& t) {
  const __m128i a = widen(src[t.first]), b = widen(src[t.second]);
  return _mm_add_epi32(a, _mm_srai_epi32(_mm_mullo_epi32(_mm_sub_epi32(b, a), _mm_set1_epi32(t.frac)), kFracBits));
}

// Along x, a column at a time as the SSE4.1 kernel, two columns narrowed into one store.
RESIZE_AVX2 void horizontalAvx2(const uint32_t* src, const BilinearTap* taps, std::size_t count, int32_t* row) {
  int16_t* out = reinterpret_cast<int16_t*>(row);
  std::size_t i = 0;
  for (; i + 2 <= count; i += 2)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * i), _mm_packs_epi32(column(src, taps[i]), column(src, taps[i + 1])));
  if (i < count) {
    const __m128i v = column(src, taps[i]);
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + 4 * i), _mm_packs_epi32(v, v));
  }
}

// a + floor((b - a) * fy / 2^18) for 16 channels, `weights` the pairs (fl, 8 fh).
RESIZE_AVX2 inline __m256i lerp16(__m256i a, __m256i b, __m256i weights) {
  const __m256i d = _mm256_sub_epi16(b, a), d64 = _mm256_slli_epi16(d, 6);
  const __m256i lo = _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpacklo_epi16(d, d64), weights), kFracBits);
  const __m256i hi = _mm256_srai_epi32(_mm256_madd_epi16(_mm256_unpackhi_epi16(d, d64), weights), kFracBits);
  return _mm256_add_epi16(a, _mm256_packs_epi32(lo, hi));
}

RESIZE_AVX2 inline __m256i load16(const int16_t* p) {
  return _mm256_loadu_si256(reinterpret_cast<const __m256i*>(p));
}

// Values are 0-255, so the saturating pack only narrows them.
RESIZE_AVX2 void verticalAvx2(const int32_t* topRow, const int32_t* bottomRow, int32_t fy, uint32_t* dst,
                              std::size_t count) {
  const int16_t* top = reinterpret_cast<const int16_t*>(topRow);
  const int16_t* bottom = reinterpret_cast<const int16_t*>(bottomRow);
  const int32_t fh = fy >> 9, fl = fy & 511;
  const __m256i weights = _mm256_set1_epi32(fl | (fh << 3) << 16);
  std::size_t i = 0;
  for (; i + 8 <= count; i += 8) {
    const __m256i p0 = lerp16(load16(top + 4 * i), load16(bottom + 4 * i), weights);
    const __m256i p1 = lerp16(load16(top + 4 * i + 16), load16(bottom + 4 * i + 16), weights);
    // The pack interleaves the halves: pixels 0-1, 4-5, 2-3, 6-7.
    const __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(p0, p1), 0xD8);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + i), packed);
  }
  for (; i < count; ++i) {
    uint32_t word = 0;
    for (std::size_t c = 0; c < 4; ++c) {
      const int32_t a = top[4 * i + c], b = bottom[4 * i + c];
      word |= uint32_t(a + (((b - a) * fy) >> kFracBits)) << (8 * c);
    }
    dst[i] = word;
  }
}

constexpr BilinearKernels kAvx2 = {horizontalAvx2, verticalAvx2};

}  // namespace

const BilinearKernels* const kBilinearAvx2 = &kAvx2;

}  // namespace limg

#else

namespace limg {

const BilinearKernels* const kBilinearAvx2 = nullptr;

}  // namespace limg

#endif
