#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "image/tlg/tlg_encode.h"
#include "tests/image/tlg_write/tlg_reference_compressor.h"
#include "tests/image/tlg_write/tlg_reference_decoder.h"
#include "tests/image/tlg_write/tlg_write_test_util.h"

using namespace limg;

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

// TLG5 written the plain way with the plain compressor (a copy of it serves as the snapshot).
std::vector<uint8_t> plainTlg5(const tlgtest::Packed& p) {
  const int planes = p.colours == 1 ? 3 : p.colours;
  std::vector<uint8_t> out = {'T', 'L', 'G', '5', '.', '0', 0, 'r', 'a', 'w', 0x1a, uint8_t(planes)};
  auto put32 = [&](uint32_t v) { for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i))); };
  put32(uint32_t(p.width));
  put32(uint32_t(p.height));
  put32(4);
  const int blocks = (p.height - 1) / 4 + 1;
  const std::size_t table = out.size();
  out.resize(out.size() + 4 * std::size_t(blocks));
  auto compressor = std::make_unique<tlgref::PlainCompressor>();
  auto saved = std::make_unique<tlgref::PlainCompressor>();
  for (int b = 0; b < blocks; ++b) {
    const int rows = std::min(4, p.height - 4 * b);
    std::vector<uint8_t> plane[4];
    for (int j = 0; j < rows; ++j) {
      const int y = 4 * b + j;
      int previous[4] = {0, 0, 0, 0};
      for (int x = 0; x < p.width; ++x) {
        int e[4];
        for (int c = 0; c < planes; ++c) {
          const int sc = p.colours == 1 ? 0 : c;
          const int m = p.at(x, y, sc) - (y ? p.at(x, y - 1, sc) : 0);
          e[c] = m - previous[c];
          previous[c] = m;
        }
        plane[0].push_back(uint8_t(e[0] - e[1]));
        plane[1].push_back(uint8_t(e[1]));
        plane[2].push_back(uint8_t(e[2] - e[1]));
        if (planes == 4) plane[3].push_back(uint8_t(e[3]));
      }
    }
    uint32_t blockSize = 0;
    for (int c = 0; c < planes; ++c) {
      *saved = *compressor;
      std::vector<uint8_t> packed;
      compressor->encode(plane[c].data(), plane[c].size(), packed);
      const bool keep = packed.size() < plane[c].size();
      if (!keep) *compressor = *saved;
      const std::vector<uint8_t>& data = keep ? packed : plane[c];
      out.push_back(keep ? 0 : 1);
      put32(uint32_t(data.size()));
      out.insert(out.end(), data.begin(), data.end());
      blockSize += uint32_t(5 + data.size());
    }
    for (int i = 0; i < 4; ++i) out[table + 4 * b + i] = uint8_t(blockSize >> (8 * i));
  }
  return out;
}

TEST(Tlg5Encode, SameBytesAsThePlainEncoder) {
  uint32_t seed = 40;
  for (Kind kind : {Kind::Flat, Kind::Smooth, Kind::Noise, Kind::Uniform})
    for (int colours : {1, 3, 4}) {
      const int width = 150 + int(seed % 7);
      const tlgtest::Packed p = makePacked(width, 45, colours, kind, seed++);
      ASSERT_EQ(tlgtest::encodeTlg5(p), plainTlg5(p)) << "kind " << int(kind) << " colours " << colours;
    }
}

}  // namespace
