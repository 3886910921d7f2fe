#include <gtest/gtest.h>

#include <dirent.h>

#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/bmp.h"
#include "image/image.h"
#include "test_support.h"

using namespace limg;

namespace {

void put16(std::vector<uint8_t>& v, std::size_t at, uint32_t x) {
  v[at] = uint8_t(x);
  v[at + 1] = uint8_t(x >> 8);
}
void put32(std::vector<uint8_t>& v, std::size_t at, uint32_t x) {
  put16(v, at, x & 0xFFFF);
  put16(v, at + 2, x >> 16);
}

// A BMP file: headers, bit-field masks, palette (entries of 4 bytes, or 3 with the core
// header) and the stored rows exactly as given (bottom row first unless height is
// negative), or the run-length stream.
struct BmpSpec {
  int32_t width = 1;
  int32_t height = 1;
  int bits = 24;
  bool core = false;
  uint32_t headerBytes = 0;  // 0: 12 with core, else 40
  uint32_t compression = 0;
  std::vector<uint32_t> masks;    // from byte 54: after a 40-byte header, inside a longer one
  std::vector<uint32_t> palette;  // 0xRRGGBB
  std::vector<uint8_t> rows;      // stored rows, already padded
};

std::vector<uint8_t> buildBmp(const BmpSpec& s) {
  const uint32_t headerBytes = s.headerBytes ? s.headerBytes : s.core ? 12 : 40;
  const uint32_t entryBytes = s.core ? 3 : 4;
  const uint32_t masksAfter = headerBytes == 40 ? uint32_t(s.masks.size()) * 4 : 0;
  const uint32_t paletteAt = 14 + headerBytes + masksAfter;
  const uint32_t offset = paletteAt + uint32_t(s.palette.size()) * entryBytes;
  std::vector<uint8_t> v(offset + s.rows.size(), 0);
  v[0] = 'B';
  v[1] = 'M';
  put32(v, 2, uint32_t(v.size()));
  put32(v, 10, offset);
  put32(v, 14, headerBytes);
  if (s.core) {
    put16(v, 18, uint32_t(s.width));
    put16(v, 20, uint32_t(s.height));
    put16(v, 22, 1);
    put16(v, 24, uint32_t(s.bits));
  } else {
    put32(v, 18, uint32_t(s.width));
    put32(v, 22, uint32_t(s.height));
    put16(v, 26, 1);
    put16(v, 28, uint32_t(s.bits));
    put32(v, 30, s.compression);
    put32(v, 46, uint32_t(s.palette.size()));
  }
  for (std::size_t i = 0; i < s.masks.size(); ++i) put32(v, 54 + 4 * i, s.masks[i]);
  std::size_t at = paletteAt;
  for (uint32_t c : s.palette) {
    v[at] = uint8_t(c);
    v[at + 1] = uint8_t(c >> 8);
    v[at + 2] = uint8_t(c >> 16);
    at += entryBytes;
  }
  std::memcpy(v.data() + offset, s.rows.data(), s.rows.size());
  return v;
}

Image* load(const std::vector<uint8_t>& file) {
  GuardedBuffer buffer(file);
  return BmpLoadFromMemory(buffer.data(), buffer.size());
}

bool refused(const std::vector<uint8_t>& file) {
  Image* image = load(file);
  const bool none = image == nullptr;
  ImageDestroy(&image);
  return none;
}

}  // namespace

TEST(Bmp, TwentyFourBitRowsArePaddedAndBottomUp) {
  BmpSpec s;
  s.width = 3;
  s.height = 2;
  s.bits = 24;
  // stride 12: 9 bytes of pixels and 3 of padding (filled with junk that must be skipped)
  s.rows = {1, 2, 3, 4, 5, 6, 7, 8, 9, 0xEE, 0xEE, 0xEE,
            10, 11, 12, 13, 14, 15, 16, 17, 18, 0xEE, 0xEE, 0xEE};
  ImageHolder image(load(buildBmp(s)));
  ASSERT_NE(image.get(), nullptr);
  EXPECT_EQ(image->bitDepth, 24);
  // Output row 0 is the last stored row.
  const uint32_t want[] = {0xFF0C0B0A, 0xFF0F0E0D, 0xFF121110, 0xFF030201, 0xFF060504, 0xFF090807};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(image->pixels[i], want[i]) << i;
}

