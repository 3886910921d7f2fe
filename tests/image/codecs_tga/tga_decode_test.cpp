// TGA decoding: the conformance pictures against their reference decodes, the codes of the
// decode step, hand-made files for orientation, colour maps, 5-5-5 pixels and packets that
// cross rows, and refusal of damaged or truncated data.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "image/codecs/tga.h"
#include "image/codecs/tga/tga_stream.h"
#include "image/image.h"
#include "tests/image/codecs_tga/tga_test_util.h"

using namespace limg;

namespace {

struct ReferenceCase {
  const char* tga;
  const char* png;
  bool colourOnly;  // the reference scales a 4-bit alpha; the decoder takes the alpha byte as stored
};

// Every TGA of the suites that has a reference decode.
std::vector<ReferenceCase> referenceCases() {
  std::vector<ReferenceCase> cases;
  static const char* kGdk[] = {"16bpp", "24bpp", "32bpp", "cmap-8bpp", "cmap-rle-8bpp", "gray-16bpp",
                               "gray-8bpp", "gray-rle-16bpp", "gray-rle-8bpp", "rle-24bpp", "rle-32bpp"};
  static const char* kOrigins[] = {"bottom-left", "bottom-right", "top-left", "top-right"};
  static std::vector<std::string> names;
  names.clear();
  names.reserve(256);
  for (const char* kind : kGdk)
    for (const char* origin : kOrigins) {
      names.push_back("tga/gdk-pixbuf/gtk-logo-" + std::string(kind) + "-" + origin + ".tga");
      names.push_back(names.back() + ".ref.png");
    }
  for (const char* extra : {"colormap-too-small", "rle-too-many-pixels", "rle-too-many-pixels-2"}) {
    names.push_back(std::string("tga/gdk-pixbuf/") + extra + ".tga");
    names.push_back(names.back() + ".ref.png");
  }
  for (const char* size : {"1x1", "200x32"})
    for (const char* mode : {"l", "la", "p", "rgb", "rgba"})
      for (const char* variant : {"bl_raw", "bl_rle", "tl_raw", "tl_rle"}) {
        if (std::string(size) == "1x1" && std::string(mode) != "l") continue;
        names.push_back(std::string("tga/pillow/") + size + "_" + mode + "_" + variant + ".tga");
        names.push_back(std::string("tga/pillow/") + size + "_" + mode + ".png");
      }
  names.push_back("tga/pillow/200x32_p_bl_raw_origin.tga");
  names.push_back("tga/pillow/200x32_p.png");
  for (const char* k : {"bw", "bwa", "rgb", "rgba", "rgb-gimp-2.8.10-bottom-left", "rgb-gimp-2.8.10-top-left",
                        "rgb-gimp-2.8.10-rle-bottom-left", "rgb-gimp-2.8.10-rle-top-left"}) {
    names.push_back(std::string("tga/kimageformats/") + k + ".tga");
    names.push_back(std::string("tga/kimageformats/") + k + ".png");
  }
  names.push_back("tga/sdl2-image/sample.tga");
  names.push_back("tga/sdl2-image/sample.png");
  for (std::size_t i = 0; i < names.size(); i += 2) {
    const bool fourBitAlpha = names[i].find("kimageformats/bwa") != std::string::npos ||
                              names[i].find("kimageformats/rgba") != std::string::npos;
    cases.push_back({names[i].c_str(), names[i + 1].c_str(), fourBitAlpha});
  }
  return cases;
}

ImagePtr decodeFile(const std::string& path) {
  const Bytes bytes = readFile(path);
  const GuardedBuffer guarded(bytes);
  return ImagePtr(ImageLoadFromMemory(guarded.data(), guarded.size()));
}

TEST(TgaDecode, SuitesMatchTheirReferenceDecodes) {
  int checked = 0;
  const std::vector<ReferenceCase> cases = referenceCases();
  for (const ReferenceCase& c : cases) {
    SCOPED_TRACE(c.tga);
    const Picture ref = loadPng(testdata(c.png));
    ASSERT_GT(ref.width, 0) << c.png;
    const ImagePtr image = decodeFile(testdata(c.tga));
    ASSERT_TRUE(image);
    ASSERT_EQ(image->width, ref.width);
    ASSERT_EQ(image->height, ref.height);
    int bad = 0;
    for (std::size_t i = 0; i < ref.pixels.size() && bad < 3; ++i) {
      const uint32_t mask = c.colourOnly ? 0x00FFFFFFu : 0xFFFFFFFFu;
      const uint32_t want = ref.pixels[i] & mask, got = image->pixels[i] & mask;
      // Fully transparent pixels carry no colour in the references.
      const bool same = !c.colourOnly && (want >> 24) == 0 ? (got >> 24) == 0 : got == want;
      if (!same) {
        ++bad;
        ADD_FAILURE() << "pixel " << i << std::hex << " got " << got << " want " << want;
      }
    }
    ++checked;
  }
  EXPECT_EQ(checked, int(cases.size()));
  EXPECT_EQ(checked, 81);
}

}  // namespace

