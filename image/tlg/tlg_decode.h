#pragma once
// Reader side of the TLG codec: the callbacks through which the pixel decoders fill a record,
// the two pixel decoders, and the reader entry with an explicit routine set.
#include <cstdint>

#include "image/image.h"
#include "image/tlg/tlg_routines.h"
#include "image/tlg/tlg_stream.h"

namespace limg {

struct TlgCallbacks {
  // Sizes the record and allocates its pixels (plus a zeroed spare row); returns colours * 8,
  // or 0 for a size that can't be represented. Raises std::bad_alloc when memory runs out.
  int32_t (*size)(void* image, int32_t width, int32_t height, int32_t colours);
  // Address of row y; y = -1 is the end-of-row notice (result ignored).
  uint32_t* (*scanline)(void* image, int32_t y);
  // One tags entry; key and value are zero-terminated copies of the stated lengths.
  void (*tag)(void* image, const char* key, uint32_t keyLength, const char* value,
              uint32_t valueLength);
};

const TlgCallbacks& TlgImageCallbacks();  // the callbacks bound to an Image record

// Pixel decoders, with the stream just after their 11-byte magic. False when the stream is
// not valid (bad header, a bound broken, data ending early); the caller then drops the pixels.
bool Tlg5Decode(const TlgCallbacks& callbacks, void* image, TlgMemoryStream& stream,
                const TlgRoutines& routines);
bool Tlg6Decode(const TlgCallbacks& callbacks, void* image, TlgMemoryStream& stream,
                const TlgRoutines& routines);

// TlgLoadFromMemory with a given routine set (tests and fuzzing compare the sets).
Image* TlgLoadFromMemoryWith(const uint8_t* data, int32_t length, const TlgRoutines& routines);

}  // namespace limg
