#include "image/bmp.h"

#include <cstring>

namespace limg {

namespace {

constexpr int kNotBmp = 30;       // wrong magic, or headers, palette or rows don't fit
constexpr int kUnsupported = 31;  // compressed, or a bit count we don't read

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kCoreHeaderBytes = 12;

uint32_t readU16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t readU32(const uint8_t* p) { return readU16(p) | readU16(p + 2) << 16; }

// Everything the decoder takes from the headers, checked against the data size.
struct BmpLayout {
  int32_t width = 0;
  int32_t height = 0;
  int32_t bitCount = 0;
  bool topDown = false;
  uint32_t paletteOffset = 0;   // first palette entry
  uint32_t paletteEntryBytes = 4;
  uint32_t pixelOffset = 0;     // first stored row
  uint64_t stride = 0;          // bytes per stored row
};

bool knownBitCount(int32_t bits) {
  switch (bits) {
    case 1: case 4: case 8: case 16: case 24: case 32: return true;
    default: return false;
  }
}

// 0 and a filled layout, or the decode error code.
int readLayout(const uint8_t* data, int32_t size, BmpLayout* out) {
  if (!data || size < int32_t(kFileHeaderBytes + 4) || data[0] != 'B' || data[1] != 'M')
    return kNotBmp;
  const uint64_t dataSize = uint64_t(size);
  const uint32_t headerBytes = readU32(data + 14);
  if (headerBytes < kCoreHeaderBytes || kFileHeaderBytes + uint64_t(headerBytes) > dataSize)
    return kNotBmp;

  BmpLayout l;
  int64_t height = 0;
  uint32_t usedColours = 0;
  if (headerBytes == kCoreHeaderBytes) {
    l.width = int32_t(readU16(data + 18));
    height = readU16(data + 20);
    l.bitCount = int32_t(readU16(data + 24));
    l.paletteEntryBytes = 3;  // the core header's palette holds B, G, R triples
  } else {
    if (headerBytes < 16) return kNotBmp;  // width, height, planes and bit count
    // The 16-byte short form has no compression field: it stores no compression.
    const uint32_t compression = headerBytes >= 20 ? readU32(data + 30) : 0;
    if (compression != 0) return kUnsupported;
    l.width = int32_t(readU32(data + 18));
    height = int32_t(readU32(data + 22));
    l.bitCount = int32_t(readU16(data + 28));
    if (headerBytes >= 36) usedColours = readU32(data + 46);
  }
  if (!knownBitCount(l.bitCount)) return kUnsupported;
  if (height < 0) {
    l.topDown = true;
    height = -height;
  }
  if (l.width <= 0 || height <= 0 || height > INT32_MAX) return kNotBmp;
  l.height = int32_t(height);

  // The palette must hold at least the colours the info header declares (all 2^bits when
  // it declares none; the core header declares nothing); entries past the end of the data
  // are read as black.
  l.paletteOffset = kFileHeaderBytes + headerBytes;
  if (l.bitCount <= 8 && headerBytes != kCoreHeaderBytes) {
    const uint32_t entries = 1u << l.bitCount;
    const uint32_t declared = usedColours == 0 || usedColours > entries ? entries : usedColours;
    if (l.paletteOffset + uint64_t(declared) * l.paletteEntryBytes > dataSize) return kNotBmp;
  }

  // Every row must lie in the data; the last one needs no padding after its pixels.
  l.pixelOffset = readU32(data + 10);
  l.stride = (uint64_t(l.bitCount) * uint64_t(l.width) + 31) / 32 * 4;
  const uint64_t lastRowBytes = (uint64_t(l.bitCount) * uint64_t(l.width) + 7) / 8;
  const uint64_t end = uint64_t(l.pixelOffset) + l.stride * uint64_t(l.height - 1) + lastRowBytes;
  if (end > dataSize) return kNotBmp;
  *out = l;
  return 0;
}

using Palette = uint32_t[256];

void readPalette(const uint8_t* data, int32_t size, const BmpLayout& l, Palette palette) {
  for (uint32_t i = 0; i < 256; ++i) palette[i] = 0xFF000000u;
  if (l.bitCount > 8) return;
  const uint32_t entries = 1u << l.bitCount;
  for (uint32_t i = 0; i < entries; ++i) {
    const uint64_t at = l.paletteOffset + uint64_t(i) * l.paletteEntryBytes;
    if (at + 3 > uint64_t(size)) break;
    const uint8_t* p = data + at;
    palette[i] = 0xFF000000u | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
  }
}

// Row decoders: width pixels from one stored row.
using RowDecoder = void (*)(const uint8_t* src, uint32_t* dst, int32_t width, const Palette palette);

void row1(const uint8_t* src, uint32_t* dst, int32_t width, const Palette palette) {
  for (int32_t x = 0; x < width; ++x) dst[x] = palette[(src[x >> 3] >> (7 - (x & 7))) & 1];
}

void row4(const uint8_t* src, uint32_t* dst, int32_t width, const Palette palette) {
  for (int32_t x = 0; x < width; ++x) dst[x] = palette[(src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
}

void row8(const uint8_t* src, uint32_t* dst, int32_t width, const Palette palette) {
  for (int32_t x = 0; x < width; ++x) dst[x] = palette[src[x]];
}

// 5 bits per channel, x-R-G-B from the top bit; each scaled to 0-255 as v * 255 / 31, rounded.
constexpr uint32_t widen5(uint32_t v) { return (v * 255 + 15) / 31; }

void row16(const uint8_t* src, uint32_t* dst, int32_t width, const Palette) {
  for (int32_t x = 0; x < width; ++x) {
    const uint32_t v = readU16(src + 2 * x);
    dst[x] = 0xFF000000u | widen5((v >> 10) & 31) << 16 | widen5((v >> 5) & 31) << 8 | widen5(v & 31);
  }
}

void row24(const uint8_t* src, uint32_t* dst, int32_t width, const Palette) {
  for (int32_t x = 0; x < width; ++x, src += 3)
    dst[x] = 0xFF000000u | uint32_t(src[2]) << 16 | uint32_t(src[1]) << 8 | src[0];
}

void row32(const uint8_t* src, uint32_t* dst, int32_t width, const Palette) {
  for (int32_t x = 0; x < width; ++x, src += 4) dst[x] = readU32(src);
}

RowDecoder rowDecoderFor(int32_t bits) {
  switch (bits) {
    case 1: return row1;
    case 4: return row4;
    case 8: return row8;
    case 16: return row16;
    case 24: return row24;
    case 32: return row32;
    default: return nullptr;
  }
}

}  // namespace

void BmpProbe(const uint8_t* data, int32_t size, int32_t* width, int32_t* height, int32_t* bitCount) {
  BmpLayout l;
  const bool ok = readLayout(data, size, &l) == 0;
  *width = ok ? l.width : 0;
  *height = ok ? l.height : 0;
  *bitCount = ok ? l.bitCount : 0;
}

int BmpDecode(Image* image, const uint8_t* data, int32_t size) {
  BmpLayout l;
  if (const int code = readLayout(data, size, &l)) return code;
  if (!image || !image->pixels || image->width != l.width || image->height != l.height) return kNotBmp;
  const RowDecoder decodeRow = rowDecoderFor(l.bitCount);
  if (!decodeRow) return kUnsupported;
  Palette palette;
  readPalette(data, size, l, palette);
  for (int32_t y = 0; y < l.height; ++y) {
    const int32_t stored = l.topDown ? y : l.height - 1 - y;  // bottom-up unless top-down
    const uint8_t* src = data + l.pixelOffset + l.stride * uint64_t(stored);
    decodeRow(src, image->pixels + std::size_t(y) * std::size_t(l.width), l.width, palette);
  }
  return 0;
}

Image* BmpLoadFromMemory(const uint8_t* data, int32_t size) {
  int32_t width = 0, height = 0, bits = 0;
  BmpProbe(data, size, &width, &height, &bits);
  if (width == 0 || height == 0) return nullptr;
  Image* image = ImageCreate(width, height, bits < 25 ? 24 : 32);
  if (!image) return nullptr;
  if (BmpDecode(image, data, size) != 0) ImageDestroy(&image);
  return image;
}

}  // namespace limg
