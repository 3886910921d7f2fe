#pragma once
// Helpers shared by the TLG tests: decoding with a routine set, random pictures, and a slow
// reference for TLG6 pixels written from the prediction rules.
#include <gtest/gtest.h>

#include <cstdint>
#include <memory>
#include <random>
#include <vector>

#include "image/image.h"
#include "image/tlg/tlg_decode.h"
#include "tests/image/tlg/tlg_test_encoder.h"

namespace tlgtest {

struct ImageFree {
  void operator()(limg::Image* image) const { limg::ImageDestroy(&image); }
};
using ImagePtr = std::unique_ptr<limg::Image, ImageFree>;

inline ImagePtr decode(const Bytes& data, const limg::TlgRoutines& routines = limg::TlgPortableRoutines()) {
  return ImagePtr(limg::TlgLoadFromMemoryWith(data.data(), int32_t(data.size()), routines));
}

inline std::vector<uint32_t> pixelsOf(const limg::Image* image) {
  if (!image || !image->pixels) return {};
  return std::vector<uint32_t>(image->pixels, image->pixels + image->pixelCount);
}

inline bool hasNoPixels(const limg::Image* image) {
  return image && !image->pixels && image->width == 0 && image->height == 0 &&
         image->pixelCount == 0;
}

inline std::vector<uint32_t> randomPixels(std::mt19937& rng, int width, int height, bool smooth) {
  std::vector<uint32_t> p(size_t(width) * height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      uint32_t v = rng();
      if (smooth) v = (uint32_t(x * 3 + y) & 0xFF) * 0x010101u + (v & 0x03030303u) + 0x40000000u;
      p[size_t(y) * width + x] = v;
    }
  return p;
}

// Random stored residuals: mostly small values with zero runs, as real data has.
inline std::vector<uint32_t> randomResiduals(std::mt19937& rng, int width, int height, int colours) {
  std::vector<uint32_t> r(size_t(width) * height);
  for (auto& w : r) {
    uint32_t word = 0;
    for (int c = 0; c < colours; ++c) {
      const uint32_t kind = rng() % 8;
      uint8_t v = 0;
      if (kind >= 3 && kind < 7) v = uint8_t(int(rng() % 9) - 4);
      if (kind == 7) v = uint8_t(rng());
      word |= uint32_t(v) << (8 * c);
    }
    w = word;
  }
  return r;
}

inline uint8_t refMed(int a, int b, int c) {
  const int mx = a > b ? a : b, mn = a < b ? a : b;
  if (c >= mx) return uint8_t(mn);
  if (c <= mn) return uint8_t(mx);
  return uint8_t(a + b - c);
}

// The colour transforms written out one by one.
inline void refTransform(uint8_t r[4], int t) {
  switch (t) {
    case 0: break;
    case 1: r[0] += r[1]; r[2] += r[1]; break;
    case 2: r[1] += r[0]; r[2] += r[1]; break;
    case 3: r[1] += r[2]; r[0] += r[1]; break;
    case 4: r[0] += r[2]; r[1] += r[0]; r[2] += r[1]; break;
    case 5: r[0] += r[2]; r[1] += r[0]; break;
    case 6: r[0] += r[1]; break;
    case 7: r[1] += r[0]; break;
    case 8: r[2] += r[1]; break;
    case 9: r[2] += r[0]; r[1] += r[2]; r[0] += r[1]; break;
    case 10: r[0] += r[2]; r[1] += r[2]; break;
    case 11: r[1] += r[0]; r[2] += r[0]; break;
    case 12: r[2] += r[0]; r[1] += r[2]; break;
    case 13: r[0] += r[1]; r[2] += r[0]; r[1] += r[2]; break;
    case 14: r[1] += r[2]; r[0] += r[1]; r[2] += r[0]; break;
    case 15: r[1] += uint8_t(2 * r[0]); r[2] += uint8_t(2 * r[0]); break;
  }
}

// Pixels of a TLG6 picture from its stored residual words and block types.
inline std::vector<uint32_t> referenceTlg6(const std::vector<uint32_t>& residual,
                                           const std::vector<uint8_t>& types, int width,
                                           int height, int colours) {
  const uint32_t p0 = colours == 3 ? 0xFF000000u : 0;
  const int xBlocks = (width - 1) / 8 + 1;
  std::vector<uint32_t> out(size_t(width) * height);
  auto at = [&](int x, int y) -> uint32_t {
    if (x < 0 || y < 0) return p0;
    return out[size_t(y) * width + x];
  };
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      const uint32_t left = at(x - 1, y), above = at(x, y - 1);
      const uint32_t aboveLeft = x == 0 ? p0 : at(x - 1, y - 1);
      const int type = types[size_t(y / 8) * xBlocks + x / 8];
      uint32_t word = residual[size_t(y) * width + x];
      if (colours < 4) word &= colours == 3 ? 0x00FFFFFFu : 0xFFu;
      uint8_t r[4] = {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16), uint8_t(word >> 24)};
      refTransform(r, type >> 1);
      uint32_t pixel = 0;
      for (int c = 0; c < 4; ++c) {
        const int a = (left >> (8 * c)) & 0xFF, b = (above >> (8 * c)) & 0xFF,
                  cc = (aboveLeft >> (8 * c)) & 0xFF;
        const uint8_t pred = (type & 1) ? uint8_t((a + b + 1) >> 1) : refMed(a, b, cc);
        pixel |= uint32_t(uint8_t(pred + r[c])) << (8 * c);
      }
      out[size_t(y) * width + x] = pixel;
    }
  if (colours == 1)
    for (auto& p : out) p = 0xFF000000u | (p & 0xFF) * 0x010101u;
  return out;
}

}  // namespace tlgtest
