#pragma once
// BMP reading: uncompressed files with 1, 4, 8, 16 (5-5-5), 24 or 32 bits per pixel,
// the 12-byte core header and the longer info headers, bottom-up or top-down rows.
#include <cstdint>

#include "image/image.h"

namespace limg {

// Decodes a whole file held in memory; a new record owned by the caller, or null.
Image* BmpLoadFromMemory(const uint8_t* data, int32_t size);

// Reads width, height and bit count from the headers. Width and height are left 0 when
// the file can't be decoded (compressed, unknown bit count, or its palette or rows
// don't fit in the data), so nothing is allocated for it.
void BmpProbe(const uint8_t* data, int32_t size, int32_t* width, int32_t* height,
              int32_t* bitCount);

// Fills image (created with the probed size) from the file: 0, or 30 (not a BMP or its
// layout doesn't fit the data) or 31 (an encoding this decoder doesn't read).
int BmpDecode(Image* image, const uint8_t* data, int32_t size);

}  // namespace limg
