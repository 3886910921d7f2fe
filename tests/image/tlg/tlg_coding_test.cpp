// LZSS decoding and the TLG6 residual channel decoders, every routine form against the
// hand-made bit and byte layouts.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>

#include "image/tlg/tlg_routines.h"
#include "image/tlg/tlg_tables.h"
#include "tests/image/tlg/tlg_test_encoder.h"

using namespace limg;

using namespace tlgtest;

namespace {

std::vector<TlgRoutines> forms() { return TlgAvailableRoutines(TlgProbeCpu()); }

struct LzssRun {
  Bytes output;
  uint32_t written;
  uint32_t r;
  Bytes ring;
};

// The output buffer with the history room before it and the slack after it.
LzssRun lzss(TlgLzssDecodeFn fn, const Bytes& input, uint32_t capacity, Bytes ring, uint32_t r) {
  Bytes buffer(kTlgLzssHistory + capacity + kTlgLzssSlack, 0xEE);
  LzssRun run{{}, 0, 0, {}};
  run.r = fn(buffer.data() + kTlgLzssHistory, capacity, input.data(), uint32_t(input.size()),
             ring.data(), r, &run.written);
  if (run.written <= capacity)
    run.output.assign(buffer.begin() + kTlgLzssHistory,
                      buffer.begin() + kTlgLzssHistory + run.written);
  run.ring = ring;
  return run;
}

TEST(TlgLzss, LiteralsOverlappingMatchAndLongMatch) {
  for (const TlgRoutines& f : forms()) {
    SCOPED_TRACE(f.name);
    // Flags 0b010: literal 'A', match from ring index 0 (the 'A') of length 10, literal 'B'.
    // The match source overlaps its target, so 'A' repeats.
    const Bytes in = {0x02, 'A', 0x00, 0x70, 'B'};
    LzssRun run = lzss(f.lzssDecode, in, 100, Bytes(4096, 0), 0);
    EXPECT_EQ(run.written, 12u);
    EXPECT_EQ(std::string(run.output.begin(), run.output.end()), "AAAAAAAAAAAB");
    EXPECT_EQ(run.r, 12u);
    EXPECT_EQ(run.ring[11], 'B');
    // b1 = 0xF0 with a third byte 0xFF: 18 + 255 = 273 bytes from the zero ring.
    const Bytes longMatch = {0x01, 0x00, 0xF0, 0xFF};
    run = lzss(f.lzssDecode, longMatch, 1000, Bytes(4096, 7), 4000);
    EXPECT_EQ(run.written, 273u);
    EXPECT_EQ(run.output, Bytes(273, 7));
    EXPECT_EQ(run.r, (4000u + 273u) % 4096u);
  }
}

TEST(TlgLzss, OutputBoundAndTruncatedItems) {
  for (const TlgRoutines& f : forms()) {
    SCOPED_TRACE(f.name);
    const Bytes nine = {0x00, 1, 2, 3, 4, 5, 6, 7, 8, 0x00, 9};
    EXPECT_EQ(lzss(f.lzssDecode, nine, 9, Bytes(4096, 0), 0).written, 9u);
    EXPECT_EQ(lzss(f.lzssDecode, nine, 8, Bytes(4096, 0), 0).written, 9u);  // capacity + 1
    EXPECT_EQ(lzss(f.lzssDecode, nine, 7, Bytes(4096, 0), 0).written, 8u);  // inside a literal run
    const Bytes match = {0x01, 0x00, 0x20};  // length 5
    EXPECT_EQ(lzss(f.lzssDecode, match, 4, Bytes(4096, 0), 0).written, 5u);
    EXPECT_EQ(lzss(f.lzssDecode, match, 5, Bytes(4096, 0), 0).written, 5u);
    // A match header cut short ends decoding; so does a missing third byte.
    LzssRun cut = lzss(f.lzssDecode, Bytes{0x02, 'x', 0x00}, 10, Bytes(4096, 0), 0);
    EXPECT_EQ(cut.written, 1u);
    cut = lzss(f.lzssDecode, Bytes{0x01, 0x00, 0xF0}, 300, Bytes(4096, 0), 0);
    EXPECT_EQ(cut.written, 0u);
  }
}

// An LZSS item: a literal byte, or (back > 0) a match of `length` bytes from `back` bytes behind
// the current output byte, 4096 reaching the oldest byte of the ring.
struct LzssItem {
  uint8_t literal;
  uint32_t back;
  uint32_t length;
};

struct LzssStream {
  Bytes bytes;
  Bytes expected;  // what the items decode to
  Bytes ringAfter;
};

// The items coded for a call that starts at ring index r, and their output worked out on a
// plain history (oldest byte first) rather than with a ring.
LzssStream encodeLzss(const std::vector<LzssItem>& items, const Bytes& ring, uint32_t r) {
  LzssStream s;
  Bytes history(ring.begin() + r, ring.end());
  history.insert(history.end(), ring.begin(), ring.begin() + r);
  for (size_t group = 0; group < items.size(); group += 8) {
    const size_t flags = s.bytes.size();
    s.bytes.push_back(0);
    for (size_t k = group; k < items.size() && k < group + 8; ++k) {
      const LzssItem& item = items[k];
      if (item.back == 0) {
        s.bytes.push_back(item.literal);
        history.push_back(item.literal);
        s.expected.push_back(item.literal);
        continue;
      }
      s.bytes[flags] |= uint8_t(1u << (k - group));
      const uint32_t source = (r + uint32_t(s.expected.size()) - item.back) & 4095;
      const uint32_t code = std::min(item.length - 3, 15u);
      s.bytes.push_back(uint8_t(source));
      s.bytes.push_back(uint8_t(source >> 8 | code << 4));
      if (code == 15) s.bytes.push_back(uint8_t(item.length - 18));
      for (uint32_t n = 0; n < item.length; ++n) {
        const uint8_t b = history[history.size() - item.back];
        history.push_back(b);
        s.expected.push_back(b);
      }
    }
  }
  const uint32_t end = (r + uint32_t(s.expected.size())) & 4095;
  s.ringAfter.resize(4096);
  for (uint32_t k = 0; k < 4096; ++k) s.ringAfter[(end + k) & 4095] = history[history.size() - 4096 + k];
  return s;
}

// Whole groups and the last ones item by item: long and near matches (a pattern of 1-15 bytes
// repeated), the oldest ring byte, literal runs across groups; and the output's end reached
// by a match inside a whole group.
TEST(TlgLzss, ItemsOfEveryKind) {
  std::mt19937 rng(9);
  Bytes ring(4096);
  for (auto& b : ring) b = uint8_t(rng());
  std::vector<LzssItem> items;
  for (int i = 0; i < 70; ++i) items.push_back({uint8_t(rng()), 0, 0});
  const uint32_t matches[][2] = {{3, 273}, {4096, 40}, {16, 33}, {15, 17}, {1, 20},   {2, 273}, {100, 18},
                                 {4095, 5}, {7, 64},   {32, 31}, {17, 3},  {4096, 273}, {5, 100}};
  for (const auto& m : matches) items.push_back({0, m[0], m[1]});
  for (int i = 0; i < 30; ++i) items.push_back({uint8_t(rng()), 0, 0});
  items.push_back({0, 64, 64});
  const uint32_t r = 4000;  // the history wraps around the ring's end
  const LzssStream stream = encodeLzss(items, ring, r);
  const uint32_t total = uint32_t(stream.expected.size());
  for (const TlgRoutines& f : forms()) {
    SCOPED_TRACE(f.name);
    const LzssRun run = lzss(f.lzssDecode, stream.bytes, total, ring, r);
    EXPECT_EQ(run.written, total);
    EXPECT_EQ(run.output, stream.expected);
    EXPECT_EQ(run.r, (r + total) % 4096);
    EXPECT_EQ(run.ring, stream.ringAfter);
    // One byte short: the 273-byte match from 2 behind, in a whole group, overflows.
    EXPECT_EQ(lzss(f.lzssDecode, stream.bytes, 70 + 3 + 273 + 40 + 33 + 17 + 20 + 272, ring, r).written,
              70u + 3 + 273 + 40 + 33 + 17 + 20 + 272 + 1);
  }
}

// Random data through every form, in several calls that share the ring (matches reaching
// back into earlier calls and across the ring's wrap).
TEST(TlgLzss, FormsAgreeOverSharedRing) {
  std::mt19937 rng(5);
  for (int trial = 0; trial < 40; ++trial) {
    std::vector<Bytes> inputs;
    for (int call = 0; call < 4; ++call) {
      Bytes in(size_t(rng() % 3000));
      // Mostly short near matches, or (odd trials) any length and distance.
      for (auto& b : in) b = uint8_t(trial % 2 || rng() % 4 == 0 ? rng() : rng() % 3);
      inputs.push_back(in);
    }
    std::vector<Bytes> results;
    for (const TlgRoutines& f : forms()) {
      std::mt19937 ringRng(trial);
      Bytes ring(4096), all;
      for (auto& b : ring) b = uint8_t(ringRng());
      uint32_t r = trial * 97 % 4096;
      for (const Bytes& in : inputs) {
        LzssRun run = lzss(f.lzssDecode, in, 70000, ring, r);
        ASSERT_LE(run.written, 70000u);
        all.insert(all.end(), run.output.begin(), run.output.end());
        all.push_back(uint8_t(run.r));
        ring = run.ring;
        r = run.r;
      }
      all.insert(all.end(), ring.begin(), ring.end());
      results.push_back(all);
    }
    for (size_t k = 1; k < results.size(); ++k) EXPECT_EQ(results[k], results[0]) << forms()[k].name;
  }
}

// ---- Residual channels.

struct ChannelRun {
  bool ok;
  std::vector<uint32_t> words;
};

ChannelRun decodeChannel(TlgDecodeChannelFn fn, const BitWriter& w, uint32_t count,
                         uint32_t fill = 0xA5A5A5A5u, int64_t bitCount = -1) {
  Bytes bits = w.data;
  bits.resize(bits.size() + 16, 0);
  ChannelRun run{false, std::vector<uint32_t>(count + 1, fill)};
  run.ok = fn(run.words.data(), count, bits.data(), bitCount < 0 ? uint32_t(w.bits) : uint32_t(bitCount));
  return run;
}

// One channel through a routine set's band decoder: byte 0 of each word, the rest zero.
ChannelRun decodeChannel(const TlgRoutines& f, const BitWriter& w, uint32_t count,
                         int64_t bitCount = -1) {
  Bytes bits = w.data;
  bits.resize(bits.size() + 16, 0);
  const uint8_t* planes[1] = {bits.data()};
  const uint32_t counts[1] = {bitCount < 0 ? uint32_t(w.bits) : uint32_t(bitCount)};
  ChannelRun run{false, std::vector<uint32_t>(count + 1, 0xA5A5A5A5u)};
  run.ok = f.decodeChannels(run.words.data(), &count, 1, 1, planes, counts, kTlgRunEndsBranch);
  return run;
}

TEST(TlgResidual, HandMadeBitLayouts) {
  {
    // All zero, N = 1: start bit 0, gamma(1) = 1.
    BitWriter zero;
    zero.putBit(0);
    zero.putBit(1);
    ChannelRun run = decodeChannel(TlgDecodeFirstChannel, zero, 1);
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(run.words[0], 0u);
    EXPECT_EQ(run.words[1], 0xA5A5A5A5u);  // nothing written past count
    // 1, -1: start 1, gamma(2) = 0 1 0, then t = 1 (k 0) -> 0 1 and t = 0 -> 1.
    BitWriter pair;
    for (int b : {1, 0, 1, 0, 0, 1, 1}) pair.putBit(b);
    run = decodeChannel(TlgDecodeFirstChannel, pair, 2);
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(run.words[0], 1u);
    EXPECT_EQ(run.words[1], 0xFFu);
    // The other-channel routine touches byte 0 of each word only.
    run = decodeChannel(TlgDecodeOtherChannel, pair, 2);
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(run.words[0], 0xA5A5A501u);
    EXPECT_EQ(run.words[1], 0xA5A5A5FFu);
    for (const TlgRoutines& f : forms()) {
      run = decodeChannel(f, pair, 2);
      ASSERT_TRUE(run.ok) << f.name;
      EXPECT_EQ(run.words[0], 1u) << f.name;
      EXPECT_EQ(run.words[1], 0xFFu) << f.name;
      EXPECT_EQ(run.words[2], 0xA5A5A5A5u) << f.name;
    }
  }
}

TEST(TlgResidual, ExtremeBytesAndStateAcrossRuns) {
  // -128 <-> t 254, 127 <-> t 253, with zero runs between non-zero runs.
  std::vector<int8_t> values = {-128, 127, 0, 0, 0, 1, -1, 2, -2, 3, 0, 5, -7, 100, -100, 0};
  BitWriter w;
  encodeChannel(w, values.data(), values.size());
  for (const TlgRoutines& f : forms()) {
    SCOPED_TRACE(f.name);
    ChannelRun run = decodeChannel(f, w, uint32_t(values.size()));
    ASSERT_TRUE(run.ok);
    for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(run.words[i], uint8_t(values[i])) << i;
  }
}

// Bits past the coded ones may look like more run lengths: a channel that ends in a zero run
// stops at that run's code, and a zero run longer than the values left is refused, whatever
// follows. Short runs, so the fast forms read both lengths of a pair at once.
TEST(TlgResidual, BitsAfterTheLastZeroRunAreNotRead) {
  const std::vector<std::vector<int8_t>> channels = {
      {5, 0, 0}, {0, 0, 0}, {0, 1, 0}, {-3, 0}, {1, 2, 0, 0, 0, 0, 0, 0, 0}, {0, 0, 7, 0}};
  for (const TlgRoutines& f : forms()) {
    SCOPED_TRACE(f.name);
    for (const std::vector<int8_t>& values : channels) {
      for (int junk : {0, 1, 2, 3}) {
        BitWriter w;
        encodeChannel(w, values.data(), values.size());
        const int64_t coded = int64_t(w.bits);
        for (int i = 0; i < 48; ++i) w.putBit(junk == 0 ? 1 : (i % (junk + 1)) == 0);
        ChannelRun run = decodeChannel(f, w, uint32_t(values.size()), coded);
        ASSERT_TRUE(run.ok) << "junk " << junk;
        for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(run.words[i], uint8_t(values[i])) << i;
        EXPECT_FALSE(decodeChannel(f, w, uint32_t(values.size()), coded - 1).ok);
        // A last zero run of two or more: one value fewer makes it too long.
        if (values.size() > 1 && values.back() == 0 && values[values.size() - 2] == 0) {
          EXPECT_FALSE(decodeChannel(f, w, uint32_t(values.size() - 1), coded).ok);
        }
      }
    }
  }
}

// The combined step table against the adaptive rule itself: for every state and code value t,
// the entry at 2a + t is the k of the updated state, and an index past the part's limit is
// exactly a sum that leaves the k table.
TEST(TlgResidual, NextKTableFollowsTheAdaptiveRule) {
  for (uint32_t n = 0; n < 4; ++n) {
    for (uint32_t a = 0; a < 1024; ++a) {
      for (uint32_t t = 0; t < 2200; ++t) {
        uint32_t na = a + (t >> 1), nn = n;
        if (nn == 0) {
          nn = 3;
          na >>= 1;
        } else {
          --nn;
        }
        const uint32_t index = 2 * a + t;
        ASSERT_EQ(index < kTlgNextKLimit[n], na < 1024) << "n " << n << " a " << a << " t " << t;
        if (na < 1024) {
          ASSERT_EQ(kTlgGolombNextK[kTlgNextKOffset[n] + index], kTlgGolombBitLength[na][nn])
              << "n " << n << " a " << a << " t " << t;
        }
      }
    }
  }
  EXPECT_EQ(kTlgNextKOffset[3] + kTlgNextKLimit[3], kTlgGolombNextK.size());
}

// q zeros that reach byte s + 4 switch to the escape form: exactly at the boundary, or
// part-way. One fewer zero keeps the normal form with its 1 bit as the last bit of s + 3.
TEST(TlgResidual, EscapeFormAtFourByteBoundary) {
  for (const TlgRoutines& f : forms()) {
    SCOPED_TRACE(f.name);
    for (int lead = 0; lead < 8; ++lead) {
      // A zero run of 2^lead values (2*lead + 1 gamma bits after the start bit) places the value.
      // 24 to 28 zeros: normal codes past the fast forms' 24-zero reach (lead 0 has room 29).
      for (uint32_t t : {0u, 20u, 24u, 25u, 26u, 27u, 28u, 29u, 30u, 31u, 32u, 60u, 254u}) {
        std::vector<int8_t> values(size_t(1) << lead, 0);
        const int8_t e = (t & 1) ? int8_t((t >> 1) + 1) : int8_t(-int(t >> 1) - 1);
        values.push_back(e);
        BitWriter w;
        bool escaped = false;
        encodeChannel(w, values.data(), values.size(), &escaped);
        const uint64_t start = 1 + (2 * lead + 1) + 1;  // start bit, gamma(2^lead), gamma(1)
        const uint64_t room = ((start >> 3) + 4) * 8 - start;
        EXPECT_EQ(escaped, t >= room) << "lead " << lead << " t " << t;
        ChannelRun run = decodeChannel(f, w, uint32_t(values.size()));
        ASSERT_TRUE(run.ok);
        EXPECT_EQ(run.words[values.size() - 1], uint8_t(e));
      }
    }
    // Four zero bytes at the current position: q comes from the fifth, k bits from the sixth.
    BitWriter w;
    for (int b : {1, 1}) w.putBit(b);      // start bit, gamma(1)
    while (w.bits < 32) w.putBit(0);       // to the end of bytes 0..3
    w.putBits(6, 8);                       // q = 6, k = K[0][3] = 0: t = 6 -> e = -4
    ChannelRun run = decodeChannel(f, w, 1);
    ASSERT_TRUE(run.ok);
    EXPECT_EQ(run.words[0], uint8_t(-4));
  }
}

TEST(TlgResidual, InvalidStreamsAreRefused) {
  for (const TlgRoutines& f : forms()) {
    SCOPED_TRACE(f.name);
    // A zero run of 5 where only 4 values are wanted.
    BitWriter longRun;
    longRun.putBit(0);
    longRun.putGamma(5);
    EXPECT_FALSE(decodeChannel(f, longRun, 4).ok);
    EXPECT_TRUE(decodeChannel(f, longRun, 5).ok);
    // Codes beyond the stated bit count.
    std::vector<int8_t> values = {3, -3, 9, 1};
    BitWriter w;
    encodeChannel(w, values.data(), values.size());
    EXPECT_TRUE(decodeChannel(f, w, 4).ok);
    EXPECT_FALSE(decodeChannel(f, w, 4, int64_t(w.bits) - 1).ok);
    EXPECT_FALSE(decodeChannel(f, w, 4, 0).ok);
    // 32 or more gamma zeros.
    BitWriter zeros;
    zeros.putBit(0);
    for (int i = 0; i < 40; ++i) zeros.putBit(0);
    zeros.putBit(1);
    EXPECT_FALSE(decodeChannel(f, zeros, 1000).ok);
    // Run lengths of 25 to 30 gamma zeros (past the fast forms' reach) claiming more values
    // than wanted; a non-zero run of 2^25 after a short one.
    for (uint32_t m = 25; m < 31; ++m) {
      BitWriter huge;
      huge.putBit(0);
      huge.putGamma((1u << m) | 5u);
      EXPECT_FALSE(decodeChannel(f, huge, 1000).ok) << m;
    }
    BitWriter lateHuge;
    lateHuge.putBit(0);
    lateHuge.putGamma(3);
    lateHuge.putGamma(1u << 25);
    EXPECT_FALSE(decodeChannel(f, lateHuge, 64).ok);
    // Escapes with q = 255 drive the magnitude sum past the k table: t = 255 (k 0) gives
    // a = 127, then k = K[127][2] = 5 and t = 255 << 5.
    ASSERT_EQ(kTlgGolombBitLength[127][2], 5);
    BitWriter big;
    big.putBit(1);
    big.putGamma(2);
    while (big.bits < 32) big.putBit(0);
    big.putBits(255, 8);
    while (big.bits < 72) big.putBit(0);
    big.putBits(255, 8);
    big.putBits(0, 5);
    EXPECT_FALSE(decodeChannel(f, big, 2).ok);
  }
}

// Random bands of 1 to 4 channels, one band or two at once (the second may be shorter):
// every form decodes the same words, and on random bits (mostly invalid) gives the same
// verdict and, when it accepts, the same words, whichever way it takes to the run ends.
TEST(TlgResidual, FormsAgreeOnRandomBands) {
  std::mt19937 rng(11);
  const std::vector<TlgRoutines> all = forms();
  for (int trial = 0; trial < 600; ++trial) {
    const int bands = 1 + trial % 2;
    const int channels = 1 + (trial / 2) % 4;
    const uint32_t counts[2] = {uint32_t(1 + rng() % 700), uint32_t(1 + rng() % 700)};
    const uint32_t total = counts[0] + (bands == 2 ? counts[1] : 0);
    const int streams = bands * channels;
    std::vector<Bytes> data(static_cast<size_t>(streams));
    std::vector<uint32_t> bitCounts(static_cast<size_t>(streams), 0u);
    std::vector<std::vector<int8_t>> values(static_cast<size_t>(streams));
    // Mostly valid; otherwise one random stream among valid ones.
    const bool valid = trial % 3 != 0;
    const int broken = valid ? -1 : int(rng() % uint32_t(streams));
    for (int s = 0; s < streams; ++s) {
      const uint32_t count = counts[s / channels];
      BitWriter w;
      if (s != broken) {
        values[size_t(s)].resize(count);
        for (auto& v : values[size_t(s)]) {
          const uint32_t kind = rng() % 10;
          v = kind < 4 ? 0 : kind < 9 ? int8_t(int(rng() % 11) - 5) : int8_t(rng());
        }
        encodeChannel(w, values[size_t(s)].data(), count);
      } else {
        const uint32_t n = rng() % 200;
        for (uint32_t i = 0; i < n * 8; ++i) w.putBit(rng() % 3 == 0);
      }
      data[size_t(s)] = w.data;
      data[size_t(s)].resize(w.data.size() + 16, 0);
      bitCounts[size_t(s)] = uint32_t(w.bits);
    }
    std::vector<const uint8_t*> planes;
    for (int s = 0; s < streams; ++s)
      planes.push_back(trial % 7 == 3 && s == streams - 1 ? nullptr : data[size_t(s)].data());
    const size_t runs = 2 * all.size();  // every form, run ends by branch and by mask
    std::vector<std::vector<uint32_t>> words(runs, std::vector<uint32_t>(total, 0x5A5A5A5Au));
    std::vector<bool> ok(runs);
    for (size_t k = 0; k < runs; ++k)
      ok[k] = all[k / 2].decodeChannels(words[k].data(), counts, bands, channels, planes.data(),
                                        bitCounts.data(),
                                        k % 2 ? kTlgRunEndsMasked : kTlgRunEndsBranch);
    if (valid) {
      ASSERT_TRUE(ok[0]);
      for (uint32_t i = 0; i < total; ++i) {
        const int band = i < counts[0] ? 0 : 1;
        const uint32_t at = band ? i - counts[0] : i;
        for (int c = 0; c < 4; ++c) {
          const size_t s = size_t(band * channels + c);
          const uint8_t want = c < channels && planes[s] ? uint8_t(values[s][at]) : 0;
          ASSERT_EQ(uint8_t(words[0][i] >> (8 * c)), want) << "trial " << trial;
        }
      }
    }
    for (size_t k = 1; k < runs; ++k) {
      EXPECT_EQ(ok[k], ok[0]) << all[k / 2].name << " " << k % 2 << " trial " << trial;
      if (ok[0] && ok[k]) {
        EXPECT_EQ(words[k], words[0]) << all[k / 2].name << " " << k % 2 << " trial " << trial;
      }
    }
  }
}

}  // namespace
