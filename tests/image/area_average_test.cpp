#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "image/reduce_area_average.h"
#include "image/resize.h"
#include "image/resize_filters.h"
#include "test_support.h"

using namespace limg;

namespace {

// Reduces n samples to m by exact rational area weights: target t covers [t*n/m, (t+1)*n/m)
// of the source line; in units of 1/m that is [t*n, (t+1)*n), and source sample s covers
// [s*m, (s+1)*m). The mean is sum(overlap * value) / n, truncated.
std::vector<uint32_t> reduceLine(const std::vector<uint32_t>& line, std::size_t m) {
  const std::size_t n = line.size();
  std::vector<uint32_t> out(m);
  for (std::size_t t = 0; t < m; ++t) {
    const uint64_t lo = t * n, hi = (t + 1) * n;
    uint64_t sum = 0;
    for (std::size_t s = lo / m; s < n && s * m < hi; ++s) {
      const uint64_t a = std::max<uint64_t>(lo, s * m), b = std::min<uint64_t>(hi, (s + 1) * m);
      if (b > a) sum += (b - a) * line[s];
    }
    out[t] = uint32_t(sum / n);
  }
  return out;
}

// The whole filter, channel by channel: rows first, then columns of the truncated rows.
std::vector<uint32_t> areaReference(const Image* s, int32_t W, int32_t H) {
  const std::size_t w = std::size_t(s->width), h = std::size_t(s->height);
  std::vector<uint32_t> out(std::size_t(W) * std::size_t(H), 0);
  for (int c = 0; c < 4; ++c) {
    std::vector<uint32_t> mid(std::size_t(W) * h);
    for (std::size_t y = 0; y < h; ++y) {
      std::vector<uint32_t> line(w);
      for (std::size_t x = 0; x < w; ++x) line[x] = (s->pixels[y * w + x] >> (8 * c)) & 0xFF;
      const std::vector<uint32_t> r = reduceLine(line, std::size_t(W));
      for (std::size_t x = 0; x < std::size_t(W); ++x) mid[y * std::size_t(W) + x] = r[x];
    }
    for (std::size_t x = 0; x < std::size_t(W); ++x) {
      std::vector<uint32_t> line(h);
      for (std::size_t y = 0; y < h; ++y) line[y] = mid[y * std::size_t(W) + x];
      const std::vector<uint32_t> r = reduceLine(line, std::size_t(H));
      for (std::size_t y = 0; y < std::size_t(H); ++y) out[y * std::size_t(W) + x] |= r[y] << (8 * c);
    }
  }
  return out;
}

std::vector<uint32_t> reduced(const Image* source, int32_t W, int32_t H) {
  Image* target = ImageCreate(W, H, source->bitDepth);
  ReduceAreaAverage(target, source);
  std::vector<uint32_t> out(target->pixels, target->pixels + target->pixelCount);
  ImageDestroy(&target);
  return out;
}

Image* lineImage(const std::vector<uint32_t>& values, bool vertical) {
  const int32_t n = int32_t(values.size());
  Image* image = vertical ? ImageCreate(1, n, 32) : ImageCreate(n, 1, 32);
  std::memcpy(image->pixels, values.data(), values.size() * 4);
  return image;
}

// One channel value replicated into B, G, R and A.
uint32_t grey(uint32_t v) { return v * 0x01010101u; }

}  // namespace

TEST(AreaAverage, FactorThreeExample) {
  ImageHolder row(lineImage({grey(0), grey(3), grey(6), grey(9), grey(12), grey(15)}, false));
  EXPECT_EQ(reduced(row.get(), 2, 1), (std::vector<uint32_t>{grey(3), grey(12)}));
  ImageHolder column(lineImage({grey(0), grey(3), grey(6), grey(9), grey(12), grey(15)}, true));
  EXPECT_EQ(reduced(column.get(), 1, 2), (std::vector<uint32_t>{grey(3), grey(12)}));
}