namespace {

// A hand-made TGA: header fields, then the colour map and pixel bytes as given.
struct TgaFile {
  TgaHeader header;
  Bytes map;
  Bytes pixels;
  Bytes bytes() const {
    Bytes out(kTgaHeaderSize);
    TgaHeaderEncode(header, out.data());
    out.insert(out.end(), map.begin(), map.end());
    out.insert(out.end(), pixels.begin(), pixels.end());
    return out;
  }
};

TgaFile trueColour(int width, int height, int depth, uint8_t descriptor, Bytes pixels, bool rle = false) {
  TgaFile f;
  f.header.imageType = rle ? 10 : 2;
  f.header.width = uint16_t(width);
  f.header.height = uint16_t(height);
  f.header.depth = uint8_t(depth);
  f.header.descriptor = descriptor;
  f.pixels = std::move(pixels);
  return f;
}

ImagePtr decodeBytes(const Bytes& bytes) {
  const GuardedBuffer guarded(bytes);
  return ImagePtr(TgaLoadFromMemory(guarded.data(), guarded.size()));
}

// The decode step's code for bytes, on an image of the given size.
int decodeCode(const Bytes& bytes, int width, int height, uint8_t* work = nullptr, std::size_t workLength = 0) {
  const GuardedBuffer guarded(bytes);
  const ImagePtr image(ImageCreate(width, height, 24));
  return TgaDecode(image.get(), guarded.data(), guarded.size(), work, workLength);
}

std::vector<uint32_t> pixelsOf(const Image& image) { return std::vector<uint32_t>(image.pixels, image.pixels + image.pixelCount); }

// 2 x 2 pixels, stored B, G, R: p0 p1 (first stored row), p2 p3.
const Bytes kFourPixels = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
constexpr uint32_t kP0 = 0xFF030201, kP1 = 0xFF060504, kP2 = 0xFF090807, kP3 = 0xFF0C0B0A;

TEST(TgaDecode, OriginBitsGiveTheRightWayRound) {
  struct Case {
    uint8_t descriptor;
    std::vector<uint32_t> want;
  } cases[] = {
      {0x00, {kP2, kP3, kP0, kP1}},  // bottom-left: the first stored row is the bottom one
      {0x20, {kP0, kP1, kP2, kP3}},  // top-left
      {0x10, {kP3, kP2, kP1, kP0}},  // bottom-right
      {0x30, {kP1, kP0, kP3, kP2}},  // top-right
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(int(c.descriptor));
    const ImagePtr image = decodeBytes(trueColour(2, 2, 24, c.descriptor, kFourPixels).bytes());
    ASSERT_TRUE(image);
    EXPECT_EQ(image->bitDepth, 24);
    EXPECT_EQ(pixelsOf(*image), c.want);
  }
}

TEST(TgaDecode, BitDepthSaysWhetherThePixelsCarryAlpha) {
  const struct {
    const char* file;
    int bitDepth;
  } cases[] = {
      {"gtk-logo-24bpp-top-left.tga", 24},      {"gtk-logo-32bpp-top-left.tga", 32},
      {"gtk-logo-rle-32bpp-top-left.tga", 32},  {"gtk-logo-16bpp-top-left.tga", 24},
      {"gtk-logo-gray-16bpp-top-left.tga", 32}, {"gtk-logo-gray-8bpp-top-left.tga", 24},
      {"gtk-logo-cmap-8bpp-top-left.tga", 24},  {"colormap-too-small.tga", 32},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    const ImagePtr image = decodeFile(testdata(std::string("tga/gdk-pixbuf/") + c.file));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->bitDepth, c.bitDepth);
  }
}