TEST(Bmp, NegativeHeightMeansTopDownRows) {
  BmpSpec s;
  s.width = 1;
  s.height = -2;
  s.bits = 24;
  s.rows = {1, 2, 3, 0, 4, 5, 6, 0};
  ImageHolder image(load(buildBmp(s)));
  ASSERT_NE(image.get(), nullptr);
  EXPECT_EQ(image->height, 2);
  EXPECT_EQ(image->pixels[0], 0xFF030201u);
  EXPECT_EQ(image->pixels[1], 0xFF060504u);
}

TEST(Bmp, OneBitRowYieldsExactlyWidthPixels) {
  BmpSpec s;
  s.width = 10;
  s.height = 1;
  s.bits = 1;
  s.palette = {0x000000, 0xFFFFFF};
  s.rows = {0xA5, 0xC0 | 0x3F, 0xFF, 0xFF};  // 1010 0101 11 then unused bits set
  ImageHolder image(load(buildBmp(s)));
  ASSERT_NE(image.get(), nullptr);
  const int bitsWant[10] = {1, 0, 1, 0, 0, 1, 0, 1, 1, 1};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(image->pixels[i], bitsWant[i] ? 0xFFFFFFFFu : 0xFF000000u) << i;
  EXPECT_EQ(image->pixels[10], 0u);  // spare row untouched
}

TEST(Bmp, PaletteDepthsAreOpaqueTwentyFourBit) {
  BmpSpec s;
  s.width = 3;
  s.height = 1;
  s.bits = 4;
  s.palette = {0x102030, 0x405060, 0x708090};
  s.rows = {0x21, 0x00, 0, 0};  // indices 2, 1, 0
  ImageHolder four(load(buildBmp(s)));
  ASSERT_NE(four.get(), nullptr);
  EXPECT_EQ(four->bitDepth, 24);
  EXPECT_EQ(four->pixels[0], 0xFF708090u);
  EXPECT_EQ(four->pixels[1], 0xFF405060u);
  EXPECT_EQ(four->pixels[2], 0xFF102030u);

  s.bits = 8;
  s.rows = {1, 2, 0, 0};
  ImageHolder eight(load(buildBmp(s)));
  ASSERT_NE(eight.get(), nullptr);
  EXPECT_EQ(eight->bitDepth, 24);
  EXPECT_EQ(eight->pixels[0], 0xFF405060u);
  EXPECT_EQ(eight->pixels[1], 0xFF708090u);
  EXPECT_EQ(eight->pixels[2], 0xFF102030u);
}

TEST(Bmp, CoreHeaderPaletteHasThreeByteEntries) {
  BmpSpec s;
  s.core = true;
  s.width = 2;
  s.height = 1;
  s.bits = 8;
  s.palette = {0x112233, 0x445566, 0x778899};
  s.rows = {2, 1, 0, 0};
  ImageHolder image(load(buildBmp(s)));
  ASSERT_NE(image.get(), nullptr);
  EXPECT_EQ(image->pixels[0], 0xFF778899u);
  EXPECT_EQ(image->pixels[1], 0xFF445566u);
}

TEST(Bmp, ThirtyTwoBitKeepsStoredAlpha) {
  BmpSpec s;
  s.width = 2;
  s.height = 1;
  s.bits = 32;
  s.rows = {1, 2, 3, 0, 4, 5, 6, 0x80};
  ImageHolder image(load(buildBmp(s)));
  ASSERT_NE(image.get(), nullptr);
  EXPECT_EQ(image->bitDepth, 32);
  EXPECT_EQ(image->pixels[0], 0x00030201u);
  EXPECT_EQ(image->pixels[1], 0x80060504u);
}

TEST(Bmp, SixteenBitIsFiveFiveFive) {
  BmpSpec s;
  s.width = 3;
  s.height = 1;
  s.bits = 16;
  // 0x7FFF white, 0x7C00 red, 0x0421 (1,1,1), and 2 bytes of padding
  s.rows = {0xFF, 0x7F, 0x00, 0x7C, 0x21, 0x04, 0, 0};
  ImageHolder image(load(buildBmp(s)));
  ASSERT_NE(image.get(), nullptr);
  EXPECT_EQ(image->bitDepth, 24);
  EXPECT_EQ(image->pixels[0], 0xFFFFFFFFu);
  EXPECT_EQ(image->pixels[1], 0xFFFF0000u);
  EXPECT_EQ(image->pixels[2], 0xFF080808u);
}

