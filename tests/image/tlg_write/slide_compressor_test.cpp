#include "image/tlg/slide_compressor.h"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "image/tlg/tlg_encode.h"
#include "tests/image/tlg_write/tlg_reference_compressor.h"
#include "tests/image/tlg_write/tlg_reference_decoder.h"

using namespace limg;

namespace {

std::vector<uint8_t> compress(SlideCompressor& c, const std::vector<uint8_t>& in) {
  std::vector<uint8_t> out(SlideCompressor::MaxOutput(in.size()));
  std::size_t n = 0;
  c.Encode(in.data(), in.size(), out.data(), &n);
  EXPECT_LE(n, out.size());
  out.resize(n);
  return out;
}

void prime(SlideCompressor& c) {
  std::vector<uint8_t> pattern(4096);
  TlgFilterRingPattern(pattern.data());
  compress(c, pattern);
}

std::vector<uint8_t> decodeFromZeroRing(const std::vector<uint8_t>& packed) {
  std::vector<uint8_t> out;
  uint8_t ring[4096] = {};
  tlgref::lzssDecode(out, packed.data(), packed.size(), ring, 0);
  return out;
}

std::vector<uint8_t> decodeFromFilterRing(const std::vector<uint8_t>& packed) {
  std::vector<uint8_t> out;
  uint8_t ring[4096];
  tlgref::filterRing(ring);
  tlgref::lzssDecode(out, packed.data(), packed.size(), ring, 0);
  return out;
}

TEST(SlideCompressor, ThreeBytesAreThreeLiteralsInOneGroup) {
  SlideCompressor c;
  // Even zeros, which the zero ring holds everywhere: a match may cover at most L - 1 bytes.
  EXPECT_EQ(compress(c, {0, 0, 0}), (std::vector<uint8_t>{0x00, 0, 0, 0}));
  SlideCompressor d;
  EXPECT_EQ(compress(d, {7, 8, 9}), (std::vector<uint8_t>{0x00, 7, 8, 9}));
}

TEST(SlideCompressor, ZerosFromFreshRingUseLongestMatchForm) {
  SlideCompressor c;
  const std::vector<uint8_t> zeros(300, 0);
  const std::vector<uint8_t> packed = compress(c, zeros);
  // 273 bytes from ring position 1 (0 is the write index, 4095 touches it), then 26 from 247
  // (the newest position with room for 26 before the write index), then one literal.
  EXPECT_EQ(packed, (std::vector<uint8_t>{0x03, 0x01, 0xF0, 0xFF, 0xF7, 0xF0, 0x08, 0x00}));
  EXPECT_EQ(decodeFromZeroRing(packed), zeros);
  EXPECT_EQ(c.position(), 300);
}

TEST(SlideCompressor, ZerosAfterPrimedRingGrowFromShortRuns) {
  SlideCompressor c;
  prime(c);
  EXPECT_EQ(c.position(), 0);
  std::vector<uint8_t> pattern(4096);
  TlgFilterRingPattern(pattern.data());
  EXPECT_EQ(std::vector<uint8_t>(c.ring(), c.ring() + 4096), pattern);
  const std::vector<uint8_t> zeros(300, 0);
  const std::vector<uint8_t> packed = compress(c, zeros);
  // The primed ring's longest zero run is 12 bytes at 0; each match then doubles what was written.
  EXPECT_EQ(packed, (std::vector<uint8_t>{0x3F, 0x01, 0x80, 0x00, 0x80, 0x00, 0xF0, 0x04, 0x00, 0xF0,
                                          0x1A, 0x00, 0xF0, 0x46, 0x35, 0xF0, 0x69, 0x00}));
  EXPECT_EQ(decodeFromFilterRing(packed), zeros);
}

TEST(SlideCompressor, FourKilobytesOfZerosDecodeBack) {
  SlideCompressor c;
  const std::vector<uint8_t> zeros(4096, 0);
  const std::vector<uint8_t> packed = compress(c, zeros);
  EXPECT_EQ(packed[1], 0x01);  // the first item is a match from the first byte
  EXPECT_LT(packed.size(), 64u);
  EXPECT_EQ(decodeFromZeroRing(packed), zeros);
}

TEST(SlideCompressor, EmptyInputWritesNothing) {
  SlideCompressor c;
  std::size_t n = 5;
  uint8_t out[4] = {0xAA, 0xAA, 0xAA, 0xAA};
  c.Encode(out, 0, out, &n);
  EXPECT_EQ(n, 5u);
  EXPECT_EQ(out[0], 0xAA);
}

TEST(SlideCompressor, EightItemsFillOneGroupAndStartTheNext) {
  SlideCompressor c;
  const std::vector<uint8_t> in = {1, 2, 3, 4, 5, 6, 7, 8, 9};
  EXPECT_EQ(compress(c, in), (std::vector<uint8_t>{0x00, 1, 2, 3, 4, 5, 6, 7, 8, 0x00, 9}));
}

TEST(SlideCompressor, RestoreReturnsToStoredState) {
  std::mt19937 rng(7);
  std::vector<uint8_t> a(5000), b(3000), cc(3000);
  for (auto& v : a) v = uint8_t(rng() % 4);
  for (auto& v : b) v = uint8_t(rng() % 3);
  for (auto& v : cc) v = uint8_t(rng() % 5);
  SlideCompressor trial, plain;
  compress(trial, a);
  compress(plain, a);
  trial.Store();
  compress(trial, b);
  trial.Restore();
  EXPECT_EQ(trial.position(), plain.position());
  EXPECT_EQ(compress(trial, cc), compress(plain, cc));
}

// Random inputs of several kinds, in one or several calls, decode back from both rings.
TEST(SlideCompressor, RandomInputsDecodeBack) {
  std::mt19937 rng(12345);
  for (int round = 0; round < 120; ++round) {
    const bool primed = round % 2;
    const int kind = round % 5;
    const std::size_t length = rng() % (round < 60 ? 600 : 20000);
    std::vector<uint8_t> input(length);
    for (std::size_t i = 0; i < length; ++i) {
      switch (kind) {
        case 0: input[i] = uint8_t(rng()); break;
        case 1: input[i] = uint8_t(rng() % 3); break;
        case 2: input[i] = (rng() % 50 == 0) ? uint8_t(rng()) : (i ? input[i - 1] : 0); break;
        case 3: input[i] = uint8_t((i / 8) % 32); break;
        default: input[i] = uint8_t(i % 600 < 300 ? 0 : rng() % 2); break;
      }
    }
    SlideCompressor c;
    if (primed) prime(c);
    // Several calls continue one ring, each closing its last group, as TLG5 records do; each
    // call's output is decoded on its own with the ring carried.
    std::vector<uint8_t> decoded;
    uint8_t ring[4096] = {};
    if (primed) tlgref::filterRing(ring);
    int r = 0;
    std::size_t done = 0;
    while (done < length) {
      const std::size_t piece = std::min<std::size_t>(length - done, 1 + rng() % 5000);
      const std::vector<uint8_t> part(input.begin() + done, input.begin() + done + piece);
      const std::vector<uint8_t> out = compress(c, part);
      r = tlgref::lzssDecode(decoded, out.data(), out.size(), ring, r);
      ASSERT_EQ(r, c.position());
      done += piece;
    }
    ASSERT_EQ(decoded, input) << "round " << round;
  }
}

// Byte for byte the plain compressor's output, on inputs that make long chains (runs, few
// symbols, image-like differences), with stored-and-restored trials in between.
TEST(SlideCompressor, SameBytesAsThePlainCompressor) {
  std::mt19937 rng(2024);
  for (int round = 0; round < 40; ++round) {
    SlideCompressor fast;
    tlgref::PlainCompressor plain;
    if (round % 4 == 1) {
      std::vector<uint8_t> pattern(4096), ignored;
      TlgFilterRingPattern(pattern.data());
      compress(fast, pattern);
      plain.encode(pattern.data(), pattern.size(), ignored);
    }
    for (int piece = 0; piece < 6; ++piece) {
      const std::size_t length = 1 + rng() % 9000;
      std::vector<uint8_t> in(length);
      const int kind = (round + piece) % 4;
      for (std::size_t i = 0; i < length; ++i) {
        switch (kind) {
          case 0: in[i] = rng() % 16 ? 0 : uint8_t(rng() % 4); break;   // sparse, flat art
          case 1: in[i] = uint8_t(rng() % 2); break;                   // two symbols
          case 2: in[i] = (i / (1 + rng() % 300)) % 2 ? 0 : uint8_t(i % 7); break;
          default: in[i] = uint8_t(int(rng() % 7) - 3); break;          // small differences
        }
      }
      if (piece % 3 == 2) {  // a trial that is thrown away, as TLG5's stored records do
        fast.Store();
        compress(fast, in);
        fast.Restore();
        continue;
      }
      std::vector<uint8_t> want;
      plain.encode(in.data(), in.size(), want);
      ASSERT_EQ(compress(fast, in), want) << "round " << round << " piece " << piece;
    }
  }
}

}  // namespace
