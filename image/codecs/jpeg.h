#pragma once
// JPEG reading and writing through libjpeg, with the "pos" layer segment (APP1) and the
// "ALP" alpha segment (APP2) whose plane is a grey JPEG, a zlib stream or a grey PNG.
// Every block these functions hand out is 16-byte aligned; free it with alignedFree.
#include <cstdint>

#include "image/image.h"

namespace limg {

// Decodes a whole file held in memory; a new record owned by the caller, or null.
Image* JpegLoadFromMemory(const uint8_t* data, int32_t size);

// Width and height from the first frame header (SOF0-SOF3); left 0 without one.
void JpegProbe(const uint8_t* data, int32_t size, int32_t* width, int32_t* height);

// Fills image (created from JpegProbe's values): 0, or 20 on any failure.
int JpegDecode(Image* image, const uint8_t* data, int32_t size);

// Encoder flags: bits 0-1 choose the Huffman coding, bits 2-3 the chroma sampling.
enum : int32_t {
  kJpegOptimizeHuffman = 1,
  kJpegProgressive = 2,
  kJpegSampling420 = 0,
  kJpegSampling422 = 4,
  kJpegSampling444 = 8,
  kJpegSamplingDefault = 12,
};

// Encodes image as JPEG (bitDepth 0 means image->bitDepth; 8 or less is grey, a bitDepth
// with the 0x20 bit gets the alpha plane appended). With *buffer null the encoder
// allocates the output; otherwise *buffer/*size describe a caller block, which is left
// to the caller if a larger one has to replace it. On success *buffer holds the file
// and *size its length; 1 or 0. A name ending in ".xxx" becomes ".jpg" in image itself.
int JpegEncode(Image* image, int32_t bitDepth, int32_t quality, int32_t flags, uint8_t** buffer,
               uint32_t* size);

// JpegEncode to the file path ("wb"); 1, or 0 when the image is null, the encoder fails or
// the file can't be written whole (a partly written file is removed).
int JpegSave(const char* path, Image* image, int32_t bitDepth, int32_t quality, int32_t flags);

// JpegSave's file made in memory: 1 with the bytes in *out (free with ImageBytesFree), or 0
// with the same messages and *out untouched.
int JpegSaveToMemory(Image* image, int32_t bitDepth, int32_t quality, int32_t flags, ImageBytes* out);

// The alpha plane named by the file's first APP2 segment ("ALP"), width x height bytes,
// or null when there is none or it can't be read at that size.
uint8_t* JpegFindAlphaPlane(const uint8_t* data, int32_t size, int32_t width, int32_t height);

// Decodes a JPEG into a grey plane of width x height bytes, or null. The plane's size
// is stored through width and height when given; when expectWidth/expectHeight are
// positive a plane of any other size is refused.
uint8_t* JpegDecodeGreyPlane(const uint8_t* data, int32_t size, int32_t* width = nullptr,
                             int32_t* height = nullptr, int32_t expectWidth = 0,
                             int32_t expectHeight = 0);

// zlib's uncompress of data into a block of n + n/8 + 12 bytes; null unless it
// succeeds with exactly n bytes.
uint8_t* ZlibDecodePlane(const uint8_t* data, int32_t size, int32_t n);

// Grey JPEG of image's alpha bytes into the caller block buffer; *size is its room on
// entry and the coded length on success. Huffman optimisation only for flags 1,
// progression only for flags 2. 1 or 0 (also when it doesn't fit).
int JpegEncodeAlphaPlane(const Image* image, int32_t quality, int32_t flags, uint8_t* buffer,
                         uint32_t* size);

// zlib compress2 of image's alpha bytes at level into buffer; *size is its room on entry
// and the coded length on success. 1 on zlib success, else 0.
int ZlibEncodeAlphaPlane(const Image* image, int32_t level, uint8_t* buffer, uint32_t* size);

}  // namespace limg
