#include "image/codecs/tga.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "image/codecs/tga/tga_stream.h"
#include "image/message.h"
#include "image/save_file_internal.h"

namespace limg {

namespace {

enum class PixelKind { None, Mapped, TrueColour, Grey };

PixelKind kindOf(const TgaHeader& h) {
  switch (h.imageType) {
    case 1: case 9: return PixelKind::Mapped;
    case 2: case 10: return PixelKind::TrueColour;
    case 3: case 11: return PixelKind::Grey;
    default: return PixelKind::None;  // type 0: no image data
  }
}

bool isEntryBits(int bits) { return bits == 15 || bits == 16 || bits == 24 || bits == 32; }
int alphaBits(const TgaHeader& h) { return h.descriptor & 0x0F; }
int bytesPerPixel(const TgaHeader& h) { return (h.depth + 7) / 8; }

// 0 when the header describes pixels the decoder takes, else the decode code refusing it.
int checkHeader(const TgaHeader& h) {
  switch (kindOf(h)) {
    case PixelKind::Mapped:
      if (h.colourMapType != 1 || h.depth != 8 || h.colourMapLength == 0 ||
          !isEntryBits(h.colourMapEntryBits))
        return kTgaDecodeBadColourMap;
      return 0;
    case PixelKind::TrueColour:
    case PixelKind::Grey:
      return isEntryBits(h.depth) || h.depth == 8 ? 0 : kTgaDecodeBadDepth;
    case PixelKind::None:
      break;
  }
  return kTgaDecodeBadDepth;
}

// Whether the decoded pixels carry alpha: 32-bit values, 16-bit grey (grey + alpha) and
// 16-bit 5-5-5 values whose attribute bit the descriptor declares as alpha.
bool hasAlpha(const TgaHeader& h) {
  const int bits = kindOf(h) == PixelKind::Mapped ? h.colourMapEntryBits : h.depth;
  if (bits == 32) return true;
  if (bits != 16) return false;
  return kindOf(h) == PixelKind::Grey || alphaBits(h) > 0;
}

uint32_t expand5(uint32_t v) { return (v << 3) | (v >> 2); }

// One stored value of bits bits as a B, G, R, A word.
uint32_t toWord(const uint8_t* p, int bits, PixelKind kind, bool attributeAlpha) {
  switch (bits) {
    case 8: return 0xFF000000u | uint32_t(p[0]) * 0x010101u;
    case 15:
    case 16: {
      if (kind == PixelKind::Grey && bits == 16) return uint32_t(p[1]) << 24 | uint32_t(p[0]) * 0x010101u;
      const uint32_t v = uint32_t(p[0]) | uint32_t(p[1]) << 8;
      const uint32_t a = (!attributeAlpha || (v & 0x8000)) ? 255u : 0u;
      return a << 24 | expand5((v >> 10) & 31) << 16 | expand5((v >> 5) & 31) << 8 | expand5(v & 31);
    }
    case 24: return 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
    default: return uint32_t(p[3]) << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
  }
}

// Reading from the file held in memory.
struct MemoryCursor {
  const uint8_t* data;
  std::size_t size;
  std::size_t at;
};

std::size_t memRead(void* user, void* buffer, std::size_t n) {
  auto* c = static_cast<MemoryCursor*>(user);
  const std::size_t left = c->size - c->at;
  if (n > left) n = left;
  std::memcpy(buffer, c->data + c->at, n);
  c->at += n;
  return n;
}
int memReadByte(void* user) {
  auto* c = static_cast<MemoryCursor*>(user);
  return c->at < c->size ? c->data[c->at++] : -1;
}
int memSeek(void* user, long offset, int origin) {
  auto* c = static_cast<MemoryCursor*>(user);
  const long base = origin == SEEK_CUR ? long(c->at) : origin == SEEK_END ? long(c->size) : 0;
  const long target = base + offset;
  if (target < 0 || std::size_t(target) > c->size) return -1;
  c->at = std::size_t(target);
  return 0;
}
long memTell(void* user) { return long(static_cast<MemoryCursor*>(user)->at); }

// The colour map as words for every 8-bit index. Indices outside the map give black,
// transparent when the map's entries carry alpha.
bool readColourMap(TgaStream* stream, uint32_t table[256]) {
  const TgaHeader& h = stream->header;
  const int entryBytes = (h.colourMapEntryBits + 7) / 8;
  const std::size_t bytes = TgaColourMapBytes(h);
  std::unique_ptr<uint8_t[]> map(new (std::nothrow) uint8_t[bytes]);
  if (!map) return false;
  if (!TgaStreamSeek(stream, kTgaHeaderSize + h.idLength, SEEK_SET)) return false;
  if (!TgaStreamRead(stream, map.get(), bytes)) return false;
  const bool attributeAlpha = h.colourMapEntryBits == 16 && alphaBits(h) > 0;
  const uint32_t outside = hasAlpha(h) ? 0 : 0xFF000000u;
  for (int i = 0; i < 256; ++i) {
    const int entry = i - h.colourMapFirst;
    table[i] = entry >= 0 && entry < h.colourMapLength
                   ? toWord(map.get() + entry * entryBytes, h.colourMapEntryBits, PixelKind::TrueColour,
                            attributeAlpha)
                   : outside;
  }
  return true;
}

// Converts one stored row (already in top-down order) into output pixels, mirrored when the
// file stores rows right to left.
void convertRow(const TgaHeader& h, const uint8_t* row, uint32_t* out, const uint32_t* map) {
  const int width = h.width, bytes = bytesPerPixel(h);
  const bool mirror = (h.descriptor & kTgaRightToLeft) != 0;
  const PixelKind kind = kindOf(h);
  const bool attributeAlpha = h.depth == 16 && alphaBits(h) > 0;
  for (int x = 0; x < width; ++x) {
    const uint8_t* p = row + std::size_t(x) * bytes;
    out[mirror ? width - 1 - x : x] = map ? map[p[0]] : toWord(p, h.depth, kind, attributeAlpha);
  }
}

struct WorkBuffer {
  uint8_t* data = nullptr;
  bool owned = false;
  ~WorkBuffer() {
    if (owned) delete[] data;
  }
};

}  // namespace

void TgaProbe(const uint8_t* data, int32_t size, int32_t* width, int32_t* height, int32_t* bitDepth) {
  *width = *height = 0;
  *bitDepth = 24;
  if (!data || size <= 16 || size < kTgaHeaderSize) return;
  TgaHeader h;
  TgaHeaderDecode(data, &h);
  if (h.colourMapType > 1) return;
  switch (h.imageType) {
    case 0: case 1: case 2: case 3: case 9: case 10: case 11: break;
    default: return;
  }
  if (h.depth != 8 && !isEntryBits(h.depth)) return;
  if (h.width == 0 || h.height == 0) return;
  // The smallest coding of the pixels must fit in the data: raw rows, or one packet of
  // at most 128 pixels per 1 + bytes-per-pixel bytes.
  const uint64_t pixels = uint64_t(h.width) * h.height;
  const uint64_t bytes = uint64_t(bytesPerPixel(h));
  const uint64_t least = TgaIsRunLength(h) ? (pixels + 127) / 128 * (bytes + 1) : pixels * bytes;
  if (TgaPixelDataOffset(h) + least > uint64_t(size)) return;
  *width = h.width;
  *height = h.height;
  *bitDepth = hasAlpha(h) ? 32 : 24;
}

int TgaDecode(Image* image, const uint8_t* data, int32_t size, uint8_t* workBuffer, std::size_t workLength) {
  MemoryCursor cursor{data, data && size > 0 ? std::size_t(size) : 0, 0};
  TgaCallbacks callbacks;
  callbacks.user = &cursor;
  callbacks.read = memRead;
  callbacks.readByte = memReadByte;
  callbacks.seek = memSeek;
  callbacks.tell = memTell;
  TgaStream stream;
  TgaStreamOpenCallbacks(&stream, callbacks);
  if (!TgaStreamTell(&stream)) return kTgaDecodeTellFailed;
  if (!TgaStreamSeek(&stream, 0, SEEK_SET) || stream.position != 0) return kTgaDecodeSeekFailed;
  if (!TgaStreamReadHeader(&stream)) return kTgaDecodeHeaderUnreadable;
  const TgaHeader& h = stream.header;
  if (const int refused = checkHeader(h)) return refused;
  if (h.width != image->width || h.height != image->height) return kTgaDecodeBadDepth;

  const std::size_t rowBytes = std::size_t(h.width) * bytesPerPixel(h);
  const std::size_t need = rowBytes * h.height;
  WorkBuffer work;
  if (workBuffer) {
    if (workLength < need) return kTgaDecodeBufferTooSmall;
    work.data = workBuffer;
  } else {
    work.data = new (std::nothrow) uint8_t[need];
    if (!work.data) return kTgaDecodeOutOfMemory;
    work.owned = true;
  }
  uint32_t map[256];
  const bool mapped = kindOf(h) == PixelKind::Mapped;
  if (mapped && !readColourMap(&stream, map)) return kTgaDecodeReadFailed;

  // Rows are stored bottom-up unless the descriptor says top-to-bottom; the buffer is
  // filled top-down either way.
  const bool bottomUp = (h.descriptor & kTgaTopToBottom) == 0;
  if (TgaStreamReadScanlines(&stream, work.data, 0, h.height, bottomUp, false) < h.height)
    return kTgaDecodeReadFailed;
  for (int y = 0; y < h.height; ++y)
    convertRow(h, work.data + rowBytes * y, image->pixels + std::size_t(y) * h.width, mapped ? map : nullptr);
  image->bitDepth = hasAlpha(h) ? 32 : 24;
  return kTgaDecodeOk;
}

Image* TgaLoadFromMemory(const uint8_t* data, int32_t size) {
  int32_t width, height, bitDepth;
  TgaProbe(data, size, &width, &height, &bitDepth);
  if (width == 0 || height == 0) return nullptr;
  Image* image = ImageCreate(width, height, bitDepth);
  if (!image) return nullptr;
  if (TgaDecode(image, data, size) != kTgaDecodeOk) ImageDestroy(&image);
  return image;
}

namespace {

// The TGA stream's output in memory. As in a file, a seek may go past the end; bytes skipped
// that way read as zero once something is written after them.
struct MemoryFile {
  std::vector<uint8_t> bytes;
  std::size_t position = 0;

