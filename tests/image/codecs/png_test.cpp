// PNG reader and writer: PngSuite against libpng's own decode, interlaced twins, corrupt
// files, layer text chunks, the name rule, round trips and the grey alpha plane.
#include <gtest/gtest.h>
#include <png.h>

#include <csetjmp>
#include <cstring>
#include <dirent.h>
#include <algorithm>
#include <utility>

#include "codec_test_util.h"
#include "image/codecs/grey_level.h"
#include "image/codecs/png.h"

using namespace limg;

namespace {

std::vector<std::string> listPngs(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(folder.c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      if (name.size() > 4 && name.compare(name.size() - 4, 4, ".png") == 0) names.push_back(name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// libpng's own decode to 8-bit B, G, R, A through its generic expansion, independent of
// the codec's transform list.
struct Reference {
  bool ok = false;
  uint32_t width = 0, height = 0;
  bool alpha = false;
  Bytes bgra;
};

struct MemoryReader {
  const Bytes* data;
  size_t position;
};

void readMemory(png_structp png, png_bytep out, png_size_t length) {
  auto* reader = static_cast<MemoryReader*>(png_get_io_ptr(png));
  if (length > reader->data->size() - reader->position) png_error(png, "eof");
  std::memcpy(out, reader->data->data() + reader->position, length);
  reader->position += length;
}

void quietWarning(png_structp, png_const_charp) {}
void quietError(png_structp png, png_const_charp) { png_longjmp(png, 1); }

bool referenceRows(png_structp png, png_infop info, Reference* ref, std::vector<png_bytep>* rows) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  const int colourType = png_get_color_type(png, info);
  ref->alpha = (colourType & PNG_COLOR_MASK_ALPHA) || png_get_valid(png, info, PNG_INFO_tRNS);
  png_set_expand(png);
  png_set_strip_16(png);
  png_set_gray_to_rgb(png);
  png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
  png_set_bgr(png);
  png_set_interlace_handling(png);
  png_read_update_info(png, info);
  ref->width = png_get_image_width(png, info);
  ref->height = png_get_image_height(png, info);
  if (png_get_rowbytes(png, info) != ref->width * 4) return false;
  ref->bgra.assign(size_t(ref->width) * ref->height * 4, 0);
  rows->resize(ref->height);
  for (uint32_t y = 0; y < ref->height; ++y) (*rows)[y] = ref->bgra.data() + size_t(y) * ref->width * 4;
  png_read_image(png, rows->data());
  png_read_end(png, nullptr);
  return true;
}

Reference referenceDecode(const Bytes& data) {
  Reference ref;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, quietError, quietWarning);
  png_infop info = png_create_info_struct(png);
  MemoryReader reader{&data, 0};
  png_set_read_fn(png, &reader, readMemory);
  std::vector<png_bytep> rows;
  ref.ok = referenceRows(png, info, &ref, &rows);
  png_destroy_read_struct(&png, &info, nullptr);
  return ref;
}

ImagePtr decode(const Bytes& data) { return ImagePtr(PngLoadFromMemory(data.data(), int32_t(data.size()))); }

void expectSameAsReference(const std::string& path) {
  SCOPED_TRACE(path);
  const Bytes data = readFile(path);
  ASSERT_FALSE(data.empty());
  const Reference ref = referenceDecode(data);
  ASSERT_TRUE(ref.ok);
  ImagePtr image = decode(data);
  ASSERT_TRUE(image);
  ASSERT_EQ(uint32_t(image->width), ref.width);
  ASSERT_EQ(uint32_t(image->height), ref.height);
  EXPECT_EQ(image->bitDepth, ref.alpha ? 32 : 24);
  EXPECT_EQ(std::memcmp(image->pixels, ref.bgra.data(), ref.bgra.size()), 0);
}

// PNG files written by libpng in the test, with chosen text chunks before and after IDAT.
struct TextChunk {
  std::string key, text;
};

void pngToBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

png_text makeText(const TextChunk& chunk) {
  png_text text{};
  text.compression = PNG_TEXT_COMPRESSION_NONE;
  text.key = const_cast<char*>(chunk.key.c_str());
  text.text = const_cast<char*>(chunk.text.c_str());
  text.text_length = chunk.text.size();
  return text;
}

bool writeRows(png_structp png, png_infop info, const std::vector<png_text>& before,
               const std::vector<png_text>& after) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_IHDR(png, info, 2, 2, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (!before.empty()) png_set_text(png, info, before.data(), int(before.size()));
  png_write_info(png, info);
  uint8_t row[6] = {10, 20, 30, 40, 50, 60};
  png_write_row(png, row);
  png_write_row(png, row);
  if (!after.empty()) png_set_text(png, info, after.data(), int(after.size()));
  png_write_end(png, info);
  return true;
}

Bytes pngWithTexts(const std::vector<TextChunk>& before, const std::vector<TextChunk>& after = {}) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, pngToBytes, nullptr);
  std::vector<png_text> b, a;
  for (const auto& c : before) b.push_back(makeText(c));
  for (const auto& c : after) a.push_back(makeText(c));
  const bool ok = writeRows(png, info, b, a);
  png_destroy_write_struct(&png, &info);
  return ok ? out : Bytes();
}

