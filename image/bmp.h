#pragma once
// BMP reading: 1, 2, 4, 8, 16 (5-5-5), 24 or 32 bits per pixel uncompressed, 16 or 32
// bits with bit-field masks (BI_BITFIELDS and BI_ALPHABITFIELDS, the masks after a 40-byte
// header or inside a longer one), and 8 or 4 bits run-length coded (BI_RLE8, BI_RLE4);
// the 12-byte core header and the longer info headers, bottom-up or top-down rows.
#include <cstdint>

#include "image/image.h"

namespace limg {

// Decodes a whole file held in memory; a new record owned by the caller, or null.
Image* BmpLoadFromMemory(const uint8_t* data, int32_t size);

// Reads width, height and bit count from the headers. Width and height are left 0 when
// the file can't be decoded (an encoding or bit count it doesn't read, or its palette,
// masks or rows don't fit in the data), so nothing is allocated for it.
void BmpProbe(const uint8_t* data, int32_t size, int32_t* width, int32_t* height,
              int32_t* bitCount);

// Fills image (created with the probed size) from the file: 0, or 30 (not a BMP, its
// layout doesn't fit the data, or its runs leave the picture) or 31 (an encoding this
// decoder doesn't read). Bit-field and run-length files also set bitDepth: 32 when the
// picture has an alpha mask or pixels the runs skip (transparent black), else 24.
int BmpDecode(Image* image, const uint8_t* data, int32_t size);

}  // namespace limg
