// SSE2 forms of the TLG5 row compose and the TLG6 whole-blocks row decoder. Compiled for SSE2
// whatever the build's baseline, and run only when the processor reports SSE2.
#include "image/tlg/tlg_routines.h"

#ifdef TLG_HAVE_X86_FORMS
#include <emmintrin.h>

#include <cstring>

#include "image/tlg/tlg6_transform.h"

#define TLG_SSE2 __attribute__((target("sse2")))

namespace limg {

namespace {

// ---- TLG5: 16 pixels at a time; the running sums are a prefix sum over the words.

template <bool kAlpha>
TLG_SSE2 inline void composeSse2(uint32_t* row, const uint32_t* above, const uint8_t* const* planes,
                                 int32_t width) {
  const __m128i opaque = _mm_set1_epi32(int(0xFF000000u));
  __m128i carry = _mm_setzero_si128();
  int32_t x = 0;
  for (; x + 16 <= width; x += 16) {
    const __m128i g = _mm_loadu_si128(reinterpret_cast<const __m128i*>(planes[1] + x));
    const __m128i b = _mm_add_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(planes[0] + x)), g);
    const __m128i r = _mm_add_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(planes[2] + x)), g);
    const __m128i a = kAlpha ? _mm_loadu_si128(reinterpret_cast<const __m128i*>(planes[3] + x))
                             : _mm_setzero_si128();
    const __m128i bgLo = _mm_unpacklo_epi8(b, g), bgHi = _mm_unpackhi_epi8(b, g);
    const __m128i raLo = _mm_unpacklo_epi8(r, a), raHi = _mm_unpackhi_epi8(r, a);
    const __m128i d[4] = {_mm_unpacklo_epi16(bgLo, raLo), _mm_unpackhi_epi16(bgLo, raLo),
                          _mm_unpacklo_epi16(bgHi, raHi), _mm_unpackhi_epi16(bgHi, raHi)};
    for (int k = 0; k < 4; ++k) {
      __m128i v = d[k];
      v = _mm_add_epi8(v, _mm_slli_si128(v, 4));
      v = _mm_add_epi8(v, _mm_slli_si128(v, 8));
      v = _mm_add_epi8(v, carry);
      carry = _mm_shuffle_epi32(v, 0xFF);
      __m128i out = _mm_add_epi8(v, _mm_loadu_si128(reinterpret_cast<const __m128i*>(above + x + 4 * k)));
      if (!kAlpha) out = _mm_or_si128(out, opaque);
      _mm_storeu_si128(reinterpret_cast<__m128i*>(row + x + 4 * k), out);
    }
  }
  const uint32_t s = uint32_t(_mm_cvtsi128_si32(carry));
  uint8_t s0 = uint8_t(s), s1 = uint8_t(s >> 8), s2 = uint8_t(s >> 16), s3 = uint8_t(s >> 24);
  for (; x < width; ++x) {
    const uint8_t gd = planes[1][x];
    s0 = uint8_t(s0 + planes[0][x] + gd);
    s1 = uint8_t(s1 + gd);
    s2 = uint8_t(s2 + planes[2][x] + gd);
    const uint32_t up = above[x];
    uint32_t alpha = 0xFF;
    if (kAlpha) {
      s3 = uint8_t(s3 + planes[3][x]);
      alpha = uint8_t(s3 + (up >> 24));
    }
    row[x] = uint32_t(uint8_t(s0 + up)) | uint32_t(uint8_t(s1 + (up >> 8))) << 8 |
             uint32_t(uint8_t(s2 + (up >> 16))) << 16 | alpha << 24;
  }
}

// ---- TLG6: the residuals of a block are transformed 4 at a time; the prediction runs pixel
// by pixel in the low word of a register.

