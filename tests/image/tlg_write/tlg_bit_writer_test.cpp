#include "image/tlg/tlg_bit_writer.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "image/tlg/tlg_encode.h"
#include "tests/image/tlg_write/tlg_reference_decoder.h"

using namespace limg;

namespace {

struct Coded {
  std::vector<uint8_t> bytes;
  uint64_t bits;
};

Coded code(const std::vector<int8_t>& values) {
  TlgBitWriter w;
  TlgEncodeChannel(w, values.data(), values.size());
  return {std::vector<uint8_t>(w.data, w.data + w.byteCount()), w.bitCount()};
}

TEST(TlgBitWriter, FieldsGoLeastSignificantBitFirstAcrossBytes) {
  TlgBitWriter w;
  w.putBit(1);
  w.putBits(0x5, 3);     // bits 1..3 = 1, 0, 1
  w.putBits(0xABC, 12);  // bits 4..15
  EXPECT_EQ(w.bitCount(), 16u);
  EXPECT_EQ(w.data[0], 0xCB);
  EXPECT_EQ(w.data[1], 0xAB);
  w.putGamma(1);  // "1"
  w.putGamma(6);  // m = 2: 0, 0, 1, then 6's low bits 0, 1
  EXPECT_EQ(w.bitCount(), 22u);
  EXPECT_EQ(w.data[2], 0x29);  // bits 16, 19 and 21
}

TEST(TlgBitWriter, GrowsInWholeStepsAndStaysZeroFilled) {
  TlgBitWriter w;
  for (int i = 0; i < 5000; ++i) w.putBits(0xFF, 8);
  w.putBit(0);
  EXPECT_EQ(w.capacity % 4096, 0u);
  EXPECT_GE(w.capacity, 5001u);
  EXPECT_EQ(w.data[4999], 0xFF);
  EXPECT_EQ(w.data[5000], 0x00);
  for (uint32_t i = 5001; i < w.capacity; ++i) ASSERT_EQ(w.data[i], 0) << i;
  w.reset();
  EXPECT_EQ(w.bitCount(), 0u);
  for (uint32_t i = 0; i < w.capacity; ++i) ASSERT_EQ(w.data[i], 0) << i;
}

TEST(TlgBitWriter, LongGammaCodeDecodes) {
  TlgBitWriter w;
  w.putBit(1);
  w.putGamma(70000);  // 33 bits
  w.putGamma(3);
  EXPECT_EQ(w.bitCount(), 1u + 33u + 3u);
  tlgref::BitReader r{w.data, w.byteCount()};
  EXPECT_EQ(r.next(), 1);
  uint32_t a = 0, b = 0;
  ASSERT_TRUE(r.gamma(a));
  ASSERT_TRUE(r.gamma(b));
  EXPECT_EQ(a, 70000u);
  EXPECT_EQ(b, 3u);
}

TEST(TlgEncodeChannel, ZeroChannelIsStartBitAndOneRun) {
  const Coded one = code({0});
  EXPECT_EQ(one.bits, 2u);
  EXPECT_EQ(one.bytes, (std::vector<uint8_t>{0x02}));
  const Coded five = code({0, 0, 0, 0, 0});  // 0 | 0 0 1 | 1 0
  EXPECT_EQ(five.bits, 6u);
  EXPECT_EQ(five.bytes, (std::vector<uint8_t>{0x18}));
}

TEST(TlgEncodeChannel, OneThenMinusOne) {
  // 1 | gamma(2) = 0 1 0 | t = 1, k = 0: 0 1 | t = 0, k = 0: 1
  const Coded c = code({1, -1});
  EXPECT_EQ(c.bits, 7u);
  EXPECT_EQ(c.bytes, (std::vector<uint8_t>{0x65}));
}

TEST(TlgEncodeChannel, FoldsExtremeBytes) {
  EXPECT_EQ(TlgFoldResidual(-128), 254u);
  EXPECT_EQ(TlgFoldResidual(127), 253u);
  EXPECT_EQ(TlgFoldResidual(1), 1u);
  EXPECT_EQ(TlgFoldResidual(-1), 0u);
  EXPECT_EQ(TlgFoldResidual(-2), 2u);
}

TEST(TlgEncodeChannel, EscapeFormStartsWhereZerosReachTheFifthByte) {
  // Each code starts at bit 2 of byte 0 with k = 0, so q = t.
  const Coded normal = code({15});  // t = 29: zeros up to bit 30, the 1 at bit 31
  EXPECT_EQ(normal.bits, 32u);
  EXPECT_EQ(normal.bytes, (std::vector<uint8_t>{0x03, 0, 0, 0x80}));
  const Coded edge = code({-16});  // t = 30: the zeros would end exactly at byte 4
  EXPECT_EQ(edge.bits, 40u);
  EXPECT_EQ(edge.bytes, (std::vector<uint8_t>{0x03, 0, 0, 0, 30}));
  const Coded big = code({127});  // t = 253
  EXPECT_EQ(big.bytes, (std::vector<uint8_t>{0x03, 0, 0, 0, 253}));
  for (const std::vector<int8_t>& v : {std::vector<int8_t>{15}, {-16}, {127}, {-128, 127, 0, 0, -128}}) {
    const Coded c = code(v);
    std::vector<int8_t> back;
    ASSERT_TRUE(tlgref::decodeChannel(c.bytes.data(), c.bytes.size(), v.size(), back));
    EXPECT_EQ(back, v);
  }
}

TEST(TlgEncodeChannel, RandomChannelsDecodeBackAndSmallOnesMatchTheEstimate) {
  std::mt19937 rng(99);
  for (int round = 0; round < 200; ++round) {
    const std::size_t n = 1 + rng() % 3000;
    const int spread = 1 + int(rng() % 25);  // up to 12 keeps q below any escape
    const bool small = round % 2 == 0;
    std::vector<int8_t> v(n);
    for (auto& e : v) {
      if (rng() % 3 == 0) e = 0;
      else e = small ? int8_t(int(rng() % spread) - spread / 2) : int8_t(rng());
    }
    const Coded c = code(v);
    std::vector<int8_t> back;
    ASSERT_TRUE(tlgref::decodeChannel(c.bytes.data(), c.bytes.size(), n, back)) << round;
    ASSERT_EQ(back, v) << round;
    if (small) {
      EXPECT_EQ(TlgEstimateBits(reinterpret_cast<const uint8_t*>(v.data()), int(n)), c.bits) << round;
    }
  }
}

TEST(TlgEncodeChannel, StateHalvesEveryFourthValueAcrossZeroRuns) {
  // With a carried through the zero run, the fifth value sees a halved sum; a coder that
  // restarted its state per run would pick another k and another length.
  const std::vector<int8_t> v = {12, -12, 0, 0, 11, 12, 0, 5, 5};
  const Coded c = code(v);
  std::vector<int8_t> back;
  ASSERT_TRUE(tlgref::decodeChannel(c.bytes.data(), c.bytes.size(), v.size(), back));
  EXPECT_EQ(back, v);
  EXPECT_EQ(TlgEstimateBits(reinterpret_cast<const uint8_t*>(v.data()), int(v.size())), c.bits);
}

}  // namespace
