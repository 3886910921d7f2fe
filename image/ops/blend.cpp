// BLD: one image blended onto another at a position, in the numbered modes, with opacity.
// Per pixel only table lookups, integer products, sums and shifts. The fully opaque and
// transparent cases have their own rules; since a layer's alphas follow no pattern, the
// rule is picked by mask rather than by branch. Where the processor has AVX-512, mode 1 runs
// sixteen pixels at a time; with AVX2 every mode runs eight (the table modes with gathered
// table walks, mode 1 computing its two table values by the rules that built them);
// otherwise mode 1 runs four at a time on SSE2. Every form is bit for bit the one-pixel path.
#include <cstdio>
#include <cstring>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include "image/ops/blend_avx2.h"
#include "image/ops/blend_avx512.h"
#include "image/ops/blend_tables.h"
#include "image/ops/ops.h"
#include "image/ops/ops_internal.h"

namespace limg {

namespace {

// ((v * a + w * (255 - a) + 1) * 257) >> 16: v weighted by a/255 against w.
inline uint32_t mix(uint32_t v, uint32_t w, uint32_t a) {
  return ((v * a + w * (255 - a) + 1) * 257) >> 16;
}

inline uint32_t channel(uint32_t p, int shift) { return (p >> shift) & 255; }

// Checks and places src on dst; then calls op(dstRow, srcRow, width) for each overlap row.
template <class RowOp>
int placeRows(Image* dst, const Image* src, int32_t x, int32_t y, RowOp op) {
  return ops::forEachOverlapRow("-BLD: ", dst, src, x, y, op);
}

#ifdef __SSE2__
// Mode 1 on four pixels at once, bit for bit the scalar rules: destination pixels of
// alpha 255 take mix(s, d, as), the others NormalMode::translucentPixel.
inline __m128i alphaMask() { return _mm_set1_epi32(int32_t(0xFF000000u)); }

// mix(s, d, as) in 16-bit lanes; every intermediate fits: s * as + d * (255 - as) + 1 <= 65026.
inline __m128i normalOverOpaque4(__m128i s, __m128i d, bool full, uint32_t opacity) {
  const __m128i zero = _mm_setzero_si128(), c255 = _mm_set1_epi16(255);
  const __m128i one = _mm_set1_epi16(1), c257 = _mm_set1_epi16(257);
  __m128i halves[2];
  for (int h = 0; h < 2; ++h) {
    const __m128i sw = h ? _mm_unpackhi_epi8(s, zero) : _mm_unpacklo_epi8(s, zero);
    const __m128i dw = h ? _mm_unpackhi_epi8(d, zero) : _mm_unpacklo_epi8(d, zero);
    __m128i a = _mm_shufflehi_epi16(_mm_shufflelo_epi16(sw, _MM_SHUFFLE(3, 3, 3, 3)), _MM_SHUFFLE(3, 3, 3, 3));
    if (!full) a = _mm_srli_epi16(_mm_mullo_epi16(a, _mm_set1_epi16(int16_t(opacity))), 8);
    const __m128i sum = _mm_add_epi16(
        _mm_add_epi16(_mm_mullo_epi16(sw, a), _mm_mullo_epi16(dw, _mm_sub_epi16(c255, a))), one);
    halves[h] = _mm_mulhi_epu16(sum, c257);
  }
  return _mm_or_si128(_mm_packus_epi16(halves[0], halves[1]), alphaMask());
}

// The translucent rule: weights from the tables one pixel at a time, the channels
// (d * (256 - w) + s * w) >> 8 in 16-bit lanes (at most 65280). Vectors are built from
// registers, not from small stores, which a wide load could not take over.
inline __m128i normalOverTranslucent4(const uint32_t* to, const uint32_t* from, __m128i s, __m128i d,
                                      bool full, uint32_t opacity, const ops::BlendTables& t) {
  uint32_t A[4], w[4];
  for (int p = 0; p < 4; ++p) {
    const uint32_t as = full ? from[p] >> 24 : (opacity * (from[p] >> 24)) >> 8, ad = to[p] >> 24;
    A[p] = t.overAlpha[as * 256 + ad];
    w[p] = t.overWeight[A[p] * 256 + as];
  }
  // Effective source alpha per lane: as * opacity fits the low 16 bits of each 32-bit lane.
  __m128i as = _mm_srli_epi32(s, 24);
  if (!full) as = _mm_srli_epi32(_mm_mullo_epi16(as, _mm_set1_epi32(int32_t(opacity))), 8);
  const __m128i ad = _mm_srli_epi32(d, 24), zero = _mm_setzero_si128();
  const __m128i take = _mm_andnot_si128(
      _mm_cmpeq_epi32(as, zero),
      _mm_or_si128(_mm_cmpeq_epi32(ad, zero), _mm_cmpeq_epi32(as, _mm_set1_epi32(255))));
  const __m128i source = _mm_or_si128(_mm_andnot_si128(alphaMask(), s), _mm_slli_epi32(as, 24));
  const __m128i c256 = _mm_set1_epi16(256);
  __m128i halves[2];
  for (int h = 0; h < 2; ++h) {
    const __m128i sw = h ? _mm_unpackhi_epi8(s, zero) : _mm_unpacklo_epi8(s, zero);
    const __m128i dw = h ? _mm_unpackhi_epi8(d, zero) : _mm_unpacklo_epi8(d, zero);
    const int16_t w0 = int16_t(w[2 * h]), w1 = int16_t(w[2 * h + 1]);
    const __m128i ws = _mm_setr_epi16(w0, w0, w0, w0, w1, w1, w1, w1);
    const __m128i sum = _mm_add_epi16(_mm_mullo_epi16(dw, _mm_sub_epi16(c256, ws)), _mm_mullo_epi16(sw, ws));
    halves[h] = _mm_srli_epi16(sum, 8);
  }
  const __m128i alpha = _mm_setr_epi32(int32_t(A[0] << 24), int32_t(A[1] << 24), int32_t(A[2] << 24),
                                       int32_t(A[3] << 24));
  const __m128i blended =
      _mm_or_si128(_mm_andnot_si128(alphaMask(), _mm_packus_epi16(halves[0], halves[1])), alpha);
  return _mm_or_si128(_mm_and_si128(take, source), _mm_andnot_si128(take, blended));
}

inline void normalOver4(uint32_t* to, const uint32_t* from, bool full, uint32_t opacity,
                        const ops::BlendTables& t) {
  const __m128i d = _mm_loadu_si128(reinterpret_cast<const __m128i*>(to));
  const __m128i s = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
  const __m128i opaque = _mm_cmpeq_epi32(_mm_and_si128(d, alphaMask()), alphaMask());
  const int kinds = _mm_movemask_epi8(opaque);
  __m128i out;
  if (kinds == 0xFFFF) {
    out = normalOverOpaque4(s, d, full, opacity);
  } else {
    out = normalOverTranslucent4(to, from, s, d, full, opacity, t);
    if (kinds != 0)
      out = _mm_or_si128(_mm_and_si128(opaque, normalOverOpaque4(s, d, full, opacity)),
                         _mm_andnot_si128(opaque, out));
  }
  _mm_storeu_si128(reinterpret_cast<__m128i*>(to), out);
}
#endif

ops::BlendForm widestForm = ops::BlendForm::kAvx512;

bool available(ops::BlendForm form) {
  switch (form) {
    case ops::BlendForm::kOnePixel: return true;
#ifdef __SSE2__
    case ops::BlendForm::kSse2: return true;
#endif
#ifdef BLEND_HAVE_AVX2
    case ops::BlendForm::kAvx2: {
      static const bool has = __builtin_cpu_supports("avx2");
      return has;
    }
#endif
#ifdef BLEND_HAVE_AVX512
    case ops::BlendForm::kAvx512: {
      static const bool has = __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512bw");
      return has;
    }
#endif
    default: return false;
  }
}

[[maybe_unused]] bool use(ops::BlendForm form) { return form <= widestForm && available(form); }

// Modes 1-21: the effective source alpha and the opaque-destination case shared by all of
// them; Mode supplies its channel rule there (overOpaque) and the translucent cases.
template <class Mode>
int blendPixels(Image* dst, const Image* src, int32_t x, int32_t y, uint32_t opacity,
                const Mode& mode) {
  const bool full = opacity >= 256;
  // Four at a time reads ahead of the pixels it writes; an image blended onto itself keeps
  // the strict left-to-right order of the scalar loop.
  [[maybe_unused]] const bool fourAtATime = !dst || !src || dst->pixels != src->pixels;
  return placeRows(dst, src, x, y, [&](uint32_t* to, const uint32_t* from, int32_t n) {
    if (opacity == 0) return;
    int32_t i = 0;
#ifdef BLEND_HAVE_AVX512
    if constexpr (Mode::kNormal)
      if (fourAtATime && use(ops::BlendForm::kAvx512)) {
        ops::blendNormalRowAvx512(to, from, n, full, opacity);  // the whole row
        return;
      }
#endif
#ifdef BLEND_HAVE_AVX2
    if (fourAtATime && use(ops::BlendForm::kAvx2)) {
      if constexpr (Mode::kNormal)
        i = ops::blendNormalRowAvx2(to, from, n, full, opacity);
      else
        i = ops::blendSeparableRowAvx2(to, from, n, full, opacity, mode.t, mode.table);
    }
#endif
#ifdef __SSE2__
    if constexpr (Mode::kNormal)
      if (fourAtATime && use(ops::BlendForm::kSse2))
        for (; i + 4 <= n; i += 4) normalOver4(to + i, from + i, full, opacity, mode.t);
#endif
    for (; i < n; ++i) {
      const uint32_t sp = from[i];
      uint32_t as = sp >> 24;
      if (!full) {
        const uint32_t scaled = opacity * as;
        as = scaled >> 8;  // 0 exactly when the pixel is skipped (scaled <= 255)
      }
      const uint32_t dp = to[i];
      const uint32_t ad = dp >> 24;
      if (ad == 255) {
        // Opaque destination, without branches on the source alpha: mix(b, d, as) is d for
        // as = 0 (the skipped pixel) and b for as = 255, the results of those two cases.
        uint32_t out = 0xFF000000u;
        for (int k = 0; k < 24; k += 8)
          out |= mode.overOpaque(channel(dp, k), channel(sp, k), as) << k;
        to[i] = out;
        continue;
      }
      to[i] = mode.translucentPixel(dp, sp, as, ad);
    }
  });
}

// Mode 1, normal: source over destination.
struct NormalMode {
  static constexpr bool kNormal = true;
  const ops::BlendTables& t;
  struct Weights {
    uint32_t alpha;
    int32_t w;  // weight of the source colour out of 256
  };
  uint32_t overOpaque(uint32_t d, uint32_t s, uint32_t as) const { return mix(s, d, as); }
  Weights weights(uint32_t as, uint32_t ad) const {
    const uint32_t A = t.overAlpha[as * 256 + ad];
    return {A, t.overWeight[A * 256 + as]};
  }
  // A destination alpha below 255, without branches on the alphas. The rule
  // d + (((s - d) * w) >> 8) (>> rounding down) also gives the unchanged pixel for as = 0
  // (weight 0, alpha ad); the cases ad = 0 and as = 255 take the source colour with alpha as.
  uint32_t translucentPixel(uint32_t dp, uint32_t sp, uint32_t as, uint32_t ad) const {
    const Weights w = weights(as, ad);
    // d + ((s - d) * w >> 8) equals (d * (256 - w) + s * w) >> 8, whose sum never exceeds
    // 16 bits; so blue and red share one product.
    const uint32_t ws = uint32_t(w.w), wd = 256 - ws;
    const uint32_t br = (((dp & 0x00FF00FFu) * wd + (sp & 0x00FF00FFu) * ws) >> 8) & 0x00FF00FFu;
    const uint32_t g = (((dp >> 8) & 0xFFu) * wd + ((sp >> 8) & 0xFFu) * ws) & 0xFF00u;
    const uint32_t out = w.alpha << 24 | br | g;
    const uint32_t source = (sp & 0xFFFFFFu) | as << 24;
    const uint32_t take = 0u - uint32_t((as != 0) & ((ad == 0) | (as == 255)));  // all ones or 0
    return (source & take) | (out & ~take);
  }
};

// Modes 2-21: the mode's blendTable for the covered part, plain source over the rest.
struct SeparableMode {
  static constexpr bool kNormal = false;
  const ops::BlendTables& t;
  const uint8_t* table;
  struct Weights {
    uint32_t alpha;
    uint32_t sourceOnly, shared, destOnly;
    int32_t reciprocal;
  };
  uint32_t blended(uint32_t d, uint32_t s) const { return table[d * 256 + s]; }
  uint32_t overOpaque(uint32_t d, uint32_t s, uint32_t as) const { return mix(blended(d, s), d, as); }
  Weights weights(uint32_t as, uint32_t ad) const {
    const uint32_t o = t.destWeight[as * 256 + ad];
    const uint32_t c = t.coverage[as * 256 + ad];
    const uint32_t A = as + o;
    return {A, as - c, c, o, t.reciprocal[A]};
  }
  // A destination alpha below 255. All candidate results are computed and one is picked by
  // mask, as the source alphas of a layer follow no pattern a branch could predict:
  // as = 0 keeps the pixel, ad = 0 takes the source with alpha as, as = 255 gives
  // mix(b, s, ad) with alpha 255, anything else the general rule with alpha A.
  uint32_t translucentPixel(uint32_t dp, uint32_t sp, uint32_t as, uint32_t ad) const {
    const Weights w = weights(as, ad);
    uint32_t general = w.alpha << 24, under = 0xFF000000u;
    for (int k = 0; k < 24; k += 8) {
      const uint32_t d = channel(dp, k), s = channel(sp, k), b = blended(d, s);
      const uint32_t sum = s * w.sourceOnly + b * w.shared + d * w.destOnly + 1;
      general |= ((sum * uint32_t(w.reciprocal)) >> 16) << k;
      under |= mix(b, s, ad) << k;
    }
    const uint32_t source = (sp & 0xFFFFFFu) | as << 24;
    const uint32_t keep = 0u - uint32_t(as == 0);
    const uint32_t fresh = ~keep & (0u - uint32_t(ad == 0));
    const uint32_t opaque = ~keep & ~fresh & (0u - uint32_t(as == 255));
    const uint32_t rest = ~(keep | fresh | opaque);
    return (dp & keep) | (source & fresh) | (under & opaque) | (general & rest);
  }
};

template <int Mode>
int blendSeparable(Image* dst, const Image* src, int32_t x, int32_t y, uint32_t opacity) {
  static_assert(Mode >= 2 && Mode < kBlendModeCount && Mode != 11, "a mode with its own table");
  const SeparableMode mode{ops::blendTables(), ops::blendTableOf(Mode)};
  return blendPixels(dst, src, x, y, opacity, mode);
}

}  // namespace

void ops::blendLimitForms(BlendForm widest) { widestForm = widest; }

bool ops::blendHasForm(BlendForm form) { return available(form); }

int ImageBlendReplace(Image* dst, const Image* src, int32_t x, int32_t y, uint32_t opacity) {
  return placeRows(dst, src, x, y, [opacity](uint32_t* to, const uint32_t* from, int32_t n) {
    if (opacity >= 256) {
      std::memmove(to, from, std::size_t(n) * 4);  // dst and src may be one image
    } else if (opacity > 0) {
      for (int32_t i = 0; i < n; ++i)
        to[i] = (from[i] & 0xFFFFFFu) | ((opacity * (from[i] >> 24)) >> 8) << 24;
    }
  });
}

int ImageBlendNormal(Image* dst, const Image* src, int32_t x, int32_t y, uint32_t opacity) {
  const NormalMode mode{ops::blendTables()};
  return blendPixels(dst, src, x, y, opacity, mode);
}

const ImageBlendFunction ImageBlendFunctions[kBlendModeCount] = {
    ImageBlendReplace,    ImageBlendNormal,     blendSeparable<2>,  blendSeparable<3>,
    blendSeparable<4>,    blendSeparable<5>,    blendSeparable<6>,  blendSeparable<7>,
    blendSeparable<8>,    blendSeparable<9>,    blendSeparable<10>,
    blendSeparable<2>,  // 11: linear dodge is add
    blendSeparable<12>,   blendSeparable<13>,   blendSeparable<14>, blendSeparable<15>,
    blendSeparable<16>,   blendSeparable<17>,   blendSeparable<18>, blendSeparable<19>,
    blendSeparable<20>,   blendSeparable<21>,
};

const ImageBlendFunction ImageBlendBasicFunctions[2] = {ImageBlendNormal, blendSeparable<4>};

}  // namespace limg
