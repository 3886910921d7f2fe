#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "image/resize.h"
#include "image/resize_filters.h"
#include "image/resize_kernels.h"
#include "test_support.h"

using namespace limg;

namespace {

Image* imageOf(int32_t w, int32_t h, const std::vector<uint32_t>& words) {
  Image* image = ImageCreate(w, h, 32);
  std::memcpy(image->pixels, words.data(), words.size() * 4);
  return image;
}

std::vector<uint32_t> pixelsOf(const Image* image) {
  return std::vector<uint32_t>(image->pixels, image->pixels + image->pixelCount);
}

// ---- Slow references, straight from the written formulas ---------------------------

uint32_t channelOf(uint32_t p, int c) { return (p >> (8 * c)) & 0xFF; }

std::vector<uint32_t> nearestReference(const Image* s, int32_t W, int32_t H) {
  std::vector<uint32_t> out(std::size_t(W) * H);
  const double rx = double(s->width) / W, ry = double(s->height) / H;
  for (int32_t j = 0; j < H; ++j) {
    int32_t sy = int32_t(j * ry + 0.5);
    if (sy > s->height - 1) sy = s->height - 1;
    for (int32_t i = 0; i < W; ++i) {
      int32_t sx = int32_t(i * rx + 0.5);
      if (sx > s->width - 1) sx = s->width - 1;
      out[std::size_t(j) * W + i] = s->pixels[std::size_t(sy) * s->width + sx];
    }
  }
  return out;
}

// Index and weight of one axis, the position computed afresh (not accumulated).
void bilinearAxis(int64_t n, int64_t m, int64_t i, int64_t* index, int64_t* frac) {
  const int64_t one = 1 << 18;
  const int64_t step = n * one / m;
  const int64_t start = m < n ? (n - m) * one / n : ((n - m) * one / m) / 2;
  int64_t p = start + i * step;
  if (p < 0) p = 0;
  *index = p >> 18;
  *frac = p & (one - 1);
  if (*index > n - 2) {
    *index = n - 2;
    *frac = one;
  }
}

std::vector<uint32_t> bilinearReference(const Image* s, int32_t W, int32_t H) {
  const int64_t one = 1 << 18;
  std::vector<uint32_t> out(std::size_t(W) * H);
  auto S = [&](int64_t x, int64_t y, int c) -> int64_t {
    if (x < 0 || y < 0) return 0;  // weight 0 there; never read
    return channelOf(s->pixels[std::size_t(y) * s->width + std::size_t(x)], c);
  };
  for (int32_t j = 0; j < H; ++j) {
    int64_t iy, fy;
    bilinearAxis(s->height, H, j, &iy, &fy);
    for (int32_t i = 0; i < W; ++i) {
      int64_t ix, fx;
      bilinearAxis(s->width, W, i, &ix, &fx);
      uint32_t word = 0;
      for (int c = 0; c < 4; ++c) {
        const int64_t top = (S(ix, iy, c) * (one - fx) + S(ix + 1, iy, c) * fx) >> 18;
        const int64_t bottom = (S(ix, iy + 1, c) * (one - fx) + S(ix + 1, iy + 1, c) * fx) >> 18;
        const int64_t v = (top * (one - fy) + bottom * fy) >> 18;
        EXPECT_LE(v, 255);
        word |= uint32_t(v) << (8 * c);
      }
      out[std::size_t(j) * W + i] = word;
    }
  }
  return out;
}

// Resizes to exactly W x H with the given filter used both ways.
std::vector<uint32_t> resized(const Image* source, int32_t W, int32_t H, int filter) {
  Image* target = nullptr;
  EXPECT_EQ(ImageResize(&target, source, W, H, kResizePixels, filter, filter), 1);
  EXPECT_EQ(target->width, W);
  EXPECT_EQ(target->height, H);
  std::vector<uint32_t> out = pixelsOf(target);
  ImageDestroy(&target);
  return out;
}

}  // namespace

// ---- Sizes and the operation ---------------------------------------------------------

