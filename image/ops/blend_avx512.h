#pragma once
// The AVX-512 row forms of blending (blend_avx512.cpp), for processors that report AVX-512
// F and BW.
#include <cstdint>

#if defined(__x86_64__) || defined(__i386__)
#define BLEND_HAVE_AVX512 1

namespace limg {

namespace ops {

// Mode 1 over a whole row of n pixels, sixteen at a time and the last group under a mask.
void blendNormalRowAvx512(uint32_t* to, const uint32_t* from, int32_t n, bool full, uint32_t opacity);

}  // namespace ops

}  // namespace limg
#endif
