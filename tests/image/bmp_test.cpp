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

// A BMP file: headers, palette (entries of 4 bytes, or 3 with the core header) and the
// stored rows exactly as given (bottom row first unless height is negative).
struct BmpSpec {
  int32_t width = 1;
  int32_t height = 1;
  int bits = 24;
  bool core = false;
  uint32_t compression = 0;
  std::vector<uint32_t> palette;  // 0xRRGGBB
  std::vector<uint8_t> rows;      // stored rows, already padded
};

std::vector<uint8_t> buildBmp(const BmpSpec& s) {
  const uint32_t headerBytes = s.core ? 12 : 40;
  const uint32_t entryBytes = s.core ? 3 : 4;
  const uint32_t offset = 14 + headerBytes + uint32_t(s.palette.size()) * entryBytes;
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
  std::size_t at = 14 + headerBytes;
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
  for (uint32_t compression : {1u, 2u, 3u, 4u, 5u}) {
    s.compression = compression;
    EXPECT_TRUE(refused(buildBmp(s))) << compression;
  }
  s.compression = 0;
  s.palette.clear();
  s.rows.assign(64, 0);
  for (int bits : {0, 2, 3, 7, 12, 15, 48, 64}) {
    s.bits = bits;
    EXPECT_TRUE(refused(buildBmp(s))) << bits;
  }
  EXPECT_EQ(BmpDecode(nullptr, nullptr, 0), 30);
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
  int tolerance = 0;  // largest channel difference allowed
};

// Files this decoder reads, with the picture they must give. The suite's references for
// the 8-bit palettes store some levels one lower than the files' palettes (42 for 43);
// the older suite's 16-bit reference widens 5 bits by a plain shift (we scale exactly).
const Reference kGood[] = {
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

// Valid files in encodings this decoder doesn't read (run-length, bit fields, embedded
// JPEG or PNG, 2-bit palettes): refused.
const char* const kRefused[] = {
    "bmpsuite/g/pal4rle.bmp",        "bmpsuite/g/pal8rle.bmp",      "bmpsuite/g/rgb16-565.bmp",
    "bmpsuite/g/rgb16-565pal.bmp",   "bmpsuite/g/rgb32bf.bmp",      "bmpsuite/q/pal2.bmp",
    "bmpsuite/q/pal4rletrns.bmp",    "bmpsuite/q/pal8rletrns.bmp",  "bmpsuite/q/rgb16-231.bmp",
    "bmpsuite/q/rgba16-4444.bmp",    "bmpsuite/q/rgb24jpeg.bmp",    "bmpsuite/q/rgb24png.bmp",
    "bmpsuite/q/rgb32-111110.bmp",   "bmpsuite/q/rgb32bf-xbgr.bmp", "bmpsuite/q/rgba32.bmp",
    "bmpsuite/q/rgba32abf.bmp",      "bmpsuite-2001-libnsbmp/g08rle.bmp",
    "bmpsuite-2001-libnsbmp/g16bf565.bmp", "gdk-pixbuf/mandatory-bitmasks.bmp",
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
    const uint32_t mask = withAlpha ? 0x00FFFFFFu : 0xFFFFFFFFu;
    int worst = 0, worstPixel = 0;
    for (int i = 0; i < w * h; ++i) {
      const uint32_t got = image->pixels[i] & mask, ref = want[std::size_t(i)] & mask;
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