TEST(TgaDecode, RunLengthPacketsMayCrossRowEnds) {
  // 3 x 2 bottom-up, one repeat packet of 4 pixels covering the first row and one pixel of
  // the second, then a raw packet of 2.
  const Bytes packets = {0x83, 10, 20, 30, 0x01, 1, 2, 3, 4, 5, 6};
  const ImagePtr image = decodeBytes(trueColour(3, 2, 24, 0, packets, true).bytes());
  ASSERT_TRUE(image);
  const uint32_t a = 0xFF1E140A, b = 0xFF030201, c = 0xFF060504;
  EXPECT_EQ(pixelsOf(*image), (std::vector<uint32_t>{a, b, c, a, a, a}));

  // Pillow's file with a raw packet of three crossing the first row end (2 x 2 grey).
  const ImagePtr cross = decodeFile(testdata("tga/pillow/cross_scan_line.tga"));
  ASSERT_TRUE(cross);
  EXPECT_EQ(pixelsOf(*cross), (std::vector<uint32_t>{0xFFFFFFFF, 0xFF000000, 0xFF000000, 0xFFFFFFFF}));
}

TEST(TgaDecode, FiveFiveFivePixelsWithAndWithoutTheAttributeBitAsAlpha) {
  // Red with the attribute bit, green without, stored top-left.
  const Bytes pixels = {0x00, 0xFC, 0xE0, 0x03};
  for (int depth : {15, 16}) {
    for (uint8_t alphaBits : {0, 1}) {
      SCOPED_TRACE(depth * 10 + alphaBits);
      const ImagePtr image = decodeBytes(trueColour(2, 1, depth, uint8_t(0x20 | alphaBits), pixels).bytes());
      ASSERT_TRUE(image);
      const bool alpha = depth == 16 && alphaBits;
      EXPECT_EQ(image->bitDepth, alpha ? 32 : 24);
      EXPECT_EQ(image->pixels[0], 0xFFFF0000u);
      EXPECT_EQ(image->pixels[1], alpha ? 0x0000FF00u : 0xFF00FF00u);
    }
  }
  // 31 expands to 255 and 16 to 132 (the top bits repeated below).
  const ImagePtr grey = decodeBytes(trueColour(1, 1, 16, 0, {0x10, 0x42}).bytes());
  ASSERT_TRUE(grey);
  EXPECT_EQ(grey->pixels[0], 0xFF848484u);
}

TEST(TgaDecode, SixteenBitGreyIsGreyPlusAlpha) {
  TgaFile f = trueColour(2, 1, 16, 0x28, {0x40, 0x80, 0xFF, 0x00});
  f.header.imageType = 3;
  const ImagePtr image = decodeBytes(f.bytes());
  ASSERT_TRUE(image);
  EXPECT_EQ(image->bitDepth, 32);
  EXPECT_EQ(pixelsOf(*image), (std::vector<uint32_t>{0x80404040, 0x00FFFFFF}));
}

