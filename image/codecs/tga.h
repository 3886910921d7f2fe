#pragma once
// TGA reading (true colour, grey and colour-mapped, raw or run-length, every origin) and
// writing (24/32-bit true colour, bottom-up, optionally run-length coded).
#include <cstddef>
#include <cstdint>

#include "image/image.h"

namespace limg {

// Decodes a whole file held in memory; a new record owned by the caller, or null.
Image* TgaLoadFromMemory(const uint8_t* data, int32_t size);

// Width, height and bit depth (24, or 32 when the pixels carry alpha) from the header.
// Width and height are left 0 for a header the decoder can't take or whose pixels can't
// fit in size bytes.
void TgaProbe(const uint8_t* data, int32_t size, int32_t* width, int32_t* height,
              int32_t* bitDepth);

// Decode step result codes.
enum TgaDecodeCode : int {
  kTgaDecodeOk = 0,
  kTgaDecodeTellFailed = 50,
  kTgaDecodeSeekFailed = 51,
  kTgaDecodeHeaderUnreadable = 52,
  kTgaDecodeBadColourMap = 53,    // colour-mapped image without a usable map or 8-bit indices
  kTgaDecodeBadDepth = 54,        // pixel depth or image type the decoder can't take
  kTgaDecodeBufferTooSmall = 55,  // the caller's work buffer is shorter than the pixel data
  kTgaDecodeOutOfMemory = 56,
  kTgaDecodeReadFailed = 57,      // fewer scanlines than the height: truncated or damaged data
};

// Fills image (created from TgaProbe's values) from the file. workBuffer, when given, holds
// the raw pixel data (workLength bytes); without one a buffer is allocated for the call.
int TgaDecode(Image* image, const uint8_t* data, int32_t size, uint8_t* workBuffer = nullptr,
              std::size_t workLength = 0);

// Writes image to path; bitDepth 0 means image->bitDepth; 24 and 32 are written. rle nonzero
// asks for run-length coding. 1 on success, 0 on failure (with a message on stdout).
int TgaSave(const char* path, const Image* image, int32_t bitDepth, int32_t rle);

// The same file made in memory: 1 with the bytes in *out (free with ImageBytesFree), or 0
// with the same messages and *out untouched.
int TgaSaveToMemory(const Image* image, int32_t bitDepth, int32_t rle, ImageBytes* out);

}  // namespace limg