// The chunk types of a PNG file in order, with the texts of its tEXt chunks.
std::vector<std::pair<std::string, std::string>> chunks(const Bytes& file) {
  std::vector<std::pair<std::string, std::string>> list;
  size_t at = 8;
  while (at + 12 <= file.size()) {
    const uint32_t length = uint32_t(file[at]) << 24 | file[at + 1] << 16 | file[at + 2] << 8 | file[at + 3];
    const std::string type(reinterpret_cast<const char*>(&file[at + 4]), 4);
    std::string body;
    if (type == "tEXt") body.assign(reinterpret_cast<const char*>(&file[at + 8]), length);
    list.emplace_back(type, body);
    at += 12 + size_t(length);
  }
  return list;
}

struct Encoded {
  int ok = 0;
  Bytes bytes;
};

Encoded encode(Image* image, int32_t bitDepth, int32_t level = 9, int32_t interlace = 0) {
  uint8_t* buffer = nullptr;
  int32_t size = 0;
  Encoded e;
  e.ok = PngEncode(image, bitDepth, level, interlace, &buffer, &size);
  if (e.ok) {
    e.bytes.assign(buffer, buffer + size);
    alignedFree(buffer);
  }
  return e;
}

}  // namespace

TEST(PngSuite, EveryValidFileMatchesLibpngsOwnDecode) {
  const std::vector<std::string> folders = {
      "png/pngsuite", "png/pngsuite/interlaced", "png/pngsuite-full/primary", "png/pngsuite-full/16bit",
      "png/pngsuite-full/unused", "png/testpngs"};
  int checked = 0;
  for (const auto& folder : folders)
    for (const auto& name : listPngs(testdata(folder))) {
      expectSameAsReference(testdata(folder + "/" + name));
      ++checked;
    }
  EXPECT_GT(checked, 300);
}