TEST(AreaAverage, TwoByTwoTruncatesEachPass) {
  // Block 1, 2 / 2, 3: row means (1 + 2) >> 1 = 1 and (2 + 3) >> 1 = 2, then (1 + 2) >> 1 = 1,
  // where the exact mean of the block, 8 / 4, would give 2. Block 1, 2 / 2, 2 gives 1 too.
  ImageHolder image(ImageCreate(4, 4, 32));
  const uint32_t v[16] = {1, 2, 9, 9, 2, 3, 9, 9, 1, 2, 3, 3, 2, 2, 3, 3};
  for (int i = 0; i < 16; ++i) image->pixels[i] = grey(v[i]);
  EXPECT_EQ(reduced(image.get(), 2, 2), (std::vector<uint32_t>{grey(1), grey(9), grey(1), grey(3)}));
}

TEST(AreaAverage, FractionalExamples) {
  // 5 -> 3: (3 s0 + 2 s1) / 5, (s1 + 3 s2 + s3) / 5, (2 s3 + 3 s4) / 5
  const uint32_t s[5] = {10, 200, 33, 77, 254};
  std::vector<uint32_t> five;
  for (uint32_t x : s) five.push_back(grey(x));
  const std::vector<uint32_t> want5 = {grey((3 * 10 + 2 * 200) / 5), grey((200 + 3 * 33 + 77) / 5),
                                       grey((2 * 77 + 3 * 254) / 5)};
  ImageHolder row(lineImage(five, false));
  EXPECT_EQ(reduced(row.get(), 3, 1), want5);
  ImageHolder column(lineImage(five, true));
  EXPECT_EQ(reduced(column.get(), 1, 3), want5);

  // 7 -> 2: (2 s0 + 2 s1 + 2 s2 + s3) / 7, (s3 + 2 s4 + 2 s5 + 2 s6) / 7
  const uint32_t t[7] = {1, 50, 100, 255, 7, 9, 200};
  std::vector<uint32_t> seven;
  for (uint32_t x : t) seven.push_back(grey(x));
  const std::vector<uint32_t> want7 = {grey((2 * 1 + 2 * 50 + 2 * 100 + 255) / 7),
                                       grey((255 + 2 * 7 + 2 * 9 + 2 * 200) / 7)};
  ImageHolder row7(lineImage(seven, false));
  EXPECT_EQ(reduced(row7.get(), 2, 1), want7);
  ImageHolder column7(lineImage(seven, true));
  EXPECT_EQ(reduced(column7.get(), 1, 2), want7);
}

TEST(AreaAverage, AlphaIsAveragedLikeColour) {
  ImageHolder row(lineImage({0x00FFFFFFu, 0xFF000000u}, false));
  EXPECT_EQ(reduced(row.get(), 1, 1), (std::vector<uint32_t>{0x7F7F7F7Fu}));
}

// Every integer factor, table routines (1-10) and general ones (12, 16, 17, 32), both ways.
TEST(AreaAverage, IntegerFactorsMatchReference) {
  std::mt19937 rng(11);
  for (int32_t k : {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 16, 17, 32}) {
    ImageHolder rows(makeRandomImage(k * 3, 5, rng));
    EXPECT_EQ(reduced(rows.get(), 3, 5), areaReference(rows.get(), 3, 5)) << k;
    ImageHolder columns(makeRandomImage(4, k * 3, rng));
    EXPECT_EQ(reduced(columns.get(), 4, 3), areaReference(columns.get(), 4, 3)) << k;
    ImageHolder both(makeRandomImage(k * 2, k * 2, rng));
    EXPECT_EQ(reduced(both.get(), 2, 2), areaReference(both.get(), 2, 2)) << k;
  }
  // A flat picture stays flat at every factor: the general routines divide like the table ones.
  ImageHolder flat(ImageCreate(48, 48, 32));
  for (int i = 0; i < flat->pixelCount; ++i) flat->pixels[i] = 0xFF7F3F01u;
  for (int32_t m : {1, 2, 3, 4, 12, 16, 24}) {
    for (uint32_t p : reduced(flat.get(), m, m)) EXPECT_EQ(p, 0xFF7F3F01u) << m;
  }
}

