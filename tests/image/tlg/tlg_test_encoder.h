#pragma once
// A small, independent TLG stream writer for tests and benchmarks: a bit writer, the gamma and
// Golomb value codes (with the escape form), LZSS as literals or a greedy matcher, and
// TLG5 / TLG6 / container builders. Written from the stream layouts, not from the decoder.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "image/tlg/tlg_tables.h"

namespace tlgtest {

using Bytes = std::vector<uint8_t>;

inline void put32(Bytes& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(v >> (8 * i)));
}
inline void putBytes(Bytes& out, const void* p, size_t n) {
  const uint8_t* b = static_cast<const uint8_t*>(p);
  out.insert(out.end(), b, b + n);
}
inline void putText(Bytes& out, const std::string& s) { putBytes(out, s.data(), s.size()); }

const uint8_t kContainer[11] = {'T', 'L', 'G', '0', '.', '0', 0, 's', 'd', 's', 0x1a};
const uint8_t kTlg5[11] = {'T', 'L', 'G', '5', '.', '0', 0, 'r', 'a', 'w', 0x1a};
const uint8_t kTlg6[11] = {'T', 'L', 'G', '6', '.', '0', 0, 'r', 'a', 'w', 0x1a};

// Bits from bit 0 of byte 0 upward.
struct BitWriter {
  Bytes data;
  uint64_t bits = 0;
  void putBit(uint32_t b) {
    if ((bits >> 3) >= data.size()) data.push_back(0);
    if (b & 1) data[bits >> 3] |= uint8_t(1u << (bits & 7));
    ++bits;
  }
  void putBits(uint32_t v, int m) {
    for (int i = 0; i < m; ++i) putBit(v >> i);
  }
  void putGamma(uint32_t length) {
    int m = 0;
    while ((length >> (m + 1)) != 0) ++m;
    for (int i = 0; i < m; ++i) putBit(0);
    putBit(1);
    putBits(length, m);
  }
};

// Value codes with the adaptive state a, n.
struct ValueCoder {
  uint32_t a = 0;
  int n = 3;
  bool escapes = false;  // set when an escape form was written
  void put(BitWriter& w, int8_t e) {
    const uint32_t t = e > 0 ? 2 * uint32_t(e) - 1 : uint32_t(-2 * int(e) - 2);
    const int k = limg::kTlgGolombBitLength[a][n];
    const uint32_t q = t >> k;
    const uint64_t boundary = ((w.bits >> 3) + 4) * 8;  // first bit of byte s + 4
    if (w.bits + q >= boundary) {
      while (w.bits < boundary) w.putBit(0);
      w.putBits(q, 8);
      escapes = true;
    } else {
      for (uint32_t i = 0; i < q; ++i) w.putBit(0);
      w.putBit(1);
    }
    w.putBits(t & ((1u << k) - 1), k);
    a += t >> 1;
    if (--n < 0) {
      n = 3;
      a >>= 1;
    }
  }
};

// Start bit, then alternating zero / non-zero runs.
inline void encodeChannel(BitWriter& w, const int8_t* values, size_t count, bool* escapes = nullptr) {
  ValueCoder coder;
  w.putBit(values[0] != 0);
  size_t i = 0;
  while (i < count) {
    size_t j = i;
    if (values[i] == 0) {
      while (j < count && values[j] == 0) ++j;
      w.putGamma(uint32_t(j - i));
    } else {
      while (j < count && values[j] != 0) ++j;
      w.putGamma(uint32_t(j - i));
      for (size_t v = i; v < j; ++v) coder.put(w, values[v]);
    }
    i = j;
  }
  if (escapes) *escapes = coder.escapes;
}

// LZSS, literals only: groups of a zero flag byte and up to 8 bytes.
inline Bytes lzssLiterals(const uint8_t* p, size_t n) {
  Bytes out;
  for (size_t i = 0; i < n; i += 8) {
    out.push_back(0);
    for (size_t k = i; k < n && k < i + 8; ++k) out.push_back(p[k]);
  }
  return out;
}

