#include "image/bmp.h"

#include <cstring>

namespace limg {

namespace {

constexpr int kNotBmp = 30;       // wrong magic, or headers, palette or rows don't fit
constexpr int kUnsupported = 31;  // an encoding or a bit count we don't read

constexpr uint32_t kFileHeaderBytes = 14;
constexpr uint32_t kCoreHeaderBytes = 12;

uint32_t readU16(const uint8_t* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8; }
uint32_t readU32(const uint8_t* p) { return readU16(p) | readU16(p + 2) << 16; }

// Compression codes of the info header.
constexpr uint32_t kRgb = 0;
constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;
constexpr uint32_t kBitFields = 3;
constexpr uint32_t kAlphaBitFields = 6;
constexpr uint32_t kOs2V2HeaderBytes = 64;  // its code 3 is Huffman coding, not bit fields

// Everything the decoder takes from the headers, checked against the data size.
struct BmpLayout {
  int32_t width = 0;
  int32_t height = 0;
  int32_t bitCount = 0;
  uint32_t compression = kRgb;
  bool topDown = false;
  uint32_t paletteOffset = 0;   // first palette entry
  uint32_t paletteEntryBytes = 4;
  uint32_t pixelOffset = 0;     // first stored row, or the start of the run-length stream
  uint64_t stride = 0;          // bytes per stored row
  uint32_t masks[4] = {};       // red, green, blue, alpha of a bit-field file (alpha may be 0)
};

bool knownBitCount(int32_t bits) {
  switch (bits) {
    case 1: case 2: case 4: case 8: case 16: case 24: case 32: return true;
    default: return false;
  }
}

// The masks of a bit-field file: inside the info header from its version 2 on (52 bytes:
// red, green, blue; 56 and longer: alpha too), or after a 40-byte header (three masks,
// four for BI_ALPHABITFIELDS).
int readMasks(const uint8_t* data, uint64_t dataSize, uint32_t headerBytes, BmpLayout* l) {
  if (l->bitCount != 16 && l->bitCount != 32) return kUnsupported;
  uint32_t count = 0;
  if (headerBytes == 40) {
    count = l->compression == kAlphaBitFields ? 4 : 3;
    if (kFileHeaderBytes + 40 + uint64_t(count) * 4 > dataSize) return kNotBmp;
  } else if (headerBytes >= 52 && headerBytes != kOs2V2HeaderBytes) {
    count = headerBytes >= 56 ? 4 : 3;
  } else {
    return kUnsupported;
  }
  for (uint32_t i = 0; i < count; ++i) l->masks[i] = readU32(data + 54 + 4 * i);
  return 0;
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
    l.compression = headerBytes >= 20 ? readU32(data + 30) : kRgb;
    l.width = int32_t(readU32(data + 18));
    height = int32_t(readU32(data + 22));
    l.bitCount = int32_t(readU16(data + 28));
    if (headerBytes >= 36) usedColours = readU32(data + 46);
  }
  if (!knownBitCount(l.bitCount)) return kUnsupported;
  switch (l.compression) {
    case kRgb:
      if (l.bitCount == 16) {  // the default 16-bit layout: x-R-G-B, 5 bits each
        l.masks[0] = 0x7C00;
        l.masks[1] = 0x03E0;
        l.masks[2] = 0x001F;
      }
      break;
    case kRle8:
    case kRle4:
      if (l.bitCount != (l.compression == kRle8 ? 8 : 4)) return kUnsupported;
      break;
    case kBitFields:
    case kAlphaBitFields:
      if (const int code = readMasks(data, dataSize, headerBytes, &l)) return code;
      break;
    default:
      return kUnsupported;  // embedded JPEG or PNG, Huffman, and unknown codes
  }
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

