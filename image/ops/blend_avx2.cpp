// The AVX2 forms of blending: eight pixels in the 32-bit lanes of a register, compiled for
// AVX2 whatever the build's baseline and called only when the processor reports it. Every
// form is bit for bit the one-pixel path of blend.cpp.
#include "image/ops/blend_avx2.h"

#ifdef BLEND_HAVE_AVX2
#include <immintrin.h>

namespace limg {

namespace ops {

namespace {

#define BLEND_AVX2 __attribute__((target("avx2")))

BLEND_AVX2 inline __m256i alphaMask8() { return _mm256_set1_epi32(int32_t(0xFF000000u)); }

// Effective source alpha per lane: as * opacity fits the low 16 bits of each lane.
BLEND_AVX2 inline __m256i sourceAlpha8(__m256i s, bool full, uint32_t opacity) {
  const __m256i as = _mm256_srli_epi32(s, 24);
  return full ? as : _mm256_srli_epi32(_mm256_mullo_epi16(as, _mm256_set1_epi32(int32_t(opacity))), 8);
}

// mix(v, w, a) per lane, all three below 256: the sum stays below 65536, so 16-bit products
// of the low halves (the high halves are zero) are exact.
BLEND_AVX2 inline __m256i mix8(__m256i v, __m256i w, __m256i a) {
  const __m256i sum = _mm256_add_epi32(
      _mm256_add_epi32(_mm256_mullo_epi16(v, a),
                       _mm256_mullo_epi16(w, _mm256_sub_epi32(_mm256_set1_epi32(255), a))),
      _mm256_set1_epi32(1));
  return _mm256_mulhi_epu16(sum, _mm256_set1_epi32(257));
}

BLEND_AVX2 inline __m256i channel8(__m256i p, int shift) {
  return _mm256_and_si256(_mm256_srli_epi32(p, shift), _mm256_set1_epi32(255));
}

// One byte per lane from a byte table at the lanes' indices (each load takes 4 bytes; the
// tables are followed by more table data, so none reads past the record).
BLEND_AVX2 inline __m256i gatherBytes(const uint8_t* table, __m256i index) {
  return _mm256_and_si256(_mm256_i32gather_epi32(reinterpret_cast<const int*>(table), index, 1),
                          _mm256_set1_epi32(255));
}

// Mode 1 over opaque destination pixels: mix(s, d, as), alpha 255. Source and destination
// bytes interleaved and less 128 are signed, the weights as and 255 - as (the byte's
// complement) unsigned, so one multiply-add of byte pairs gives s * as + d * (255 - as) - 32640
// in 16 bits without saturating (the magnitude stays within 255 * 128).
BLEND_AVX2 inline __m256i normalOverOpaque8(__m256i s, __m256i d, __m256i as) {
  const __m256i bias = _mm256_set1_epi8(-128);
  const __m256i sb = _mm256_xor_si256(s, bias), db = _mm256_xor_si256(d, bias);
  // Byte 0 of each lane's alpha, twice per channel: pixels 0-1 of each half of the register,
  // then 2-3; the odd bytes complemented.
  const __m256i spreadLo = _mm256_setr_epi8(0, 0, 0, 0, 0, 0, 0, 0, 4, 4, 4, 4, 4, 4, 4, 4,
                                            0, 0, 0, 0, 0, 0, 0, 0, 4, 4, 4, 4, 4, 4, 4, 4);
  const __m256i spreadHi = _mm256_setr_epi8(8, 8, 8, 8, 8, 8, 8, 8, 12, 12, 12, 12, 12, 12, 12, 12,
                                            8, 8, 8, 8, 8, 8, 8, 8, 12, 12, 12, 12, 12, 12, 12, 12);
  const __m256i odd = _mm256_set1_epi16(int16_t(0xFF00));
  const __m256i wLo = _mm256_xor_si256(_mm256_shuffle_epi8(as, spreadLo), odd);
  const __m256i wHi = _mm256_xor_si256(_mm256_shuffle_epi8(as, spreadHi), odd);
  const __m256i c32641 = _mm256_set1_epi16(32641), c257 = _mm256_set1_epi16(257);
  const __m256i lo = _mm256_maddubs_epi16(wLo, _mm256_unpacklo_epi8(sb, db));
  const __m256i hi = _mm256_maddubs_epi16(wHi, _mm256_unpackhi_epi8(sb, db));
  // + 32641: the sum + 1, at most 65026 (unsigned 16 bits).
  const __m256i mixLo = _mm256_mulhi_epu16(_mm256_add_epi16(lo, c32641), c257);
  const __m256i mixHi = _mm256_mulhi_epu16(_mm256_add_epi16(hi, c32641), c257);
  return _mm256_or_si256(_mm256_packus_epi16(mixLo, mixHi), alphaMask8());
}

// d + floor((s - d) * w / 256) in 16-bit lanes, given s, d below 256 and 128 * w (w below 256).
BLEND_AVX2 inline __m256i lerp16(__m256i s, __m256i d, __m256i w128) {
  const __m256i diff = _mm256_sub_epi16(s, d);
  return _mm256_add_epi16(d, _mm256_mulhi_epi16(_mm256_add_epi16(diff, diff), w128));
}

// Mode 1 over translucent destination pixels, the channels (d * (256 - w) + s * w) >> 8, which
// is d + floor((s - d) * w / 256): in 16-bit lanes the high half of (2 * (s - d)) * (128 * w),
// both factors within 16 signed bits. ad = 0 and as = 255 take the source. The two table
// values are computed by the rules the tables were built with, exactly: the result alpha
// A = as + (ad * (255 - as) + 127) / 255, the division by 255 as (y + 1 + (y >> 8)) >> 8;
// the weight (512 * as + A) / (2 * A), at most 255 and 0 for A = 0, is 256 * as / A rounded to
// the nearest integer: that quotient is never a whole number and a half (A would need the
// factor 512), and lies at least 1/510 from one, far more than the error of a single-precision
// division and the addition of 1/2 before truncating. (The test of every alpha pair checks
// all 65536 cases against the tables.)
BLEND_AVX2 inline __m256i normalOverTranslucent8(__m256i s, __m256i d, __m256i as, bool full) {
  const __m256i zero = _mm256_setzero_si256(), c255 = _mm256_set1_epi32(255);
  const __m256i ad = _mm256_srli_epi32(d, 24);
  // y + 1 = ad * (255 - as) + 128 < 65536, and (y + 1 + (y >> 8)) >> 8 = ((y + 1) * 257) >> 16
  // for every such y.
  const __m256i y1 = _mm256_add_epi32(_mm256_mullo_epi16(ad, _mm256_sub_epi32(c255, as)), _mm256_set1_epi32(128));
  const __m256i A = _mm256_add_epi32(as, _mm256_mulhi_epu16(y1, _mm256_set1_epi32(257)));
  // A taken as at least 1: A = 0 (as = ad = 0) then gives weight 0.
  const __m256 quotient = _mm256_div_ps(_mm256_cvtepi32_ps(_mm256_slli_epi32(as, 8)),
                                        _mm256_cvtepi32_ps(_mm256_max_epi32(A, _mm256_set1_epi32(1))));
  const __m256i weight =
      _mm256_min_epi32(_mm256_cvttps_epi32(_mm256_add_ps(quotient, _mm256_set1_ps(0.5f))), c255);
  // Blue and red, green and alpha, in the 16-bit lanes of two vectors; 128 * weight (bytes
  // 0-1 of each lane) in both halves of its pixel's lane.
  const __m256i spread = _mm256_setr_epi8(0, 1, 0, 1, 4, 5, 4, 5, 8, 9, 8, 9, 12, 13, 12, 13,
                                          0, 1, 0, 1, 4, 5, 4, 5, 8, 9, 8, 9, 12, 13, 12, 13);
  const __m256i ws = _mm256_shuffle_epi8(_mm256_slli_epi32(weight, 7), spread);
  const __m256i low = _mm256_set1_epi32(0x00FF00FF);
  const __m256i br = lerp16(_mm256_and_si256(s, low), _mm256_and_si256(d, low), ws);
  const __m256i ga = _mm256_blend_epi16(lerp16(_mm256_srli_epi16(s, 8), _mm256_srli_epi16(d, 8), ws),
                                        _mm256_slli_epi32(A, 16), 0xAA);
  const __m256i blended = _mm256_or_si256(br, _mm256_slli_epi16(ga, 8));
  // ad = 0 or as = 255 exactly when ad * (255 - as) is 0, y1 = 128; as = 0 keeps the pixel.
  const __m256i take =
      _mm256_andnot_si256(_mm256_cmpeq_epi32(as, zero), _mm256_cmpeq_epi32(y1, _mm256_set1_epi32(128)));
  // At full opacity as is the source's own alpha.
  const __m256i source = full ? s : _mm256_or_si256(_mm256_andnot_si256(alphaMask8(), s), _mm256_slli_epi32(as, 24));
  return _mm256_blendv_epi8(blended, source, take);
}

}  // namespace

// Mode 1 over whole groups of eight; returns the count of pixels done.
BLEND_AVX2 int32_t blendNormalRowAvx2(uint32_t* to, const uint32_t* from, int32_t n, bool full, uint32_t opacity) {
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    // Both rows asked for 512 bytes ahead: the processor's own prefetching alone left
    // the loop waiting on memory, by up to half its time depending on where the two
    // pictures lie relative to each other (a prefetch past the row's end is harmless).
    _mm_prefetch(reinterpret_cast<const char*>(from + i + 128), _MM_HINT_T0);
    _mm_prefetch(reinterpret_cast<const char*>(to + i + 128), _MM_HINT_T0);
    const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i));
    const __m256i as = sourceAlpha8(s, full, opacity);
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(to + i));
    const __m256i opaque = _mm256_cmpeq_epi32(_mm256_and_si256(d, alphaMask8()), alphaMask8());
    const uint32_t kinds = uint32_t(_mm256_movemask_epi8(opaque));
    __m256i out;
    if (kinds == 0xFFFFFFFFu) {
      out = normalOverOpaque8(s, d, as);
    } else {
      out = normalOverTranslucent8(s, d, as, full);
      if (kinds != 0) out = _mm256_blendv_epi8(out, normalOverOpaque8(s, d, as), opaque);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + i), out);
  }
  return i;
}