// Greedy LZSS over a history that persists between calls (the decoder's ring: 4096 zero
// bytes, then everything produced).
struct LzssEncoder {
  Bytes history = Bytes(4096, 0);
  std::vector<int64_t> head = std::vector<int64_t>(1 << 16, -1);
  std::vector<int64_t> prev;
  static uint32_t hash3(const uint8_t* p) {
    return (uint32_t(p[0]) * 506832829u ^ uint32_t(p[1]) * 2654435761u ^ uint32_t(p[2]) * 40503u) >> 16;
  }
  void insert(size_t at) {
    if (at + 3 > history.size()) return;
    if (prev.size() < history.size()) prev.resize(history.size(), -1);
    const uint32_t h = hash3(&history[at]);
    prev[at] = head[h];
    head[h] = int64_t(at);
  }
  Bytes compress(const uint8_t* p, size_t n) {
    const size_t start = history.size();
    history.insert(history.end(), p, p + n);
    prev.resize(history.size(), -1);
    for (size_t at = start >= 2 ? start - 2 : 0; at < start; ++at) insert(at);
    Bytes out;
    size_t flagAt = 0;
    int item = 8;
    size_t pos = start;
    const size_t end = history.size();
    while (pos < end) {
      if (item == 8) {
        flagAt = out.size();
        out.push_back(0);
        item = 0;
      }
      size_t bestLength = 0, bestBack = 0;
      if (pos + 3 <= end) {
        int64_t cand = head[hash3(&history[pos])];
        for (int tries = 0; cand >= 0 && tries < 16; ++tries, cand = prev[size_t(cand)]) {
          if (size_t(cand) >= pos) break;  // left over from a record that was stored
          const size_t back = pos - size_t(cand);
          if (back > 4096) break;
          size_t len = 0;
          while (len < 273 && pos + len < end && history[size_t(cand) + len] == history[pos + len]) ++len;
          if (len > bestLength) {
            bestLength = len;
            bestBack = back;
          }
        }
      }
      if (bestLength >= 3) {
        const uint32_t source = uint32_t(pos - bestBack) & 4095;  // ring index of the source
        out[flagAt] |= uint8_t(1u << item);
        if (bestLength >= 18) {
          const uint32_t v = source | 0xF000;
          out.push_back(uint8_t(v));
          out.push_back(uint8_t(v >> 8));
          out.push_back(uint8_t(bestLength - 18));
        } else {
          const uint32_t v = source | uint32_t(bestLength - 3) << 12;
          out.push_back(uint8_t(v));
          out.push_back(uint8_t(v >> 8));
        }
        for (size_t k = 0; k < bestLength; ++k) insert(pos + k);
        pos += bestLength;
      } else {
        out.push_back(history[pos]);
        insert(pos);
        ++pos;
      }
      ++item;
    }
    return out;
  }
  // Forgets the last `n` bytes given to compress (a record that is stored instead).
  void undo(size_t n) { history.resize(history.size() - n); }
};
// The history starts 4096 bytes before the first output byte, so ring index = absolute
// position mod 4096 for both.

enum class Tlg5Mode { Stored, Literals, Greedy };

// A TLG5 stream from B,G,R,A words (alpha ignored with 3 colours).
inline Bytes buildTlg5(const uint32_t* pixels, int width, int height, int colours, int blockHeight,
                       Tlg5Mode mode) {
  Bytes out(kTlg5, kTlg5 + 11);
  out.push_back(uint8_t(colours));
  put32(out, uint32_t(width));
  put32(out, uint32_t(height));
  put32(out, uint32_t(blockHeight));
  const int blockCount = (height - 1) / blockHeight + 1;
  const size_t tableAt = out.size();
  for (int b = 0; b < blockCount; ++b) put32(out, 0);
  LzssEncoder lzss;
  for (int b = 0; b < blockCount; ++b) {
    const size_t blockStart = out.size();
    const int y0 = b * blockHeight;
    const int rows = height - y0 < blockHeight ? height - y0 : blockHeight;
    std::vector<Bytes> planes(size_t(colours), Bytes(size_t(rows) * width));
    for (int j = 0; j < rows; ++j) {
      const int y = y0 + j;
      uint8_t prevD[4] = {0, 0, 0, 0};
      for (int x = 0; x < width; ++x) {
        const uint32_t p = pixels[size_t(y) * width + x];
        const uint32_t up = y > 0 ? pixels[size_t(y - 1) * width + x] : 0;
        uint8_t d[4], delta[4];
        for (int c = 0; c < 4; ++c) {
          d[c] = uint8_t((p >> (8 * c)) - (up >> (8 * c)));
          delta[c] = uint8_t(d[c] - prevD[c]);
          prevD[c] = d[c];
        }
        const size_t at = size_t(j) * width + x;
        planes[1][at] = delta[1];
        planes[0][at] = uint8_t(delta[0] - delta[1]);
        planes[2][at] = uint8_t(delta[2] - delta[1]);
        if (colours == 4) planes[3][at] = delta[3];
      }
    }
    for (int c = 0; c < colours; ++c) {
      const Bytes& plane = planes[size_t(c)];
      if (mode == Tlg5Mode::Stored) {
        out.push_back(1);
        put32(out, uint32_t(plane.size()));
        putBytes(out, plane.data(), plane.size());
        continue;
      }
      // Literal records are kept while they fit the decoder's plane buffer (n + 10 bytes),
      // matched ones while they are smaller than the plane; otherwise the plane is stored.
      Bytes coded;
      bool useCoded;
      if (mode == Tlg5Mode::Literals) {
        coded = lzssLiterals(plane.data(), plane.size());
        useCoded = coded.size() <= size_t(width) * blockHeight + 10;
        if (useCoded) lzss.history.insert(lzss.history.end(), plane.begin(), plane.end());
      } else {
        coded = lzss.compress(plane.data(), plane.size());
        useCoded = coded.size() < plane.size();
        if (!useCoded) lzss.undo(plane.size());
      }
      if (useCoded) {
        out.push_back(0);
        put32(out, uint32_t(coded.size()));
        putBytes(out, coded.data(), coded.size());
      } else {
        out.push_back(1);
        put32(out, uint32_t(plane.size()));
        putBytes(out, plane.data(), plane.size());
      }
    }
    const uint32_t blockSize = uint32_t(out.size() - blockStart);
    for (int i = 0; i < 4; ++i) out[tableAt + 4 * b + i] = uint8_t(blockSize >> (8 * i));
  }
  return out;
}

