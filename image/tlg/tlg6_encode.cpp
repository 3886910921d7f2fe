// The TLG6 encoder: per 8 x 8 block, both predictors and the cheapest colour transform by
// estimated size; per band of 8 rows, each channel's residuals through the channel coder;
// the filter types through the LZSS compressor primed with the decoder's ring.
#include <algorithm>
#include <array>
#include <atomic>
#include <cstring>
#include <exception>
#include <vector>

#include "image/tlg/slide_compressor.h"
#include "image/tlg/tlg_bit_writer.h"
#include "image/tlg/tlg_encode.h"
#include "image/tlg/tlg_encode_threads.h"
#include "image/tlg/tlg_tables.h"

#if TLG_ENCODE_THREADS
#include <thread>
#endif

namespace limg {

namespace {

// The forward transforms: the decoder's steps in reverse order, subtracting. Alpha never changes.
template <class T>
constexpr void forwardTransform(int transform, T& r0, T& r1, T& r2) {
  switch (transform) {
    case 1: r2 -= r1; r0 -= r1; break;
    case 2: r2 -= r1; r1 -= r0; break;
    case 3: r0 -= r1; r1 -= r2; break;
    case 4: r2 -= r1; r1 -= r0; r0 -= r2; break;
    case 5: r1 -= r0; r0 -= r2; break;
    case 6: r0 -= r1; break;
    case 7: r1 -= r0; break;
    case 8: r2 -= r1; break;
    case 9: r0 -= r1; r1 -= r2; r2 -= r0; break;
    case 10: r1 -= r2; r0 -= r2; break;
    case 11: r2 -= r0; r1 -= r0; break;
    case 12: r1 -= r2; r2 -= r0; break;
    case 13: r1 -= r2; r2 -= r0; r0 -= r1; break;
    case 14: r2 -= r0; r0 -= r1; r1 -= r2; break;
    case 15: r2 -= 2 * r0; r1 -= 2 * r0; break;
    default: break;
  }
}

// Every transform is linear mod 256, so each output channel is m0 R0 + m1 R1 + m2 R2. Channels
// that several transforms share (R0 alone, R1 - R0, ...) are estimated once per block.
struct ChannelForm {
  uint8_t m[3];
};
struct TransformForms {
  ChannelForm forms[16 * 3];
  uint8_t formOf[16][3];  // index into forms
  int count;
};

constexpr TransformForms buildForms() {
  TransformForms table{};
  for (int t = 0; t < 16; ++t) {
    int column[3][3] = {};
    for (int unit = 0; unit < 3; ++unit) {
      int r[3] = {unit == 0, unit == 1, unit == 2};
      forwardTransform(t, r[0], r[1], r[2]);
      for (int ch = 0; ch < 3; ++ch) column[ch][unit] = r[ch] & 0xFF;
    }
    for (int ch = 0; ch < 3; ++ch) {
      int found = -1;
      for (int f = 0; f < table.count && found < 0; ++f) {
        const ChannelForm& form = table.forms[f];
        if (form.m[0] == column[ch][0] && form.m[1] == column[ch][1] && form.m[2] == column[ch][2])
          found = f;
      }
      if (found < 0) {
        found = table.count++;
        for (int u = 0; u < 3; ++u) table.forms[found].m[u] = uint8_t(column[ch][u]);
      }
      table.formOf[t][ch] = uint8_t(found);
    }
  }
  return table;
}

constexpr TransformForms kForms = buildForms();

// t of the value code for every byte read as a signed residual (0 for zero, never coded).
constexpr std::array<uint8_t, 256> buildFold() {
  std::array<uint8_t, 256> table{};
  for (int v = 1; v < 256; ++v) {
    const int e = v < 128 ? v : v - 256;
    table[v] = uint8_t(e > 0 ? 2 * e - 1 : -2 * e - 2);
  }
  return table;
}
constexpr std::array<uint8_t, 256> kFold = buildFold();

inline int gammaBits(uint32_t length) { return 2 * (31 - __builtin_clz(length)) + 1; }

inline uint8_t predictMed(uint8_t a, uint8_t b, uint8_t c) {
  const uint8_t hi = a > b ? a : b, lo = a > b ? b : a;
  if (c >= hi) return lo;
  if (c <= lo) return hi;
  return uint8_t(a + b - c);
}

inline uint8_t predictAverage(uint8_t a, uint8_t b) { return uint8_t((a + b + 1) >> 1); }

constexpr int kBandRows = 8;

struct Geometry {
  int width, height, colours;
  int xBlocks, yBlocks;
  const uint8_t* const* rows;
};

// Output of one band: its filter types and its channel records.
struct BandResult {
  std::vector<uint8_t> filterTypes;
  std::vector<uint8_t> records;
  uint64_t maxBits = 0;
};

// Working storage of one encoding thread.
struct BandScratch {
  std::vector<uint8_t> band[4];  // width x 8 residuals per channel, stream order
  uint8_t trial[2][4][64];       // [predictor][channel]: one block in stream order
  TlgBitWriter bits;