// Modes 2-21 over whole groups of eight, the rules of SeparableMode lane by lane; returns
// the count of pixels done.
BLEND_AVX2 int32_t blendSeparableRowAvx2(uint32_t* to, const uint32_t* from, int32_t n, bool full, uint32_t opacity,
                                 const BlendTables& t, const uint8_t* table) {
  const __m256i zero = _mm256_setzero_si256(), c255 = _mm256_set1_epi32(255);
  int32_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const __m256i d = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(to + i));
    const __m256i s = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(from + i));
    const __m256i as = sourceAlpha8(s, full, opacity), ad = _mm256_srli_epi32(d, 24);
    __m256i dc[3], sc[3], b[3];
    for (int c = 0; c < 3; ++c) {
      dc[c] = channel8(d, 8 * c);
      sc[c] = channel8(s, 8 * c);
      b[c] = gatherBytes(table, _mm256_or_si256(_mm256_slli_epi32(dc[c], 8), sc[c]));
    }
    __m256i over = alphaMask8();  // opaque destination: mix(b, d, as)
    for (int c = 0; c < 3; ++c) over = _mm256_or_si256(over, _mm256_slli_epi32(mix8(b[c], dc[c], as), 8 * c));
    const __m256i opaque = _mm256_cmpeq_epi32(ad, c255);
    if (uint32_t(_mm256_movemask_epi8(opaque)) != 0xFFFFFFFFu) {
      const __m256i pairIndex = _mm256_or_si256(_mm256_slli_epi32(as, 8), ad);
      const __m256i o = gatherBytes(t.destWeight, pairIndex), shared = gatherBytes(t.coverage, pairIndex);
      const __m256i A = _mm256_add_epi32(as, o);
      const __m256i reciprocal = _mm256_i32gather_epi32(t.reciprocal, A, 4);
      const __m256i sourceOnly = _mm256_sub_epi32(as, shared);
      __m256i general = _mm256_slli_epi32(A, 24), under = alphaMask8();
      for (int c = 0; c < 3; ++c) {
        const __m256i sum = _mm256_add_epi32(
            _mm256_add_epi32(_mm256_mullo_epi16(sc[c], sourceOnly), _mm256_mullo_epi16(b[c], shared)),
            _mm256_add_epi32(_mm256_mullo_epi16(dc[c], o), _mm256_set1_epi32(1)));
        general = _mm256_or_si256(general, _mm256_slli_epi32(_mm256_srli_epi32(_mm256_mullo_epi32(sum, reciprocal), 16), 8 * c));
        under = _mm256_or_si256(under, _mm256_slli_epi32(mix8(b[c], sc[c], ad), 8 * c));
      }
      const __m256i source = _mm256_or_si256(_mm256_andnot_si256(alphaMask8(), s), _mm256_slli_epi32(as, 24));
      // The order of SeparableMode::translucentPixel: as = 0 keeps, then ad = 0 takes the
      // source, then as = 255 the mix, the general rule for the rest.
      __m256i result = general;
      result = _mm256_blendv_epi8(result, under, _mm256_cmpeq_epi32(as, c255));
      result = _mm256_blendv_epi8(result, source, _mm256_cmpeq_epi32(ad, zero));
      result = _mm256_blendv_epi8(result, d, _mm256_cmpeq_epi32(as, zero));
      over = _mm256_blendv_epi8(result, over, opaque);
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(to + i), over);
  }
  return i;
}

}  // namespace ops

}  // namespace limg

#endif
