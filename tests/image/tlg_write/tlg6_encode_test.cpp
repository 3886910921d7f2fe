#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "image/tlg/tlg_encode.h"
#include "tests/image/tlg_write/tlg_reference_decoder.h"
#include "tests/image/tlg_write/tlg_write_test_util.h"

using namespace limg;

namespace {

using tlgtest::Kind;
using tlgtest::le32;
using tlgtest::makePacked;

TEST(TlgForwardTransform, UndoneByTheReadersTransforms) {
  std::mt19937 rng(3);
  for (int t = 0; t < 16; ++t)
    for (int i = 0; i < 200; ++i) {
      const uint8_t a = uint8_t(rng()), b = uint8_t(rng()), c = uint8_t(rng());
      uint8_t r0 = a, r1 = b, r2 = c;
      TlgForwardTransform(t, r0, r1, r2);
      tlgref::inverseTransform(t, r0, r1, r2);
      ASSERT_EQ(r0, a) << t;
      ASSERT_EQ(r1, b) << t;
      ASSERT_EQ(r2, c) << t;
    }
}

// The choice as described: every transform on copies, the later channels estimated only while
// the running sum can still win, strictly smaller sums replacing the best.
TlgTransformChoice literalChoice(const uint8_t* c0, const uint8_t* c1, const uint8_t* c2, int n) {
  TlgTransformChoice best{0, 0};
  bool chosen = false;
  for (int t = 0; t < 16; ++t) {
    std::vector<uint8_t> a(c0, c0 + n), b(c1, c1 + n), c(c2, c2 + n);
    for (int i = 0; i < n; ++i) TlgForwardTransform(t, a[i], b[i], c[i]);
    uint32_t sum = TlgEstimateBits(a.data(), n);
    if (!chosen || best.bits >= sum) sum += TlgEstimateBits(b.data(), n);
    if (!chosen || best.bits >= sum) sum += TlgEstimateBits(c.data(), n);
    if (!chosen || sum < best.bits) best = {t, sum}, chosen = true;
  }
  return best;
}

TEST(TlgChooseTransform, AgreesWithTheLiteralChoice) {
  std::mt19937 rng(11);
  for (int round = 0; round < 400; ++round) {
    const int n = 1 + int(rng() % 64);
    std::vector<uint8_t> c0(n), c1(n), c2(n);
    const int spread = 1 + int(rng() % 40);
    for (int i = 0; i < n; ++i) {
      const int base = int(rng() % spread) - spread / 2;
      c0[i] = uint8_t(base + int(rng() % 3));
      c1[i] = uint8_t(round % 3 ? base : int(rng() % spread));
      c2[i] = uint8_t(base * (round % 4) - int(rng() % 2));
    }
    const TlgTransformChoice fast = TlgChooseTransform(c0.data(), c1.data(), c2.data(), n);
    const TlgTransformChoice plain = literalChoice(c0.data(), c1.data(), c2.data(), n);
    ASSERT_EQ(fast.transform, plain.transform) << round;
    ASSERT_EQ(fast.bits, plain.bits) << round;
  }
  // All zero: every transform ties, so transform 0 stays.
  const std::vector<uint8_t> zero(64, 0);
  const TlgTransformChoice z = TlgChooseTransform(zero.data(), zero.data(), zero.data(), 64);
  EXPECT_EQ(z.transform, 0);
  EXPECT_EQ(z.bits, 3u * (1 + 13));  // start bit and gamma(64) per channel
  // Equal channels: transform 1 leaves only channel 1 non-zero and wins over 0.
  std::vector<uint8_t> same(64);
  for (int i = 0; i < 64; ++i) same[i] = uint8_t(i * 7);
  EXPECT_EQ(TlgChooseTransform(same.data(), same.data(), same.data(), 64).transform, 1);
}

TEST(TlgEstimateBits, CountsRunsAndValueCodes) {
  const uint8_t zeros[5] = {0, 0, 0, 0, 0};
  EXPECT_EQ(TlgEstimateBits(zeros, 5), 1u + 5u);  // gamma(5) = 5 bits
  const uint8_t pair[2] = {1, 0xFF};            // 1, -1
  EXPECT_EQ(TlgEstimateBits(pair, 2), 1u + 3u + 2u + 1u);
  const uint8_t big[1] = {127};  // t = 253, k = 0, q = 253: counted as 36
  EXPECT_EQ(TlgEstimateBits(big, 1), 1u + 1u + 36u + 0u + 1u);
}

struct Tlg6Header {
  int colours;
  int32_t width, height;
  uint32_t maxBits, mapSize;
  std::vector<uint8_t> packedMap;
  std::size_t bandsAt;
};

Tlg6Header header(const std::vector<uint8_t>& s) {
  Tlg6Header h;
  EXPECT_EQ(std::string(s.begin(), s.begin() + 11), std::string("TLG6.0\0raw\x1a", 11));
  h.colours = s[11];
  EXPECT_EQ(s[12] | s[13] | s[14], 0);
  h.width = int32_t(le32(s, 15));
  h.height = int32_t(le32(s, 19));
  h.maxBits = le32(s, 23);
  h.mapSize = le32(s, 27);
  h.packedMap.assign(s.begin() + 31, s.begin() + 31 + h.mapSize);
  h.bandsAt = 31 + h.mapSize;
  return h;
}

TEST(SaveTLG6, StreamLayoutAndLargestChannelRecord) {
  const tlgtest::Packed p = makePacked(21, 19, 4, Kind::Smooth, 8);
  const std::vector<uint8_t> s = tlgtest::encodeTlg6(p);
  const Tlg6Header h = header(s);
  EXPECT_EQ(h.colours, 4);
  EXPECT_EQ(h.width, 21);
  EXPECT_EQ(h.height, 19);
  // Three bands of four channel records each, filling the stream to its end.
  uint32_t largest = 0;
  std::size_t at = h.bandsAt;
  for (int record = 0; record < 3 * 4; ++record) {
    const uint32_t bits = le32(s, at);
    EXPECT_EQ(bits >> 30, 0u);
    largest = std::max(largest, bits);
    at += 4 + (bits + 7) / 8;
    ASSERT_LE(at, s.size());
  }
  EXPECT_EQ(at, s.size());
  EXPECT_EQ(h.maxBits, largest);
}

TEST(SaveTLG6, OneBlockPictureHasOneLiteralFilterMap) {
  const tlgtest::Packed p = makePacked(5, 6, 3, Kind::Noise, 2);
  const std::vector<uint8_t> s = tlgtest::encodeTlg6(p);
  const Tlg6Header h = header(s);
  ASSERT_EQ(h.mapSize, 2u);
  EXPECT_EQ(h.packedMap[0], 0x00);  // one flag byte: a literal
  std::vector<uint8_t> map;
  tlgref::Picture pic;
  ASSERT_TRUE(tlgref::decodeStream(s.data(), s.size(), pic, &map));
  ASSERT_EQ(map.size(), 1u);
  EXPECT_EQ(h.packedMap[1], map[0]);
  EXPECT_LT(map[0], 32);
}

TEST(SaveTLG6, UniformPictureFilterTypes) {
  const tlgtest::Packed p = makePacked(30, 27, 3, Kind::Uniform);  // channels 40, 90, 140
  std::vector<uint8_t> map;
  tlgref::Picture pic;
  const std::vector<uint8_t> s = tlgtest::encodeTlg6(p);
  ASSERT_TRUE(tlgref::decodeStream(s.data(), s.size(), pic, &map));
  ASSERT_EQ(map.size(), 4u * 4u);
  for (int by = 0; by < 4; ++by)
    for (int bx = 0; bx < 4; ++bx) {
      const int type = map[by * 4 + bx];
      if (bx == 0 || by == 0) EXPECT_EQ(type % 2, 0) << bx << "," << by;  // MED along the edges
      else EXPECT_EQ(type, 1) << bx << "," << by;  // a tie: average, transform 0
    }
}

TEST(SaveTLG6, OneColourBlocksAllTakeAverage) {
  const tlgtest::Packed p = makePacked(40, 20, 1, Kind::Noise, 4);
  std::vector<uint8_t> map;
  tlgref::Picture pic;
  const std::vector<uint8_t> s = tlgtest::encodeTlg6(p);
  EXPECT_EQ(s[11], 1);
  ASSERT_TRUE(tlgref::decodeStream(s.data(), s.size(), pic, &map));
  ASSERT_EQ(map.size(), 5u * 3u);
  for (uint8_t type : map) EXPECT_EQ(type, 1);
}

TEST(SaveTLG6, SameBytesWithAnyNumberOfThreads) {
  const tlgtest::Packed p = makePacked(203, 131, 4, Kind::Smooth, 21);
  const std::vector<uint8_t> one = tlgtest::encodeTlg6(p, 1);
  for (int threads : {2, 3, 8, 0}) EXPECT_EQ(tlgtest::encodeTlg6(p, threads), one) << threads;
}

TEST(SaveTLG6, ColourTypesMapAndUnknownOnesAreRefused) {
  EXPECT_EQ(TlgColourCount(0), 3);
  EXPECT_EQ(TlgColourCount(1), 1);
  EXPECT_EQ(TlgColourCount(2), 1);
  EXPECT_EQ(TlgColourCount(3), 1);
  EXPECT_EQ(TlgColourCount(4), 3);
  EXPECT_EQ(TlgColourCount(5), 3);
  EXPECT_EQ(TlgColourCount(6), 3);
  EXPECT_EQ(TlgColourCount(7), 4);
  EXPECT_EQ(TlgColourCount(8), 0);
  tlgtest::Packed p = makePacked(3, 3, 3, Kind::Noise);
  TlgEncodeSource source = p.source();
  source.colourType = 0;
  TlgMemoryWriter w(64);
  SaveTLG6(source, w);
  EXPECT_EQ(w.data[11], 3);

  source.colourType = 8;
  TlgMemoryWriter refused(64);
  ::testing::internal::CaptureStdout();
  try {
    SaveTLG6(source, refused);
    ADD_FAILURE() << "no exception";
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "SaveTLG6: Unsupported Color Type");
  }
  EXPECT_EQ(::testing::internal::GetCapturedStdout(), "SaveTLG6: Unsupported Color Type\n");
  EXPECT_EQ(refused.size(), 0u);
}

}  // namespace