// Index of pixel (x, y)'s residual word within its band (the slot layout).
inline size_t tlg6SlotIndex(int x, int y, int width, int height) {
  const int band = y / 8, j = y % 8;
  const int h = height - band * 8 < 8 ? height - band * 8 : 8;
  const int i = x / 8, t = x % 8;
  const int w = width - i * 8 < 8 ? width - i * 8 : 8;
  const int s = (i % 2 == 0) ? j : h - 1 - j;
  const int word = (y % 2 == 0) ? t : w - 1 - t;
  return size_t(8) * h * i + size_t(s) * w + word;
}

// A TLG6 stream from stored residual words per pixel (bytes 0..colours-1 used) and one
// filter type per block. The map is stored as LZSS literals unless `map` is given.
inline Bytes buildTlg6(const std::vector<uint32_t>& residual, const std::vector<uint8_t>& types,
                       int width, int height, int colours, const Bytes* codedMap = nullptr,
                       bool* escapes = nullptr) {
  const int yBlocks = (height - 1) / 8 + 1;
  std::vector<Bytes> channels;
  std::vector<uint32_t> bitLengths;
  uint32_t maxBits = 0;
  bool anyEscape = false;
  for (int band = 0; band < yBlocks; ++band) {
    const int h = height - band * 8 < 8 ? height - band * 8 : 8;
    const size_t count = size_t(h) * width;
    std::vector<uint32_t> words(count);
    for (int j = 0; j < h; ++j)
      for (int x = 0; x < width; ++x)
        words[tlg6SlotIndex(x, band * 8 + j, width, height)] =
            residual[size_t(band * 8 + j) * width + x];
    for (int c = 0; c < colours; ++c) {
      std::vector<int8_t> values(count);
      for (size_t k = 0; k < count; ++k) values[k] = int8_t(uint8_t(words[k] >> (8 * c)));
      BitWriter w;
      bool esc = false;
      encodeChannel(w, values.data(), count, &esc);
      anyEscape |= esc;
      channels.push_back(w.data);
      bitLengths.push_back(uint32_t(w.bits));
      if (w.bits > maxBits) maxBits = uint32_t(w.bits);
    }
  }
  Bytes out(kTlg6, kTlg6 + 11);
  out.push_back(uint8_t(colours));
  out.push_back(0);
  out.push_back(0);
  out.push_back(0);
  put32(out, uint32_t(width));
  put32(out, uint32_t(height));
  put32(out, maxBits);
  const Bytes map = codedMap ? *codedMap : lzssLiterals(types.data(), types.size());
  put32(out, uint32_t(map.size()));
  putBytes(out, map.data(), map.size());
  for (size_t k = 0; k < channels.size(); ++k) {
    put32(out, bitLengths[k]);
    putBytes(out, channels[k].data(), channels[k].size());
  }
  if (escapes) *escapes = anyEscape;
  return out;
}

// Container: magic, raw length, the pixel stream, then chunks.
inline Bytes wrapContainer(const Bytes& raw, const Bytes& chunks) {
  Bytes out(kContainer, kContainer + 11);
  put32(out, uint32_t(raw.size()));
  putBytes(out, raw.data(), raw.size());
  putBytes(out, chunks.data(), chunks.size());
  return out;
}

inline Bytes chunk(const char name[4], const Bytes& data) {
  Bytes out(name, name + 4);
  put32(out, uint32_t(data.size()));
  putBytes(out, data.data(), data.size());
  return out;
}

}  // namespace tlgtest
