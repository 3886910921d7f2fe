// TLG5 streams built byte by byte: block layout, plane records, LZSS ring carried across
// records, and the bounds that make a stream invalid.
#include <gtest/gtest.h>

#include <random>

#include "tests/image/tlg/tlg_test_util.h"

using namespace limg;

using namespace tlgtest;

namespace {

Bytes tlg5Header(int colours, uint32_t width, uint32_t height, uint32_t blockHeight) {
  Bytes out(kTlg5, kTlg5 + 11);
  out.push_back(uint8_t(colours));
  put32(out, width);
  put32(out, height);
  put32(out, blockHeight);
  uint32_t blocks = (height - 1) / blockHeight + 1;
  if (blocks > 64) blocks = 64;  // headers the decoder refuses before the table
  for (uint32_t b = 0; b < blocks; ++b) put32(out, 0);
  return out;
}

void storedRecord(Bytes& out, const Bytes& data) {
  out.push_back(1);
  put32(out, uint32_t(data.size()));
  putBytes(out, data.data(), data.size());
}

TEST(Tlg5, RoundTripsOverShapesAndCodings) {
  std::mt19937 rng(3);
  const int widths[] = {1, 2, 7, 8, 15, 16, 17, 33};
  const int heights[] = {1, 3, 5, 9};
  for (int colours : {3, 4})
    for (int width : widths)
      for (int height : heights)
        for (int blockHeight : {1, 2, 4, 100})
          for (Tlg5Mode mode : {Tlg5Mode::Stored, Tlg5Mode::Literals, Tlg5Mode::Greedy}) {
            SCOPED_TRACE(testing::Message() << colours << " colours " << width << "x" << height
                                            << " block " << blockHeight << " mode " << int(mode));
            std::vector<uint32_t> pixels = randomPixels(rng, width, height, width > 8);
            if (colours == 3)
              for (auto& p : pixels) p |= 0xFF000000u;
            const Bytes data = buildTlg5(pixels.data(), width, height, colours, blockHeight, mode);
            ImagePtr image = decode(data);
            ASSERT_TRUE(image && image->pixels);
            EXPECT_EQ(image->width, width);
            EXPECT_EQ(image->height, height);
            EXPECT_EQ(image->bitDepth, colours * 8);
            EXPECT_EQ(pixelsOf(image.get()), pixels);
            // The spare row after the picture is zero.
            for (int x = 0; x < width; ++x) EXPECT_EQ(image->pixels[image->pixelCount + x], 0u);
          }
}

// All-zero differences: first row black, every later row a copy of the row above; with 3
// colours alpha is 0xFF whatever the data, with 4 colours it is the data's.
TEST(Tlg5, ZeroDifferencesAndAlpha) {
  for (int colours : {3, 4}) {
    Bytes data = tlg5Header(colours, 5, 2, 8);  // one block with a single size entry
    for (int c = 0; c < colours; ++c) storedRecord(data, Bytes(10, c == 3 ? 0 : 0));
    ImagePtr image = decode(data);
    ASSERT_TRUE(image && image->pixels);
    for (uint32_t p : pixelsOf(image.get())) EXPECT_EQ(p, colours == 3 ? 0xFF000000u : 0u);
  }
  // 3 colours: alpha bytes of nothing, green difference folded into B and R.
  Bytes data = tlg5Header(3, 2, 1, 1);
  storedRecord(data, Bytes{1, 0});    // c0
  storedRecord(data, Bytes{2, 1});    // c1 (G)
  storedRecord(data, Bytes{3, 0});    // c2
  ImagePtr image = decode(data);
  ASSERT_TRUE(image && image->pixels);
  // x0: dG 2, dB 3, dR 5. x1: dG 1, dB 1, dR 1 -> sums (4, 3, 6).
  EXPECT_EQ(image->pixels[0], 0xFF050203u);
  EXPECT_EQ(image->pixels[1], 0xFF060304u);
}

// The last block holds height mod blockHeight rows and its records only those rows; the row
// above runs across blocks.
TEST(Tlg5, ShortLastBlockAndAboveAcrossBlocks) {
  Bytes data = tlg5Header(4, 2, 3, 2);
  for (int c = 0; c < 4; ++c) storedRecord(data, Bytes{uint8_t(c == 1 ? 0 : 1), 0, 0, 0});
  for (int c = 0; c < 4; ++c) storedRecord(data, Bytes{uint8_t(c == 1 ? 0 : 2), 0});
  ImagePtr image = decode(data);
  ASSERT_TRUE(image && image->pixels);
  EXPECT_EQ(pixelsOf(image.get()), (std::vector<uint32_t>{0x01010001u, 0x01010001u, 0x01010001u,
                                                          0x01010001u, 0x03030003u, 0x03030003u}));
}

// A stored record between compressed ones leaves the ring and r alone: the last record's
// match reaches the bytes of the first one.
TEST(Tlg5, StoredRecordLeavesRingUntouched) {
  Bytes data = tlg5Header(3, 4, 1, 1);
  data.push_back(0);  // c0: LZSS literals 9 8 7 6 at ring 0..3
  const Bytes lit = {0x00, 9, 8, 7, 6};
  put32(data, uint32_t(lit.size()));
  putBytes(data, lit.data(), lit.size());
  storedRecord(data, Bytes{0, 0, 0, 0});  // c1
  data.push_back(0);  // c2: one match from ring 0, length 4 (r is 4 again after c0)
  const Bytes match = {0x01, 0x00, 0x10};
  put32(data, uint32_t(match.size()));
  putBytes(data, match.data(), match.size());
  for (const TlgRoutines& f : TlgAvailableRoutines(TlgProbeCpu())) {
    ImagePtr image = decode(data, f);
    ASSERT_TRUE(image && image->pixels) << f.name;
    EXPECT_EQ(image->pixels[0], 0xFF000009u | 9u << 16) << f.name;
    EXPECT_EQ(image->pixels[3], 0xFF000000u | uint32_t(30) << 16 | 30u) << f.name;
  }
}

TEST(Tlg5, InvalidHeadersAndBoundsGiveNoPixels) {
  auto valid = [] {
    Bytes d = tlg5Header(3, 4, 2, 2);
    for (int c = 0; c < 3; ++c) storedRecord(d, Bytes(8, 1));
    return d;
  };
  ASSERT_TRUE(decode(valid())->pixels);
  EXPECT_TRUE(hasNoPixels(decode(tlg5Header(2, 4, 2, 2)).get()));
  EXPECT_TRUE(hasNoPixels(decode(tlg5Header(3, 0, 2, 2)).get()));
  EXPECT_TRUE(hasNoPixels(decode(tlg5Header(3, 4, 0x80000000u, 2)).get()));
  Bytes zeroBlock(kTlg5, kTlg5 + 11);
  zeroBlock.push_back(3);
  put32(zeroBlock, 4);
  put32(zeroBlock, 2);
  put32(zeroBlock, 0);
  EXPECT_TRUE(hasNoPixels(decode(zeroBlock).get()));
  // A stored record larger than the plane buffer (4 * 2 + 10 bytes).
  Bytes big = tlg5Header(3, 4, 2, 2);
  for (int c = 0; c < 3; ++c) storedRecord(big, Bytes(19, 1));
  EXPECT_TRUE(hasNoPixels(decode(big).get()));
  // A record that supplies fewer bytes than the block's rows.
  Bytes shortRecord = tlg5Header(3, 4, 2, 2);
  for (int c = 0; c < 3; ++c) storedRecord(shortRecord, Bytes(c == 2 ? 7 : 8, 1));
  EXPECT_TRUE(hasNoPixels(decode(shortRecord).get()));
  // LZSS output past the buffer: a 273-byte match into an 18-byte plane buffer.
  Bytes overflow = tlg5Header(3, 4, 2, 2);
  for (int c = 0; c < 3; ++c) {
    overflow.push_back(0);
    put32(overflow, 4);
    putBytes(overflow, "\x01\x00\xF0\xFF", 4);
  }
  for (const TlgRoutines& f : TlgAvailableRoutines(TlgProbeCpu()))
    EXPECT_TRUE(hasNoPixels(decode(overflow, f).get())) << f.name;
  // Every truncation of a valid stream is refused, none read out of range.
  const Bytes full = valid();
  for (size_t n = 0; n < full.size(); ++n) {
    Bytes cut(full.begin(), full.begin() + n);
    ImagePtr image = decode(cut);
    ASSERT_TRUE(image);
    EXPECT_TRUE(hasNoPixels(image.get())) << n;
  }
}

}  // namespace