TEST(ResizeSize, ModesAndZeroNumbers) {
  int32_t W = 0, H = 0;
  ResizeTargetSize(100, 40, 1.25, 1.25, kResizeFactor, &W, &H);
  EXPECT_EQ(W, 125);
  EXPECT_EQ(H, 50);
  ResizeTargetSize(101, 40, 0.5, 1.0, kResizeFactor, &W, &H);
  EXPECT_EQ(W, 51);  // 50.5 rounds half up
  EXPECT_EQ(H, 40);
  ResizeTargetSize(200, 100, 0, 50, kResizePixels, &W, &H);
  EXPECT_EQ(W, 100);
  EXPECT_EQ(H, 50);
  ResizeTargetSize(200, 100, 50, 0, kResizePixels, &W, &H);
  EXPECT_EQ(W, 50);
  EXPECT_EQ(H, 25);
  ResizeTargetSize(200, 100, 50, 0, kResizePercent, &W, &H);
  EXPECT_EQ(W, 100);
  EXPECT_EQ(H, 50);
  ResizeTargetSize(200, 100, 0, 25, kResizePercent, &W, &H);
  EXPECT_EQ(W, 50);
  EXPECT_EQ(H, 25);
  ResizeTargetSize(200, 100, 0, 2, kResizeFactor, &W, &H);
  EXPECT_EQ(W, 400);
  EXPECT_EQ(H, 200);
  ResizeTargetSize(200, 100, 3, 7, 9, &W, &H);  // unknown mode
  EXPECT_EQ(W, 1);
  EXPECT_EQ(H, 1);
  ResizeTargetSize(200, 100, 0.001, 1, kResizeFactor, &W, &H);  // zero becomes 1
  EXPECT_EQ(W, 1);
  EXPECT_EQ(H, 100);
  ResizeTargetSize(10, 10, 1e300, 1, kResizeFactor, &W, &H);  // not representable
  EXPECT_EQ(W, -1);
}

TEST(Resize, RefusalsAndMessages) {
  std::mt19937 rng(1);
  ImageHolder source(makeRandomImage(8, 6, rng));
  Image* target = nullptr;
  testing::internal::CaptureStdout();
  EXPECT_EQ(ImageResize(&target, nullptr, 2, 2, kResizeFactor, 1, 1), 0);
  EXPECT_EQ(ImageResize(&target, source.get(), 0.5, 0.5, kResizeFactor, 1, 1), 0);
  EXPECT_EQ(target, nullptr);
  // A negative size in pixels can't be created; the held image is freed.
  target = ImageCreate(2, 2, 32);
  EXPECT_EQ(ImageResize(&target, source.get(), -5, 3, kResizePixels, 1, 1), 0);
  EXPECT_EQ(target, nullptr);
  const std::string out = testing::internal::GetCapturedStdout();
  // Three lines, each a "-RES: " message.
  std::size_t lines = 0, at = 0;
  while ((at = out.find("-RES: ", at)) != std::string::npos) ++lines, ++at;
  EXPECT_EQ(lines, 3u);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3);
}

TEST(Resize, FactorOneCopiesAndReusesTarget) {
  std::mt19937 rng(2);
  ImageHolder source(makeRandomImage(9, 7, rng));
  std::strcpy(source->name, "layer");
  source->left = 5;
  Image* target = ImageCreate(9, 7, 24);
  Image* held = target;
  ASSERT_EQ(ImageResize(&target, source.get(), 1.0, 1.0, kResizeFactor, 1, 1), 1);
  EXPECT_EQ(target, held);  // same size: reused
  EXPECT_EQ(pixelsOf(target), pixelsOf(source.get()));
  ImageDestroy(&target);

  ASSERT_EQ(ImageResize(&target, source.get(), 2.0, 2.0, kResizeFactor, 1, 1), 1);
  EXPECT_STREQ(target->name, "");  // a new record: header not copied
  EXPECT_EQ(target->left, 0);
  EXPECT_EQ(target->bitDepth, 32);
  ImageDestroy(&target);
}

