#pragma once
// The picture record every decoder produces and every writer and operation consumes.
#include <cstddef>
#include <cstdint>

namespace limg {

struct Image {
  char name[256];     // layer name, NUL-terminated; empty when the source has none
  int32_t left;       // layer position and mode; 0 when absent
  int32_t top;
  int32_t mode;
  int32_t width;      // > 0
  int32_t height;     // > 0
  int32_t bitDepth;   // 24 without alpha, 32 with alpha
  int32_t pixelCount; // width * height
  // Row-major, top row first, one 32-bit word per pixel: bytes B, G, R, A in memory
  // order (A << 24 | R << 16 | G << 8 | B), alpha not premultiplied. 16-byte aligned;
  // a zeroed spare row of width words follows the last row.
  uint32_t* pixels;
};

// A new record of width x height with a zeroed header and spare row; the image area
// itself is left for the caller to fill. Null for a non-positive size, a size whose
// byte count can't be represented, or when memory runs out.
Image* ImageCreate(int32_t width, int32_t height, int32_t bitDepth);

// A zero-filled record without pixels, freed by ImageDestroy like any other. For
// decoders that size the pixel block themselves (the TLG reader).
Image* ImageNewRecord();

// Frees *image and its pixels and sets *image to null; a null pointer is left alone.
void ImageDestroy(Image** image);

// Byte size of the pixel block ImageCreate allocates: (w*h + w) words plus h bytes.
// 0 when it can't be represented in size_t or the pixel count overflows int32.
std::size_t ImagePixelBlockBytes(int32_t width, int32_t height);

// Decodes a whole image file held in memory, choosing the decoder by its first bytes.
// Returns a new record owned by the caller, or null.
Image* ImageLoadFromMemory(const uint8_t* data, int32_t size);

// A file made in memory by one of the writers (the ...SaveToMemory functions): a 16-byte-
// aligned block of size bytes owned by the caller, who releases it with ImageBytesFree.
struct ImageBytes {
  uint8_t* data;
  std::size_t size;
};

// Frees bytes->data and zeroes the record; a null pointer or an empty record is left alone.
void ImageBytesFree(ImageBytes* bytes);

}  // namespace limg
