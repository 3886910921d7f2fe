// CMP: the three compose variants and their placement.
#include <climits>

#include "tests/image/ops/ops_test_util.h"

using namespace limg;

namespace {

const char kBadPosition[] = "-CMP: 座標の指定が不正です\n";

TEST(ImageCompose, TableOrder) {
  EXPECT_EQ(ImageComposeFunctions[0], &ImageComposeCopy);
  EXPECT_EQ(ImageComposeFunctions[1], &ImageComposeMasked);
  EXPECT_EQ(ImageComposeFunctions[2], &ImageComposeXor);
  EXPECT_EQ(ImageRotateFunctions[0], &ImageRotateNearest);
  EXPECT_EQ(ImageRotateFunctions[1], &ImageRotateBilinear);
}

TEST(ImageCompose, CopyPlacesClippedSource) {
  std::mt19937 rng(11);
  Owned src(randomImage(3, 3, rng));
  for (int32_t x = -2; x <= 4; ++x)
    for (int32_t y = -2; y <= 3; ++y) {
      Owned dst(solidImage(5, 4, 0x01020304u));
      ASSERT_EQ(ImageComposeCopy(dst.get(), src.get(), x, y), 1);
      for (int32_t Y = 0; Y < 4; ++Y)
        for (int32_t X = 0; X < 5; ++X) {
          const bool covered = X - x >= 0 && X - x < 3 && Y - y >= 0 && Y - y < 3;
          EXPECT_EQ(dst->pixels[Y * 5 + X], covered ? src->pixels[(Y - y) * 3 + X - x] : 0x01020304u);
        }
    }
}

TEST(ImageCompose, MaskedSkipsTransparentSourceWhateverItsColour) {
  Owned src(makeImage(2, 1, [](int32_t x, int32_t) { return x ? 0x01FFFFFFu : 0x00FFFFFFu; }));
  Owned dst(solidImage(2, 1, 0x80112233u));
  ASSERT_EQ(ImageComposeMasked(dst.get(), src.get(), 0, 0), 1);
  EXPECT_EQ(dst->pixels[0], 0x80112233u);
  EXPECT_EQ(dst->pixels[1], 0x01FFFFFFu);
}

TEST(ImageCompose, XorTwiceRestores) {
  std::mt19937 rng(12);
  Owned src(randomImage(4, 3, rng));
  Owned dst(randomImage(6, 5, rng));
  const std::string before = pixelsOf(dst.get());
  ASSERT_EQ(ImageComposeXor(dst.get(), src.get(), 3, -1), 1);
  EXPECT_NE(pixelsOf(dst.get()), before);
  const uint32_t* old = reinterpret_cast<const uint32_t*>(before.data());
  EXPECT_EQ(dst->pixels[0 * 6 + 3], src->pixels[1 * 4 + 0] ^ old[3]);  // dst (3, 0) is src (0, 1)
  ASSERT_EQ(ImageComposeXor(dst.get(), src.get(), 3, -1), 1);
  EXPECT_EQ(pixelsOf(dst.get()), before);
}

TEST(ImageCompose, PositionsNotOverlappingAreRefusedAndChangeNothing) {
  std::mt19937 rng(13);
  Owned src(randomImage(3, 2, rng));
  Owned dst(randomImage(5, 4, rng));
  const std::string before = pixelsOf(dst.get());
  const int32_t bad[][2] = {{5, 0}, {0, 4}, {-3, 0}, {0, -2}, {INT_MAX, 0}, {INT_MIN, 0}, {0, INT_MIN}};
  for (ImageComposeFunction compose : ImageComposeFunctions)
    for (const auto& p : bad) {
      EXPECT_EQ(printed([&] { EXPECT_EQ(compose(dst.get(), src.get(), p[0], p[1]), 0); }), kBadPosition);
      EXPECT_EQ(pixelsOf(dst.get()), before);
    }
  // One pixel of overlap at each corner is still a placement.
  for (ImageComposeFunction compose : ImageComposeFunctions) {
    EXPECT_EQ(compose(dst.get(), src.get(), 4, 3), 1);
    EXPECT_EQ(compose(dst.get(), src.get(), -2, -1), 1);
  }
}

TEST(ImageCompose, MissingImagesAreReported) {
  Owned img(solidImage(1, 1, 0));
  Owned empty(ImageNewRecord());
  for (ImageComposeFunction compose : ImageComposeFunctions) {
    EXPECT_EQ(printed([&] { EXPECT_EQ(compose(nullptr, img.get(), 0, 0), 0); }),
              "-CMP: 画像データが読み込まれてません\n");
    EXPECT_EQ(printed([&] { EXPECT_EQ(compose(img.get(), empty.get(), 0, 0), 0); }),
              "-CMP: 画像データが読み込まれてません\n");
  }
}

TEST(ImageCompose, SameImageAsSourceAndDestination) {
  std::mt19937 rng(14);
  Owned img(randomImage(4, 1, rng));
  const uint32_t p0 = img->pixels[0], p1 = img->pixels[1], p2 = img->pixels[2];
  ASSERT_EQ(ImageComposeCopy(img.get(), img.get(), 1, 0), 1);  // overlapping row: memmove
  EXPECT_EQ(img->pixels[1], p0);
  EXPECT_EQ(img->pixels[2], p1);
  EXPECT_EQ(img->pixels[3], p2);
  ASSERT_EQ(ImageComposeXor(img.get(), img.get(), 0, 0), 1);
  for (int i = 0; i < 4; ++i) EXPECT_EQ(img->pixels[i], 0u);
}

}  // namespace
