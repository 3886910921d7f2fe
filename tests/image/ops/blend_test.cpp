// BLD: every mode against a floating-point reference, the alpha tables, and the edge cases.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "image/ops/ops_internal.h"
#include "tests/image/ops/ops_test_util.h"

using namespace limg;

namespace {

double clampUnit(double v) { return std::min(1.0, std::max(0.0, v)); }

// The painting-program formulas, written out again on their own (d below, s above, in [0, 1]).
double reference(int mode, double d, double s) {
  auto burn = [](double d, double s) { return d >= 1 ? 1 : s <= 0 ? 0 : 1 - clampUnit((1 - d) / s); };
  auto dodge = [](double d, double s) { return d <= 0 ? 0 : s >= 1 ? 1 : clampUnit(d / (1 - s)); };
  switch (mode) {
    case 2: case 11: return clampUnit(d + s);
    case 3: return clampUnit(d - s);
    case 4: return d * s;
    case 5: return 1 - (1 - d) * (1 - s);
    case 6: return d < 0.5 ? 2 * d * s : 1 - 2 * (1 - d) * (1 - s);
    case 7: return std::min(d, s);
    case 8: return std::max(d, s);
    case 9: return std::fabs(s - d);
    case 10: return d + s - 2 * d * s;
    case 12: return dodge(d, s);
    case 13: return burn(d, s);
    case 14: return clampUnit(d + s - 1);
    case 15: return s < 0.5 ? 2 * d * s : 1 - 2 * (1 - d) * (1 - s);
    case 16:
      if (s < 0.5) return d - (1 - 2 * s) * d * (1 - d);
      return d + (2 * s - 1) * ((d <= 0.25 ? ((16 * d - 12) * d + 4) * d : std::sqrt(d)) - d);
    case 17: return s < 0.5 ? burn(d, 2 * s) : dodge(d, 2 * s - 1);
    case 18: return clampUnit(d + 2 * s - 1);
    case 19: return s < 0.5 ? std::min(d, 2 * s) : std::max(d, 2 * s - 1);
    case 20: return std::lround(255 * d) + std::lround(255 * s) >= 255 ? 1 : 0;
    case 21: return s <= 0 ? (d > 0 ? 1 : 0) : clampUnit(d / s);
    default: return s;  // normal
  }
}

const char* const kNames[kBlendModeCount] = {
    "replace", "normal", "add", "subtract", "multiply", "screen", "overlay", "darken",
    "lighten", "difference", "exclusion", "linear-dodge", "color-dodge", "color-burn",
    "linear-burn", "hard-light", "soft-light", "vivid-light", "linear-light", "pin-light",
    "hard-mix", "divide"};

// The row forms this processor has, each with the forms limited to it; the widest again at
// the end.
template <class F>
void forEachForm(F f) {
  for (ops::BlendForm form : ops::kBlendForms)
    if (ops::blendHasForm(form)) {
      ops::blendLimitForms(form);
      f(form);
    }
  ops::blendLimitForms(ops::BlendForm::kAvx512);
}

// Expected pixel of modes 1-21 for one source and destination pixel: straight-alpha source
// over with the blended colour on the shared area. The alpha weights are 8-bit values
// (source-over areas rounded to the nearest integer, as the tables store them); the colour
// is computed in floating point and rounded. Returns false when the pixel is skipped.
bool expectedPixel(int mode, uint32_t sp, uint32_t dp, uint32_t opacity, uint32_t* out) {
  uint32_t as = sp >> 24;
  if (opacity >= 256) {
    if (as == 0) return false;
  } else {
    if (opacity * as <= 255) return false;
    as = opacity * as >> 8;
  }
  const uint32_t ad = dp >> 24;
  const double shared = std::floor(as * ad / 255.0 + 0.5);
  const double destOnly = std::floor(ad * (255 - as) / 255.0 + 0.5);
  const double sourceOnly = as - shared, A = as + destOnly;
  uint32_t result = uint32_t(A) << 24;
  for (int k = 0; k < 24; k += 8) {
    const double s = (sp >> k) & 255, d = (dp >> k) & 255;
    const double b = 255 * reference(mode, d / 255, s / 255);
    const double c = (s * sourceOnly + b * shared + d * destOnly) / A;
    result |= uint32_t(std::floor(c + 0.5)) << k;
  }
  *out = result;
  return true;
}

// Within 1 in each colour byte, alpha exact.
::testing::AssertionResult closeTo(uint32_t got, uint32_t want) {
  if ((got >> 24) != (want >> 24)) return ::testing::AssertionFailure() << "alpha";
  for (int k = 0; k < 24; k += 8) {
    const int g = (got >> k) & 255, w = (want >> k) & 255;
    if (std::abs(g - w) > 1) return ::testing::AssertionFailure() << "byte " << k / 8;
  }
  return ::testing::AssertionSuccess();
}

// All 65536 alpha pairs with random colours: source alpha = column and destination alpha =
// row, or (transposed) the other way round, so that neighbouring destination pixels differ.
void checkAgainstReference(int mode, uint32_t opacity, uint32_t seed, bool transposed = false) {
  std::mt19937 rng(seed);
  auto alpha = [&](int32_t x, int32_t y, bool source) { return uint32_t(source != transposed ? x : y) << 24; };
  Owned src(makeImage(256, 256, [&](int32_t x, int32_t y) { return (rng() & 0xFFFFFFu) | alpha(x, y, true); }));
  Owned dst(makeImage(256, 256, [&](int32_t x, int32_t y) { return (rng() & 0xFFFFFFu) | alpha(x, y, false); }));
  const std::string before = pixelsOf(dst.get());
  const uint32_t* old = reinterpret_cast<const uint32_t*>(before.data());
  ASSERT_EQ(ImageBlendFunctions[mode](dst.get(), src.get(), 0, 0, opacity), 1);
  int failures = 0;
  for (int i = 0; i < 65536 && failures < 5; ++i) {
    uint32_t want = old[i];
    expectedPixel(mode, src->pixels[i], old[i], opacity, &want);
    const auto close = closeTo(dst->pixels[i], want);
    if (!close) {
      ++failures;
      ADD_FAILURE() << close.message() << " mode " << mode << " opacity " << opacity << std::hex
                    << " src " << src->pixels[i] << " dst " << old[i] << " got " << dst->pixels[i]
                    << " want " << want;
    }
  }
}

TEST(ImageBlend, EveryModeMatchesItsFormulaForEveryAlphaPair) {
  for (int mode = 1; mode < kBlendModeCount; ++mode) {
    checkAgainstReference(mode, 256, 100 + mode);
    checkAgainstReference(mode, 1000, 200 + mode);
    checkAgainstReference(mode, 1 + (mode * 37) % 255, 300 + mode);
    checkAgainstReference(mode, 256, 400 + mode, true);
    checkAgainstReference(mode, 1 + (mode * 53) % 255, 500 + mode, true);
  }
}

// Rows are blended several pixels at a time where the processor allows (sixteen with
// AVX-512, eight with AVX2, four with SSE2); a row of one pixel takes the plain path. Every
// form must agree with it bit for bit in every mode, also for mixed groups of opaque and
// translucent destination pixels, and for runs of transparent and of opaque source pixels
// (whole groups of them in the first rows).
TEST(ImageBlend, WholeRowsEqualPixelByPixel) {
  std::mt19937 rng(29);
  auto anyAlpha = [&](int32_t, int32_t) {
    const uint32_t kinds[4] = {0, 255, 1 + uint32_t(rng() % 254), uint32_t(rng() % 256)};
    return (uint32_t(rng()) & 0xFFFFFFu) | kinds[rng() % 4] << 24;
  };
  auto runs = [&](int32_t x, int32_t y) {
    const uint32_t colour = uint32_t(rng()) & 0xFFFFFFu;
    return y >= 2 ? anyAlpha(x, y) : x < 16 ? colour : colour | 0xFF000000u;
  };
  // 67 and 31 pixels a row: every form ends a row on a partial group (of 15 with AVX-512).
  for (int32_t width : {67, 31}) {
  Owned src(makeImage(width, 9, runs));
  forEachForm([&](ops::BlendForm form) {
    for (int mode = 0; mode < kBlendModeCount; ++mode)
      for (uint32_t opacity : {256u, 100u, 1u, 255u}) {
        Owned dst(makeImage(width, 9, anyAlpha));
        const std::string before = pixelsOf(dst.get());
        ASSERT_EQ(ImageBlendFunctions[mode](dst.get(), src.get(), 0, 0, opacity), 1);
        for (int i = 0; i < dst->pixelCount; ++i) {
          Owned one(solidImage(1, 1, reinterpret_cast<const uint32_t*>(before.data())[i]));
          Owned sp(solidImage(1, 1, src->pixels[i]));
          ASSERT_EQ(ImageBlendFunctions[mode](one.get(), sp.get(), 0, 0, opacity), 1);
          ASSERT_EQ(dst->pixels[i], one->pixels[0]) << "mode " << mode << " opacity " << opacity
                                                    << " pixel " << i << " form " << int(form);
        }
      }
  });
  }
}

// Every pair of source and destination alpha through the row forms, bit for bit the
// one-pixel path (the vector forms compute some table values by the tables' own rules).
TEST(ImageBlend, EveryAlphaPairEqualsPixelByPixel) {
  std::mt19937 rng(31);
  auto byAlpha = [&](uint32_t a) { return (uint32_t(rng()) & 0xFFFFFFu) | a << 24; };
  Owned src(makeImage(256, 256, [&](int32_t x, int32_t) { return byAlpha(uint32_t(x)); }));
  Owned one(solidImage(1, 1, 0)), sp(solidImage(1, 1, 0));
  forEachForm([&](ops::BlendForm form) {
  for (int mode : {1, 4, 14})
    for (uint32_t opacity : {256u, 77u}) {
      Owned dst(makeImage(256, 256, [&](int32_t, int32_t y) { return byAlpha(uint32_t(y)); }));
      const std::string before = pixelsOf(dst.get());
      ASSERT_EQ(ImageBlendFunctions[mode](dst.get(), src.get(), 0, 0, opacity), 1);
      for (int i = 0; i < dst->pixelCount; ++i) {
        one->pixels[0] = reinterpret_cast<const uint32_t*>(before.data())[i];
        sp->pixels[0] = src->pixels[i];
        ASSERT_EQ(ImageBlendFunctions[mode](one.get(), sp.get(), 0, 0, opacity), 1);
        ASSERT_EQ(dst->pixels[i], one->pixels[0]) << "mode " << mode << " opacity " << opacity << " pixel " << i
                                                  << " form " << int(form);
      }
    }
  });
}

// Over an opaque destination every (source alpha, source byte, destination byte) triple, all
// 2^24 of them, through the row forms and through the one-pixel path (a one-pixel-wide image
// blends a row of one pixel at a time): the three colour bytes of a pixel carry three of the
// 65536 byte pairs, the row of the image its source alpha.
TEST(ImageBlend, EveryColourAndAlphaOverOpaqueEqualsPixelByPixel) {
  constexpr int32_t kPerAlpha = (65536 + 2) / 3;
  auto pairOf = [](int32_t x, int k) { return (3 * x + k) % 65536; };
  auto colour = [&](int32_t x, bool source) {
    uint32_t v = 0;
    for (int k = 0; k < 3; ++k) v |= uint32_t(source ? pairOf(x, k) & 255 : pairOf(x, k) >> 8) << 8 * k;
    return v;
  };
  Owned src(makeImage(kPerAlpha, 256, [&](int32_t x, int32_t y) { return colour(x, true) | uint32_t(y) << 24; }));
  Owned column(makeImage(1, src->pixelCount, [&](int32_t, int32_t y) { return src->pixels[y]; }));
  for (int mode : {1, 4, 16})
    for (uint32_t opacity : {256u, 131u}) {
      auto background = [&](int32_t x, int32_t) { return colour(x, false) | 0xFF000000u; };
      Owned one(makeImage(1, src->pixelCount, [&](int32_t, int32_t y) { return background(y % kPerAlpha, 0); }));
      ASSERT_EQ(ImageBlendFunctions[mode](one.get(), column.get(), 0, 0, opacity), 1);
      forEachForm([&](ops::BlendForm form) {
        Owned dst(makeImage(kPerAlpha, 256, background));
        ASSERT_EQ(ImageBlendFunctions[mode](dst.get(), src.get(), 0, 0, opacity), 1);
        for (int32_t i = 0; i < dst->pixelCount; ++i)
          ASSERT_EQ(dst->pixels[i], one->pixels[i]) << "mode " << mode << " opacity " << opacity << " pixel " << i
                                                    << " form " << int(form) << std::hex << " src " << src->pixels[i];
      });
    }
}

TEST(ImageBlend, ModeTableNamesAndSharedMode) {
  for (int mode = 0; mode < kBlendModeCount; ++mode) {
    EXPECT_EQ(kBlendModes[mode].mode, mode);
    EXPECT_STREQ(kBlendModes[mode].name, kNames[mode]);
    EXPECT_EQ(ImageBlendModeFromName(kNames[mode]), mode);
    EXPECT_EQ(ImageBlendTable(mode) != nullptr, mode >= 2);
  }
  EXPECT_EQ(ImageBlendModeFromName("Linear Dodge"), 11);
  EXPECT_EQ(ImageBlendModeFromName("HARD_MIX"), 20);
  EXPECT_EQ(ImageBlendModeFromName("add "), -1);
  EXPECT_EQ(ImageBlendModeFromName(""), -1);
  EXPECT_EQ(ImageBlendModeFromName(nullptr), -1);
  EXPECT_EQ(ImageBlendFunctions[11], ImageBlendFunctions[2]);
  EXPECT_EQ(ImageBlendTable(11), ImageBlendTable(2));
  // 19 distinct tables for modes 2-21.
  for (int a = 2; a < kBlendModeCount; ++a)
    for (int b = a + 1; b < kBlendModeCount; ++b)
      if (a != 2 || b != 11) {
        EXPECT_NE(std::memcmp(ImageBlendTable(a), ImageBlendTable(b), 65536), 0) << a << " " << b;
      }
}

TEST(ImageBlend, Mode11GivesMode2Result) {
  std::mt19937 rng(21);
  Owned src(randomImage(16, 16, rng));
  Owned a(randomImage(20, 20, rng));
  Owned b;
  ASSERT_EQ(ImageCut(&b.p, a.get(), 0, 0, 0, 0), 1);
  ASSERT_EQ(ImageBlendFunctions[2](a.get(), src.get(), 3, 2, 256), 1);
  ASSERT_EQ(ImageBlendFunctions[11](b.get(), src.get(), 3, 2, 256), 1);
  EXPECT_EQ(pixelsOf(a.get()), pixelsOf(b.get()));
}

TEST(ImageBlend, BasicTableIsNormalThenMultiply) {
  std::mt19937 rng(22);
  Owned src(randomImage(8, 8, rng));
  Owned base(randomImage(8, 8, rng));
  for (int i = 0; i < 2; ++i) {
    const int mode = i == 0 ? 1 : 4;
    Owned a, b;
    ImageCut(&a.p, base.get(), 0, 0, 0, 0);
    ImageCut(&b.p, base.get(), 0, 0, 0, 0);
    ASSERT_EQ(ImageBlendBasicFunctions[i](a.get(), src.get(), 0, 0, 200), 1);
    ASSERT_EQ(ImageBlendFunctions[mode](b.get(), src.get(), 0, 0, 200), 1);
    EXPECT_EQ(pixelsOf(a.get()), pixelsOf(b.get()));
  }
}

TEST(ImageBlend, HandCheckedTableValues) {
  struct Case { int mode, d, s, want; };
  const Case cases[] = {
      {2, 200, 100, 255}, {2, 20, 30, 50},    {3, 100, 200, 0},   {3, 200, 50, 150},
      {4, 255, 128, 128}, {4, 128, 128, 64},  {5, 0, 77, 77},     {5, 128, 128, 192},
      {6, 64, 128, 64},   {6, 192, 128, 192}, {7, 10, 20, 10},    {8, 10, 20, 20},
      {9, 10, 200, 190},  {10, 255, 255, 0},  {10, 128, 0, 128},  {12, 100, 155, 255},
      {12, 0, 255, 0},    {12, 51, 102, 85}, {13, 155, 100, 0},  {13, 255, 0, 255},
      {14, 100, 100, 0},  {14, 200, 100, 45}, {15, 64, 200, 173}, {15, 200, 64, 100},
      {16, 64, 255, 128}, {16, 128, 0, 64},   {17, 128, 64, 2},   {18, 100, 200, 245},
      {18, 100, 20, 0},   {19, 100, 50, 100}, {19, 100, 240, 225}, {20, 100, 155, 255},
      {20, 100, 154, 0},  {21, 50, 200, 64},  {21, 0, 0, 0},      {21, 1, 0, 255},
  };
  for (const Case& c : cases)
    EXPECT_EQ(ImageBlendTable(c.mode)[c.d * 256 + c.s], c.want) << c.mode << " " << c.d << " " << c.s;
}

TEST(ImageBlend, AlphaTablesAreRoundedSourceOver) {
  const uint8_t* coverage = ImageCoverageTable();
  const uint8_t* destWeight = ImageDestWeightTable();
  const uint8_t* overAlpha = ImageOverAlphaTable();
  const uint8_t* overWeight = ImageOverWeightTable();
  const int32_t* reciprocal = ImageReciprocalTable();
  for (int a = 0; a < 256; ++a)
    for (int b = 0; b < 256; ++b) {
      EXPECT_LE(std::fabs(coverage[a * 256 + b] - a * b / 255.0), 0.5);
      EXPECT_LE(std::fabs(destWeight[a * 256 + b] - b * (255 - a) / 255.0), 0.5);
      // Result alpha of source over, within rounding.
      EXPECT_LE(std::fabs(overAlpha[a * 256 + b] - (a + b - a * b / 255.0)), 0.5);
    }
  for (int A = 1; A < 256; ++A)
    for (int as = 1; as <= A; ++as)
      EXPECT_LE(std::fabs(overWeight[A * 256 + as] - std::min(255.0, 256.0 * as / A)), 0.5);
  // A uniform colour survives the division: (k * A + 1) * reciprocal >> 16 == k, for every
  // result alpha of the general case (as >= 1 and ad >= 1 give A >= 2).
  for (int A = 2; A < 256; ++A)
    for (uint32_t k : {0u, 1u, 128u, 254u, 255u})
      EXPECT_EQ(((k * A + 1) * uint32_t(reciprocal[A])) >> 16, k) << A;
}

TEST(ImageBlend, ReplaceCopiesOrScalesAlpha) {
  std::mt19937 rng(23);
  Owned src(randomImage(4, 4, rng));
  Owned dst(randomImage(4, 4, rng));
  ASSERT_EQ(ImageBlendReplace(dst.get(), src.get(), 0, 0, 256), 1);
  EXPECT_EQ(pixelsOf(dst.get()), pixelsOf(src.get()));
  Owned opaque(solidImage(4, 4, 0xFF102030u));
  ASSERT_EQ(ImageBlendFunctions[0](dst.get(), opaque.get(), 0, 0, 128), 1);
  for (int i = 0; i < 16; ++i) EXPECT_EQ(dst->pixels[i], 0x7F102030u);
}

TEST(ImageBlend, PlacedAtAnOffsetPairsTheRightPixels) {
  std::mt19937 rng(28);
  Owned src(randomImage(5, 4, rng));
  for (int mode : {0, 1, 4, 16}) {
    Owned dst(makeImage(6, 6, [&](int32_t, int32_t) { return uint32_t(rng()) | 0xFF000000u; }));
    const std::string before = pixelsOf(dst.get());
    const uint32_t* old = reinterpret_cast<const uint32_t*>(before.data());
    ASSERT_EQ(ImageBlendFunctions[mode](dst.get(), src.get(), -2, 3, 256), 1);
    for (int32_t y = 0; y < 6; ++y)
      for (int32_t x = 0; x < 6; ++x) {
        const int32_t sx = x + 2, sy = y - 3;
        uint32_t want = old[y * 6 + x];
        if (sx < 5 && sy >= 0) {
          const uint32_t sp = src->pixels[sy * 5 + sx];
          if (mode == 0) want = sp;
          else expectedPixel(mode, sp, old[y * 6 + x], 256, &want);
        }
        EXPECT_TRUE(closeTo(dst->pixels[y * 6 + x], want)) << mode << " at " << x << "," << y;
      }
  }
}

TEST(ImageBlend, OpacityZeroChangesNothing) {
  std::mt19937 rng(24);
  Owned src(randomImage(5, 5, rng));
  Owned dst(randomImage(5, 5, rng));
  const std::string before = pixelsOf(dst.get());
  for (ImageBlendFunction blend : ImageBlendFunctions) {
    EXPECT_EQ(blend(dst.get(), src.get(), 1, 1, 0), 1);
    EXPECT_EQ(pixelsOf(dst.get()), before);
  }
}

TEST(ImageBlend, TransparentSourceNeverChangesDestination) {
  std::mt19937 rng(25);
  // Alpha 0 with any colour; alpha 1 under opacity 255 rounds to nothing as well.
  Owned clear(makeImage(6, 6, [&](int32_t, int32_t) { return uint32_t(rng()) & 0x00FFFFFFu; }));
  Owned faint(makeImage(6, 6, [&](int32_t, int32_t) { return (uint32_t(rng()) & 0x00FFFFFFu) | 0x01000000u; }));
  Owned dst(randomImage(6, 6, rng));
  const std::string before = pixelsOf(dst.get());
  for (int mode = 1; mode < kBlendModeCount; ++mode) {
    EXPECT_EQ(ImageBlendFunctions[mode](dst.get(), clear.get(), 0, 0, 256), 1);
    EXPECT_EQ(ImageBlendFunctions[mode](dst.get(), clear.get(), 0, 0, 100), 1);
    EXPECT_EQ(ImageBlendFunctions[mode](dst.get(), faint.get(), 0, 0, 255), 1);
    EXPECT_EQ(pixelsOf(dst.get()), before) << mode;
  }
}

TEST(ImageBlend, TransparentDestinationTakesSource) {
  std::mt19937 rng(26);
  Owned src(randomImage(6, 6, rng));
  for (int mode = 1; mode < kBlendModeCount; ++mode)
    for (uint32_t opacity : {256u, 300u, 200u}) {
      Owned dst(makeImage(6, 6, [&](int32_t, int32_t) { return uint32_t(rng()) & 0x00FFFFFFu; }));
      ASSERT_EQ(ImageBlendFunctions[mode](dst.get(), src.get(), 0, 0, opacity), 1);
      for (int i = 0; i < 36; ++i) {
        const uint32_t sp = src->pixels[i];
        const uint32_t as = opacity >= 256 ? sp >> 24 : opacity * (sp >> 24) >> 8;
        if (as == 0) continue;
        EXPECT_EQ(dst->pixels[i], (sp & 0xFFFFFFu) | as << 24) << mode;
      }
    }
}

TEST(ImageBlend, NormalOpaqueOverOpaqueIsSource) {
  std::mt19937 rng(27);
  Owned src(makeImage(7, 3, [&](int32_t, int32_t) { return uint32_t(rng()) | 0xFF000000u; }));
  Owned dst(makeImage(7, 3, [&](int32_t, int32_t) { return uint32_t(rng()) | 0xFF000000u; }));
  ASSERT_EQ(ImageBlendNormal(dst.get(), src.get(), 0, 0, 256), 1);
  EXPECT_EQ(pixelsOf(dst.get()), pixelsOf(src.get()));
}

TEST(ImageBlend, PlacementMessages) {
  Owned src(solidImage(2, 2, 0xFFFFFFFFu));
  Owned dst(solidImage(3, 3, 0xFF000000u));
  const std::string before = pixelsOf(dst.get());
  for (ImageBlendFunction blend : ImageBlendFunctions) {
    EXPECT_EQ(printed([&] { EXPECT_EQ(blend(dst.get(), src.get(), 3, 0, 256), 0); }),
              "-BLD: 座標の指定が不正です\n");
    EXPECT_EQ(printed([&] { EXPECT_EQ(blend(dst.get(), src.get(), 0, -2, 0), 0); }),
              "-BLD: 座標の指定が不正です\n");
    EXPECT_EQ(printed([&] { EXPECT_EQ(blend(dst.get(), nullptr, 0, 0, 256), 0); }),
              "-BLD: 画像データが読み込まれてません\n");
    EXPECT_EQ(pixelsOf(dst.get()), before);
  }
}

}  // namespace