// The transforms as four fixed steps each, so a block needs no branch on its transform's step
// count: step s adds (v << left | v >> right) & mask, a shift of 64 giving 0, and steps past
// the count have mask 0.
struct alignas(16) TransformStepSse2 {
  uint32_t mask[4];
  uint64_t left[2];
  uint64_t right[2];
};
struct TransformTableSse2 {
  TransformStepSse2 steps[16][4];
};
constexpr TransformTableSse2 buildTransformTable() {
  TransformTableSse2 table{};
  for (int t = 0; t < 16; ++t)
    for (int s = 0; s < 4; ++s) {
      TransformStepSse2& step = table.steps[t][s];
      step.left[0] = step.right[0] = 64;
      if (s >= kTlg6Transforms[t].count) continue;
      const int dst = kTlg6Transforms[t].steps[s].dst, src = kTlg6Transforms[t].steps[s].src;
      if (dst > src)
        step.left[0] = uint64_t(8 * (dst - src));
      else
        step.right[0] = uint64_t(8 * (src - dst));
      for (uint32_t& m : step.mask) m = 0xFFu << (8 * dst);
    }
  return table;
}
constexpr TransformTableSse2 kTransformsSse2 = buildTransformTable();

TLG_SSE2 inline void transformSse2(__m128i& v0, __m128i& v1, const TransformStepSse2* steps) {
  for (int s = 0; s < 4; ++s) {
    const __m128i mask = _mm_load_si128(reinterpret_cast<const __m128i*>(steps[s].mask));
    const __m128i left = _mm_load_si128(reinterpret_cast<const __m128i*>(steps[s].left));
    const __m128i right = _mm_load_si128(reinterpret_cast<const __m128i*>(steps[s].right));
    const __m128i m0 = _mm_or_si128(_mm_sll_epi32(v0, left), _mm_srl_epi32(v0, right));
    const __m128i m1 = _mm_or_si128(_mm_sll_epi32(v1, left), _mm_srl_epi32(v1, right));
    v0 = _mm_add_epi8(v0, _mm_and_si128(m0, mask));
    v1 = _mm_add_epi8(v1, _mm_and_si128(m1, mask));
  }
}

TLG_SSE2 inline __m128i medSse2(__m128i a, __m128i b, __m128i c) {
  const __m128i mx = _mm_max_epu8(a, b), mn = _mm_min_epu8(a, b);
  return _mm_min_epu8(_mm_adds_epu8(mn, _mm_subs_epu8(mx, c)), mx);
}

// Four pixels of a row, each predicted from its left neighbour (lane 0 of `left`), returned
// as one vector (the row below predicts from them).
template <bool kAverage>
TLG_SSE2 inline __m128i fourPixelsKept(__m128i& left, __m128i above, __m128i aboveLeft,
                                       __m128i res) {
  __m128i p[4];
  for (int k = 0; k < 4; ++k) {
    const __m128i pred = kAverage ? _mm_avg_epu8(left, above) : medSse2(left, above, aboveLeft);
    left = p[k] = _mm_add_epi8(pred, res);
    above = _mm_srli_si128(above, 4);
    aboveLeft = _mm_srli_si128(aboveLeft, 4);
    res = _mm_srli_si128(res, 4);
  }
  return _mm_unpacklo_epi64(_mm_unpacklo_epi32(p[0], p[1]), _mm_unpacklo_epi32(p[2], p[3]));
}

// One block's 8 residuals, in pixel order and colour-transformed.
TLG_SSE2 inline void blockResiduals(const uint32_t* p, int forward, uint32_t type, __m128i& r0,
                                    __m128i& r1) {
  r0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  r1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4));
  if (!forward) {
    const __m128i t = _mm_shuffle_epi32(r1, 0x1B);
    r1 = _mm_shuffle_epi32(r0, 0x1B);
    r0 = t;
  }
  if (type >> 1) transformSse2(r0, r1, kTransformsSse2.steps[(type >> 1) & 15]);
}

// One block of 8 pixels of a row from the 8 above (a0, a1) and the one above-left of them
// (lane 0 of aboveLeft); writes them to out and returns them in n0, n1.
TLG_SSE2 inline void blockPixels(__m128i& left, __m128i a0, __m128i a1, __m128i aboveLeft,
                                 __m128i r0, __m128i r1, uint32_t type, uint32_t* out,
                                 __m128i& n0, __m128i& n1) {
  const __m128i c0 = _mm_or_si128(_mm_slli_si128(a0, 4), aboveLeft);
  const __m128i c1 = _mm_or_si128(_mm_slli_si128(a1, 4), _mm_srli_si128(a0, 12));
  if (type & 1) {
    n0 = fourPixelsKept<true>(left, a0, c0, r0);
    n1 = fourPixelsKept<true>(left, a1, c1, r1);
  } else {
    n0 = fourPixelsKept<false>(left, a0, c0, r0);
    n1 = fourPixelsKept<false>(left, a1, c1, r1);
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out), n0);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4), n1);
}

}  // namespace