// At every vector level (0: the portable code).
TEST(AreaAverage, MatchesReferenceOverRandomSizes) {
  for (int level = 0; level <= ResizeVectorSupported(); ++level) {
    ASSERT_EQ(ResizeSetVector(level), level);
    std::mt19937 rng(12);
    for (int trial = 0; trial < 500; ++trial) {
      const int32_t w = int32_t(rng() % 60) + 1, h = int32_t(rng() % 60) + 1;
      const int32_t W = int32_t(rng() % uint32_t(w)) + 1, H = int32_t(rng() % uint32_t(h)) + 1;
      ImageHolder source(makeRandomImage(w, h, rng));
      ASSERT_EQ(reduced(source.get(), W, H), areaReference(source.get(), W, H))
          << "level " << level << ": " << w << "x" << h << " -> " << W << "x" << H;
    }
  }
  ResizeSetVector(ResizeVectorSupported());
}

// Large coprime ratios (divisors above 65535 and sums beyond 16 bits) still match.
TEST(AreaAverage, LargeRatios) {
  std::mt19937 rng(13);
  ImageHolder wide(makeRandomImage(70001, 1, rng));
  ImageHolder tall(makeRandomImage(2, 70001, rng));
  for (int level = 0; level <= ResizeVectorSupported(); ++level) {
    ASSERT_EQ(ResizeSetVector(level), level);
    EXPECT_EQ(reduced(wide.get(), 69999, 1), areaReference(wide.get(), 69999, 1)) << level;
    EXPECT_EQ(reduced(wide.get(), 3, 1), areaReference(wide.get(), 3, 1)) << level;
    EXPECT_EQ(reduced(wide.get(), 1, 1), areaReference(wide.get(), 1, 1)) << level;
    EXPECT_EQ(reduced(tall.get(), 1, 69997), areaReference(tall.get(), 1, 69997)) << level;
  }
  ResizeSetVector(ResizeVectorSupported());
}

// Reached through ImageResize as shrinking filter 2.
TEST(AreaAverage, ThroughResize) {
  std::mt19937 rng(14);
  ImageHolder source(makeRandomImage(40, 30, rng));
  Image* target = nullptr;
  ASSERT_EQ(ImageResize(&target, source.get(), 0.37, 1.0, kResizeFactor, kFilterAreaAverage, kFilterBilinear), 1);
  EXPECT_EQ(target->width, 15);
  EXPECT_EQ(target->height, 30);
  EXPECT_EQ(std::vector<uint32_t>(target->pixels, target->pixels + target->pixelCount),
            areaReference(source.get(), 15, 30));
  ImageDestroy(&target);
}

// Ratios whose channel sums pass 32 bits (255 * A > 2^32, sides beyond 2^24 pixels) use
// 64-bit sums; the same routines, forced, must agree with the reference on ordinary sizes.
TEST(AreaAverage, WideSumsMatchReference) {
  std::mt19937 rng(15);
  for (int trial = 0; trial < 300; ++trial) {
    const int32_t w = int32_t(rng() % 60) + 1, h = int32_t(rng() % 60) + 1;
    const int32_t W = int32_t(rng() % uint32_t(w)) + 1, H = int32_t(rng() % uint32_t(h)) + 1;
    ImageHolder source(makeRandomImage(w, h, rng));
    ImageHolder target(ImageCreate(W, H, 32));
    ReduceAreaAverageWide(target.get(), source.get());
    ASSERT_EQ(std::vector<uint32_t>(target->pixels, target->pixels + target->pixelCount),
              areaReference(source.get(), W, H))
        << w << "x" << h << " -> " << W << "x" << H;
  }
}
