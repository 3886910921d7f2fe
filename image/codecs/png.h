#pragma once
// PNG reading and writing through libpng, with the layer text chunks "Name", "Left",
// "Top" and "Mode", and the 8-bit grey plane pair used by the JPEG alpha segment.
#include <cstdint>

#include "image/image.h"

namespace limg {

// Decodes a whole file held in memory; a new record owned by the caller, or null.
Image* PngLoadFromMemory(const uint8_t* data, int32_t size);

// Width, height and initial bit depth from the IHDR chunk; width and height are left 0
// when the data don't start with one.
void PngProbe(const uint8_t* data, int32_t size, int32_t* width, int32_t* height,
              int32_t* bitDepth);

// Fills image (created from PngProbe's values) from the file: 0, or 10 (no read
// structure), 11 (no info structure), 12 (libpng reported an error).
int PngDecode(Image* image, const uint8_t* data, int32_t size);

// Encodes image as PNG. bitDepth 0 means image->bitDepth; 8 (grey), 24 and 32 are
// written. level is the zlib level, interlace nonzero asks for Adam7. On success
// *buffer is a new block (free it with alignedFree) of *size bytes and 1 is returned;
// 0 on failure with nothing left allocated. A name ending in ".xxx" becomes ".png"
// in image itself when the layer texts are written.
int PngEncode(Image* image, int32_t bitDepth, int32_t level, int32_t interlace,
              uint8_t** buffer, int32_t* size);

// PngEncode to the file path ("wb"); 1, or 0 when the image is null, the encoder fails or
// the file can't be written whole (a partly written file is removed).
int PngSave(const char* path, Image* image, int32_t bitDepth, int32_t level, int32_t interlace);

// PngSave's file made in memory: 1 with the bytes in *out (free with ImageBytesFree), or 0
// with the same messages and *out untouched.
int PngSaveToMemory(Image* image, int32_t bitDepth, int32_t level, int32_t interlace, ImageBytes* out);

// Decodes an 8-bit grey, non-interlaced PNG into a 16-byte-aligned block of width x
// height bytes (free with alignedFree), or null. The plane's size is stored through
// width and height when they are given; when expectWidth/expectHeight are positive a
// plane of any other size is refused.
uint8_t* PngDecodeGreyPlane(const uint8_t* data, int32_t size, int32_t* width = nullptr,
                            int32_t* height = nullptr, int32_t expectWidth = 0,
                            int32_t expectHeight = 0);

// Writes an 8-bit grey PNG of image's alpha bytes at cursor. *size is the room at the
// cursor on entry and the encoded length on success; 1 or 0 (also when it doesn't fit).
int PngEncodeAlphaPlane(const Image* image, int32_t level, int32_t interlace, uint8_t* cursor,
                        int32_t* size);

}  // namespace limg
