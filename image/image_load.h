#pragma once
// The loader's choice of decoder, for callers that want to name a file's format.
#include <cstdint>

namespace limg {

// True when size > 16, byte 1 (colour-map type) is 0 or 1, byte 2 (image type) is one of
// 0, 1, 2, 3, 9, 10, 11 and byte 16 (pixel depth) one of 8, 15, 16, 24, 32.
bool ImageLooksLikeTga(const uint8_t* data, int32_t size);

// "TLG", "BMP", "PNG", "JPEG" or "TGA": the decoder ImageLoadFromMemory would hand the data
// to; null when it would hand them to none.
const char* ImageFormatOf(const uint8_t* data, int32_t size);

}  // namespace limg