TEST(PngSuite, InterlacedFilesEqualTheirTwins) {
  const std::vector<std::pair<std::string, std::string>> pairs = {
      {"png/pngsuite/ibasn0g08.png", "png/pngsuite/basn0g08.png"},
      {"png/pngsuite/ibasn2c16.png", "png/pngsuite/basn2c16.png"},
      {"png/pngsuite/ibasn3p08.png", "png/pngsuite/basn3p08.png"},
      {"png/pngsuite/ibasn4a16.png", "png/pngsuite/basn4a16.png"},
      {"png/pngsuite/ibasn6a08.png", "png/pngsuite/basn6a08.png"},
      {"png/pngsuite/iftbbn3p08.png", "png/pngsuite/ftbbn3p08.png"},
      {"png/pngsuite/interlaced/ibasn0g01.png", "png/pngsuite/basn0g01.png"},
      {"png/pngsuite/interlaced/ibasn3p02.png", "png/pngsuite/basn3p02.png"},
      {"png/pngsuite-full/16bit/basi6a16.png", "png/pngsuite-full/16bit/basn6a16.png"},
  };
  int checked = 0;
  for (const auto& [interlaced, plain] : pairs) {
    SCOPED_TRACE(interlaced);
    ImagePtr a = decode(readFile(testdata(interlaced))), b = decode(readFile(testdata(plain)));
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->width, b->width);
    ASSERT_EQ(a->height, b->height);
    EXPECT_EQ(a->bitDepth, b->bitDepth);
    EXPECT_EQ(std::memcmp(a->pixels, b->pixels, size_t(a->pixelCount) * 4), 0);
    ++checked;
  }
  // Every basi*/basn* and s*i*/s*n* pair of the full suite.
  const std::string primary = testdata("png/pngsuite-full/primary/");
  for (const auto& name : listPngs(primary)) {
    const size_t at = name.rfind('i', 4);
    if (at == std::string::npos || at < 3) continue;
    std::string twin = name;
    twin[at] = 'n';
    const Bytes twinData = readFile(primary + twin);
    if (twinData.empty()) continue;
    SCOPED_TRACE(name);
    ImagePtr a = decode(readFile(primary + name)), b = decode(twinData);
    ASSERT_TRUE(a && b);
    ASSERT_EQ(a->pixelCount, b->pixelCount);
    EXPECT_EQ(std::memcmp(a->pixels, b->pixels, size_t(a->pixelCount) * 4), 0);
    ++checked;
  }
  EXPECT_GT(checked, 30);
}

TEST(PngSuite, CorruptFilesAreRefused) {
  std::vector<std::string> files;
  for (const auto& name : listPngs(testdata("png/pngsuite-full/corrupt"))) files.push_back("png/pngsuite-full/corrupt/" + name);
  for (const char* name : {"invalid-crc32.png", "invalid-noend.png", "invalid-trunc.png", "invalid-zlib.png"})
    files.push_back(std::string("png/go-png-testdata/") + name);
  for (const char* name : {"invalid.1.png", "invalid.2.png", "invalid.3.png", "invalid.4.png", "bug793470-crasher.png"})
    files.push_back(std::string("png/gdk-pixbuf/") + name);
  EXPECT_EQ(files.size(), 23u);
  for (const auto& file : files) {
    SCOPED_TRACE(file);
    const Bytes data = readFile(testdata(file));
    ASSERT_FALSE(data.empty());
    EXPECT_FALSE(decode(data));
  }
}

TEST(PngSuite, CrashersAndTruncationsEndCleanly) {
  // Malformed ancillary data may be skipped by libpng; what decodes must be whole.
  for (const auto& name : listPngs(testdata("png/testpngs/crashers"))) {
    SCOPED_TRACE(name);
    ImagePtr image = decode(readFile(testdata("png/testpngs/crashers/" + name)));
    // Chunks claiming more bytes than the file has are refused before libpng sizes a
    // buffer by them.
    if (name.compare(0, 5, "huge_") == 0) {
      EXPECT_FALSE(image);
    }
    if (image) {
      EXPECT_EQ(image->pixelCount, image->width * image->height);
    }
  }
  const Bytes whole = readFile(testdata("png/pngsuite/basn6a08.png"));
  for (size_t cut : {size_t(8), size_t(26), size_t(33), size_t(60), whole.size() / 2, whole.size() - 12, whole.size() - 1}) {
    Bytes part(whole.begin(), whole.begin() + cut);
    EXPECT_FALSE(decode(part)) << cut;
  }
}

