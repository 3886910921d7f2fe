#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "image/tlg/tlg_encode.h"
#include "tests/image/tlg_write/tlg_reference_decoder.h"
#include "tests/image/tlg_write/tlg_write_test_util.h"

namespace {

using tlgtest::Kind;
using tlgtest::le32;
using tlgtest::makePacked;

TEST(Tlg5Encode, OnePixelStreamExactly) {
  tlgtest::Packed p = makePacked(1, 1, 3, Kind::Uniform);
  p.bytes = {10, 20, 30};
  const std::vector<uint8_t> s = tlgtest::encodeTlg5(p);
  // Each one-byte record would grow to two bytes coded, so all three are stored.
  const std::vector<uint8_t> want = {
      'T', 'L', 'G', '5', '.', '0', 0, 'r', 'a', 'w', 0x1a, 3, 1, 0, 0, 0, 1, 0, 0, 0, 4, 0, 0, 0,
      18, 0, 0, 0,                 // block-size table
      1, 1, 0, 0, 0, 246,          // B - G
      1, 1, 0, 0, 0, 20,           // G
      1, 1, 0, 0, 0, 10};          // R - G
  EXPECT_EQ(s, want);
}

// Walks the records; returns the marks in order and checks the block-size table.
std::vector<int> recordMarks(const std::vector<uint8_t>& s, int colours, int height) {
  const int blocks = (height - 1) / 4 + 1;
  std::size_t at = 24 + 4 * std::size_t(blocks);
  std::vector<int> marks;
  for (int b = 0; b < blocks; ++b) {
    uint32_t blockBytes = 0;
    for (int c = 0; c < colours; ++c) {
      marks.push_back(s[at]);
      const uint32_t size = le32(s, at + 1);
      at += 5 + size;
      blockBytes += 5 + size;
    }
    EXPECT_EQ(le32(s, 24 + 4 * std::size_t(b)), blockBytes) << b;
  }
  EXPECT_EQ(at, s.size());
  return marks;
}

TEST(Tlg5Encode, HeaderAndBlockTable) {
  const tlgtest::Packed p = makePacked(37, 14, 4, Kind::Flat);
  const std::vector<uint8_t> s = tlgtest::encodeTlg5(p);
  EXPECT_EQ(std::string(s.begin(), s.begin() + 11), std::string("TLG5.0\0raw\x1a", 11));
  EXPECT_EQ(s[11], 4);
  EXPECT_EQ(le32(s, 12), 37u);
  EXPECT_EQ(le32(s, 16), 14u);
  EXPECT_EQ(le32(s, 20), 4u);
  const std::vector<int> marks = recordMarks(s, 4, 14);
  EXPECT_EQ(marks.size(), 16u);
}

TEST(Tlg5Encode, StoredRecordsLeaveTheRingForTheNextCodedOne) {
  // Noise rows are stored; the flat rows after them are coded and must decode with the ring as
  // it was before the stored attempt.
  tlgtest::Packed p = makePacked(64, 12, 3, Kind::Flat);
  const tlgtest::Packed noise = makePacked(64, 12, 3, Kind::Noise, 9);
  for (std::size_t i = 0; i < 64 * 4 * 3; ++i) p.bytes[64 * 4 * 3 + i] = noise.bytes[i];
  const std::vector<uint8_t> s = tlgtest::encodeTlg5(p);
  const std::vector<int> marks = recordMarks(s, 3, 12);
  EXPECT_EQ(marks, (std::vector<int>{0, 0, 0, 1, 1, 1, 0, 0, 0}));
  tlgref::Picture pic;
  ASSERT_TRUE(tlgref::decodeStream(s.data(), s.size(), pic));
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 64; ++x)
      ASSERT_EQ(pic.pixels[y * 64 + x], 0xFF000000u | p.at(x, y, 0) | p.at(x, y, 1) << 8 | p.at(x, y, 2) << 16);
}

TEST(Tlg5Encode, OneColourIsWrittenAsThreeEqualColours) {
  const tlgtest::Packed p = makePacked(9, 5, 1, Kind::Smooth, 6);
  const std::vector<uint8_t> s = tlgtest::encodeTlg5(p);
  EXPECT_EQ(s[11], 3);
  tlgref::Picture pic;
  ASSERT_TRUE(tlgref::decodeStream(s.data(), s.size(), pic));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 9; ++x) ASSERT_EQ(pic.pixels[y * 9 + x], 0xFF000000u | p.at(x, y, 0) * 0x010101u);
}

TEST(Tlg5Encode, RefusedColourTypeWritesNothing) {
  const tlgtest::Packed p = makePacked(4, 4, 3, Kind::Noise);
  TlgEncodeSource source = p.source();
  source.colourType = 9;
  TlgMemoryWriter w(64);
  Tlg5Encode(source, w);
  EXPECT_EQ(w.size(), 0u);
}

}  // namespace
