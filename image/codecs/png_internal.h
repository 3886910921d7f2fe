#pragma once
// libpng plumbing shared by the PNG reader and writer: memory callbacks.
#include <cstddef>
#include <cstdint>

#include <png.h>

namespace limg {

// Reads never go past size: a request beyond the end is a libpng error.
struct PngReadCursor {
  const uint8_t* data;
  size_t size;
  size_t position;
};
void pngReadFromCursor(png_structp png, png_bytep out, png_size_t length);

// Writes into buffer[0, capacity). When it is full the bytes move to a larger aligned
// block if grow is set (owned then holds it), otherwise the write is a libpng error.
struct PngWriteCursor {
  uint8_t* buffer;
  size_t capacity;
  size_t length;
  bool grow;
  uint8_t* owned;
};
void pngWriteToCursor(png_structp png, png_bytep bytes, png_size_t length);

}  // namespace limg