TEST(PngDecode, ColourTypesAndDepths) {
  // Palette with tRNS: alpha from the palette; without: opaque, depth 24, B, G, R order.
  ImagePtr trns = decode(readFile(testdata("png/pngsuite-full/primary/tbbn3p08.png")));
  ASSERT_TRUE(trns);
  EXPECT_EQ(trns->bitDepth, 32);
  bool someTransparent = false;
  for (int32_t i = 0; i < trns->pixelCount; ++i) someTransparent |= channel(trns.get(), i, 3) == 0;
  EXPECT_TRUE(someTransparent);

  ImagePtr palette = decode(readFile(testdata("png/pngsuite/basn3p08.png")));
  ImagePtr rgb = decode(readFile(testdata("png/pngsuite/basn2c08.png")));
  ASSERT_TRUE(palette && rgb);
  EXPECT_EQ(palette->bitDepth, 24);
  EXPECT_EQ(rgb->bitDepth, 24);
  for (int32_t i = 0; i < palette->pixelCount; ++i) ASSERT_EQ(channel(palette.get(), i, 3), 255);
  // Blue first in memory: byte 0 of each pixel is the file's third sample, as libpng
  // reads the rows without any transform.
  const Bytes rgbFile = readFile(testdata("png/pngsuite/basn2c08.png"));
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  MemoryReader reader{&rgbFile, 0};
  png_set_read_fn(png, &reader, readMemory);
  png_read_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
  png_bytepp rows = png_get_rows(png, info);
  for (int32_t i = 0; i < rgb->pixelCount; ++i) {
    const png_bytep sample = rows[i / rgb->width] + 3 * (i % rgb->width);
    ASSERT_EQ(channel(rgb.get(), i, 0), sample[2]) << i;
    ASSERT_EQ(channel(rgb.get(), i, 1), sample[1]) << i;
    ASSERT_EQ(channel(rgb.get(), i, 2), sample[0]) << i;
  }
  png_destroy_read_struct(&png, &info, nullptr);

  ImagePtr grey1 = decode(readFile(testdata("png/pngsuite/basn0g01.png")));
  ASSERT_TRUE(grey1);
  EXPECT_EQ(grey1->bitDepth, 24);
  for (int32_t i = 0; i < grey1->pixelCount; ++i) {
    const uint32_t p = grey1->pixels[i];
    ASSERT_TRUE(p == 0xFF000000u || p == 0xFFFFFFFFu) << i;
  }

  ImagePtr rgba16 = decode(readFile(testdata("png/pngsuite/basn6a16.png")));
  ASSERT_TRUE(rgba16);
  EXPECT_EQ(rgba16->bitDepth, 32);
}

TEST(PngDecode, ProbeNeedsTheHeaderChunk) {
  int32_t w = -1, h = -1, d = -1;
  const Bytes data = readFile(testdata("png/pngsuite/basn4a08.png"));
  PngProbe(data.data(), int32_t(data.size()), &w, &h, &d);
  EXPECT_EQ(w, 32);
  EXPECT_EQ(h, 32);
  EXPECT_EQ(d, 32);
  Bytes broken = data;
  broken[12] = 'i';
  PngProbe(broken.data(), int32_t(broken.size()), &w, &h, &d);
  EXPECT_EQ(w, 0);
  EXPECT_FALSE(decode(broken));
  PngProbe(data.data(), 20, &w, &h, &d);
  EXPECT_EQ(w, 0);
}

TEST(PngLayerTexts, ValuesParsedAsTheWriterFormatsThem) {
  ImagePtr image = decode(pngWithTexts(
      {{"Name", "layer one"}, {"Left", "FFFFFFFF"}, {"Top", "  1a"}, {"Mode", "-3"}}));
  ASSERT_TRUE(image);
  EXPECT_STREQ(image->name, "layer one");
  EXPECT_EQ(image->left, -1);
  EXPECT_EQ(image->top, 26);
  EXPECT_EQ(image->mode, -3);

  image = decode(pngWithTexts({{"Left", "10"}, {"Top", "1G"}, {"Mode", "+7"}, {"left", "5"}, {"NAME", "x"}}));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->left, 16);
  EXPECT_EQ(image->top, 32);  // no stop at a non-digit: 0x10 + 16
  EXPECT_EQ(image->mode, 7);
  EXPECT_STREQ(image->name, "");

  // The last of a repeated key wins; texts after the image data are not looked at.
  image = decode(pngWithTexts({{"Mode", "1"}, {"Mode", "2"}}, {{"Name", "late"}, {"Mode", "9"}}));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->mode, 2);
  EXPECT_STREQ(image->name, "");
}

