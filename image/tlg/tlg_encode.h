#pragma once
// The TLG writers: the TLG5 and TLG6 pixel-stream encoders and the save entry.
#include <cstddef>
#include <cstdint>

#include "image/image.h"
#include "image/tlg/tlg_stream.h"

namespace limg {

// Packed pixels to encode. Row i holds width x colours bytes; a pixel's bytes are the image
// pixel's bytes 0, 1, 2, 3 (B, G, R, A), as many as there are colours.
struct TlgEncodeSource {
  int32_t width;
  int32_t height;
  const uint8_t* const* rows;  // height pointers
  int32_t colourType;          // 3 = one colour, 6 = three, 7 = four
};

// The colour count for a colour type: 1 and 2 count as 3, and 0, 4 and 5 as 6, so 1 for type
// 3, 3 for types 0, 4, 5, 6 and 4 for type 7. 0 for a type above 7 (refused).
int TlgColourCount(int32_t colourType);

// Appends a TLG5 stream (block height 4, LZSS-coded colour records). Writes nothing for a
// refused colour type. A one-colour source is written as three equal colours, which every
// TLG5 reader takes.
void Tlg5Encode(const TlgEncodeSource& source, TlgMemoryWriter& writer);

// Appends a TLG6 stream. threads: 0 = as many as the machine has, 1 = the calling thread only;
// the bytes written are the same for every count. Prints and raises std::runtime_error with
// "SaveTLG6: Unsupported Color Type", "SaveTLG6: Too large bit length (given image may be too
// large)" or "SaveTLG6: Insufficient memory".
void SaveTLG6(const TlgEncodeSource& source, TlgMemoryWriter& writer, int threads = 0);

struct TlgTransformChoice {
  int transform;  // 0-15
  uint32_t bits;  // estimated size of the three channels
};
// The cheapest colour transform for one block's residuals under one predictor; ties keep the
// lower transform number.
TlgTransformChoice TlgChooseTransform(const uint8_t* c0, const uint8_t* c1, const uint8_t* c2,
                                      int count);
// Estimated coded size in bits of one channel's residual bytes, following the channel coder.
uint32_t TlgEstimateBits(const uint8_t* values, int count);
// Forward colour transform t (the inverse of the decoder's) on one residual triple.
void TlgForwardTransform(int transform, uint8_t& r0, uint8_t& r1, uint8_t& r2);

// The 4096 bytes the TLG6 filter-type ring starts with: for i 0..31, j 0..15: i, i, i, i, j, j, j, j.
void TlgFilterRingPattern(uint8_t* ring4096);

// Writes image to path as TLG6 (useTlg6 != 0) or TLG5, in a "TLG0.0" container with a tags chunk
// when the image has a name or a mode. bitDepth 0 takes the image's own; 8 (the grey level),
// 24 and 32 are taken. 1 when the file has been written whole; 0 for a null or empty image, a
// refused depth, or a file that can't be written (a partly written one is removed). The TLG6
// encoder's text exceptions pass through. The name follows the writers' extension rule
// (image/codecs/layer_name.h) in the record itself: face.bmp becomes face.tlg.
int TlgSave(const char* path, Image* image, int32_t bitDepth, int useTlg6);

// TlgSave's file made in memory: 1 with the bytes in *out (free with ImageBytesFree), or 0
// with the same messages and *out untouched; the same exceptions pass through.
int TlgSaveToMemory(Image* image, int32_t bitDepth, int useTlg6, ImageBytes* out);

// The tags chunk data for an image: left, top, mode and then the name. Exposed for tests.
uint32_t TlgFormatTags(const Image& image, uint8_t* out, uint32_t capacity);

}  // namespace limg
