// M2A: the eight mask types, placement, and the split form.
#include <climits>
#include <cstring>

#include "tests/image/ops/ops_test_util.h"

using namespace limg;

namespace {

TEST(ImageMaskToAlpha, WhiteMaskInverseBlueClearsOverlap) {
  Owned dst(solidImage(4, 3, 0xFF123456u));
  dst->bitDepth = 24;
  Owned mask(solidImage(2, 2, 0xFFFFFFFFu));
  ASSERT_EQ(ImageMaskToAlpha(&dst.p, mask.get(), kMaskInverseBlue, 1, 1), 1);
  EXPECT_EQ(dst->bitDepth, 32);
  for (int32_t y = 0; y < 3; ++y)
    for (int32_t x = 0; x < 4; ++x) {
      const bool covered = x >= 1 && x <= 2 && y >= 1;
      EXPECT_EQ(dst->pixels[y * 4 + x], covered ? 0x00123456u : 0xFF123456u) << x << "," << y;
    }
}

TEST(ImageMaskToAlpha, EveryTypeFromOneMaskPixel) {
  const uint32_t maskPixel = pixelOf(/*b*/ 200, 1, 2, /*a*/ 60);
  const uint32_t oldAlpha = 100;
  const uint8_t* coverage = ImageCoverageTable();
  const uint32_t want[8] = {200, 55, 60, 195, coverage[200 * 256 + 100], coverage[55 * 256 + 100],
                            coverage[60 * 256 + 100], coverage[195 * 256 + 100]};
  EXPECT_EQ(want[4], 78u);  // round(200 * 100 / 255)
  for (int type = 0; type < 8; ++type) {
    Owned dst(solidImage(1, 1, oldAlpha << 24 | 0xABCDEFu));
    Owned mask(solidImage(1, 1, maskPixel));
    ASSERT_EQ(ImageMaskToAlphaFunctions[0](&dst.p, mask.get(), type, 0, 0), 1);
    EXPECT_EQ(dst->pixels[0], want[type] << 24 | 0xABCDEFu) << type;
  }
}

TEST(ImageMaskToAlpha, UnknownTypeChangesNoPixelButSetsDepth) {
  std::mt19937 rng(31);
  Owned dst(randomImage(3, 3, rng));
  dst->bitDepth = 24;
  Owned mask(randomImage(3, 3, rng));
  const std::string before = pixelsOf(dst.get());
  for (int type : {8, -1, INT_MAX}) {
    ASSERT_EQ(ImageMaskToAlpha(&dst.p, mask.get(), type, 0, 0), 1);
    EXPECT_EQ(pixelsOf(dst.get()), before);
    EXPECT_EQ(dst->bitDepth, 32);
  }
}

TEST(ImageMaskToAlpha, PlacementAndMissingImages) {
  Owned dst(solidImage(3, 2, 0xFF000000u));
  Owned mask(solidImage(2, 2, 0));
  const std::string before = pixelsOf(dst.get());
  for (const auto& p : {std::pair<int, int>{3, 0}, {0, 2}, {-2, 0}, {0, -2}, {INT_MIN, INT_MIN}}) {
    EXPECT_EQ(printed([&] { EXPECT_EQ(ImageMaskToAlpha(&dst.p, mask.get(), 0, p.first, p.second), 0); }),
              "-M2A: 座標の指定が不正です\n");
  }
  EXPECT_EQ(pixelsOf(dst.get()), before);
  Image* none = nullptr;
  EXPECT_EQ(printed([&] { EXPECT_EQ(ImageMaskToAlpha(&none, mask.get(), 0, 0, 0), 0); }),
            "-M2A: 画像データが読み込まれてません\n");
  EXPECT_EQ(printed([&] { EXPECT_EQ(ImageMaskToAlpha(&dst.p, nullptr, 0, 0, 0), 0); }),
            "-M2A: 画像データが読み込まれてません\n");
}

TEST(ImageSplitMaskToAlpha, HalvesA200By100Image) {
  std::mt19937 rng(32);
  Owned img(randomImage(200, 100, rng));
  std::strcpy(img->name, "split");
  Owned copy;
  ASSERT_EQ(ImageCut(&copy.p, img.get(), 0, 0, 0, 0), 1);
  ASSERT_EQ(ImageMaskToAlphaFunctions[1](&img.p, nullptr, kMaskBlue, 0, 0), 1);
  ASSERT_EQ(img->width, 100);
  ASSERT_EQ(img->height, 100);
  EXPECT_EQ(img->bitDepth, 32);
  for (int32_t y = 0; y < 100; ++y)
    for (int32_t x = 0; x < 100; ++x) {
      const uint32_t picture = copy->pixels[y * 200 + x], mask = copy->pixels[y * 200 + 100 + x];
      ASSERT_EQ(img->pixels[y * 100 + x], (picture & 0xFFFFFFu) | (mask & 255) << 24) << x << "," << y;
    }
}

TEST(ImageSplitMaskToAlpha, ShiftedMaskCoversPartOfThePicture) {
  // Width 5: half 2, so the picture is columns 0-1 and the mask starts at column 2.
  Owned img(makeImage(5, 2, [](int32_t x, int32_t y) { return pixelOf(uint32_t(10 * x + y), 0, 0, 255); }));
  ASSERT_EQ(ImageSplitMaskToAlpha(&img.p, nullptr, kMaskBlue, 1, 1), 1);
  ASSERT_EQ(img->width, 2);
  // Only picture pixel (1, 1) has a mask pixel: source (1 - 1 + 2, 0) with blue 20.
  EXPECT_EQ(img->pixels[0] >> 24, 255u);
  EXPECT_EQ(img->pixels[1] >> 24, 255u);
  EXPECT_EQ(img->pixels[2] >> 24, 255u);
  EXPECT_EQ(img->pixels[3] >> 24, 20u);
}

TEST(ImageSplitMaskToAlpha, FailuresLeaveTheImage) {
  Owned img(solidImage(4, 2, 0xFF000000u));
  Image* before = img.get();
  EXPECT_EQ(printed([&] { EXPECT_EQ(ImageSplitMaskToAlpha(&img.p, nullptr, 0, 2, 0), 0); }),
            "-M2A: 座標の指定が不正です\n");
  EXPECT_EQ(printed([&] { EXPECT_EQ(ImageSplitMaskToAlpha(&img.p, nullptr, 0, 0, -2), 0); }),
            "-M2A: 座標の指定が不正です\n");
  EXPECT_EQ(img.get(), before);
  Owned narrow(solidImage(1, 3, 0));  // half is 0: no mask at all
  EXPECT_EQ(printed([&] { EXPECT_EQ(ImageSplitMaskToAlpha(&narrow.p, nullptr, 0, 0, 0), 0); }),
            "-M2A: 座標の指定が不正です\n");
  Image* none = nullptr;
  EXPECT_EQ(printed([&] { EXPECT_EQ(ImageSplitMaskToAlpha(&none, nullptr, 0, 0, 0), 0); }),
            "-M2A: 画像データを読み込めませんでした\n");
}

}  // namespace
