// Random placements of every in-place operation: only the overlap changes, positions that
// miss print the coordinate message and change nothing, and (under ASan) nothing outside
// either image is touched. Positions include the int32 extremes.
#include <climits>

#include "tests/image/ops/ops_test_util.h"

using namespace limg;

namespace {

int32_t randomPosition(std::mt19937& rng) {
  const int32_t extremes[] = {INT_MIN, INT_MIN + 1, -1000000, 1000000, INT_MAX - 1, INT_MAX};
  if (rng() % 8 == 0) return extremes[rng() % 6];
  return int32_t(rng() % 25) - 12;
}

// Runs op at (x, y) and checks what it may change; op returns the operation's result.
template <class Op>
void checkPlacement(Image* dst, const Image* placed, int32_t x, int32_t y, const char* badMessage, Op op) {
  const std::string before = pixelsOf(dst);
  const uint32_t* old = reinterpret_cast<const uint32_t*>(before.data());
  const int64_t X = x, Y = y;
  const bool overlaps = -X < placed->width && X < dst->width && -Y < placed->height && Y < dst->height;
  int result = -1;
  const std::string out = printed([&] { result = op(); });
  if (!overlaps) {
    EXPECT_EQ(result, 0);
    EXPECT_EQ(out, badMessage);
    EXPECT_EQ(pixelsOf(dst), before);
    return;
  }
  EXPECT_EQ(result, 1);
  EXPECT_EQ(out, "");
  for (int64_t py = 0; py < dst->height; ++py)
    for (int64_t px = 0; px < dst->width; ++px) {
      const bool covered = px - X >= 0 && px - X < placed->width && py - Y >= 0 && py - Y < placed->height;
      if (!covered) {
        ASSERT_EQ(dst->pixels[py * dst->width + px], old[py * dst->width + px]);
      }
    }
}

TEST(ImageOpsBounds, RandomPlacementsTouchOnlyTheOverlap) {
  std::mt19937 rng(41);
  for (int round = 0; round < 3000; ++round) {
    Owned dst(randomImage(1 + int32_t(rng() % 9), 1 + int32_t(rng() % 9), rng));
    Owned src(randomImage(1 + int32_t(rng() % 9), 1 + int32_t(rng() % 9), rng));
    const int32_t x = randomPosition(rng), y = randomPosition(rng);
    const int which = int(rng() % 4);
    if (which == 0) {
      const ImageComposeFunction compose = ImageComposeFunctions[rng() % 3];
      checkPlacement(dst.get(), src.get(), x, y, "-CMP: 座標の指定が不正です\n",
                     [&] { return compose(dst.get(), src.get(), x, y); });
    } else if (which == 1 || which == 2) {
      const int mode = int(rng() % kBlendModeCount);
      const uint32_t opacity = rng() % 3 == 0 ? uint32_t(rng()) : uint32_t(rng() % 300);
      checkPlacement(dst.get(), src.get(), x, y, "-BLD: 座標の指定が不正です\n",
                     [&] { return ImageBlendFunctions[mode](dst.get(), src.get(), x, y, opacity); });
    } else {
      const int type = int(rng() % 10);
      checkPlacement(dst.get(), src.get(), x, y, "-M2A: 座標の指定が不正です\n",
                     [&] { return ImageMaskToAlpha(&dst.p, src.get(), type, x, y); });
    }
  }
}

TEST(ImageOpsBounds, RandomCutsMatchSourceOrZero) {
  std::mt19937 rng(42);
  for (int round = 0; round < 2000; ++round) {
    Owned src(randomImage(1 + int32_t(rng() % 9), 1 + int32_t(rng() % 9), rng));
    const int32_t x = randomPosition(rng), y = randomPosition(rng);
    const int32_t w = int32_t(rng() % 12) - 2, h = int32_t(rng() % 12) - 2;
    Owned out;
    ASSERT_EQ(ImageCut(&out.p, src.get(), x, y, w, h), 1);
    for (int64_t j = 0; j < out->height; ++j)
      for (int64_t i = 0; i < out->width; ++i) {
        const int64_t sx = x + i, sy = y + j;
        const bool inside = sx >= 0 && sx < src->width && sy >= 0 && sy < src->height;
        ASSERT_EQ(out->pixels[j * out->width + i], inside ? src->pixels[sy * src->width + sx] : 0u);
      }
  }
}

TEST(ImageOpsBounds, RandomRotationsStayInsideTheSource) {
  std::mt19937 rng(43);
  for (int round = 0; round < 300; ++round) {
    Owned src(randomImage(1 + int32_t(rng() % 12), 1 + int32_t(rng() % 12), rng));
    const double angle = double(int32_t(rng() % 7201) - 3600) / 10;
    const double scale = double(rng() % 400) / 100;
    for (ImageRotateFunction rotate : ImageRotateFunctions) {
      Owned out;
      std::string message;
      const int ok = [&] {
        int r = 0;
        message = printed([&] { r = rotate(&out.p, src.get(), angle, scale); });
        return r;
      }();
      if (!ok) {
        EXPECT_EQ(message, "-ROT: メモリを確保出来ませんでした\n") << angle << " " << scale;
        EXPECT_EQ(out.get(), nullptr);
      } else {
        EXPECT_GT(out->pixelCount, 0);
      }
    }
  }
}

}  // namespace