TEST(Resize, InPlaceKeepsImageOnFailure) {
  std::mt19937 rng(3);
  Image* image = makeRandomImage(100, 40, rng);
  Image* original = image;
  testing::internal::CaptureStdout();
  EXPECT_EQ(ImageResizeInPlace(&image, 0.5, 0.5, kResizeFactor, 1, 1), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(image, original);
  EXPECT_EQ(ImageResizeInPlace(&image, 1.25, 1.25, kResizeFactor, 1, 1), 1);
  EXPECT_EQ(image->width, 125);
  EXPECT_EQ(image->height, 50);
  ImageDestroy(&image);
}

// The target may hold the source itself.
TEST(Resize, TargetHoldingTheSource) {
  std::mt19937 rng(4);
  Image* image = makeRandomImage(10, 10, rng);
  ImageHolder copy(makeRandomImage(10, 10, rng));
  std::memcpy(copy->pixels, image->pixels, 400);
  ASSERT_EQ(ImageResize(&image, image, 2.0, 2.0, kResizeFactor, 1, 1), 1);
  EXPECT_EQ(pixelsOf(image), bilinearReference(copy.get(), 20, 20));
  ImageDestroy(&image);
}

// Which filter table is used: enlarging in either direction takes the enlarging filter.
TEST(Resize, FilterChoice) {
  std::mt19937 rng(5);
  ImageHolder source(makeRandomImage(20, 20, rng));
  Image* target = nullptr;
  // a = 2.0 enlarges the width, b = 0.5 shrinks the height: enlarging filter (nearest).
  ASSERT_EQ(ImageResize(&target, source.get(), 2.0, 0.5, kResizeFactor, kFilterBilinear, kFilterNearest), 1);
  EXPECT_EQ(pixelsOf(target), nearestReference(source.get(), 40, 10));
  // 0.5 x 1.0 shrinks only: shrinking filter.
  ASSERT_EQ(ImageResize(&target, source.get(), 0.5, 1.0, kResizeFactor, kFilterBilinear, kFilterNearest), 1);
  EXPECT_EQ(target->width, 10);
  EXPECT_EQ(pixelsOf(target), bilinearReference(source.get(), 10, 20));
  // Enlarging filter 2 is nearest neighbour.
  ASSERT_EQ(ImageResize(&target, source.get(), 1.5, 1.5, kResizeFactor, kFilterAreaAverage, kFilterAreaAverage), 1);
  EXPECT_EQ(pixelsOf(target), nearestReference(source.get(), 30, 30));
  ImageDestroy(&target);
}

// ---- Filters against the references --------------------------------------------------

TEST(Bilinear, TwoPixelsToFour) {
  ImageHolder source(imageOf(2, 1, {0x00000000, 0x000000FF}));
  const std::vector<uint32_t> got = resized(source.get(), 4, 1, kFilterBilinear);
  // positions -0.25 (clamped to 0), 0.25, 0.75, 1.25 (clamped to the right edge)
  EXPECT_EQ(got, (std::vector<uint32_t>{0, 63, 191, 255}));
}

TEST(Bilinear, ShrinkOffsetIsNotCentred) {
  // Reduction to one third: the first sample sits 2/3 into the source, not at 1.
  ImageHolder source(imageOf(3, 1, {0, 90, 180}));
  const std::vector<uint32_t> got = resized(source.get(), 1, 1, kFilterBilinear);
  // start = (2 * ONE) / 3 = 174762; 0 + floor(90 * 174762 / ONE) = 59
  EXPECT_EQ(got[0], 59u);
}

TEST(Bilinear, SingleColumnAndRowSources) {
  std::mt19937 rng(6);
  ImageHolder column(makeRandomImage(1, 7, rng));
  ImageHolder row(makeRandomImage(7, 1, rng));
  ImageHolder dot(makeRandomImage(1, 1, rng));
  for (int32_t n : {1, 2, 5, 9}) {
    EXPECT_EQ(resized(column.get(), n, 9, kFilterBilinear), bilinearReference(column.get(), n, 9));
    EXPECT_EQ(resized(row.get(), 9, n, kFilterBilinear), bilinearReference(row.get(), 9, n));
    // One pixel spreads unchanged.
    const std::vector<uint32_t> spread = resized(dot.get(), n, n + 1, kFilterBilinear);
    for (uint32_t p : spread) EXPECT_EQ(p, dot->pixels[0]);
  }
  // A single column keeps its values row by row when only the height is kept.
  const std::vector<uint32_t> wide = resized(column.get(), 4, 7, kFilterBilinear);
  for (int y = 0; y < 7; ++y)
    for (int x = 0; x < 4; ++x) EXPECT_EQ(wide[std::size_t(y) * 4 + x], column->pixels[y]);
}

// Every vector level the machine has, against the reference (level 0 is the portable code).
TEST(Bilinear, MatchesReferenceOverRandomSizes) {
  const int levels = ResizeVectorSupported();
  for (int level = 0; level <= levels; ++level) {
  SCOPED_TRACE(level);
  ASSERT_EQ(ResizeSetVector(level), level);
  std::mt19937 rng(7);
  for (int trial = 0; trial < 400; ++trial) {
    const int32_t w = int32_t(rng() % 40) + 1, h = int32_t(rng() % 40) + 1;
    const int32_t W = int32_t(rng() % 90) + 1, H = int32_t(rng() % 90) + 1;
    ImageHolder source(makeRandomImage(w, h, rng));
    if (W == w && H == h) continue;
    ASSERT_EQ(resized(source.get(), W, H, kFilterBilinear), bilinearReference(source.get(), W, H))
        << w << "x" << h << " -> " << W << "x" << H;
  }
  }
  ResizeSetVector(levels);
}

// The kernels of each level give the portable values for every weight, extremes included.
TEST(Bilinear, VectorKernelsMatchPortable) {
  const BilinearKernels portable = bilinearKernelsFor(kVectorPortable);
  std::mt19937 rng(10);
  for (int level = 1; level <= ResizeVectorSupported(); ++level) {
    const BilinearKernels k = bilinearKernelsFor(level);
    for (std::size_t count : {std::size_t(1), std::size_t(2), std::size_t(3), std::size_t(7), std::size_t(8),
                              std::size_t(9), std::size_t(17), std::size_t(100)}) {
      std::vector<uint32_t> src(64);
      for (uint32_t& p : src) p = uint32_t(rng());
      src[0] = 0xFFFFFFFFu;
      src[1] = 0;
      std::vector<BilinearTap> taps(count);
      for (std::size_t i = 0; i < count; ++i) {
        const int32_t first = int32_t(rng() % 63);
        const uint32_t pick = rng() % 4;
        const int32_t frac = pick == 0 ? 0 : pick == 1 ? (1 << 18) : pick == 2 ? (1 << 18) - 1 : int32_t(rng() % (1 << 18));
        taps[i] = BilinearTap{first, first + 1, frac};
      }
      taps[0] = BilinearTap{0, 1, (1 << 18) - 1};  // 255 -> 0, the most negative difference
      std::vector<int32_t> want(count * 4), got(count * 4, -1);
      portable.horizontal(src.data(), taps.data(), count, want.data());
      k.horizontal(src.data(), taps.data(), count, got.data());
      ASSERT_EQ(got, want) << level << " " << count;

      std::vector<int32_t> other(count * 4);
      for (int32_t& v : other) v = int32_t(rng() % 256);
      for (int32_t fy : {0, 1, 12345, (1 << 18) - 1, 1 << 18}) {
        std::vector<uint32_t> rowWant(count), rowGot(count + 1, 0xDEADBEEF);
        portable.vertical(want.data(), other.data(), fy, rowWant.data(), count);
        k.vertical(want.data(), other.data(), fy, rowGot.data(), count);
        EXPECT_EQ(rowGot[count], 0xDEADBEEFu);  // nothing written past the row
        rowGot.pop_back();
        ASSERT_EQ(rowGot, rowWant) << level << " " << count << " " << fy;
      }
    }
  }
}

TEST(Nearest, MatchesReferenceOverRandomSizes) {
  std::mt19937 rng(8);
  for (int trial = 0; trial < 400; ++trial) {
    const int32_t w = int32_t(rng() % 40) + 1, h = int32_t(rng() % 40) + 1;
    const int32_t W = int32_t(rng() % 90) + 1, H = int32_t(rng() % 90) + 1;
    ImageHolder source(makeRandomImage(w, h, rng));
    ASSERT_EQ(resized(source.get(), W, H, kFilterNearest), nearestReference(source.get(), W, H))
        << w << "x" << h << " -> " << W << "x" << H;
  }
}

TEST(Nearest, ColumnZeroMapsToColumnZero) {
  ImageHolder source(imageOf(4, 1, {10, 20, 30, 40}));
  EXPECT_EQ(resized(source.get(), 8, 1, kFilterNearest),
            (std::vector<uint32_t>{10, 20, 20, 30, 30, 40, 40, 40}));
  EXPECT_EQ(resized(source.get(), 3, 1, kFilterNearest), (std::vector<uint32_t>{10, 20, 40}));  // 0, 1.83, 3.17
}

// Beyond 8192 pixels the 32-bit formula overflows; the wider one must agree with the
// reference (computed in 64 bits) and must not overrun anything.
TEST(Bilinear, WideImages) {
  std::mt19937 rng(9);
  ImageHolder source(makeRandomImage(9000, 2, rng));
  for (int32_t W : {8193, 12000, 4500, 3}) {
    ASSERT_EQ(resized(source.get(), W, 3, kFilterBilinear), bilinearReference(source.get(), W, 3)) << W;
    ASSERT_EQ(resized(source.get(), W, 3, kFilterNearest), nearestReference(source.get(), W, 3)) << W;
  }
  ImageHolder tall(makeRandomImage(2, 10000, rng));
  ASSERT_EQ(resized(tall.get(), 3, 16001, kFilterBilinear), bilinearReference(tall.get(), 3, 16001));
}