  l.pixelOffset = readU32(data + 10);
  if (l.compression == kRle8 || l.compression == kRle4) {
    // Run-length rows are stored bottom-up only. Every row ends with a 2-byte code (end of
    // line, or end of bitmap after the last), so a stream shorter than 2 bytes a row can't
    // be the picture its header claims. A 2-byte run gives at most 255 pixels: a stream is
    // taken to hold at most 255 pixels a byte, those it skips included (twice what runs
    // alone can give), so a few bytes can't claim a huge picture.
    if (l.topDown || l.pixelOffset > dataSize) return kNotBmp;
    const uint64_t streamBytes = dataSize - l.pixelOffset;
    if (streamBytes / 2 < uint64_t(l.height)) return kNotBmp;
    if (uint64_t(l.width) * uint64_t(l.height) > 255 * streamBytes) return kNotBmp;
    *out = l;
    return 0;
  }
  // Every row must lie in the data; the last one needs no padding after its pixels.
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

// One channel of a bit-field pixel: (pixel & mask) >> shift is a value 0..max, scaled to
// 0-255 as v * 255 / max rounded (5 bits: 31 gives 255, not 248). Channels of up to 12 bits
// go through a table; wider ones are worked out. A channel without a mask reads as 0, or
// as 255 for alpha (its table's one entry).
struct Channel {
  uint32_t mask = 0;
  uint32_t shift = 0;
  uint32_t max = 0;
  bool tabled = true;
  uint8_t table[4096];
};

constexpr uint32_t kTableMax = 4095;

void setUpChannel(Channel& c, uint32_t mask, uint8_t whenAbsent) {
  c.mask = mask;
  c.table[0] = whenAbsent;
  if (mask == 0) return;
  while (!((mask >> c.shift) & 1)) ++c.shift;
  c.max = mask >> c.shift;
  c.tabled = c.max <= kTableMax;
  if (c.tabled)
    for (uint32_t v = 0; v <= c.max; ++v) c.table[v] = uint8_t((v * 255 + c.max / 2) / c.max);
}

template <bool kTabled>
inline uint32_t channelValue(const Channel& c, uint32_t pixel) {
  const uint32_t v = (pixel & c.mask) >> c.shift;
  if (kTabled || c.tabled) return c.table[v];
  return uint32_t((uint64_t(v) * 255 + c.max / 2) / c.max);
}

struct RowTables {
  Palette palette;
  Channel red, green, blue, alpha;
  bool allTabled() const { return red.tabled && green.tabled && blue.tabled && alpha.tabled; }
};

// Row decoders: width pixels from one stored row.
using RowDecoder = void (*)(const uint8_t* src, uint32_t* dst, int32_t width, const RowTables& t);

void row1(const uint8_t* src, uint32_t* dst, int32_t width, const RowTables& t) {
  for (int32_t x = 0; x < width; ++x) dst[x] = t.palette[(src[x >> 3] >> (7 - (x & 7))) & 1];
}

void row2(const uint8_t* src, uint32_t* dst, int32_t width, const RowTables& t) {
  for (int32_t x = 0; x < width; ++x) dst[x] = t.palette[(src[x >> 2] >> (6 - 2 * (x & 3))) & 3];
}

void row4(const uint8_t* src, uint32_t* dst, int32_t width, const RowTables& t) {
  for (int32_t x = 0; x < width; ++x) dst[x] = t.palette[(src[x >> 1] >> ((x & 1) ? 0 : 4)) & 15];
}

void row8(const uint8_t* src, uint32_t* dst, int32_t width, const RowTables& t) {
  for (int32_t x = 0; x < width; ++x) dst[x] = t.palette[src[x]];
}

// kTabled: every channel goes through its table (the usual case), so no per-pixel tests.
template <bool kTabled>
inline uint32_t bitFieldPixel(const RowTables& t, uint32_t v) {
  return channelValue<kTabled>(t.alpha, v) << 24 | channelValue<kTabled>(t.red, v) << 16 |
         channelValue<kTabled>(t.green, v) << 8 | channelValue<kTabled>(t.blue, v);
}

template <bool kTabled>
void row16(const uint8_t* src, uint32_t* dst, int32_t width, const RowTables& t) {
  for (int32_t x = 0; x < width; ++x) dst[x] = bitFieldPixel<kTabled>(t, readU16(src + 2 * x));
}

void row24(const uint8_t* src, uint32_t* dst, int32_t width, const RowTables&) {
  for (int32_t x = 0; x < width; ++x, src += 3)
    dst[x] = 0xFF000000u | uint32_t(src[2]) << 16 | uint32_t(src[1]) << 8 | src[0];
}

void row32(const uint8_t* src, uint32_t* dst, int32_t width, const RowTables&) {
  for (int32_t x = 0; x < width; ++x, src += 4) dst[x] = readU32(src);
}

template <bool kTabled>
void row32BitFields(const uint8_t* src, uint32_t* dst, int32_t width, const RowTables& t) {
  for (int32_t x = 0; x < width; ++x, src += 4) dst[x] = bitFieldPixel<kTabled>(t, readU32(src));
}

// The row decoder for the layout; bit-field decoders need the channels set up first.
RowDecoder rowDecoderFor(const BmpLayout& l, const RowTables& t) {
  const bool tabled = t.allTabled();
  switch (l.bitCount) {
    case 1: return row1;
    case 2: return row2;
    case 4: return row4;
    case 8: return row8;
    case 16: return tabled ? row16<true> : row16<false>;
    case 24: return row24;
    case 32:
      if (l.compression == kRgb) return row32;
      return tabled ? row32BitFields<true> : row32BitFields<false>;
    default: return nullptr;
  }
}

// A run-length stream (8 or 4 bits a pixel) into the zeroed image: runs of one index,
// absolute runs of stored indices (padded to 2 bytes), end of line, end of bitmap, and
// deltas that move right and up. Pixels that no run reaches stay transparent black; pixels
// of a run that go past the end of its row are dropped (encoders round odd widths up). A
// run on a row above the picture, or a stream that ends inside the picture without an
// end-of-bitmap code, is refused. *covered tells whether every pixel was written.
int decodeRunLength(const uint8_t* data, int32_t size, const BmpLayout& l, const Palette palette, Image* image,
                    bool* covered) {
  const int64_t width = l.width, height = l.height;
  const bool four = l.compression == kRle4;
  std::memset(image->pixels, 0, std::size_t(width) * std::size_t(height) * 4);
  const uint8_t* p = data + l.pixelOffset;
  const uint8_t* const end = data + size;
  int64_t x = 0, y = 0;
  uint64_t written = 0;
  // Pixels x..x+count-1 of stored row y from index(k), k counting from the run's start.
  auto put = [&](int64_t count, auto index) {
    uint32_t* row = image->pixels + std::size_t(height - 1 - y) * std::size_t(width);
    const int64_t n = x < width ? (count < width - x ? count : width - x) : 0;
    for (int64_t k = 0; k < n; ++k) row[x + k] = palette[index(k)];
    written += uint64_t(n);
    x += count;
  };
  for (;;) {
    if (end - p < 2) {  // no end-of-bitmap code: fine only once the picture is done
      if (y < height - 1 || (y == height - 1 && x < width)) return kNotBmp;
      break;
    }
    const uint8_t count = p[0], code = p[1];
    p += 2;
    if (count > 0) {
      if (y >= height) return kNotBmp;
      if (four)
        put(count, [code](int64_t k) { return (k & 1) ? code & 15 : code >> 4; });
      else
        put(count, [code](int64_t) { return code; });
    } else if (code == 0) {  // end of line
      x = 0;
      ++y;
    } else if (code == 1) {  // end of bitmap
      break;
    } else if (code == 2) {  // delta: right and up
      if (end - p < 2) return kNotBmp;
      x += p[0];
      y += p[1];
      p += 2;
    } else {  // an absolute run of `code` stored indices
      const int64_t bytes = four ? (code + 1) / 2 : code;
      if (end - p < bytes || y >= height) return kNotBmp;
      const uint8_t* run = p;
      if (four)
        put(code, [run](int64_t k) { return (k & 1) ? run[k >> 1] & 15 : run[k >> 1] >> 4; });
      else
        put(code, [run](int64_t k) { return run[k]; });
      const int64_t padded = (bytes + 1) & ~int64_t(1);
      p += padded < end - p ? padded : end - p;
    }
  }
  *covered = written == uint64_t(width) * uint64_t(height);
  return 0;
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
  RowTables t;
  readPalette(data, size, l, t.palette);
  if (l.compression == kRle8 || l.compression == kRle4) {
    bool covered = false;
    if (const int code = decodeRunLength(data, size, l, t.palette, image, &covered)) return code;
    image->bitDepth = covered ? 24 : 32;  // pixels the runs skip are transparent
    return 0;
  }
  if (l.bitCount == 16 || (l.bitCount == 32 && l.compression != kRgb)) {
    setUpChannel(t.red, l.masks[0], 0);
    setUpChannel(t.green, l.masks[1], 0);
    setUpChannel(t.blue, l.masks[2], 0);
    setUpChannel(t.alpha, l.masks[3], 255);
    image->bitDepth = l.masks[3] != 0 ? 32 : 24;
  }
  const RowDecoder decodeRow = rowDecoderFor(l, t);
  if (!decodeRow) return kUnsupported;
  for (int32_t y = 0; y < l.height; ++y) {
    const int32_t stored = l.topDown ? y : l.height - 1 - y;  // bottom-up unless top-down
    const uint8_t* src = data + l.pixelOffset + l.stride * uint64_t(stored);
    decodeRow(src, image->pixels + std::size_t(y) * std::size_t(l.width), l.width, t);
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
