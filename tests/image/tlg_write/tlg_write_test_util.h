#pragma once
// Pictures and encode helpers shared by the TLG writer tests.
#include <cstdint>
#include <random>
#include <vector>

#include "image/tlg/tlg_encode.h"

namespace tlgtest {

enum class Kind { Noise, Smooth, Flat, Uniform };

// width x height pixels of colours packed bytes each, with the row pointers an encoder takes.
struct Packed {
  int width = 0, height = 0, colours = 0;
  std::vector<uint8_t> bytes;
  std::vector<const uint8_t*> rows;

  uint8_t at(int x, int y, int c) const { return bytes[(std::size_t(y) * width + x) * colours + c]; }
  limg::TlgEncodeSource source() const {
    return {width, height, rows.data(), colours == 1 ? 3 : colours == 4 ? 7 : 6};
  }
};

inline uint8_t sample(Kind kind, int x, int y, int c, std::mt19937& rng) {
  switch (kind) {
    case Kind::Noise: return uint8_t(rng());
    case Kind::Smooth: return uint8_t(x * (c + 1) + y * (3 - c % 3) + (rng() % 5));
    case Kind::Flat: return uint8_t(((x / 5 + y / 3) % 3) * 70 + c * 20 + (c == 3 ? (x % 7 == 0) * 200 : 0));
    case Kind::Uniform: return uint8_t(40 + 50 * c);
  }
  return 0;
}

inline Packed makePacked(int width, int height, int colours, Kind kind, uint32_t seed = 1) {
  Packed p;
  p.width = width;
  p.height = height;
  p.colours = colours;
  p.bytes.resize(std::size_t(width) * height * colours);
  std::mt19937 rng(seed);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      for (int c = 0; c < colours; ++c) p.bytes[(std::size_t(y) * width + x) * colours + c] = sample(kind, x, y, c, rng);
  for (int y = 0; y < height; ++y) p.rows.push_back(p.bytes.data() + std::size_t(y) * width * colours);
  return p;
}

inline std::vector<uint8_t> bytesOf(const limg::TlgMemoryWriter& w) { return std::vector<uint8_t>(w.data, w.data + w.size()); }

inline std::vector<uint8_t> encodeTlg6(const Packed& p, int threads = 1) {
  limg::TlgMemoryWriter w(256);
  limg::SaveTLG6(p.source(), w, threads);
  return bytesOf(w);
}

inline std::vector<uint8_t> encodeTlg5(const Packed& p) {
  limg::TlgMemoryWriter w(256);
  limg::Tlg5Encode(p.source(), w);
  return bytesOf(w);
}

inline uint32_t le32(const std::vector<uint8_t>& b, std::size_t at) {
  return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t(b[at + 3]) << 24;
}

}  // namespace tlgtest