  explicit BandScratch(int width) {
    for (auto& b : band) b.resize(std::size_t(width) * kBandRows);
  }
};

// Both predictors' residuals of one block in stream order: block i's rows use slot j (i even)
// or h - 1 - j (i odd), and run left to right on even rows, right to left on odd ones.
void blockResiduals(const Geometry& g, int y0, int h, int blockIndex, BandScratch& s) {
  const int x0 = blockIndex * 8, w = std::min(8, g.width - x0);
  const int C = g.colours;
  for (int j = 0; j < h; ++j) {
    const int y = y0 + j;
    const uint8_t* row = g.rows[y];
    const uint8_t* up = y > 0 ? g.rows[y - 1] : nullptr;
    const int slot = (blockIndex & 1) ? h - 1 - j : j;
    for (int t = 0; t < w; ++t) {
      const int x = x0 + t;
      const int index = slot * w + ((y & 1) ? w - 1 - t : t);
      for (int c = 0; c < C; ++c) {
        const uint8_t a = x > 0 ? row[(x - 1) * C + c] : 0;
        const uint8_t b = up ? up[x * C + c] : 0;
        const uint8_t d = (x > 0 && up) ? up[(x - 1) * C + c] : 0;
        const uint8_t v = row[x * C + c];
        s.trial[0][c][index] = uint8_t(v - predictMed(a, b, d));
        s.trial[1][c][index] = uint8_t(v - predictAverage(a, b));
      }
    }
  }
}

void encodeBand(const Geometry& g, int bandIndex, BandScratch& s, BandResult& out) {
  const int y0 = bandIndex * kBandRows, h = std::min(kBandRows, g.height - y0);
  const int C = g.colours;
  out.filterTypes.resize(std::size_t(g.xBlocks));
  std::size_t offset = 0;
  for (int i = 0; i < g.xBlocks; ++i) {
    const int w = std::min(8, g.width - i * 8), n = h * w;
    blockResiduals(g, y0, h, i, s);
    TlgTransformChoice med{0, 0}, average{0, 0};
    if (C >= 3) {
      med = TlgChooseTransform(s.trial[0][0], s.trial[0][1], s.trial[0][2], n);
      average = TlgChooseTransform(s.trial[1][0], s.trial[1][1], s.trial[1][2], n);
    }
    const int predictor = med.bits < average.bits ? 0 : 1;  // a tie goes to average
    const int transform = predictor ? average.transform : med.transform;
    for (int c = 0; c < C; ++c) std::memcpy(s.band[c].data() + offset, s.trial[predictor][c], n);
    if (C >= 3 && transform) {
      uint8_t* r0 = s.band[0].data() + offset;
      uint8_t* r1 = s.band[1].data() + offset;
      uint8_t* r2 = s.band[2].data() + offset;
      for (int k = 0; k < n; ++k) forwardTransform(transform, r0[k], r1[k], r2[k]);
    }
    out.filterTypes[i] = uint8_t(transform * 2 + predictor);
    offset += std::size_t(n);
  }
  for (int c = 0; c < C; ++c) {
    s.bits.reset();
    TlgEncodeChannel(s.bits, reinterpret_cast<const int8_t*>(s.band[c].data()), offset);
    const uint64_t bitLength = s.bits.bitCount();
    if (bitLength > 0x3FFFFFFF)
      TlgThrowEncodeError("SaveTLG6: Too large bit length (given image may be too large)");
    out.maxBits = std::max(out.maxBits, bitLength);
    const uint32_t bytes = uint32_t((bitLength + 7) / 8);
    const std::size_t at = out.records.size();
    out.records.resize(at + 4 + bytes);
    for (int k = 0; k < 4; ++k) out.records[at + k] = uint8_t(bitLength >> (8 * k));
    if (bytes) std::memcpy(out.records.data() + at + 4, s.bits.data, bytes);
  }
}

// Bands are independent until assembly: each worker takes the next band number, so the result
// does not depend on how many run.
void encodeBands(const Geometry& g, std::vector<BandResult>& results, int threads) {
#if TLG_ENCODE_THREADS
  if (threads <= 0) threads = int(std::thread::hardware_concurrency());
  threads = std::max(1, std::min(threads, g.yBlocks));
#else
  threads = 1;
#endif
  // Working storage for every worker, made here so that a shortage is raised in the caller.
  std::vector<std::unique_ptr<BandScratch>> scratch;
  for (int t = 0; t < threads; ++t) scratch.emplace_back(new BandScratch(g.width));
  std::atomic<int> nextBand{0};
  std::vector<std::exception_ptr> failures(results.size());  // each written by one worker
  auto work = [&](BandScratch* own) {
    for (int b; (b = nextBand.fetch_add(1)) < g.yBlocks;) {
      try {
        encodeBand(g, b, *own, results[b]);
      } catch (...) {
        failures[b] = std::current_exception();
        nextBand.store(g.yBlocks);
      }
    }
  };
#if TLG_ENCODE_THREADS
  std::vector<std::thread> pool;
  for (int t = 1; t < threads; ++t) {
    try {
      pool.emplace_back(work, scratch[t].get());
    } catch (...) {
      break;  // fewer helpers; the calling thread still does the rest
    }
  }
  work(scratch[0].get());
  for (auto& thread : pool) thread.join();
#else
  work(scratch[0].get());
#endif
  for (auto& failure : failures)
    if (failure) std::rethrow_exception(failure);  // the first band's failure
}

void writeFilterTypes(const std::vector<uint8_t>& types, TlgMemoryWriter& writer) {
  SlideCompressor compressor;
  std::vector<uint8_t> buffer(std::max(SlideCompressor::MaxOutput(types.size()),
                                       SlideCompressor::MaxOutput(4096)));
  uint8_t pattern[4096];
  TlgFilterRingPattern(pattern);
  std::size_t primed = 0;
  compressor.Encode(pattern, sizeof pattern, buffer.data(), &primed);  // output discarded
  std::size_t size = 0;
  compressor.Encode(types.data(), types.size(), buffer.data(), &size);
  writer.write32(uint32_t(size));
  writer.write(buffer.data(), uint32_t(size));
}

}  // namespace

void TlgForwardTransform(int transform, uint8_t& r0, uint8_t& r1, uint8_t& r2) {
  forwardTransform(transform, r0, r1, r2);
}

void TlgFilterRingPattern(uint8_t* ring) {
  uint8_t* p = ring;
  for (int i = 0; i < 32; ++i)
    for (int j = 0; j < 16; ++j) {
      for (int k = 0; k < 4; ++k) *p++ = uint8_t(i);
      for (int k = 0; k < 4; ++k) *p++ = uint8_t(j);
    }
}

int TlgColourCount(int32_t colourType) {
  switch (colourType) {
    case 1: case 2: case 3: return 1;
    case 0: case 4: case 5: case 6: return 3;
    case 7: return 4;
    default: return 0;
  }
}

// Written without data-dependent branches: residuals of photographs mix zero and non-zero
// values at random, and mispredicted branches would cost more than the arithmetic.
uint32_t TlgEstimateBits(const uint8_t* values, int count) {
  if (count <= 0) return 1;
  uint32_t bits = 1;  // the start bit
  uint32_t run = 0;   // length of the current run
  uint32_t previous = values[0] != 0;
  uint32_t a = 0;
  int n = 3;
  for (int i = 0; i < count; ++i) {
    const uint32_t v = values[i];
    const uint32_t nonZero = v != 0;
    const uint32_t flush = uint32_t(nonZero != previous);  // the run before this value ends
    bits += flush ? uint32_t(gammaBits(run | 1)) : 0;
    run = (flush ? 0 : run) + 1;
    previous = nonZero;
    const uint32_t t = kFold[v];
    const uint32_t k = kTlgGolombBitLength[a][n];
    const uint32_t q = t >> k;
    const uint32_t cost = (q < 28 ? q : 36) + k + 1;
    bits += nonZero ? cost : 0;
    a += nonZero ? t >> 1 : 0;
    n -= int(nonZero);
    const bool wrap = n < 0;
    n = wrap ? 3 : n;
    a = wrap ? a >> 1 : a;
  }
  return bits + uint32_t(gammaBits(run));
}

TlgTransformChoice TlgChooseTransform(const uint8_t* c0, const uint8_t* c1, const uint8_t* c2,
                                      int count) {
  uint32_t estimate[16 * 3];
  bool known[16 * 3] = {};
  std::vector<uint8_t> spill;
  uint8_t local[64];
  uint8_t* channel = local;
  if (count > 64) {
    spill.resize(std::size_t(count));
    channel = spill.data();
  }
  auto bitsOf = [&](int transform, int ch) {
    const int f = kForms.formOf[transform][ch];
    if (!known[f]) {
      const uint8_t* m = kForms.forms[f].m;
      for (int i = 0; i < count; ++i) channel[i] = uint8_t(m[0] * c0[i] + m[1] * c1[i] + m[2] * c2[i]);
      estimate[f] = TlgEstimateBits(channel, count);
      known[f] = true;
    }
    return estimate[f];
  };
  TlgTransformChoice best{0, 0};
  bool chosen = false;
  for (int t = 0; t < 16; ++t) {
    uint32_t sum = bitsOf(t, 0);
    if (!chosen || best.bits >= sum) sum += bitsOf(t, 1);
    if (!chosen || best.bits >= sum) sum += bitsOf(t, 2);
    if (!chosen || sum < best.bits) {
      best = {t, sum};
      chosen = true;
    }
  }
  return best;
}

void SaveTLG6(const TlgEncodeSource& source, TlgMemoryWriter& writer, int threads) {
  const int colours = TlgColourCount(source.colourType);
  if (!colours) TlgThrowEncodeError("SaveTLG6: Unsupported Color Type");
  if (source.width <= 0 || source.height <= 0 || !source.rows) return;
  Geometry g{source.width, source.height, colours, (source.width - 1) / 8 + 1,
             (source.height - 1) / 8 + 1, source.rows};

  writer.write(kTlg6Magic, 11);
  const uint8_t head[4] = {uint8_t(colours), 0, 0, 0};
  writer.write(head, 4);
  writer.write32(uint32_t(g.width));
  writer.write32(uint32_t(g.height));

  std::vector<BandResult> bands(std::size_t(g.yBlocks));
  encodeBands(g, bands, threads);

  uint64_t maxBits = 0;
  std::vector<uint8_t> filterTypes;
  filterTypes.reserve(std::size_t(g.xBlocks) * std::size_t(g.yBlocks));
  for (const BandResult& band : bands) {
    maxBits = std::max(maxBits, band.maxBits);
    filterTypes.insert(filterTypes.end(), band.filterTypes.begin(), band.filterTypes.end());
  }
  writer.write32(uint32_t(maxBits));
  writeFilterTypes(filterTypes, writer);
  for (BandResult& band : bands) {
    writer.write(band.records.data(), uint32_t(band.records.size()));
    std::vector<uint8_t>().swap(band.records);
  }
}

}  // namespace limg
