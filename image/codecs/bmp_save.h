#pragma once
// BMP writing: uncompressed, bottom-up rows padded to 4 bytes, 8-bit grey (with a grey
// palette), 24-bit or 32-bit.
#include <cstdint>

#include "image/image.h"

namespace limg {

// Writes image to path; bitDepth 0 means image->bitDepth; 8, 24 and 32 are written.
// 1 on success, 0 on failure (with a message on stdout).
int BmpSave(const char* path, const Image* image, int32_t bitDepth);

// The same file made in memory: 1 with the bytes in *out (free with ImageBytesFree), or 0
// with the same messages and *out untouched.
int BmpSaveToMemory(const Image* image, int32_t bitDepth, ImageBytes* out);

// Bytes per stored row: the smallest multiple of 4 not below width x bitDepth / 8.
uint32_t BmpStride(int32_t width, int32_t bitDepth);

}  // namespace limg
