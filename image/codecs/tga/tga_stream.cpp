#include "image/codecs/tga/tga_stream.h"

#include <cstring>
#include <memory>
#include <new>

#include "image/file_open.h"
#include "image/message.h"

namespace limg {

namespace {

constexpr const char* kErrorTexts[] = {
    "Success",     "Error",       "Out of memory", "Failed to open file",
    "Seek failed", "Read failed", "Write failed",  "Unknown sub-format",
};

// Records a failure in the stream and reports it on the standard error stream.
bool fail(TgaStream* stream, int code, int line) {
  stream->lastError = code;
  ImageMessage(kImageMessageError, "TgaStream:%s:%d: %s\n", "tga_stream.cpp", line, TgaErrorText(code));
  return false;
}
#define TGA_FAIL(stream, code) fail(stream, code, __LINE__)

uint16_t get16(const uint8_t* p) { return uint16_t(p[0] | p[1] << 8); }
void put16(uint8_t* p, uint16_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}

int bytesPerPixel(const TgaHeader& header) { return (header.depth + 7) / 8; }

void swapRedBlue(uint8_t* data, std::size_t pixels, int bytes) {
  if (bytes != 3 && bytes != 4) return;
  for (std::size_t i = 0; i < pixels; ++i, data += bytes) {
    const uint8_t t = data[0];
    data[0] = data[2];
    data[2] = t;
  }
}

bool readByte(TgaStream* stream, uint8_t* out) {
  int c;
  if (stream->callbacks.readByte) {
    c = stream->callbacks.readByte(stream->callbacks.user);
  } else if (stream->file) {
    c = std::fgetc(stream->file);
  } else {
    c = -1;
  }
  if (c < 0) return TGA_FAIL(stream, kTgaReadFailed);
  *out = uint8_t(c);
  return TgaStreamTell(stream);
}

// Fills one row of count pixels from run-length packets, continuing the packet that the
// previous row left unfinished.
bool readRunLengthRow(TgaStream* stream, uint8_t* row, int count, int bytes) {
  int done = 0;
  while (done < count) {
    if (stream->runLeft == 0) {
      uint8_t head;
      if (!readByte(stream, &head)) return false;
      stream->runRepeat = head >= 128;
      stream->runLeft = (head & 0x7F) + 1;
      if (stream->runRepeat && !TgaStreamRead(stream, stream->runPixel, std::size_t(bytes))) return false;
    }
    const int take = stream->runLeft < count - done ? stream->runLeft : count - done;
    uint8_t* out = row + std::size_t(done) * bytes;
    if (stream->runRepeat) {
      for (int i = 0; i < take; ++i) std::memcpy(out + std::size_t(i) * bytes, stream->runPixel, bytes);
    } else if (!TgaStreamRead(stream, out, std::size_t(take) * bytes)) {
      return false;
    }
    stream->runLeft -= take;
    done += take;
  }
  return true;
}

bool readRow(TgaStream* stream, uint8_t* row, int width, int bytes) {
  if (TgaIsRunLength(stream->header)) return readRunLengthRow(stream, row, width, bytes);
  return TgaStreamRead(stream, row, std::size_t(width) * bytes);
}

// Positions the stream at the start of scanline first.
bool seekScanline(TgaStream* stream, int first, int width, int bytes) {
  const long start = long(TgaPixelDataOffset(stream->header));
  const std::size_t rowBytes = std::size_t(width) * bytes;
  if (!TgaIsRunLength(stream->header)) {
    const long target = start + long(first) * long(rowBytes);
    return stream->position == target || TgaStreamSeek(stream, target, SEEK_SET);
  }
  if (stream->position != start && !TgaStreamSeek(stream, start, SEEK_SET)) return false;
  stream->runLeft = 0;
  if (first == 0) return true;
  // Run-length rows can only be found by decoding the ones before them.
  std::unique_ptr<uint8_t[]> skip(new (std::nothrow) uint8_t[rowBytes]);
  if (!skip) return TGA_FAIL(stream, kTgaOutOfMemory);
  for (int i = 0; i < first; ++i)
    if (!readRunLengthRow(stream, skip.get(), width, bytes)) return false;
  return true;
}

bool writeRows(TgaStream* stream, const uint8_t* data, int width, int height, int bytes, bool rle) {
  const std::size_t rowBytes = std::size_t(width) * bytes;
  if (!rle) return TgaStreamWrite(stream, data, rowBytes * height);
  std::unique_ptr<uint8_t[]> packed(new (std::nothrow) uint8_t[std::size_t(width) * (bytes + 1)]);
  if (!packed) return TGA_FAIL(stream, kTgaOutOfMemory);
  for (int y = 0; y < height; ++y) {
    const std::size_t n = TgaEncodeRunLengthRow(data + rowBytes * y, width, bytes, packed.get());
    if (!TgaStreamWrite(stream, packed.get(), n)) return false;
  }
  return true;
}

}  // namespace

const char* TgaErrorText(int code) {
  if (code < 0 || code > kTgaUnknownSubFormat) code = kTgaError;
  return kErrorTexts[code];
}

void TgaHeaderDecode(const uint8_t b[kTgaHeaderSize], TgaHeader* h) {
  h->idLength = b[0];
  h->colourMapType = b[1];
  h->imageType = b[2];
  h->colourMapFirst = get16(b + 3);
  h->colourMapLength = get16(b + 5);
  h->colourMapEntryBits = b[7];
  h->xOrigin = get16(b + 8);
  h->yOrigin = get16(b + 10);
  h->width = get16(b + 12);
  h->height = get16(b + 14);
  h->depth = b[16];
  h->descriptor = b[17];
}

void TgaHeaderEncode(const TgaHeader& h, uint8_t b[kTgaHeaderSize]) {
  b[0] = h.idLength;
  b[1] = h.colourMapType;
  b[2] = h.imageType;
  put16(b + 3, h.colourMapFirst);
  put16(b + 5, h.colourMapLength);
  b[7] = h.colourMapEntryBits;
  put16(b + 8, h.xOrigin);
  put16(b + 10, h.yOrigin);
  put16(b + 12, h.width);
  put16(b + 14, h.height);
  b[16] = h.depth;
  b[17] = h.descriptor;
}

uint32_t TgaColourMapBytes(const TgaHeader& h) {
  if (h.colourMapType == 0) return 0;
  return uint32_t(h.colourMapLength) * ((h.colourMapEntryBits + 7u) / 8u);
}

uint32_t TgaPixelDataOffset(const TgaHeader& h) {
  return uint32_t(kTgaHeaderSize) + h.idLength + TgaColourMapBytes(h);
}

bool TgaStreamOpenFile(TgaStream* stream, const char* path, const char* mode) {
  *stream = TgaStream();
  stream->file = ImageOpenFile(path, mode);
  if (!stream->file) return TGA_FAIL(stream, kTgaOpenFailed);
  return true;
}

void TgaStreamOpenCallbacks(TgaStream* stream, const TgaCallbacks& callbacks) {
  *stream = TgaStream();
  stream->callbacks = callbacks;
}

bool TgaStreamClose(TgaStream* stream) {
  if (!stream->file) return true;
  const int closed = std::fclose(stream->file);
  stream->file = nullptr;
  if (closed != 0) return TGA_FAIL(stream, kTgaWriteFailed);
  return true;
}

bool TgaStreamTell(TgaStream* stream) {
  long at = -1;
  if (stream->callbacks.tell) {
    at = stream->callbacks.tell(stream->callbacks.user);
  } else if (stream->file) {
    at = std::ftell(stream->file);
  }
  if (at < 0) return TGA_FAIL(stream, kTgaSeekFailed);
  stream->position = at;
  return true;
}

bool TgaStreamRead(TgaStream* stream, void* buffer, std::size_t size) {
  std::size_t got = 0;
  if (stream->callbacks.read) {
    got = stream->callbacks.read(stream->callbacks.user, buffer, size);
  } else if (stream->file) {
    got = std::fread(buffer, 1, size, stream->file);
  }
  if (got != size) return TGA_FAIL(stream, kTgaReadFailed);
  return TgaStreamTell(stream);
}

bool TgaStreamWrite(TgaStream* stream, const void* buffer, std::size_t size) {
  std::size_t put = 0;
  if (size == 0) return true;
  if (stream->callbacks.write) {
    put = stream->callbacks.write(stream->callbacks.user, buffer, size);
  } else if (stream->callbacks.writeByte) {
    const uint8_t* p = static_cast<const uint8_t*>(buffer);
    while (put < size && stream->callbacks.writeByte(stream->callbacks.user, p[put]) >= 0) ++put;
  } else if (stream->file) {
    put = std::fwrite(buffer, 1, size, stream->file);
  }
  if (put != size) return TGA_FAIL(stream, kTgaWriteFailed);
  return TgaStreamTell(stream);
}

bool TgaStreamSeek(TgaStream* stream, long offset, int origin) {
  int result = -1;
  if (stream->callbacks.seek) {
    result = stream->callbacks.seek(stream->callbacks.user, offset, origin);
  } else if (stream->file) {
    result = std::fseek(stream->file, offset, origin);
  }
  if (result != 0) return TGA_FAIL(stream, kTgaSeekFailed);
  return TgaStreamTell(stream);
}

bool TgaStreamReadHeader(TgaStream* stream) {
  uint8_t bytes[kTgaHeaderSize];
  if (!TgaStreamRead(stream, bytes, sizeof bytes)) return false;
  TgaHeaderDecode(bytes, &stream->header);
  stream->runLeft = 0;
  return true;
}

bool TgaStreamWriteHeader(TgaStream* stream) {
  uint8_t bytes[kTgaHeaderSize];
  TgaHeaderEncode(stream->header, bytes);
  return TgaStreamSeek(stream, 0, SEEK_SET) && TgaStreamWrite(stream, bytes, sizeof bytes);
}

int TgaStreamReadScanlines(TgaStream* stream, uint8_t* buffer, int first, int count, bool reverse,
                           bool swap) {
  const TgaHeader& h = stream->header;
  const int width = h.width, bytes = bytesPerPixel(h);
  if (first < 0 || count <= 0 || first >= h.height) return 0;
  if (count > h.height - first) count = h.height - first;
  if (bytes == 0 || bytes > 4) return TGA_FAIL(stream, kTgaUnknownSubFormat), 0;
  if (!seekScanline(stream, first, width, bytes)) return 0;
  const std::size_t rowBytes = std::size_t(width) * bytes;
  int rows = 0;
  for (; rows < count; ++rows) {
    uint8_t* row = buffer + rowBytes * std::size_t(reverse ? count - 1 - rows : rows);
    if (!readRow(stream, row, width, bytes)) break;
    if (swap) swapRedBlue(row, std::size_t(width), bytes);
  }
  return rows;
}

std::size_t TgaEncodeRunLengthRow(const uint8_t* row, int count, int bytes, uint8_t* out) {
  uint8_t* const begin = out;
  auto pixel = [&](int i) { return row + std::size_t(i) * bytes; };
  auto raw = [&](int start, int pixels) {
    *out++ = uint8_t(pixels - 1);
    std::memcpy(out, pixel(start), std::size_t(pixels) * bytes);
    out += std::size_t(pixels) * bytes;
  };
  auto repeat = [&](int start, int pixels) {
    *out++ = uint8_t(127 + pixels);
    std::memcpy(out, pixel(start), bytes);
    out += bytes;
  };
  if (count <= 0) return 0;
  // The pending raw packet holds n + 1 pixels from start, the pending repeat r + 1.
  int start = 0, n = 0, r = 0;
  for (int i = 1; i < count; ++i) {
    if (std::memcmp(pixel(i), pixel(i - 1), bytes) == 0) {
      if (n > 0) {
        raw(start, n);
        start = i - 1;
        n = 0;
        r = 1;
      } else if (r < 127) {
        ++r;
      } else {
        repeat(start, 128);
        start = i;
        r = 0;
      }
    } else if (r > 0) {
      repeat(start, r + 1);
      start = i;
      r = 0;
    } else if (n < 127) {
      ++n;
    } else {
      raw(start, 128);
      start = i;
      n = 0;
    }
  }
  if (r > 0) {
    repeat(start, r + 1);
  } else {
    raw(start, n + 1);
  }
  return std::size_t(out - begin);
}

bool TgaStreamWriteImage(TgaStream* stream, uint8_t* data, unsigned flags) {
  TgaHeader& h = stream->header;
  const int bytes = bytesPerPixel(h);
  if (bytes == 0 || bytes > 4) return TGA_FAIL(stream, kTgaUnknownSubFormat);
  // Neither an image ID nor a colour map is written, so the header announces none.
  h.idLength = 0;
  h.colourMapType = 0;
  h.colourMapFirst = h.colourMapLength = 0;
  h.colourMapEntryBits = 0;
  const bool rle = (flags & kTgaWriteRunLength) != 0;
  if (rle && h.imageType < 8) h.imageType = uint8_t(h.imageType + 8);
  if (!TgaStreamSeek(stream, kTgaHeaderSize, SEEK_SET)) return false;
  if (flags & kTgaWriteImageData) {
    if (flags & kTgaWriteSwapRedBlue) swapRedBlue(data, std::size_t(h.width) * h.height, bytes);
    if (!writeRows(stream, data, h.width, h.height, bytes, rle)) return false;
  }
  return TgaStreamWriteHeader(stream);
}

}  // namespace limg