TEST(TgaDecode, ColourMapIsAppliedFromItsFirstEntry) {
  // A 15-bit map of two entries numbered 10 and 11, after a 3-byte image ID.
  TgaFile f = trueColour(3, 1, 8, 0x20, {10, 11, 0});
  f.header.idLength = 3;
  f.header.colourMapType = 1;
  f.header.imageType = 1;
  f.header.colourMapFirst = 10;
  f.header.colourMapLength = 2;
  f.header.colourMapEntryBits = 15;
  f.map = {'i', 'd', '!', 0x00, 0x7C, 0xE0, 0x03};
  const ImagePtr image = decodeBytes(f.bytes());
  ASSERT_TRUE(image);
  EXPECT_EQ(image->bitDepth, 24);
  // Index 0 lies outside the map: opaque black.
  EXPECT_EQ(pixelsOf(*image), (std::vector<uint32_t>{0xFFFF0000, 0xFF00FF00, 0xFF000000}));

  // A 16-bit map with a 30-byte image ID, against ImageMagick's reading.
  if (!haveImageMagick()) GTEST_SKIP() << "ImageMagick not installed";
  const std::string path = testdata("tga/pillow/p_16.tga");
  const Picture ref = loadWithImageMagick(path);
  const ImagePtr p16 = decodeFile(path);
  ASSERT_TRUE(p16);
  ASSERT_EQ(ref.width, p16->width);
  EXPECT_EQ(ref.pixels, pixelsOf(*p16));
}

// A true-colour file may carry a colour map it doesn't use: the map is stepped over.
TEST(TgaDecode, UnusedColourMapIsSkipped) {
  TgaFile f = trueColour(2, 2, 24, 0, kFourPixels);
  f.header.colourMapType = 1;
  f.header.colourMapLength = 3;
  f.header.colourMapEntryBits = 15;
  f.map = {0xAA, 0xAA, 0xBB, 0xBB, 0xCC, 0xCC};
  const ImagePtr image = decodeBytes(f.bytes());
  ASSERT_TRUE(image);
  EXPECT_EQ(pixelsOf(*image), (std::vector<uint32_t>{kP2, kP3, kP0, kP1}));
}

// Three files holding the same stored pixels under different origin bits: the right-hand
// ones come out mirrored (bottom-right) and turned half way round (top-right).
TEST(TgaDecode, RightHandOriginsOfOneStoredPicture) {
  const ImagePtr bl = decodeFile(testdata("tga/pillow/rgb32rle.tga"));
  const ImagePtr br = decodeFile(testdata("tga/pillow/rgb32rle_bottom_right.tga"));
  const ImagePtr tr = decodeFile(testdata("tga/pillow/rgb32rle_top_right.tga"));
  ASSERT_TRUE(bl && br && tr);
  const int w = bl->width, h = bl->height;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const uint32_t p = bl->pixels[y * w + x];
      ASSERT_EQ(br->pixels[y * w + (w - 1 - x)], p) << x << "," << y;
      ASSERT_EQ(tr->pixels[(h - 1 - y) * w + (w - 1 - x)], p) << x << "," << y;
    }
  // The picture's quadrants: red top left, green top right, blue bottom left.
  EXPECT_EQ(bl->pixels[10 * w + 10] & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(bl->pixels[10 * w + w - 10] & 0xFFFFFF, 0x00FF00u);
  EXPECT_EQ(bl->pixels[(h - 10) * w + 10] & 0xFFFFFF, 0x0000FFu);
}

