#pragma once
// The AVX2 row forms of blending (blend_avx2.cpp), for processors that report AVX2.
#include <cstdint>

#include "image/ops/blend_tables.h"

#if defined(__x86_64__) || defined(__i386__)
#define BLEND_HAVE_AVX2 1

namespace limg {

namespace ops {

// Mode 1 over the whole groups of eight of a row of n pixels; returns the count done.
int32_t blendNormalRowAvx2(uint32_t* to, const uint32_t* from, int32_t n, bool full, uint32_t opacity);
// Modes 2-21 (the mode's blend table) likewise.
int32_t blendSeparableRowAvx2(uint32_t* to, const uint32_t* from, int32_t n, bool full, uint32_t opacity,
                              const BlendTables& t, const uint8_t* table);

}  // namespace ops

}  // namespace limg
#endif