TEST(Bmp, RefusesCompressionAndUnknownBitCounts) {
  BmpSpec s;
  s.width = 2;
  s.height = 1;
  s.bits = 8;
  s.palette = {0, 0};
  s.rows = {0, 0, 0, 0};
  // Run-length codes at the other depth, bit fields at 8 bits, embedded JPEG and PNG, and
  // codes nobody defines.
  s.masks = {0xE0, 0x1C, 0x03};
  for (uint32_t compression : {2u, 3u, 4u, 5u, 6u, 7u, 11u, 0x80000000u}) {
    s.compression = compression;
    EXPECT_TRUE(refused(buildBmp(s))) << compression;
  }
  s.compression = 0;
  s.masks.clear();
  s.palette.clear();
  s.rows.assign(64, 0);
  for (int bits : {0, 3, 7, 12, 15, 48, 64}) {
    s.bits = bits;
    EXPECT_TRUE(refused(buildBmp(s))) << bits;
  }
  EXPECT_EQ(BmpDecode(nullptr, nullptr, 0), 30);
}

TEST(Bmp, BitFieldMasks) {
  constexpr uint32_t kBitFields = 3, kAlphaBitFields = 6;
  struct Case {
    const char* what;
    uint32_t headerBytes;
    uint32_t compression;
    int bits;
    std::vector<uint32_t> masks;
    uint32_t pixel;  // the stored value, little-endian
    uint32_t want;
    int32_t depth;
  } cases[] = {
      {"5-6-5 white", 40, kBitFields, 16, {0xF800, 0x07E0, 0x001F}, 0xFFFF, 0xFFFFFFFF, 24},
      {"5-6-5 ones", 40, kBitFields, 16, {0xF800, 0x07E0, 0x001F}, 0x0821, 0xFF080408, 24},
      {"5-5-5 as the default layout", 40, kBitFields, 16, {0x7C00, 0x03E0, 0x001F}, 0x0421, 0xFF080808, 24},
      {"5-6-5 in a version 2 header", 52, kBitFields, 16, {0xF800, 0x07E0, 0x001F}, 0xF800, 0xFFFF0000, 24},
      {"4-4-4-4 in a version 4 header", 108, kBitFields, 16, {0x0F00, 0x00F0, 0x000F, 0xF000}, 0x8F41,
       0x88FF4411, 32},
      {"32 bits x-B-G-R without alpha", 40, kBitFields, 32, {0xFF000000, 0x00FF0000, 0x0000FF00}, 0x44223311,
       0xFF442233, 24},
      {"32 bits with alpha, version 5", 124, kBitFields, 32, {0x0000FF00, 0x000000FF, 0xFF000000, 0x00FF0000},
       0x33804422, 0x80442233, 32},
      {"alpha mask in a version 3 header", 56, kBitFields, 32, {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000},
       0x7F112233, 0x7F112233, 32},
      {"BI_ALPHABITFIELDS after a 40-byte header", 40, kAlphaBitFields, 32,
       {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000}, 0x00442233, 0x00442233, 32},
      {"11-11-10, half red", 40, kBitFields, 32, {0xFFE00000, 0x001FFC00, 0x000003FF}, 0x80000000, 0xFF800000, 24},
      {"11-11-10, all ones", 40, kBitFields, 32, {0xFFE00000, 0x001FFC00, 0x000003FF}, 0xFFFFFFFF, 0xFFFFFFFF, 24},
      {"a channel without mask is 0", 40, kBitFields, 16, {0x7C00, 0, 0x001F}, 0x7FFF, 0xFFFF00FF, 24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BmpSpec s;
    s.width = 1;
    s.bits = c.bits;
    s.headerBytes = c.headerBytes;
    s.compression = c.compression;
    s.masks = c.masks;
    s.rows.assign(4, 0);
    for (int i = 0; i < c.bits / 8; ++i) s.rows[std::size_t(i)] = uint8_t(c.pixel >> (8 * i));
    ImageHolder image(load(buildBmp(s)));
    ASSERT_NE(image.get(), nullptr);
    EXPECT_EQ(image->pixels[0], c.want) << std::hex << image->pixels[0];
    EXPECT_EQ(image->bitDepth, c.depth);
  }

  // Bit fields need 16 or 32 bits and a header that holds or precedes the masks; the OS/2
  // version 2 header's code 3 is Huffman coding. Masks cut off by the end are refused.
  BmpSpec s;
  s.bits = 24;
  s.compression = kBitFields;
  s.masks = {0xFF0000, 0xFF00, 0xFF};
  s.rows.assign(4, 0);
  EXPECT_TRUE(refused(buildBmp(s)));
  s.bits = 32;
  EXPECT_FALSE(refused(buildBmp(s)));
  for (uint32_t header : {44u, 48u, 64u}) {
    s.headerBytes = header;
    EXPECT_TRUE(refused(buildBmp(s))) << header;
  }
  s.headerBytes = 40;
  s.rows.clear();
  std::vector<uint8_t> cut = buildBmp(s);
  cut.resize(14 + 40 + 8);
  put32(cut, 10, 14);  // rows that fit (inside the headers), masks that don't
  EXPECT_TRUE(refused(cut));
}

TEST(Bmp, RunLengthCodes) {
  constexpr uint32_t kRle8 = 1, kRle4 = 2;
  const uint32_t T = 0;  // skipped: transparent black
  auto P = [](uint32_t i) { return 0xFF000000u | (i + 1) << 16; };
  struct Case {
    const char* what;
    uint32_t compression;
    int32_t width, height;
    std::vector<uint8_t> stream;
    std::vector<uint32_t> want;  // top row first; empty: refused
    int32_t depth;
  } cases[] = {
      {"runs and end of line", kRle8, 2, 2, {2, 1, 0, 0, 1, 2, 1, 3, 0, 1}, {P(2), P(3), P(1), P(1)}, 24},
      {"delta right and up", kRle8, 3, 2, {1, 1, 0, 2, 1, 1, 1, 2, 0, 1}, {T, T, P(2), P(1), T, T}, 32},
      {"short row ended early", kRle8, 3, 2, {1, 5, 0, 0, 3, 6, 0, 1}, {P(6), P(6), P(6), P(5), T, T}, 32},
      {"end of bitmap leaves the rest", kRle8, 2, 2, {1, 4, 0, 1}, {T, T, P(4), T}, 32},
      {"absolute run padded to 2 bytes", kRle8, 4, 1, {0, 3, 7, 8, 9, 0xEE, 1, 1, 0, 1}, {P(7), P(8), P(9), P(1)}, 24},
      {"4-bit run alternates its nibbles", kRle4, 5, 1, {5, 0x12, 0, 1}, {P(1), P(2), P(1), P(2), P(1)}, 24},
      {"4-bit absolute run", kRle4, 6, 1, {0, 5, 0x12, 0x34, 0x50, 0xEE, 1, 0x60, 0, 1},
       {P(1), P(2), P(3), P(4), P(5), P(6)}, 24},
      {"a run past the row end is cut", kRle8, 3, 2, {4, 1, 0, 0, 0, 4, 2, 3, 4, 5, 0, 1},
       {P(2), P(3), P(4), P(1), P(1), P(1)}, 24},
      {"an odd width rounded up by the encoder", kRle4, 3, 1, {4, 0x12, 0, 1}, {P(1), P(2), P(1)}, 24},
      {"no end of bitmap after the last row", kRle8, 1, 2, {1, 1, 0, 0, 1, 2, 0, 0}, {P(2), P(1)}, 24},
      {"the stream ends with the last pixel", kRle8, 1, 1, {1, 1}, {P(1)}, 24},
      {"a delta above the picture, then the end", kRle8, 1, 1, {1, 1, 0, 2, 0, 9, 0, 1}, {P(1)}, 24},
      {"a run above the picture", kRle8, 1, 1, {1, 1, 0, 0, 1, 2, 0, 1}, {}, 0},
      {"an absolute run above the picture", kRle8, 1, 1, {1, 1, 0, 0, 0, 3, 1, 2, 3, 0}, {}, 0},
      {"the stream ends inside the picture", kRle8, 1, 2, {1, 1, 0, 0}, {}, 0},
      {"an absolute run cut off", kRle8, 4, 1, {0, 4, 1, 2}, {}, 0},
      {"a delta cut off", kRle8, 4, 1, {1, 1, 0, 2}, {}, 0},
      {"fewer than 2 bytes a row", kRle8, 1, 3, {0, 1, 0, 1}, {}, 0},
      {"255 pixels a stream byte, all skipped", kRle8, 510, 1, {0, 1}, std::vector<uint32_t>(510, T), 32},
      {"more than 255 pixels a stream byte", kRle8, 511, 1, {0, 1}, {}, 0},
      {"top-down rows", kRle8, 1, -1, {1, 1, 0, 1}, {}, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    BmpSpec s;
    s.width = c.width;
    s.height = c.height;
    s.bits = c.compression == kRle8 ? 8 : 4;
    s.compression = c.compression;
    for (uint32_t i = 0; i < 16; ++i) s.palette.push_back((i + 1) << 16);
    s.rows = c.stream;
    Image* image = load(buildBmp(s));
    ImageHolder holder(image);
    if (c.want.empty()) {
      EXPECT_EQ(image, nullptr);
      continue;
    }
    ASSERT_NE(image, nullptr);
    EXPECT_EQ(image->bitDepth, c.depth);
    for (std::size_t i = 0; i < c.want.size(); ++i) EXPECT_EQ(image->pixels[i], c.want[i]) << i;
  }
}

TEST(Bmp, RefusesLayoutsThatDontFitTheData) {
  BmpSpec s;
  s.width = 4;
  s.height = 4;
  s.bits = 24;
  s.rows.assign(48, 7);
  std::vector<uint8_t> file = buildBmp(s);
  {
    ImageHolder ok(load(file));
    EXPECT_NE(ok.get(), nullptr);
  }
  // One byte short of the last pixel.
  std::vector<uint8_t> shortFile(file.begin(), file.end() - 1);
  EXPECT_TRUE(refused(shortFile));
  // The last row may omit its padding; the pixels themselves must be there.
  BmpSpec odd = s;
  odd.width = 3;
  odd.rows.assign(12 * 3 + 9, 7);
  ImageHolder unpadded(load(buildBmp(odd)));
  EXPECT_NE(unpadded.get(), nullptr);
  // Pixel offset beyond the end, and a huge height.
  std::vector<uint8_t> bad = file;
  put32(bad, 10, 0x7FFFFF00);
  EXPECT_TRUE(refused(bad));
  bad = file;
  put32(bad, 22, 0x7FFFFFFF);
  EXPECT_TRUE(refused(bad));
  bad = file;
  put32(bad, 22, 0x80000000u);  // INT_MIN: no positive height
  EXPECT_TRUE(refused(bad));
  bad = file;
  put32(bad, 18, uint32_t(-4));
  EXPECT_TRUE(refused(bad));
  bad = file;
  put32(bad, 14, 0xFFFFFFFFu);  // header length past the end
  EXPECT_TRUE(refused(bad));
  bad = file;
  put32(bad, 14, 8);
  EXPECT_TRUE(refused(bad));

  // A palette that declares more colours than the file holds.
  BmpSpec p;
  p.width = 1;
  p.height = 1;
  p.bits = 8;
  p.palette = {0x123456};
  p.rows = {0, 0, 0, 0};
  std::vector<uint8_t> pal = buildBmp(p);
  {
    ImageHolder ok(load(pal));
    ASSERT_NE(ok.get(), nullptr);
    EXPECT_EQ(ok->pixels[0], 0xFF123456u);
  }
  put32(pal, 46, 200);
  EXPECT_TRUE(refused(pal));
}

TEST(Bmp, EveryTruncationIsSafe) {
  BmpSpec s;
  s.width = 5;
  s.height = 3;
  s.bits = 4;
  s.palette.assign(16, 0x808080);
  s.rows.assign(12, 0x12);
  for (bool core : {false, true}) {
    s.core = core;
    const std::vector<uint8_t> file = buildBmp(s);
    for (std::size_t n = 0; n <= file.size(); ++n) {
      GuardedBuffer buffer(file.data(), n);
      Image* image = BmpLoadFromMemory(buffer.data(), buffer.size());
      // Refused until the last pixel byte is present.
      if (n < file.size() - 1) {
        EXPECT_EQ(image, nullptr) << n;
      }
      ImageDestroy(&image);
    }
  }
}

// ---- The conformance suites ------------------------------------------------------------

namespace {

const std::string kBmpDir = std::string(TESTDATA_DIR) + "/bmp/";

struct Reference {
  const char* bmp;
  const char* png;
  int tolerance = 0;    // largest channel difference allowed
  bool alpha = false;   // compare alpha too (else a 32-bit file's alpha is its own);
                        // fully transparent pixels then match whatever their colour
};

// Files this decoder reads, with the picture they must give. The suite's references for
// the 8-bit palettes store some levels one lower than the files' palettes (42 for 43);
// the older suite's 16-bit references widen 5 and 6 bits by a plain shift (we scale
// exactly), and the 11-bit and 10-bit fields of rgb32-111110 round against 8-bit
// references. Pixels that run-length files skip are transparent, as in the suite's "trns"
// references.
const Reference kGood[] = {
    {"bmpsuite/g/pal4rle.bmp", "bmpsuite/html/pal4.png", 0, true},
    {"bmpsuite/g/pal8rle.bmp", "bmpsuite/html/pal8.png", 1, true},
    {"bmpsuite/q/pal4rletrns.bmp", "bmpsuite/html/pal4rletrns.png", 0, true},
    {"bmpsuite/q/pal8rletrns.bmp", "bmpsuite/html/pal8rletrns.png", 1, true},
    {"bmpsuite/g/rgb16-565.bmp", "bmpsuite/html/rgb16-565.png", 0, true},
    {"bmpsuite/g/rgb16-565pal.bmp", "bmpsuite/html/rgb16-565.png", 0, true},
    {"bmpsuite/q/rgb16-231.bmp", "bmpsuite/html/rgb16-231.png", 0, true},
    {"bmpsuite/q/rgba16-4444.bmp", "bmpsuite/html/rgba16-4444.png", 0, true},
    {"bmpsuite/g/rgb32bf.bmp", "bmpsuite/html/rgb24.png", 0, true},
    {"bmpsuite/q/rgb32bf-xbgr.bmp", "bmpsuite/html/rgb24.png", 0, true},
    {"bmpsuite/q/rgb32-111110.bmp", "bmpsuite/html/rgb24.png", 1, true},
    {"bmpsuite/q/rgba32.bmp", "bmpsuite/html/rgba32.png", 0, true},
    {"bmpsuite/q/rgba32abf.bmp", "bmpsuite/html/rgba32.png", 0, true},
    {"bmpsuite/q/pal2.bmp", "bmpsuite/html/pal2.png", 0, true},
    {"bmpsuite-2001-libnsbmp/g04rle.bmp", "bmpsuite-2001-libnsbmp/png/04.png", 0, true},
    {"bmpsuite-2001-libnsbmp/g08rle.bmp", "bmpsuite-2001-libnsbmp/png/08.png", 0, true},
    {"bmpsuite-2001-libnsbmp/g16bf555.bmp", "bmpsuite-2001-libnsbmp/png/16bf555.png", 7, true},
    {"bmpsuite-2001-libnsbmp/g16bf565.bmp", "bmpsuite-2001-libnsbmp/png/16bf565.png", 7, true},
    {"bmpsuite-2001-libnsbmp/g32bf.bmp", "bmpsuite-2001-libnsbmp/png/24.png", 0, true},
    {"gdk-pixbuf/mandatory-bitmasks.bmp", "gdk-pixbuf/mandatory-bitmasks.bmp.ref.png", 0, true},
    {"pillow/rgb32bf-abgr.bmp", "bmpsuite/html/rgb24.png"},
    {"bmpsuite/g/pal1.bmp", "bmpsuite/html/pal1.png"},
    {"bmpsuite/g/pal1wb.bmp", "bmpsuite/html/pal1.png"},
    {"bmpsuite/g/pal1bg.bmp", "bmpsuite/html/pal1bg.png"},
    {"bmpsuite/g/pal4.bmp", "bmpsuite/html/pal4.png"},
    {"bmpsuite/g/pal8.bmp", "bmpsuite/html/pal8.png", 1},
    {"bmpsuite/g/pal8-0.bmp", "bmpsuite/html/pal8.png", 1},
    {"bmpsuite/g/pal8w126.bmp", "bmpsuite/html/pal8w126.png", 1},
    {"bmpsuite/g/pal8w125.bmp", "bmpsuite/html/pal8w125.png", 1},
    {"bmpsuite/g/pal8w124.bmp", "bmpsuite/html/pal8w124.png", 1},
    {"bmpsuite/g/pal8topdown.bmp", "bmpsuite/html/pal8.png", 1},
    {"bmpsuite/g/pal8nonsquare.bmp", "bmpsuite/html/pal8nonsquare-e.png", 1},
    {"bmpsuite/g/pal8os2.bmp", "bmpsuite/html/pal8.png", 1},
    {"bmpsuite/g/pal8v4.bmp", "bmpsuite/html/pal8.png", 1},
    {"bmpsuite/g/pal8v5.bmp", "bmpsuite/html/pal8.png", 1},
    {"bmpsuite/g/rgb16.bmp", "bmpsuite/html/rgb16.png"},
    {"bmpsuite/g/rgb24.bmp", "bmpsuite/html/rgb24.png"},
    {"bmpsuite/g/rgb24pal.bmp", "bmpsuite/html/rgb24.png"},
    {"bmpsuite/g/rgb32.bmp", "bmpsuite/html/rgb24.png"},
    {"bmpsuite/q/pal1p1.bmp", "bmpsuite/html/pal1p1.png"},
    {"bmpsuite/q/pal8offs.bmp", "bmpsuite/html/pal8.png", 1},
    {"bmpsuite/q/pal8oversizepal.bmp", "bmpsuite/html/pal8.png", 1},
    {"bmpsuite/q/pal8os2sp.bmp", "bmpsuite/html/pal8.png", 1},
    {"bmpsuite/q/pal8os2v2.bmp", "bmpsuite/html/pal8.png", 1},
    {"bmpsuite/q/pal8os2v2-16.bmp", "bmpsuite/html/pal8.png", 1},
    {"bmpsuite/q/rgb24largepal.bmp", "bmpsuite/html/rgb24.png"},
    {"bmpsuite/q/rgb24prof.bmp", "bmpsuite/html/rgb24.png"},
    {"bmpsuite/q/rgb24lprof.bmp", "bmpsuite/html/rgb24.png"},
    {"bmpsuite/q/rgb32fakealpha.bmp", "bmpsuite/html/rgb24.png"},
    {"bmpsuite-2001-libnsbmp/g01bw.bmp", "bmpsuite-2001-libnsbmp/png/01bw.png"},
    {"bmpsuite-2001-libnsbmp/g01bg.bmp", "bmpsuite-2001-libnsbmp/png/01bg.png"},
    {"bmpsuite-2001-libnsbmp/g01p1.bmp", "bmpsuite-2001-libnsbmp/png/01p1.png"},
    {"bmpsuite-2001-libnsbmp/g04.bmp", "bmpsuite-2001-libnsbmp/png/04.png"},
    {"bmpsuite-2001-libnsbmp/g04p4.bmp", "bmpsuite-2001-libnsbmp/png/04p4.png"},
    {"bmpsuite-2001-libnsbmp/g08.bmp", "bmpsuite-2001-libnsbmp/png/08.png"},
    {"bmpsuite-2001-libnsbmp/g08p64.bmp", "bmpsuite-2001-libnsbmp/png/08p64.png"},
    {"bmpsuite-2001-libnsbmp/g08w124.bmp", "bmpsuite-2001-libnsbmp/png/08w124.png"},
    {"bmpsuite-2001-libnsbmp/g08w125.bmp", "bmpsuite-2001-libnsbmp/png/08w125.png"},
    {"bmpsuite-2001-libnsbmp/g08w126.bmp", "bmpsuite-2001-libnsbmp/png/08w126.png"},
    {"bmpsuite-2001-libnsbmp/g16def555.bmp", "bmpsuite-2001-libnsbmp/png/16bf555.png", 7},
    {"bmpsuite-2001-libnsbmp/g24.bmp", "bmpsuite-2001-libnsbmp/png/24.png"},
    {"bmpsuite-2001-libnsbmp/g32def.bmp", "bmpsuite-2001-libnsbmp/png/24.png"},
    {"pillow/hopper.bmp", "pillow/hopper.png"},
    {"sdl2-image/sample.bmp", "sdl2-image/sample.png"},
};

// Valid files in encodings this decoder doesn't read (embedded JPEG or PNG): refused.
const char* const kRefused[] = {
    "bmpsuite/q/rgb24jpeg.bmp",
    "bmpsuite/q/rgb24png.bmp",
};

// Broken files that must be refused (the rest of the "bad" files only need to be safe).
const char* const kBroken[] = {
    "bmpsuite/b/badbitcount.bmp",      "bmpsuite/b/badwidth.bmp",
    "bmpsuite/b/reallybig.bmp",        "bmpsuite/b/shortfile.bmp",
    "bmpsuite/b/badrle.bmp",           "bmpsuite/b/rletopdown.bmp",
    "gdk-pixbuf/bmp-line-overflow.bmp",
    "gdk-pixbuf/bug775242.bmp",        "gdk-pixbuf/bug776694.bmp",
    "gdk-pixbuf/bug777315.bmp",        "gdk-pixbuf/decodecolormap.bmp",
    "gdk-pixbuf/invalid.1.bmp",        "libnsbmp/bad_info_header_size.bmp",
    "libnsbmp/int_min_height.bmp",     "pillow/l2rgb_read.bmp",
    "bmpsuite-2001-libnsbmp/rleof.bmp",
};

void listBmpFiles(const std::string& dir, std::vector<std::string>* out) {
  DIR* d = opendir(dir.c_str());
  if (!d) return;
  while (dirent* e = readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    const std::string path = dir + "/" + name;
    if (e->d_type == DT_DIR)
      listBmpFiles(path, out);
    else if (name.size() > 4 && name.compare(name.size() - 4, 4, ".bmp") == 0)
      out->push_back(path);
  }
  closedir(d);
}

}  // namespace

TEST(BmpSuite, GoodFilesMatchTheirReferences) {
  for (const Reference& r : kGood) {
    SCOPED_TRACE(r.bmp);
    const std::vector<uint8_t> file = readFileBytes(kBmpDir + r.bmp);
    ASSERT_FALSE(file.empty());
    int w = 0, h = 0;
    std::vector<uint32_t> want;
    ASSERT_TRUE(loadPngReference(kBmpDir + r.png, &w, &h, &want));
    ImageHolder image(load(file));
    ASSERT_NE(image.get(), nullptr);
    ASSERT_EQ(image->width, w);
    ASSERT_EQ(image->height, h);
    const bool withAlpha = image->bitDepth == 32;
    // A 32-bit file's fourth bytes are its alpha, whatever the reference shows.
    const uint32_t mask = withAlpha && !r.alpha ? 0x00FFFFFFu : 0xFFFFFFFFu;
    int worst = 0, worstPixel = 0;
    for (int i = 0; i < w * h; ++i) {
      const uint32_t got = image->pixels[i] & mask, ref = want[std::size_t(i)] & mask;
      if (r.alpha && got >> 24 == 0 && ref >> 24 == 0) continue;  // no colour under alpha 0
      for (int c = 0; c < 32; c += 8) {
        const int d = std::abs(int((got >> c) & 0xFF) - int((ref >> c) & 0xFF));
        if (d > worst) {
          worst = d;
          worstPixel = i;
        }
      }
    }
    EXPECT_LE(worst, r.tolerance) << "pixel " << worstPixel << std::hex << ": "
                                  << image->pixels[worstPixel] << " want " << want[std::size_t(worstPixel)];
  }
}

// Pillow's copy of a run-length file whose rows carry too many pixels: the extra pixels are
// dropped, so it gives the clean file's picture.
TEST(BmpSuite, RunLengthRowOverflowGivesTheCleanPicture) {
  ImageHolder clean(load(readFileBytes(kBmpDir + "pillow/hopper_rle8.bmp")));
  ImageHolder overflow(load(readFileBytes(kBmpDir + "pillow/hopper_rle8_row_overflow.bmp")));
  ASSERT_NE(clean.get(), nullptr);
  ASSERT_NE(overflow.get(), nullptr);
  ASSERT_EQ(clean->pixelCount, overflow->pixelCount);
  EXPECT_EQ(std::memcmp(clean->pixels, overflow->pixels, std::size_t(clean->pixelCount) * 4), 0);
  EXPECT_EQ(clean->bitDepth, 24);
}

TEST(BmpSuite, UnsupportedEncodingsAreRefused) {
  for (const char* name : kRefused) {
    const std::vector<uint8_t> file = readFileBytes(kBmpDir + name);
    ASSERT_FALSE(file.empty()) << name;
    EXPECT_TRUE(refused(file)) << name;
  }
}

TEST(BmpSuite, BrokenFilesAreRefused) {
  for (const char* name : kBroken) {
    const std::vector<uint8_t> file = readFileBytes(kBmpDir + name);
    ASSERT_FALSE(file.empty()) << name;
    EXPECT_TRUE(refused(file)) << name;
  }
}

// Every file of every suite, whole and cut short, decodes or is refused without a read
// past its end (the guard page faults on one).
TEST(BmpSuite, EveryFileIsSafeWholeAndTruncated) {
  std::vector<std::string> files;
  listBmpFiles(kBmpDir, &files);
  ASSERT_GT(files.size(), 100u);
  int decoded = 0;
  for (const std::string& path : files) {
    SCOPED_TRACE(path);
    const std::vector<uint8_t> file = readFileBytes(path);
    for (std::size_t cut : {std::size_t(0), std::size_t(1), file.size() / 2, std::size_t(13), std::size_t(53)}) {
      if (cut > file.size()) continue;
      GuardedBuffer buffer(file.data(), file.size() - cut);
      Image* image = ImageLoadFromMemory(buffer.data(), buffer.size());
      if (image) {
        EXPECT_GT(image->width, 0);
        EXPECT_GT(image->height, 0);
        if (cut == 0) ++decoded;
      }
      ImageDestroy(&image);
    }
  }
  EXPECT_GE(decoded, int(sizeof kGood / sizeof kGood[0]));
}
