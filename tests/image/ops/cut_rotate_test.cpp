// CUT and ROT: windows, sizes, the fixed-point sampling and the result-image rules.
#include <climits>
#include <cmath>
#include <cstring>

#include "tests/image/ops/ops_test_util.h"

using namespace limg;

namespace {

TEST(ImageCut, WindowLeftOfSourceIsZeroFilled) {
  Owned src(makeImage(3, 1, [](int32_t x, int32_t) { return 0x11223340u + uint32_t(x); }));
  Owned out;
  ASSERT_EQ(ImageCut(&out.p, src.get(), -2, 0, 4, 1), 1);
  ASSERT_EQ(out->width, 4);
  ASSERT_EQ(out->height, 1);
  EXPECT_EQ(out->pixels[0], 0u);
  EXPECT_EQ(out->pixels[1], 0u);
  EXPECT_EQ(out->pixels[2], 0x11223340u);
  EXPECT_EQ(out->pixels[3], 0x11223341u);
  EXPECT_EQ(out->left, -2);
  EXPECT_EQ(out->top, 0);
}

TEST(ImageCut, ZeroSizeCopiesWholeSourceAndKeepsPosition) {
  std::mt19937 rng(1);
  Owned src(randomImage(5, 4, rng));
  src->bitDepth = 24;
  Owned out;
  ASSERT_EQ(ImageCut(&out.p, src.get(), 0, 0, 0, 0), 1);
  EXPECT_EQ(pixelsOf(out.get()), pixelsOf(src.get()));
  EXPECT_EQ(out->bitDepth, 24);
  EXPECT_EQ(out->left, 0);
  EXPECT_EQ(out->top, 0);
  // The default size is the source's even when the window then reaches past it.
  ASSERT_EQ(ImageCut(&out.p, src.get(), 1, 2, -1, 0), 1);
  ASSERT_EQ(out->width, 5);
  ASSERT_EQ(out->height, 4);
  EXPECT_EQ(out->left, 1);
  EXPECT_EQ(out->top, 2);
  for (int32_t y = 0; y < 4; ++y)
    for (int32_t x = 0; x < 5; ++x) {
      const bool inside = x + 1 < 5 && y + 2 < 4;
      EXPECT_EQ(out->pixels[y * 5 + x], inside ? src->pixels[(y + 2) * 5 + x + 1] : 0u) << x << "," << y;
    }
}

TEST(ImageCut, ReusesSameSizedResultAndReplacesOthers) {
  std::mt19937 rng(2);
  Owned src(randomImage(6, 3, rng));
  Owned out(ImageCreate(2, 2, 8));
  std::strcpy(out->name, "layer");
  out->mode = 7;
  Image* before = out.get();
  ASSERT_EQ(ImageCut(&out.p, src.get(), 1, 1, 2, 2), 1);
  EXPECT_EQ(out.get(), before);
  EXPECT_STREQ(out->name, "layer");
  EXPECT_EQ(out->mode, 7);
  EXPECT_EQ(out->bitDepth, 8);
  EXPECT_EQ(out->pixels[0], src->pixels[1 * 6 + 1]);
  EXPECT_EQ(out->pixels[3], src->pixels[2 * 6 + 2]);

  ASSERT_EQ(ImageCut(&out.p, src.get(), 0, 0, 3, 2), 1);
  EXPECT_EQ(out->width, 3);
  EXPECT_STREQ(out->name, "");
  EXPECT_EQ(out->mode, 0);
  EXPECT_EQ(out->bitDepth, src->bitDepth);
}

TEST(ImageCut, WindowsMissingTheSourceGiveZeros) {
  std::mt19937 rng(3);
  Owned src(randomImage(4, 3, rng));
  const int32_t windows[][4] = {
      {4, 0, 2, 2},  {0, 3, 2, 2},  {-2, 0, 2, 2},  {0, -2, 2, 2},  {INT_MAX, 0, 3, 1},
      {0, INT_MAX, 1, 3}, {INT_MIN, INT_MIN, 2, 2}, {INT_MAX - 1, INT_MAX - 1, 5, 5},
      {-5, -5, 3, 3},
  };
  for (const auto& w : windows) {
    Owned out(solidImage(w[2], w[3], 0xDEADBEEFu));  // reused: stale pixels must go
    ASSERT_EQ(ImageCut(&out.p, src.get(), w[0], w[1], w[2], w[3]), 1);
    for (int32_t i = 0; i < out->pixelCount; ++i) EXPECT_EQ(out->pixels[i], 0u) << w[0] << "," << w[1];
  }
}

TEST(ImageCut, SourceMayBeTheResultItself) {
  std::mt19937 rng(4);
  Owned copy(randomImage(5, 5, rng));
  Owned img;
  ASSERT_EQ(ImageCut(&img.p, copy.get(), 0, 0, 0, 0), 1);
  std::strcpy(img->name, "kept");
  // Same size, shifted: must read the original pixels, not the ones just written.
  ASSERT_EQ(ImageCut(&img.p, img.get(), 1, 1, 0, 0), 1);
  EXPECT_STREQ(img->name, "kept");
  EXPECT_EQ(img->pixels[0], copy->pixels[6]);
  EXPECT_EQ(img->pixels[4], 0u);
  // Other size: the old image is replaced only after the copy.
  ASSERT_EQ(ImageCut(&img.p, img.get(), 1, 1, 2, 2), 1);
  EXPECT_EQ(img->width, 2);
  EXPECT_EQ(img->pixels[0], copy->pixels[2 * 5 + 2]);
}

TEST(ImageCut, MissingSourceIsReported) {
  Owned out;
  EXPECT_EQ(printed([&] { EXPECT_EQ(ImageCut(&out.p, nullptr, 0, 0, 1, 1), 0); }),
            "-CUT: 画像データを読み込めませんでした\n");
  EXPECT_EQ(out.get(), nullptr);
}

TEST(ImageRotate, AngleZeroReproducesSourceInBothVariants) {
  std::mt19937 rng(5);
  for (int32_t w : {1, 2, 7, 16})
    for (int32_t h : {1, 3, 8}) {
      Owned src(randomImage(w, h, rng));
      for (ImageRotateFunction rotate : ImageRotateFunctions) {
        Owned out;
        ASSERT_EQ(rotate(&out.p, src.get(), 0, 0), 1);
        ASSERT_EQ(out->width, w);
        ASSERT_EQ(out->height, h);
        EXPECT_EQ(pixelsOf(out.get()), pixelsOf(src.get())) << w << "x" << h;
        EXPECT_EQ(out->bitDepth, src->bitDepth);
      }
    }
}

TEST(ImageRotate, QuarterTurnSwapsSizeAndTurnsClockwise) {
  Owned src(makeImage(4, 2, [](int32_t x, int32_t y) { return pixelOf(x, y, 0, 255); }));
  Owned out;
  ASSERT_EQ(ImageRotateNearest(&out.p, src.get(), 90, 0), 1);
  EXPECT_EQ(out->width, 2);
  EXPECT_EQ(out->height, 4);
  // The source's bottom-left pixel lands top-left (the steps are -262143 and 0 in fixed point).
  EXPECT_EQ(out->pixels[0], src->pixels[1 * 4 + 0]);
  EXPECT_EQ(out->pixels[1], src->pixels[1 * 4 + 0]);
  EXPECT_EQ(out->pixels[2 * 2 + 0], src->pixels[1 * 4 + 2]);
}

TEST(ImageRotate, ScaleTwoDoublesSizes) {
  Owned src(solidImage(5, 3, 0xFF808080u));
  for (ImageRotateFunction rotate : ImageRotateFunctions) {
    Owned out;
    ASSERT_EQ(rotate(&out.p, src.get(), 0, 2), 1);
    EXPECT_EQ(out->width, 10);
    EXPECT_EQ(out->height, 6);
  }
  Owned out;
  ASSERT_EQ(ImageRotateNearest(&out.p, src.get(), 0, 1.5), 1);
  EXPECT_EQ(out->width, 7);  // integer part of 5 * 1.5
  EXPECT_EQ(out->height, 4);
}

TEST(ImageRotate, BilinearScaleTwoBlendsWithZeroBorder) {
  Owned src(solidImage(4, 4, 0xFFFFFFFFu));
  Owned out;
  ASSERT_EQ(ImageRotateBilinear(&out.p, src.get(), 0, 2), 1);
  ASSERT_EQ(out->width, 8);
  // The first sample sits a quarter pixel above and left of pixel (0, 0): 0.75 * 0.75 of it.
  EXPECT_EQ(out->pixels[0] >> 24, 143u);
  EXPECT_EQ(out->pixels[0], 0x8F8F8F8Fu);
  // Interior samples of an opaque, uniform source stay exact.
  EXPECT_EQ(out->pixels[3 * 8 + 3], 0xFFFFFFFFu);
  // The last row samples between the last source row and the (zero) row below it.
  EXPECT_LT(out->pixels[7 * 8 + 3] >> 24, 255u);
}

TEST(ImageRotate, BilinearInterpolatesEachByte) {
  // Two columns 0 and 200 (all bytes); scale 2 samples a quarter of the way across.
  Owned src(makeImage(2, 2, [](int32_t x, int32_t) { return x ? 0xC8C8C8C8u : 0u; }));
  Owned out;
  ASSERT_EQ(ImageRotateBilinear(&out.p, src.get(), 0, 2), 1);
  ASSERT_EQ(out->width, 4);
  // Row 1, column 1: X = 0.25 px, Y = 0.25 px -> between rows 0 and 1 (both alike), 0.25 of 200.
  EXPECT_EQ(out->pixels[1 * 4 + 1], 0x32323232u);
  // Column 2: X = 0.75 px -> 150.
  EXPECT_EQ(out->pixels[1 * 4 + 2], 0x96969696u);
}

TEST(ImageRotate, SizesThatCannotExistAreRefused) {
  Owned src(solidImage(3, 3, 0xFF000000u));
  const double scales[] = {-1, 0.1, 1e-300, NAN, INFINITY, 1e12};
  for (double scale : scales) {
    for (ImageRotateFunction rotate : ImageRotateFunctions) {
      Owned out(ImageCreate(2, 2, 32));
      EXPECT_EQ(printed([&] { EXPECT_EQ(rotate(&out.p, src.get(), 30, scale), 0); }),
                "-ROT: メモリを確保出来ませんでした\n")
          << scale;
      EXPECT_EQ(out.get(), nullptr);
    }
  }
  // The source as its own result: refused without losing it.
  Owned self(solidImage(3, 3, 0xFF000000u));
  Image* kept = self.get();
  EXPECT_EQ(printed([&] { EXPECT_EQ(ImageRotateNearest(&self.p, self.get(), 0, -1), 0); }),
            "-ROT: メモリを確保出来ませんでした\n");
  EXPECT_EQ(self.get(), kept);
  EXPECT_EQ(self->width, 3);
  Owned out;
  EXPECT_EQ(printed([&] { EXPECT_EQ(ImageRotateBilinear(&out.p, src.get(), NAN, 0), 0); }),
            "-ROT: メモリを確保出来ませんでした\n");
  EXPECT_EQ(printed([&] { EXPECT_EQ(ImageRotateNearest(&out.p, nullptr, 0, 0), 0); }),
            "-ROT: 画像データを読み込めませんでした\n");
}

TEST(ImageRotate, ReusesResultAndAcceptsSourceAsResult) {
  std::mt19937 rng(6);
  Owned copy(randomImage(6, 4, rng));
  Owned img;
  ASSERT_EQ(ImageCut(&img.p, copy.get(), 0, 0, 0, 0), 1);
  std::strcpy(img->name, "r");
  ASSERT_EQ(ImageRotateBilinear(&img.p, img.get(), 0, 0), 1);  // same size: header kept
  EXPECT_STREQ(img->name, "r");
  EXPECT_EQ(pixelsOf(img.get()), pixelsOf(copy.get()));
  ASSERT_EQ(ImageRotateNearest(&img.p, img.get(), 90, 0), 1);
  EXPECT_EQ(img->width, 4);
  EXPECT_EQ(img->height, 6);
  EXPECT_EQ(img->pixels[0], copy->pixels[3 * 6 + 0]);
}

// Result pixel (i, j) in closed form: fixed-point source position X0 + i*C - j*S,
// Y0 + i*S + j*C, then the nearest or the bilinear sample with a zero border.
uint32_t referenceSample(const Image* src, int64_t X, int64_t Y, bool bilinear) {
  auto at = [&](int64_t x, int64_t y) -> uint32_t {
    return x < 0 || y < 0 || x >= src->width || y >= src->height ? 0 : src->pixels[y * src->width + x];
  };
  const int64_t ix = X >> 18, iy = Y >> 18;  // floor
  if (!bilinear) return at(ix, iy);
  if (ix < -1 || iy < -1 || ix >= src->width || iy >= src->height) return 0;
  const int64_t fx = X - ix * 262144, fy = Y - iy * 262144;
  uint32_t out = 0;
  for (int k = 0; k < 32; k += 8) {
    auto byte = [&](int64_t x, int64_t y) { return int64_t((at(x, y) >> k) & 255); };
    const int64_t top = (byte(ix, iy) * (262144 - fx) + byte(ix + 1, iy) * fx) >> 18;
    const int64_t bottom = (byte(ix, iy + 1) * (262144 - fx) + byte(ix + 1, iy + 1) * fx) >> 18;
    out |= uint32_t((top * (262144 - fy) + bottom * fy) >> 18) << k;
  }
  return out;
}

TEST(ImageRotate, MatchesClosedFormAtAnyAngleAndScale) {
  std::mt19937 rng(8);
  Owned src(randomImage(13, 7, rng));
  const double W = 13, H = 7;
  for (double angle : {0.0, 12.5, 45.0, 90.0, 133.0, 180.0, -71.0, 300.0})
    for (double scale : {0.0, 0.5, 1.7, 3.0})
      for (int bilinear = 0; bilinear < 2; ++bilinear) {
        Owned out;
        ASSERT_EQ(ImageRotateFunctions[bilinear](&out.p, src.get(), angle, scale), 1);
        double th = -angle * 3.1415927410125732 / 180, sn = std::sin(th), cs = std::cos(th);
        int64_t w = int64_t(std::fabs(H * sn) + std::fabs(W * cs) + 0.5);
        int64_t h = int64_t(std::fabs(H * cs) + std::fabs(W * sn) + 0.5);
        if (scale != 0) {
          w = int64_t(double(w) * scale);
          h = int64_t(double(h) * scale);
          sn /= scale;
          cs /= scale;
        }
        ASSERT_EQ(out->width, w);
        ASSERT_EQ(out->height, h);
        const int64_t S = int64_t(sn * 262144 + 0.5), C = int64_t(cs * 262144 + 0.5);
        int64_t x0 = 6 * 262144 + S * (h / 2) - C * (w / 2), y0 = 3 * 262144 - C * (h / 2) - S * (w / 2);
        if (bilinear) {
          x0 += w < 13 ? (13 - w) * 262144 / 13 : (13 - w) * 262144 / w / 2;
          y0 += h < 7 ? (7 - h) * 262144 / 7 : (7 - h) * 262144 / h / 2;
        }
        for (int64_t j = 0; j < h; ++j)
          for (int64_t i = 0; i < w; ++i)
            ASSERT_EQ(out->pixels[j * w + i],
                      referenceSample(src.get(), x0 + i * C - j * S, y0 + i * S + j * C, bilinear))
                << angle << " " << scale << " " << bilinear << " at " << i << "," << j;
      }
}

TEST(ImageRotate, AnyAngleSamplesOnlySourcePixelsOrZero) {
  std::mt19937 rng(7);
  Owned src(makeImage(9, 5, [](int32_t x, int32_t y) { return pixelOf(x, y, 1, 255); }));
  for (double angle = -360; angle <= 360; angle += 17.5) {
    Owned out;
    ASSERT_EQ(ImageRotateNearest(&out.p, src.get(), angle, 0), 1);
    int seen = 0;
    for (int32_t i = 0; i < out->pixelCount; ++i) {
      const uint32_t p = out->pixels[i];
      if (p == 0) continue;
      ++seen;
      EXPECT_EQ(p >> 16, 0xFF01u);
      EXPECT_LT(p & 255, 9u);
      EXPECT_LT((p >> 8) & 255, 5u);
    }
    EXPECT_GT(seen, 30) << angle;  // most of the 45 source pixels are still there
  }
}

}  // namespace
