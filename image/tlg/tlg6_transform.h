#pragma once
// The 16 colour transforms of TLG6 as data: each is up to four steps "byte dst += byte src",
// run in order on the residual word (byte 0 B, 1 G, 2 R; alpha is never changed).
#include <cstdint>

namespace limg {

struct Tlg6TransformStep {
  uint8_t dst, src;
};

struct Tlg6Transform {
  uint8_t count;
  Tlg6TransformStep steps[4];
};

// Transform 15 adds twice byte 0 into bytes 1 and 2, written as two single additions each.
constexpr Tlg6Transform kTlg6Transforms[16] = {
    {0, {}},
    {2, {{0, 1}, {2, 1}}},
    {2, {{1, 0}, {2, 1}}},
    {2, {{1, 2}, {0, 1}}},
    {3, {{0, 2}, {1, 0}, {2, 1}}},
    {2, {{0, 2}, {1, 0}}},
    {1, {{0, 1}}},
    {1, {{1, 0}}},
    {1, {{2, 1}}},
    {3, {{2, 0}, {1, 2}, {0, 1}}},
    {2, {{0, 2}, {1, 2}}},
    {2, {{1, 0}, {2, 0}}},
    {2, {{2, 0}, {1, 2}}},
    {3, {{0, 1}, {2, 0}, {1, 2}}},
    {3, {{1, 2}, {0, 1}, {2, 0}}},
    {4, {{1, 0}, {1, 0}, {2, 0}, {2, 0}}},
};

// Applies transform `index` to one residual word.
inline uint32_t Tlg6ApplyTransform(uint32_t word, uint32_t index) {
  uint8_t r[4] = {uint8_t(word), uint8_t(word >> 8), uint8_t(word >> 16), uint8_t(word >> 24)};
  const Tlg6Transform& t = kTlg6Transforms[index];
  for (int s = 0; s < t.count; ++s) r[t.steps[s].dst] = uint8_t(r[t.steps[s].dst] + r[t.steps[s].src]);
  return uint32_t(r[0]) | uint32_t(r[1]) << 8 | uint32_t(r[2]) << 16 | uint32_t(r[3]) << 24;
}

}  // namespace limg
