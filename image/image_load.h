#pragma once
// The loader's probe for TGA data, which has no magic number.
#include <cstdint>

// True when size > 16, byte 1 (colour-map type) is 0 or 1, byte 2 (image type) is one of
// 0, 1, 2, 3, 9, 10, 11 and byte 16 (pixel depth) one of 8, 15, 16, 24, 32.
bool ImageLooksLikeTga(const uint8_t* data, int32_t size);
