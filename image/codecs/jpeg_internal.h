#pragma once
// Pieces shared by the JPEG reader, the writer and the alpha-plane routines.
#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <cstdio>

#include <jpeglib.h>

#include "image/image.h"

namespace limg {

// Marker walk: from offset 2, the index of the first 0xFF followed by a marker byte in
// [lo, hi], or -1. Bytes other than 0xFF and fill bytes are passed one by one, other
// marker segments stepped over by their length; every read stays inside the data.
int32_t jpegFindMarker(const uint8_t* data, int32_t size, uint8_t lo, uint8_t hi);

// The Huffman-coded frame (SOF0-SOF3) at or after offset 2: its width and height, and whether
// the bytes from the frame header on can hold its scans. Every block of every component costs
// at least one bit (its DC code), so fewer bytes can't be the picture; false then, or when
// there is no such frame, before anything is allocated for it.
bool jpegFrameFitsData(const uint8_t* data, int32_t size, int32_t* width, int32_t* height);

// Error manager with a recovery point: every libjpeg error prints the library's message
// and jumps back to the setjmp of the call that owns the object.
// quiet skips the message (a trial encode whose failure is expected and handled).
struct JpegErrorManager {
  jpeg_error_mgr pub;
  std::jmp_buf recovery;
  bool quiet;
};
jpeg_error_mgr* jpegInstallErrorManager(JpegErrorManager* manager);

// Bounded memory destination: writes into buffer[0, capacity); when it fills up it
// either moves to a larger aligned block (grow) or raises a libjpeg error.
struct JpegMemoryDestination {
  jpeg_destination_mgr pub;
  uint8_t* buffer;     // current block
  size_t capacity;     // its size
  uint8_t* owned;      // block allocated here (null while writing into the caller's)
  bool grow;
  size_t length;       // bytes written, set when compression finishes
};
void jpegSetDestination(j_compress_ptr cinfo, JpegMemoryDestination* dest, uint8_t* buffer,
                        size_t capacity, bool grow);

// Which alpha coding the writer stores: the smallest, or one forced (tests).
enum class JpegAlphaCoding { Smallest, Jpeg, Zlib, Png };

// JpegEncode with the alpha coding chosen by coding.
int jpegEncodeWith(Image* image, int32_t bitDepth, int32_t quality, int32_t flags,
                   uint8_t** buffer, uint32_t* size, JpegAlphaCoding coding);

// Plane types of the "ALP" segment.
enum : uint8_t {
  kAlphaRaw = 0x00,
  kAlphaJpeg = 0x01,
  kAlphaZlib = 0x02,
  kAlphaPng = 0x03,
  kAlphaAppended = 0x10,
};

inline uint32_t readLe32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline void writeLe32(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
  p[2] = uint8_t(v >> 16);
  p[3] = uint8_t(v >> 24);
}

}  // namespace limg