TEST(PngLayerTexts, OverlongNameIsCutToTheRecord) {
  const std::string longName(300, 'n');
  ImagePtr image = decode(pngWithTexts({{"Name", longName}}));
  ASSERT_TRUE(image);
  EXPECT_EQ(std::strlen(image->name), 255u);
  EXPECT_EQ(std::string(image->name), longName.substr(0, 255));
}

TEST(PngEncode, TextChunksOrderAndNameRule) {
  ImagePtr image = makePicture(5, 4);
  std::strcpy(image->name, "face.bmp");
  image->left = -1;
  image->top = 16;
  image->mode = 3;
  const Encoded e = encode(image.get(), 32);
  ASSERT_TRUE(e.ok);
  EXPECT_STREQ(image->name, "face.png");  // the caller's record changes too
  std::vector<std::string> texts;
  std::vector<std::string> order;
  for (const auto& [type, body] : chunks(e.bytes)) {
    order.push_back(type);
    if (type == "tEXt") texts.push_back(body);
  }
  const std::vector<std::string> expected = {std::string("Name\0face.png", 13), std::string("Left\0FFFFFFFF", 13),
                                             std::string("Top\0" "10", 6), std::string("Mode\0" "3", 6)};
  EXPECT_EQ(texts, expected);
  ASSERT_GE(order.size(), 6u);
  EXPECT_EQ(order[0], "IHDR");
  const auto idat = std::find(order.begin(), order.end(), "IDAT");
  EXPECT_EQ(std::count(order.begin(), idat, "tEXt"), 4);

  ImagePtr back = decode(e.bytes);
  ASSERT_TRUE(back);
  EXPECT_STREQ(back->name, "face.png");
  EXPECT_EQ(back->left, -1);
  EXPECT_EQ(back->top, 16);
  EXPECT_EQ(back->mode, 3);

  for (const char* name : {"face", "a.b", "x.y.tga"}) {
    std::strcpy(image->name, name);
    ASSERT_TRUE(encode(image.get(), 32).ok);
    const std::string want = std::string(name) == "x.y.tga" ? "x.y.png" : name;
    EXPECT_EQ(std::string(image->name), want);
  }
}

TEST(PngEncode, NoTextsWithoutNameOrMode) {
  ImagePtr image = makePicture(3, 3);
  image->left = 5;
  image->top = 7;
  const Encoded e = encode(image.get(), 32);
  ASSERT_TRUE(e.ok);
  for (const auto& chunk : chunks(e.bytes)) EXPECT_NE(chunk.first, "tEXt");
  ImagePtr back = decode(e.bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->left, 0);
  EXPECT_EQ(back->top, 0);

  image->mode = 4;  // a mode alone is enough for the texts
  const Encoded withMode = encode(image.get(), 32);
  back = decode(withMode.bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->left, 5);
  EXPECT_EQ(back->top, 7);
  EXPECT_EQ(back->mode, 4);
}

TEST(PngEncode, RoundTripsAtEveryDepthAndInterlace) {
  ImagePtr image = makePicture(37, 23);
  std::strcpy(image->name, "layer");
  image->mode = 12;
  for (int interlace : {0, 1}) {
    SCOPED_TRACE(interlace);
    const Encoded full = encode(image.get(), 32, 9, interlace);
    ImagePtr back = decode(full.bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->bitDepth, 32);
    EXPECT_EQ(std::memcmp(back->pixels, image->pixels, size_t(image->pixelCount) * 4), 0);
    EXPECT_EQ(back->mode, 12);

    back = decode(encode(image.get(), 24, 6, interlace).bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->bitDepth, 24);
    for (int32_t i = 0; i < image->pixelCount; ++i)
      ASSERT_EQ(back->pixels[i], image->pixels[i] | 0xFF000000u) << i;

    back = decode(encode(image.get(), 8, 1, interlace).bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->bitDepth, 24);
    for (int32_t i = 0; i < image->pixelCount; ++i)
      ASSERT_EQ(back->pixels[i], 0xFF000000u | greyLevel(image->pixels[i]) * 0x010101u) << i;
  }
  // Depth 0 takes the record's own.
  image->bitDepth = 24;
  ImagePtr back = decode(encode(image.get(), 0).bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->bitDepth, 24);
  EXPECT_FALSE(encode(image.get(), 16).ok);
}

