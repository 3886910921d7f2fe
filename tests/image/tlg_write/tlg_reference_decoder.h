#pragma once
// A small, deliberately plain TLG reader used only as the tests' oracle for the writers: the
// container with its tags, TLG5 with its LZSS records, TLG6 with the filter-type map, the
// residual coding, both predictors and the colour transforms. Bits are read one at a time and
// every length is checked; speed doesn't matter here.
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "image/tlg/tlg_tables.h"

namespace tlgref {

struct Picture {
  bool ok = false;
  int colours = 0;
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;  // A << 24 | R << 16 | G << 8 | B
  bool hasTags = false;
  std::string name;
  int32_t left = 0, top = 0, mode = 0;
};

// Decodes LZSS groups into out, carrying the 4096-byte ring and its index. Returns the new index.
inline int lzssDecode(std::vector<uint8_t>& out, const uint8_t* in, std::size_t length, uint8_t* ring,
                      int r) {
  std::size_t i = 0;
  while (i < length) {
    const unsigned flags = in[i++];
    for (int item = 0; item < 8 && i < length; ++item) {
      if (!(flags >> item & 1)) {
        const uint8_t b = in[i++];
        out.push_back(b);
        ring[r] = b;
        r = (r + 1) & 4095;
        continue;
      }
      if (i + 2 > length) return r;
      const unsigned v = in[i] | in[i + 1] << 8;
      i += 2;
      int source = v & 4095;
      int count = int(v >> 12) + 3;
      if ((v >> 12) == 15) {
        if (i >= length) return r;
        count += in[i++];
      }
      for (int k = 0; k < count; ++k) {
        const uint8_t b = ring[source];
        out.push_back(b);
        ring[r] = b;
        source = (source + 1) & 4095;
        r = (r + 1) & 4095;
      }
    }
  }
  return r;
}

inline void filterRing(uint8_t* ring) {
  int p = 0;
  for (int i = 0; i < 32; ++i)
    for (int j = 0; j < 16; ++j) {
      for (int k = 0; k < 4; ++k) ring[p++] = uint8_t(i);
      for (int k = 0; k < 4; ++k) ring[p++] = uint8_t(j);
    }
}

struct Reader {
  const uint8_t* data;
  std::size_t size;
  std::size_t pos = 0;
  bool bad = false;
  Reader(const uint8_t* d, std::size_t n) : data(d), size(n) {}
  bool take(std::size_t n) {
    if (bad || n > size - pos) return bad = true, false;
    return true;
  }
  uint8_t u8() { return take(1) ? data[pos++] : 0; }
  uint32_t u32() {
    if (!take(4)) return 0;
    const uint32_t v = data[pos] | data[pos + 1] << 8 | data[pos + 2] << 16 | uint32_t(data[pos + 3]) << 24;
    pos += 4;
    return v;
  }
  const uint8_t* bytes(std::size_t n) {
    if (!take(n)) return nullptr;
    pos += n;
    return data + pos - n;
  }
};

inline bool decodeTlg5(Reader& in, Picture& pic) {
  const int colours = in.u8();
  const int32_t width = int32_t(in.u32()), height = int32_t(in.u32()), blockHeight = int32_t(in.u32());
  if (in.bad || (colours != 3 && colours != 4) || width <= 0 || height <= 0 || blockHeight <= 0) return false;
  const int blocks = (height - 1) / blockHeight + 1;
  if (!in.bytes(std::size_t(blocks) * 4)) return false;
  pic.colours = colours;
  pic.width = width;
  pic.height = height;
  pic.pixels.assign(std::size_t(width) * height, 0);
  uint8_t ring[4096] = {};
  int r = 0;
  for (int y0 = 0; y0 < height; y0 += blockHeight) {
    const int rows = height - y0 < blockHeight ? height - y0 : blockHeight;
    const std::size_t need = std::size_t(rows) * width;
    std::vector<uint8_t> plane[4];
    for (int c = 0; c < colours; ++c) {
      const uint8_t mark = in.u8();
      const uint32_t size = in.u32();
      const uint8_t* data = in.bytes(size);
      if (!data) return false;
      if (mark) plane[c].assign(data, data + size);
      else r = lzssDecode(plane[c], data, size, ring, r);
      if (plane[c].size() != need) return false;
    }
    for (int j = 0; j < rows; ++j) {
      const int y = y0 + j;
      uint8_t s[4] = {0, 0, 0, 0};
      for (int x = 0; x < width; ++x) {
        const std::size_t at = std::size_t(j) * width + x;
        const uint8_t dG = plane[1][at];
        const uint8_t d[4] = {uint8_t(plane[0][at] + dG), dG, uint8_t(plane[2][at] + dG),
                              colours == 4 ? plane[3][at] : uint8_t(0)};
        uint32_t above = y > 0 ? pic.pixels[std::size_t(y - 1) * width + x] : 0;
        uint32_t pixel = 0;
        for (int c = 0; c < 4; ++c) {
          s[c] = uint8_t(s[c] + d[c]);
          pixel |= uint32_t(uint8_t(s[c] + (above >> (8 * c)))) << (8 * c);
        }
        if (colours == 3) pixel |= 0xFF000000u;
        pic.pixels[std::size_t(y) * width + x] = pixel;
      }
    }
  }
  return true;
}

struct BitReader {
  const uint8_t* data;
  std::size_t bytes;
  uint64_t pos = 0;
  int bit(uint64_t at) const { return at / 8 < bytes ? data[at / 8] >> (at % 8) & 1 : 0; }
  int next() { return bit(pos++); }
  uint32_t field(int m) {
    uint32_t v = 0;
    for (int i = 0; i < m; ++i) v |= uint32_t(next()) << i;
    return v;
  }
  bool gamma(uint32_t& length) {
    int m = 0;
    while (!next()) {
      if (++m > 31 || pos / 8 > bytes) return false;
    }
    length = (1u << m) + field(m);
    return true;
  }
};

// One channel of one band: count signed bytes.
inline bool decodeChannel(const uint8_t* data, std::size_t bytes, std::size_t count, std::vector<int8_t>& out) {
  BitReader br{data, bytes};
  out.assign(count, 0);
  bool nonZero = br.next();
  int a = 0, n = 3;
  std::size_t i = 0;
  while (i < count) {
    uint32_t length;
    if (!br.gamma(length) || length > count - i) return false;
    if (nonZero) {
      for (uint32_t v = 0; v < length; ++v) {
        const int k = limg::kTlgGolombBitLength[a][n];
        const uint64_t s = br.pos / 8, windowEnd = (s + 4) * 8;
        bool allZero = true;
        for (uint64_t b = br.pos; b < windowEnd && allZero; ++b) allZero = !br.bit(b);
        uint32_t q = 0;
        if (allZero) {
          br.pos = windowEnd;
          q = br.field(8);
        } else {
          while (!br.next()) ++q;
        }
        const uint32_t t = (q << k) + br.field(k);
        out[i + v] = int8_t((t & 1) ? int(t >> 1) + 1 : -int(t >> 1) - 1);
        a += int(t >> 1);
        if (--n < 0) {
          n = 3;
          a >>= 1;
        }
        if (a > 1023) return false;
      }
    }
    i += length;
    nonZero = !nonZero;
  }
  return br.pos <= uint64_t(bytes) * 8;
}

inline uint8_t med(uint8_t a, uint8_t b, uint8_t c) {
  const uint8_t hi = a > b ? a : b, lo = a > b ? b : a;
  return c >= hi ? lo : c <= lo ? hi : uint8_t(a + b - c);
}

// The decoder's colour transforms, steps in order, each an addition mod 256.
inline void inverseTransform(int t, uint8_t& r0, uint8_t& r1, uint8_t& r2) {
  switch (t) {
    case 1: r0 += r1; r2 += r1; break;
    case 2: r1 += r0; r2 += r1; break;
    case 3: r1 += r2; r0 += r1; break;
    case 4: r0 += r2; r1 += r0; r2 += r1; break;
    case 5: r0 += r2; r1 += r0; break;
    case 6: r0 += r1; break;
    case 7: r1 += r0; break;
    case 8: r2 += r1; break;
    case 9: r2 += r0; r1 += r2; r0 += r1; break;
    case 10: r0 += r2; r1 += r2; break;
    case 11: r1 += r0; r2 += r0; break;
    case 12: r2 += r0; r1 += r2; break;
    case 13: r0 += r1; r2 += r0; r1 += r2; break;
    case 14: r1 += r2; r0 += r1; r2 += r0; break;
    case 15: r1 += 2 * r0; r2 += 2 * r0; break;
    default: break;
  }
}

inline bool decodeTlg6(Reader& in, Picture& pic, std::vector<uint8_t>* filterMap = nullptr) {
  const uint8_t* head = in.bytes(4);
  if (!head || (head[0] != 1 && head[0] != 3 && head[0] != 4) || head[1] || head[2] || head[3]) return false;
  const int colours = head[0];
  const int32_t width = int32_t(in.u32()), height = int32_t(in.u32()), maxBits = int32_t(in.u32());
  if (in.bad || width <= 0 || height <= 0 || maxBits < 0) return false;
  const int xBlocks = (width - 1) / 8 + 1, yBlocks = (height - 1) / 8 + 1;
  const uint32_t mapSize = in.u32();
  const uint8_t* packedMap = in.bytes(mapSize);
  if (!packedMap) return false;
  std::vector<uint8_t> map;
  uint8_t ring[4096];
  filterRing(ring);
  lzssDecode(map, packedMap, mapSize, ring, 0);
  if (map.size() != std::size_t(xBlocks) * yBlocks) return false;
  if (filterMap) *filterMap = map;
  pic.colours = colours;
  pic.width = width;
  pic.height = height;
  pic.pixels.assign(std::size_t(width) * height, 0);
  const uint32_t p0 = colours == 3 ? 0xFF000000u : 0;
  for (int b = 0; b < yBlocks; ++b) {
    const int y0 = b * 8, h = height - y0 < 8 ? height - y0 : 8;
    const std::size_t count = std::size_t(h) * width;
    std::vector<uint32_t> words(count, 0);
    for (int c = 0; c < colours; ++c) {
      const uint32_t bitLength = in.u32();
      if ((bitLength >> 30) != 0 || (bitLength & 0x3FFFFFFF) > uint32_t(maxBits)) return false;
      const std::size_t bytes = ((bitLength & 0x3FFFFFFF) + 7) / 8;
      const uint8_t* bits = in.bytes(bytes);
      std::vector<int8_t> values;
      if (!bits || !decodeChannel(bits, bytes, count, values)) return false;
      for (std::size_t k = 0; k < count; ++k) words[k] |= uint32_t(uint8_t(values[k])) << (8 * c);
    }
    for (int j = 0; j < h; ++j) {
      const int y = y0 + j;
      for (int i = 0; i < xBlocks; ++i) {
        const int w = width - 8 * i < 8 ? width - 8 * i : 8;
        const int type = map[std::size_t(b) * xBlocks + i];
        if (type > 31) return false;
        const int slot = (i & 1) ? h - 1 - j : j;
        for (int t = 0; t < w; ++t) {
          const int x = 8 * i + t;
          const uint32_t residual = words[std::size_t(8) * h * i + std::size_t(slot) * w + ((y & 1) ? w - 1 - t : t)];
          const uint32_t left = x > 0 ? pic.pixels[std::size_t(y) * width + x - 1] : p0;
          const uint32_t above = y > 0 ? pic.pixels[std::size_t(y - 1) * width + x] : p0;
          const uint32_t aboveLeft = (x > 0 && y > 0) ? pic.pixels[std::size_t(y - 1) * width + x - 1] : p0;
          uint8_t r[4];
          for (int k = 0; k < 4; ++k) r[k] = uint8_t(residual >> (8 * k));
          inverseTransform(type >> 1, r[0], r[1], r[2]);
          uint32_t pixel = 0;
          for (int k = 0; k < 4; ++k) {
            const uint8_t la = uint8_t(left >> (8 * k)), ab = uint8_t(above >> (8 * k)),
                          al = uint8_t(aboveLeft >> (8 * k));
            const uint8_t prediction = (type & 1) ? uint8_t((la + ab + 1) >> 1) : med(la, ab, al);
            pixel |= uint32_t(uint8_t(prediction + r[k])) << (8 * k);
          }
          pic.pixels[std::size_t(y) * width + x] = pixel;
        }
      }
    }
  }
  return true;
}

inline bool decodeStream(const uint8_t* data, std::size_t size, Picture& pic,
                         std::vector<uint8_t>* filterMap = nullptr) {
  Reader in(data, size);
  const uint8_t* magic = in.bytes(11);
  if (!magic) return false;
  if (!std::memcmp(magic, "TLG5.0\0raw\x1a", 11)) return decodeTlg5(in, pic);
  if (!std::memcmp(magic, "TLG6.0\0raw\x1a", 11)) return decodeTlg6(in, pic, filterMap);
  return false;
}

inline int32_t word(const std::string& v) {
  uint32_t w = 0;
  for (int i = 0; i < 4 && i < int(v.size()); ++i) w |= uint32_t(uint8_t(v[i])) << (8 * i);
  return int32_t(w);
}

inline std::size_t digits(const uint8_t* p, const uint8_t* end, const uint8_t** after) {
  std::size_t v = 0;
  while (p < end && *p >= '0' && *p <= '9') v = v * 10 + (*p++ - '0');
  *after = p;
  return v;
}

// Tags text: "len:key=len:value," entries; checks every separator, as a strict reader would.
inline bool parseTags(const uint8_t* p, std::size_t size, Picture& pic) {
  const uint8_t* end = p + size;
  while (p < end) {
    const std::size_t k = digits(p, end, &p);
    if (p >= end || *p++ != ':' || std::size_t(end - p) < k) return false;
    const std::string key(reinterpret_cast<const char*>(p), k);
    p += k;
    if (p >= end || *p++ != '=') return false;
    const std::size_t v = digits(p, end, &p);
    if (p >= end || *p++ != ':' || std::size_t(end - p) < v) return false;
    const std::string value(reinterpret_cast<const char*>(p), v);
    p += v;
    if (p < end && *p++ != ',') return false;
    if (key.empty()) continue;
    switch (key[0]) {
      case 1: pic.name = value.substr(0, value.find('\0')); break;
      case 2: pic.left = word(value); break;
      case 3: pic.top = word(value); break;
      case 4: pic.mode = word(value); break;
      default: break;
    }
  }
  return true;
}

inline Picture decode(const std::vector<uint8_t>& file, std::vector<uint8_t>* filterMap = nullptr) {
  Picture pic;
  if (file.size() >= 11 && !std::memcmp(file.data(), "TLG0.0\0sds\x1a", 11)) {
    Reader in(file.data(), file.size());
    in.bytes(11);
    const uint32_t raw = in.u32();
    const uint8_t* stream = in.bytes(raw);
    if (!stream || !decodeStream(stream, raw, pic, filterMap)) return pic;
    while (in.pos < file.size()) {
      const uint8_t* name = in.bytes(4);
      const uint32_t size = in.u32();
      const uint8_t* body = in.bytes(size);
      if (!name || !body) return pic;
      if (!std::memcmp(name, "tags", 4)) {
        if (!parseTags(body, size, pic)) return pic;
        pic.hasTags = true;
      }
    }
    pic.ok = true;
    return pic;
  }
  pic.ok = decodeStream(file.data(), file.size(), pic, filterMap);
  return pic;
}

}  // namespace tlgref