  static MemoryFile* of(void* user) { return static_cast<MemoryFile*>(user); }
  static std::size_t write(void* user, const void* data, std::size_t size) {
    MemoryFile* f = of(user);
    try {
      if (f->bytes.size() < f->position + size) f->bytes.resize(f->position + size);
    } catch (const std::exception&) {  // out of memory, or a position past any vector
      return 0;
    }
    if (size) std::memcpy(f->bytes.data() + f->position, data, size);
    f->position += size;
    return size;
  }
  static int seek(void* user, long offset, int origin) {
    MemoryFile* f = of(user);
    const long base = origin == SEEK_SET ? 0 : origin == SEEK_CUR ? long(f->position) : long(f->bytes.size());
    if (origin != SEEK_SET && origin != SEEK_CUR && origin != SEEK_END) return -1;
    if (offset < -base) return -1;
    f->position = std::size_t(base + offset);
    return 0;
  }
  static long tell(void* user) { return long(of(user)->position); }
  TgaCallbacks callbacks() {
    TgaCallbacks c;
    c.user = this;
    c.write = write;
    c.seek = seek;
    c.tell = tell;
    return c;
  }
};

int tgaEncode(const char* destination, const Image* image, int32_t bitDepth, int32_t rle, ImageBytes* out) {
  if (!image || !image->pixels) {
    ImageMessage(kImageMessageOut, "TGA: \"%s\" 画像データが空です\n", destination);
    return 0;
  }
  if (bitDepth == 0) bitDepth = image->bitDepth;
  if (bitDepth <= 8) {
    ImageMessage(kImageMessageOut, "TGA: \"%s\" 8bit以下には対応していません\n", destination);
    return 0;
  }
  if (bitDepth != 24 && bitDepth != 32) {
    ImageMessage(kImageMessageOut, "TGA: \"%s\" %dbitには対応していません\n", destination, int(bitDepth));
    return 0;
  }
  // The header holds 16-bit sizes.
  if (image->width > 0xFFFF || image->height > 0xFFFF) {
    ImageMessage(kImageMessageOut, "TGA: \"%s\" 画像を保存出来ませんでした\n", destination);
    return 0;
  }
  const int bytes = bitDepth / 8;
  const std::size_t width = std::size_t(image->width), rowBytes = width * bytes;
  std::unique_ptr<uint8_t[]> pixels(new (std::nothrow) uint8_t[rowBytes * image->height]);
  if (!pixels) {
    ImageMessage(kImageMessageOut, "TGA: \"%s\" メモリを確保出来ませんでした\n", destination);
    return 0;
  }
  // Bottom-up rows of R, G, B (, A); the image writer swaps red and blue back.
  for (int32_t y = 0; y < image->height; ++y) {
    const uint8_t* src = reinterpret_cast<const uint8_t*>(image->pixels + (image->height - 1 - y) * width);
    uint8_t* dst = pixels.get() + rowBytes * y;
    for (std::size_t x = 0; x < width; ++x, src += 4, dst += bytes) {
      dst[0] = src[2];
      dst[1] = src[1];
      dst[2] = src[0];
      if (bytes == 4) dst[3] = src[3];
    }
  }
  TgaStream stream;
  MemoryFile file;
  TgaStreamOpenCallbacks(&stream, file.callbacks());
  stream.header.imageType = 2;
  stream.header.width = uint16_t(image->width);
  stream.header.height = uint16_t(image->height);
  stream.header.depth = uint8_t(bitDepth);
  stream.header.descriptor = bitDepth == 32 ? 8 : 0;
  unsigned flags = kTgaWriteImageData | kTgaWriteSwapRedBlue;
  if (rle) flags |= kTgaWriteRunLength;
  TgaStreamWriteImage(&stream, pixels.get(), flags);
  TgaStreamClose(&stream);
  if (stream.lastError != kTgaSuccess) {
    ImageMessage(kImageMessageOut, "%s\n", TgaErrorText(stream.lastError));
    return 0;
  }
  AlignedPtr<uint8_t> block = makeAligned<uint8_t>(file.bytes.size());
  if (!block) {
    ImageMessage(kImageMessageOut, "TGA: \"%s\" メモリを確保出来ませんでした\n", destination);
    return 0;
  }
  std::memcpy(block.get(), file.bytes.data(), file.bytes.size());
  ImageBytesTake(std::move(block), file.bytes.size(), out);
  return 1;
}


}  // namespace

int TgaSaveToMemory(const Image* image, int32_t bitDepth, int32_t rle, ImageBytes* out) {
  return tgaEncode(kMemoryDestination, image, bitDepth, rle, out);
}

int TgaSave(const char* path, const Image* image, int32_t bitDepth, int32_t rle) {
  ImageBytes bytes{};
  if (!tgaEncode(path, image, bitDepth, rle, &bytes)) return 0;
  const int written = ImageWriteFile("TGA", path, bytes);
  ImageBytesFree(&bytes);
  return written;
}

}  // namespace limg