void Tlg5ComposeRow3Sse2(uint32_t* row, const uint32_t* above, const uint8_t* const* planes,
                         int32_t width) {
  composeSse2<false>(row, above, planes, width);
}

void Tlg5ComposeRow4Sse2(uint32_t* row, const uint32_t* above, const uint8_t* const* planes,
                         int32_t width) {
  composeSse2<true>(row, above, planes, width);
}

// Blocks firstBlock .. blockLimit - 1 must all be 8 pixels wide.
TLG_SSE2 uint32_t Tlg6DecodeRowSse2(const uint32_t* above, uint32_t* row, int32_t width,
                                    int32_t firstBlock, int32_t blockLimit,
                                    const uint8_t* filterTypes, int32_t blockStride,
                                    const uint32_t* residuals, uint32_t initialPixel,
                                    int32_t oddSkip, int forward) {
  (void)width;
  __m128i left = _mm_cvtsi32_si128(int(initialPixel)), aboveLeft = left;
  if (firstBlock > 0) {
    left = _mm_cvtsi32_si128(int(row[8 * firstBlock - 1]));
    aboveLeft = _mm_cvtsi32_si128(int(above[8 * firstBlock - 1]));
  }
  for (int32_t i = firstBlock; i < blockLimit; ++i) {
    const uint32_t type = filterTypes[i];
    __m128i r0, r1;
    blockResiduals(residuals + std::ptrdiff_t(i) * blockStride +
                       ((i & 1) ? std::ptrdiff_t(oddSkip) * 8 : 0),
                   forward, type, r0, r1);
    const uint32_t* up = above + 8 * i;
    const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(up));
    const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(up + 4));
    __m128i n0, n1;
    blockPixels(left, a0, a1, aboveLeft, r0, r1, type, row + 8 * i, n0, n1);
    aboveLeft = _mm_srli_si128(a1, 12);
  }
  return uint32_t(_mm_cvtsi128_si32(left));
}

// Block by block, the first row's block and then the second row's from it in registers: each
// row's pixels wait on their left neighbours, and the two chains are independent, so the
// processor runs them side by side.
TLG_SSE2 void Tlg6DecodeRowPairSse2(const uint32_t* above, uint32_t* rowA, uint32_t* rowB,
                                    int32_t width, int32_t blockLimit,
                                    const uint8_t* filterTypes, int32_t blockStride,
                                    const uint32_t* residualsA, const uint32_t* residualsB,
                                    uint32_t initialPixel, int32_t oddSkipA, int forwardA) {
  (void)width;
  const __m128i initial = _mm_cvtsi32_si128(int(initialPixel));
  __m128i leftA = initial, leftB = initial, aboveLeftA = initial, aboveLeftB = initial;
  const int32_t oddSkipB = oddSkipA - 2;
  const int forwardB = !forwardA;
  for (int32_t i = 0; i < blockLimit; ++i) {
    const uint32_t type = filterTypes[i];
    const std::ptrdiff_t at = std::ptrdiff_t(i) * blockStride;
    __m128i rA0, rA1, rB0, rB1;
    blockResiduals(residualsA + at + ((i & 1) ? std::ptrdiff_t(oddSkipA) * 8 : 0), forwardA,
                   type, rA0, rA1);
    blockResiduals(residualsB + at + ((i & 1) ? std::ptrdiff_t(oddSkipB) * 8 : 0), forwardB,
                   type, rB0, rB1);
    const uint32_t* up = above + 8 * i;
    const __m128i a0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(up));
    const __m128i a1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(up + 4));
    __m128i nA0, nA1, nB0, nB1;
    blockPixels(leftA, a0, a1, aboveLeftA, rA0, rA1, type, rowA + 8 * i, nA0, nA1);
    blockPixels(leftB, nA0, nA1, aboveLeftB, rB0, rB1, type, rowB + 8 * i, nB0, nB1);
    aboveLeftA = _mm_srli_si128(a1, 12);
    aboveLeftB = _mm_srli_si128(nA1, 12);
  }
}

}  // namespace limg

#endif
