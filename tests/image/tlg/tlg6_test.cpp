// TLG6 streams built from chosen residuals and filter types, checked against a slow reference
// written from the prediction rules; the filter map's pre-filled ring; invalid streams.
#include <gtest/gtest.h>

#include <random>

#include "tests/image/tlg/tlg_test_util.h"

using namespace limg;

using namespace tlgtest;

namespace {

std::vector<uint8_t> randomTypes(std::mt19937& rng, int width, int height) {
  std::vector<uint8_t> t(size_t((width - 1) / 8 + 1) * ((height - 1) / 8 + 1));
  for (auto& v : t) v = uint8_t(rng() % 32);
  return t;
}

// Widths below 8, multiples of 8 and others; heights with short last bands of every parity
// (19: 3 rows, 12: 4, 5 and 14: 5 and 6), which set where odd blocks and odd rows start.
TEST(Tlg6, MatchesReferenceOverShapes) {
  std::mt19937 rng(6);
  for (int colours : {1, 3, 4})
    for (int width : {1, 3, 7, 8, 9, 16, 21, 24, 37})
      for (int height : {1, 2, 3, 5, 8, 9, 12, 14, 19}) {
        SCOPED_TRACE(testing::Message() << colours << " colours " << width << "x" << height);
        const auto residual = randomResiduals(rng, width, height, colours);
        const auto types = randomTypes(rng, width, height);
        const Bytes data = buildTlg6(residual, types, width, height, colours);
        const auto expected = referenceTlg6(residual, types, width, height, colours);
        for (const TlgRoutines& f : TlgAvailableRoutines(TlgProbeCpu())) {
          ImagePtr image = decode(data, f);
          ASSERT_TRUE(image && image->pixels) << f.name;
          EXPECT_EQ(image->bitDepth, colours * 8);
          EXPECT_EQ(pixelsOf(image.get()), expected) << f.name;
        }
      }
}

// Every predictor and transform, one per block, over a picture of wide value range.
TEST(Tlg6, EveryFilterTypeInItsOwnBlock) {
  std::mt19937 rng(7);
  const int width = 8 * 32, height = 16;
  std::vector<uint32_t> residual(size_t(width) * height);
  for (auto& w : residual) w = rng();
  std::vector<uint8_t> types(64);
  for (int i = 0; i < 64; ++i) types[size_t(i)] = uint8_t(i % 32);
  const Bytes data = buildTlg6(residual, types, width, height, 4);
  const auto expected = referenceTlg6(residual, types, width, height, 4);
  for (const TlgRoutines& f : TlgAvailableRoutines(TlgProbeCpu())) {
    ImagePtr image = decode(data, f);
    ASSERT_TRUE(image && image->pixels) << f.name;
    EXPECT_EQ(pixelsOf(image.get()), expected) << f.name;
  }
}

// The slot layout of a last band of 3 rows: odd blocks read slots 2, 1, 0 and odd rows run
// backwards; distinct residuals make any misplaced word show.
TEST(Tlg6, ShortLastBandMirrorsOddBlocks) {
  const int width = 20, height = 19;
  std::vector<uint32_t> residual(size_t(width) * height);
  for (size_t i = 0; i < residual.size(); ++i) residual[i] = uint32_t(i * 7 + 1) & 0x7F;
  const std::vector<uint8_t> types(3 * 3, 0);
  const Bytes data = buildTlg6(residual, types, width, height, 4);
  ImagePtr image = decode(data);
  ASSERT_TRUE(image && image->pixels);
  EXPECT_EQ(pixelsOf(image.get()), referenceTlg6(residual, types, width, height, 4));
  // The slot index itself, from the layout: block 1 of the last band (h = 3), row j = 0
  // takes slot 2; row 1 (odd y = 17) runs backwards.
  EXPECT_EQ(tlg6SlotIndex(8, 16, width, height), size_t(8 * 3 * 1 + 2 * 8 + 0));
  EXPECT_EQ(tlg6SlotIndex(8, 17, width, height), size_t(8 * 3 * 1 + 1 * 8 + 7));
  EXPECT_EQ(tlg6SlotIndex(16, 18, width, height), size_t(8 * 3 * 2 + 2 * 4 + 0));
}

// Type 0 over all-zero residuals reproduces the initial pixel; a grey stream comes out grey.
TEST(Tlg6, ZeroResidualsAndGrey) {
  for (int colours : {1, 3, 4}) {
    const int width = 13, height = 11;
    const std::vector<uint32_t> residual(size_t(width) * height, 0);
    const std::vector<uint8_t> types(4, 0);
    ImagePtr image = decode(buildTlg6(residual, types, width, height, colours));
    ASSERT_TRUE(image && image->pixels);
    const uint32_t want = colours == 4 ? 0 : 0xFF000000u;
    for (uint32_t p : pixelsOf(image.get())) EXPECT_EQ(p, want);
  }
  std::vector<uint32_t> residual(9 * 9, 0);
  residual[0] = 0x50;  // transform 9 doubles it: first pixel 0xA0, the rest predicted from it
  ImagePtr grey = decode(buildTlg6(residual, std::vector<uint8_t>(4, 18), 9, 9, 1));
  ASSERT_TRUE(grey && grey->pixels);
  EXPECT_EQ(grey->bitDepth, 8);
  for (uint32_t p : pixelsOf(grey.get())) EXPECT_EQ(p, 0xFFA0A0A0u);
}

// A filter map made only of back-references into the pre-filled ring: a match at ring 0 of
// length 4 gives 0 0 0 0, one at ring 8*(16*5+3) + 4 gives 3 3 3 3.
TEST(Tlg6, PrefilledRingBackReferences) {
  const int width = 32, height = 8;  // 4 blocks
  std::mt19937 rng(9);
  const auto residual = randomResiduals(rng, width, height, 3);
  const Bytes zeros = {0x01, 0x00, 0x10};
  ImagePtr image = decode(buildTlg6(residual, {}, width, height, 3, &zeros));
  ASSERT_TRUE(image && image->pixels);
  EXPECT_EQ(pixelsOf(image.get()), referenceTlg6(residual, {0, 0, 0, 0}, width, height, 3));
  const uint32_t source = 8 * (16 * 5 + 3) + 4;
  const Bytes threes = {0x01, uint8_t(source), uint8_t(0x10 | source >> 8)};
  image = decode(buildTlg6(residual, {}, width, height, 3, &threes));
  ASSERT_TRUE(image && image->pixels);
  EXPECT_EQ(pixelsOf(image.get()), referenceTlg6(residual, {3, 3, 3, 3}, width, height, 3));
}

// One band whose channels carry an escape form (large residuals right at a window's end).
TEST(Tlg6, ResidualsWithEscapes) {
  const int width = 40, height = 8;
  std::vector<uint32_t> residual(size_t(width) * height, 0);
  for (size_t i = 0; i < residual.size(); i += 5) residual[i] = 0x80808080u | uint32_t(i);
  bool escapes = false;
  const std::vector<uint8_t> types(5, 2);
  const Bytes data = buildTlg6(residual, types, width, height, 4, nullptr, &escapes);
  EXPECT_TRUE(escapes);
  for (const TlgRoutines& f : TlgAvailableRoutines(TlgProbeCpu())) {
    ImagePtr image = decode(data, f);
    ASSERT_TRUE(image && image->pixels) << f.name;
    EXPECT_EQ(pixelsOf(image.get()), referenceTlg6(residual, types, width, height, 4)) << f.name;
  }
}

Bytes header6(int colours, int32_t width, int32_t height, int32_t maxBits) {
  Bytes out(kTlg6, kTlg6 + 11);
  putBytes(out, "\0\0\0\0", 4);
  out[11] = uint8_t(colours);
  put32(out, uint32_t(width));
  put32(out, uint32_t(height));
  put32(out, uint32_t(maxBits));
  return out;
}

TEST(Tlg6, InvalidStreamsGiveNoPixels) {
  std::mt19937 rng(10);
  const auto residual = randomResiduals(rng, 12, 10, 3);
  const std::vector<uint8_t> types(4, 5);
  const Bytes good = buildTlg6(residual, types, 12, 10, 3);
  ASSERT_TRUE(decode(good)->pixels);
  EXPECT_TRUE(hasNoPixels(decode(header6(2, 4, 4, 10)).get()));
  Bytes nonzero = good;
  nonzero[13] = 1;
  EXPECT_TRUE(hasNoPixels(decode(nonzero).get()));
  EXPECT_TRUE(hasNoPixels(decode(header6(3, 0, 4, 10)).get()));
  EXPECT_TRUE(hasNoPixels(decode(header6(3, 4, -1, 10)).get()));
  EXPECT_TRUE(hasNoPixels(decode(header6(3, 4, 4, -1)).get()));
  // Filter type above 31.
  std::vector<uint8_t> bad = types;
  bad[3] = 32;
  EXPECT_TRUE(hasNoPixels(decode(buildTlg6(residual, bad, 12, 10, 3)).get()));
  // A map longer or shorter than the blocks.
  const Bytes longMap = lzssLiterals(std::vector<uint8_t>(5, 1).data(), 5);
  EXPECT_TRUE(hasNoPixels(decode(buildTlg6(residual, {}, 12, 10, 3, &longMap)).get()));
  const Bytes shortMap = lzssLiterals(std::vector<uint8_t>(3, 1).data(), 3);
  EXPECT_TRUE(hasNoPixels(decode(buildTlg6(residual, {}, 12, 10, 3, &shortMap)).get()));
  // bitLength beyond the bit buffer: maxBitLength lowered to 0 (buffer of 5 bytes).
  Bytes small = good;
  for (int i = 0; i < 4; ++i) small[23 + i] = 0;
  EXPECT_TRUE(hasNoPixels(decode(small).get()));
  // Every truncation of a valid stream is refused.
  for (size_t n = 0; n < good.size(); ++n) {
    ImagePtr image = decode(Bytes(good.begin(), good.begin() + n));
    ASSERT_TRUE(image);
    EXPECT_TRUE(hasNoPixels(image.get())) << n;
  }
}

// A channel whose method bits are not 0 is skipped: its bytes read as zero.
TEST(Tlg6, UnknownMethodSkipsChannel) {
  std::vector<uint32_t> residual(8 * 1, 0x00000305u);
  Bytes data = buildTlg6(residual, {0}, 8, 1, 3);
  // Channel records follow the 2-byte literal map; set bit 30 of channel 0's bitLength.
  const size_t channel0 = 11 + 4 + 12 + 4 + 2;
  data[channel0 + 3] |= 0x40;
  ImagePtr image = decode(data);
  ASSERT_TRUE(image && image->pixels);
  std::vector<uint32_t> zeroB(8, 0x00000300u);
  EXPECT_EQ(pixelsOf(image.get()), referenceTlg6(zeroB, {0}, 8, 1, 3));
}

}  // namespace