TEST(PngEncode, IncompressibleOutputGrowsPastTheFirstBlock) {
  // Level 0 stores the rows with per-row filter bytes and block headers: more than
  // width x height x 4 + 1024 bytes, so the output has to move to a larger block.
  ImagePtr image(ImageCreate(64, 2000, 32));
  uint32_t seed = 1;
  for (int32_t i = 0; i < image->pixelCount; ++i) image->pixels[i] = seed = seed * 1664525u + 1013904223u;
  const Encoded e = encode(image.get(), 32, 0);
  ASSERT_TRUE(e.ok);
  EXPECT_GT(e.bytes.size(), size_t(64 * 2000 * 4 + 1024));
  ImagePtr back = decode(e.bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(std::memcmp(back->pixels, image->pixels, size_t(image->pixelCount) * 4), 0);
}

TEST(PngAlphaPlane, EncodesAndDecodesTheAlphaBytes) {
  ImagePtr image = makePicture(40, 30);
  std::vector<uint8_t> room(4096);
  int32_t size = int32_t(room.size());
  ASSERT_EQ(PngEncodeAlphaPlane(image.get(), 9, 0, room.data(), &size), 1);
  ASSERT_GT(size, 0);
  int32_t w = 0, h = 0;
  AlignedBytes plane(PngDecodeGreyPlane(room.data(), size, &w, &h));
  ASSERT_TRUE(plane);
  EXPECT_EQ(w, 40);
  EXPECT_EQ(h, 30);
  for (int32_t i = 0; i < image->pixelCount; ++i) ASSERT_EQ(plane.get()[i], channel(image.get(), i, 3));
  // Other sizes than the one asked for, and other kinds of PNG, are refused.
  EXPECT_FALSE(AlignedBytes(PngDecodeGreyPlane(room.data(), size, nullptr, nullptr, 41, 30)));
  const Encoded colour = encode(image.get(), 32);
  EXPECT_FALSE(AlignedBytes(PngDecodeGreyPlane(colour.bytes.data(), int32_t(colour.bytes.size()))));
  // A buffer too small ends in libpng's error, caught: 0, and nothing written past it.
  std::vector<uint8_t> small(60, 0xEE);
  int32_t smallSize = 50;
  EXPECT_EQ(PngEncodeAlphaPlane(image.get(), 9, 0, small.data(), &smallSize), 0);
  for (size_t i = 50; i < small.size(); ++i) EXPECT_EQ(small[i], 0xEE);
}

TEST(PngSave, WritesTheFileAndReportsFailures) {
  ImagePtr image = makePicture(8, 8);
  const std::string path = std::string(PROJECT_SOURCE_DIR) + "/build/png_save_test.png";
  ASSERT_EQ(PngSave(path.c_str(), image.get(), 0, 9, 0), 1);
  ImagePtr back = decode(readFile(path));
  std::remove(path.c_str());
  ASSERT_TRUE(back);
  EXPECT_EQ(std::memcmp(back->pixels, image->pixels, size_t(image->pixelCount) * 4), 0);
  EXPECT_EQ(PngSave("/nonexistent-folder/x.png", image.get(), 0, 9, 0), 0);
  EXPECT_EQ(PngSave(path.c_str(), nullptr, 0, 9, 0), 0);
}

TEST(GreyLevel, StandardLumaWeights) {
  EXPECT_EQ(greyLevel(0xFF000000u), 0);
  EXPECT_EQ(greyLevel(0x00FFFFFFu), 255);
  EXPECT_EQ(greyLevel(0x00FF0000u), 76);   // 0.299 * 255 + 0.5 = 76.7
  EXPECT_EQ(greyLevel(0x0000FF00u), 150);  // 0.587 * 255 + 0.5 = 150.2
  EXPECT_EQ(greyLevel(0x000000FFu), 29);   // 0.114 * 255 + 0.5 = 29.57
  EXPECT_EQ(greyLevel(0x00808080u), 128);
}
