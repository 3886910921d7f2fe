#pragma once
// The lookup tables of blending and mask-to-alpha (values: blend_tables.cpp).
#include <cstdint>

namespace limg {

namespace ops {

constexpr int kBlendTableCount = 19;  // modes 2-21, mode 11 sharing mode 2's table

struct BlendTables {
  uint8_t blend[kBlendTableCount][65536];  // [d * 256 + s]
  uint8_t coverage[65536];                 // [a * 256 + b]
  uint8_t destWeight[65536];               // [as * 256 + ad]
  int32_t reciprocal[256];                 // [A]
  uint8_t overAlpha[65536];                // [as * 256 + ad]
  uint8_t overWeight[65536];               // [A * 256 + as]
};

// Built on first call (thread-safe), read-only afterwards.
const BlendTables& blendTables();
// Mode 2-21's blend table, null for other modes.
const uint8_t* blendTableOf(int mode);

}  // namespace ops

}  // namespace limg
