// The AVX-512 form of mode 1: sixteen pixels in the 32-bit lanes of a register, the rules of
// the AVX2 form (blend_avx2.cpp) with mask registers for the choices between results.
// Compiled for AVX-512 whatever the build's baseline and called only when the processor
// reports it. Bit for bit the one-pixel path of blend.cpp.
#include "image/ops/blend_avx512.h"

#ifdef BLEND_HAVE_AVX512
// GCC 12's AVX-512 header fills unused result lanes with an "undefined" vector, which its
// flow analysis reports as used uninitialised once the intrinsics are inlined.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <immintrin.h>

namespace limg {

namespace ops {

namespace {

#define BLEND_AVX512 __attribute__((target("avx512f,avx512bw")))

BLEND_AVX512 inline __m512i sourceAlpha16(__m512i s, bool full, uint32_t opacity) {
  const __m512i as = _mm512_srli_epi32(s, 24);
  return full ? as : _mm512_srli_epi32(_mm512_mullo_epi16(as, _mm512_set1_epi32(int32_t(opacity))), 8);
}

// mix(s, d, as) with alpha 255: s * as + d * (255 - as) - 32640 from one multiply-add of
// byte pairs per half, as in normalOverOpaque8 of the AVX2 form.
BLEND_AVX512 inline __m512i overOpaque16(__m512i s, __m512i d, __m512i as) {
  const __m512i bias = _mm512_set1_epi8(-128);
  const __m512i sb = _mm512_xor_si512(s, bias), db = _mm512_xor_si512(d, bias);
  const __m512i spreadLo = _mm512_set4_epi32(0x04040404, 0x04040404, 0, 0);
  const __m512i spreadHi = _mm512_set4_epi32(0x0C0C0C0C, 0x0C0C0C0C, 0x08080808, 0x08080808);
  const __m512i odd = _mm512_set1_epi16(int16_t(0xFF00));
  const __m512i wLo = _mm512_xor_si512(_mm512_shuffle_epi8(as, spreadLo), odd);
  const __m512i wHi = _mm512_xor_si512(_mm512_shuffle_epi8(as, spreadHi), odd);
  const __m512i c32641 = _mm512_set1_epi16(32641), c257 = _mm512_set1_epi16(257);
  const __m512i lo = _mm512_maddubs_epi16(wLo, _mm512_unpacklo_epi8(sb, db));
  const __m512i hi = _mm512_maddubs_epi16(wHi, _mm512_unpackhi_epi8(sb, db));
  const __m512i mixLo = _mm512_mulhi_epu16(_mm512_add_epi16(lo, c32641), c257);
  const __m512i mixHi = _mm512_mulhi_epu16(_mm512_add_epi16(hi, c32641), c257);
  return _mm512_or_si512(_mm512_packus_epi16(mixLo, mixHi), _mm512_set1_epi32(int32_t(0xFF000000u)));
}

// d + floor((s - d) * w / 256) in 16-bit lanes, given s, d below 256 and 128 * w.
BLEND_AVX512 inline __m512i lerp16(__m512i s, __m512i d, __m512i w128) {
  const __m512i diff = _mm512_sub_epi16(s, d);
  return _mm512_add_epi16(d, _mm512_mulhi_epi16(_mm512_add_epi16(diff, diff), w128));
}

// Over translucent destination pixels, the rules of normalOverTranslucent8 of the AVX2 form:
// the result alpha A from one high product, the weight 256 * as / A rounded to the nearest
// integer (never a whole number and a half, at least 1/510 from one), at most 255. The
// rounding is the conversion's own, not the one the thread's control word sets. Lanes with
// as = 0 skip the division (A may be 0 there) and keep the pixel through weight 0.
BLEND_AVX512 inline __m512i overTranslucent16(__m512i s, __m512i d, __m512i as, __mmask16 shown, bool full) {
  const __m512i c255 = _mm512_set1_epi32(255), c128 = _mm512_set1_epi32(128);
  const __m512i ad = _mm512_srli_epi32(d, 24);
  const __m512i y1 = _mm512_add_epi32(_mm512_mullo_epi16(ad, _mm512_sub_epi32(c255, as)), c128);
  const __m512i A = _mm512_add_epi32(as, _mm512_mulhi_epu16(y1, _mm512_set1_epi32(257)));
  const __m512 quotient =
      _mm512_maskz_div_ps(shown, _mm512_cvtepi32_ps(_mm512_slli_epi32(as, 8)), _mm512_cvtepi32_ps(A));
  const __m512i weight =
      _mm512_min_epi32(_mm512_cvt_roundps_epi32(quotient, _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC), c255);
  const __m512i spread = _mm512_set4_epi32(0x0D0C0D0C, 0x09080908, 0x05040504, 0x01000100);
  const __m512i ws = _mm512_shuffle_epi8(_mm512_slli_epi32(weight, 7), spread);
  const __m512i low = _mm512_set1_epi32(0x00FF00FF);
  const __m512i br = lerp16(_mm512_and_si512(s, low), _mm512_and_si512(d, low), ws);
  const __m512i ga = _mm512_mask_blend_epi16(__mmask32(0xAAAAAAAAu),
                                             lerp16(_mm512_srli_epi16(s, 8), _mm512_srli_epi16(d, 8), ws),
                                             _mm512_slli_epi32(A, 16));
  const __m512i blended = _mm512_or_si512(br, _mm512_slli_epi16(ga, 8));
  // ad = 0 or as = 255: ad * (255 - as) = 0, y1 = 128; only where the source shows.
  const __mmask16 take = _mm512_mask_cmpeq_epi32_mask(shown, y1, c128);
  const __m512i source =
      full ? s : _mm512_or_si512(_mm512_and_si512(s, _mm512_set1_epi32(0x00FFFFFF)), _mm512_slli_epi32(as, 24));
  return _mm512_mask_blend_epi32(take, blended, source);
}

// One group of up to sixteen pixels, those of `lanes`: the others are neither read nor written.
BLEND_AVX512 inline void normalGroup16(uint32_t* to, const uint32_t* from, __mmask16 lanes, bool full,
                                       uint32_t opacity) {
  const __m512i opaqueAlpha = _mm512_set1_epi32(int32_t(0xFF000000u));
  const __m512i s = _mm512_maskz_loadu_epi32(lanes, from);
  const __m512i as = sourceAlpha16(s, full, opacity);
  const __mmask16 shown = _mm512_test_epi32_mask(as, as);
  if (shown == 0) return;  // nothing shows: every pixel stays
  __m512i out;
  if (full && _mm512_mask_cmpge_epu32_mask(lanes, s, opaqueAlpha) == lanes) {
    out = s;  // all opaque: the source replaces the pixels
  } else {
    const __m512i d = _mm512_maskz_loadu_epi32(lanes, to);
    const __mmask16 opaque = _mm512_cmpge_epu32_mask(d, opaqueAlpha);
    if (opaque == 0xFFFF) {
      out = overOpaque16(s, d, as);
    } else {
      out = overTranslucent16(s, d, as, shown, full);
      if (opaque) out = _mm512_mask_blend_epi32(opaque, out, overOpaque16(s, d, as));
    }
  }
  _mm512_mask_storeu_epi32(to, lanes, out);
}

}  // namespace

BLEND_AVX512 void blendNormalRowAvx512(uint32_t* to, const uint32_t* from, int32_t n, bool full, uint32_t opacity) {
  int32_t i = 0;
  for (; i + 16 <= n; i += 16) {
    // Both rows asked for 512 bytes ahead: the processor's own prefetching alone left
    // the loop waiting on memory, by up to half its time depending on where the two
    // pictures lie relative to each other (a prefetch past the row's end is harmless).
    _mm_prefetch(reinterpret_cast<const char*>(from + i + 128), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(to + i + 128), _MM_HINT_T0);
    normalGroup16(to + i, from + i, 0xFFFF, full, opacity);
  }
  if (i < n) normalGroup16(to + i, from + i, __mmask16((1u << (n - i)) - 1), full, opacity);
}

}  // namespace ops

}  // namespace limg

#endif