TEST(TgaDecode, DecodeStepCodes) {
  const Bytes good = trueColour(2, 2, 24, 0, kFourPixels).bytes();
  EXPECT_EQ(decodeCode(good, 2, 2), 0);
  EXPECT_EQ(decodeCode(Bytes(good.begin(), good.begin() + 17), 2, 2), 52);

  TgaFile mapped16 = trueColour(2, 2, 16, 0, Bytes(8));
  mapped16.header.imageType = 1;
  mapped16.header.colourMapType = 1;
  mapped16.header.colourMapLength = 1;
  mapped16.header.colourMapEntryBits = 24;
  mapped16.map = {0, 0, 0};
  EXPECT_EQ(decodeCode(mapped16.bytes(), 2, 2), 53);
  TgaFile noMap = trueColour(2, 2, 8, 0, Bytes(4));
  noMap.header.imageType = 1;
  EXPECT_EQ(decodeCode(noMap.bytes(), 2, 2), 53);
  const Bytes withoutMap = readFile(testdata("tga/gdk-pixbuf/colormap-image-without-colormap.tga"));
  EXPECT_EQ(decodeCode(withoutMap, 48, 48), 53);

  TgaFile typeZero = trueColour(2, 2, 24, 0, kFourPixels);
  typeZero.header.imageType = 0;
  EXPECT_EQ(decodeCode(typeZero.bytes(), 2, 2), 54);
  EXPECT_EQ(decodeCode(trueColour(2, 2, 12, 0, kFourPixels).bytes(), 2, 2), 54);

  uint8_t work[12];
  EXPECT_EQ(decodeCode(good, 2, 2, work, 11), 55);
  EXPECT_EQ(decodeCode(good, 2, 2, work, 12), 0);
  EXPECT_EQ(std::vector<uint8_t>(work, work + 12), (Bytes{7, 8, 9, 10, 11, 12, 1, 2, 3, 4, 5, 6}));

  EXPECT_EQ(decodeCode(Bytes(good.begin(), good.end() - 1), 2, 2), 57);
  const Bytes rle = trueColour(3, 2, 24, 0, {0x83, 10, 20, 30, 0x01, 1, 2, 3, 4, 5}, true).bytes();
  EXPECT_EQ(decodeCode(rle, 3, 2), 57);
  const Bytes cut = readFile(testdata("tga/pillow/cross_scan_line_truncated.tga"));
  EXPECT_EQ(decodeCode(cut, 64, 64), 57);
}

TEST(TgaDecode, DamagedFilesAreRefused) {
  for (const char* name : {"gdk-pixbuf/DoS.tga", "gdk-pixbuf/overflow.tga", "gdk-pixbuf/empty-file.tga",
                           "gdk-pixbuf/colormap-image-without-colormap.tga", "gdk-pixbuf/androstanRezeptor.tga",
                           "pillow/cross_scan_line_truncated.tga"}) {
    SCOPED_TRACE(name);
    EXPECT_FALSE(decodeFile(testdata(std::string("tga/") + name)));
  }
  // Sizes far beyond what the data could hold are refused before anything is allocated.
  TgaFile huge = trueColour(0xFFFF, 0xFFFF, 32, 0, Bytes(64, 0x80), true);
  int32_t w = 1, h = 1, depth = 0;
  const Bytes bytes = huge.bytes();
  TgaProbe(bytes.data(), int32_t(bytes.size()), &w, &h, &depth);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
}

TEST(TgaDecode, EveryTruncationIsRefusedWithoutReadingPastTheEnd) {
  for (const char* name : {"gdk-pixbuf/gtk-logo-24bpp-bottom-left.tga", "gdk-pixbuf/gtk-logo-rle-32bpp-top-right.tga",
                           "gdk-pixbuf/gtk-logo-cmap-rle-8bpp-bottom-left.tga", "pillow/200x32_la_tl_rle.tga",
                           "pillow/p_16.tga"}) {
    SCOPED_TRACE(name);
    const Bytes full = readFile(testdata(std::string("tga/") + name));
    const ImagePtr whole = decodeBytes(full);
    ASSERT_TRUE(whole);
    for (std::size_t n = 0; n < full.size(); n += (n < 64 ? 1 : 7)) {
      const ImagePtr part = decodeBytes(Bytes(full.begin(), full.begin() + n));
      if (!part) continue;
      // Only prefixes that still hold every pixel (trailing bytes cut) may decode.
      EXPECT_EQ(pixelsOf(*part), pixelsOf(*whole)) << n;
    }
    const ImagePtr half = decodeBytes(Bytes(full.begin(), full.begin() + full.size() / 2));
    EXPECT_FALSE(half);
  }
  // Raw pixels: the last pixel byte is the boundary.
  const Bytes raw = readFile(testdata("tga/gdk-pixbuf/gtk-logo-24bpp-bottom-left.tga"));
  const std::size_t end = 18 + 48 * 48 * 3;
  ASSERT_GE(raw.size(), end);
  EXPECT_FALSE(decodeBytes(Bytes(raw.begin(), raw.begin() + end - 1)));
  EXPECT_TRUE(decodeBytes(Bytes(raw.begin(), raw.begin() + end)));
}

}  // namespace
