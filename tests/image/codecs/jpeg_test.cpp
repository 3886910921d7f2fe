// JPEG reader and writer: the test images against libjpeg-turbo's own decode, broken
// files refused without ending the process, the "pos" segment, the three alpha codings
// (appended and embedded), sampling flags and the name rule.
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <zlib.h>

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <dirent.h>

#include "codec_test_util.h"
#include "image/codecs/grey_level.h"
#include "image/codecs/jpeg.h"
#include "image/codecs/jpeg_internal.h"
#include "image/codecs/png.h"

using namespace limg;

namespace {

std::vector<std::string> listJpegs(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = opendir(testdata(folder).c_str())) {
    while (dirent* entry = readdir(dir)) {
      const std::string name = entry->d_name;
      const size_t dot = name.rfind('.');
      if (dot != std::string::npos && (name.substr(dot) == ".jpg" || name.substr(dot) == ".jpeg"))
        names.push_back(folder + "/" + name);
    }
    closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// libjpeg-turbo's own decode of a file with the float DCT, as B, G, R, X (grey as one byte).
struct Reference {
  bool ok = false;
  uint32_t width = 0, height = 0;
  int components = 0;
  J_COLOR_SPACE space = JCS_UNKNOWN;
  Bytes pixels;
};

struct QuietError {
  jpeg_error_mgr pub;
  std::jmp_buf jump;
};
void quietExit(j_common_ptr cinfo) { std::longjmp(reinterpret_cast<QuietError*>(cinfo->err)->jump, 1); }
void quietMessage(j_common_ptr) {}

bool referenceScanlines(jpeg_decompress_struct* cinfo, QuietError* error, const Bytes& data, Reference* ref) {
  if (setjmp(error->jump)) return false;
  jpeg_create_decompress(cinfo);
  jpeg_mem_src(cinfo, data.data(), static_cast<unsigned long>(data.size()));
  jpeg_read_header(cinfo, TRUE);
  cinfo->dct_method = JDCT_FLOAT;
  ref->space = cinfo->jpeg_color_space;
  if (ref->space != JCS_GRAYSCALE && ref->space != JCS_CMYK && ref->space != JCS_YCCK)
    cinfo->out_color_space = JCS_EXT_BGRX;
  jpeg_start_decompress(cinfo);
  ref->width = cinfo->output_width;
  ref->height = cinfo->output_height;
  ref->components = cinfo->output_components;
  const size_t stride = size_t(ref->width) * ref->components;
  ref->pixels.assign(stride * ref->height, 0);
  while (cinfo->output_scanline < cinfo->output_height) {
    JSAMPROW row = ref->pixels.data() + stride * cinfo->output_scanline;
    jpeg_read_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_decompress(cinfo);
  return true;
}

Reference referenceDecode(const Bytes& data) {
  Reference ref;
  jpeg_decompress_struct cinfo{};
  QuietError error{};
  cinfo.err = jpeg_std_error(&error.pub);
  error.pub.error_exit = quietExit;
  error.pub.output_message = quietMessage;
  ref.ok = referenceScanlines(&cinfo, &error, data, &ref);
  jpeg_destroy_decompress(&cinfo);
  return ref;
}

ImagePtr decode(const Bytes& data) { return ImagePtr(JpegLoadFromMemory(data.data(), int32_t(data.size()))); }

struct Encoded {
  int ok = 0;
  Bytes bytes;
};

Encoded encodeWith(Image* image, int32_t bitDepth, int32_t quality, int32_t flags,
                   JpegAlphaCoding coding = JpegAlphaCoding::Smallest) {
  uint8_t* buffer = nullptr;
  uint32_t size = 0;
  Encoded e;
  e.ok = jpegEncodeWith(image, bitDepth, quality, flags, &buffer, &size, coding);
  if (e.ok) {
    e.bytes.assign(buffer, buffer + size);
    alignedFree(buffer);
  }
  return e;
}

// Largest difference of one channel between two images' colour bytes.
int maxColourDifference(const Image* a, const Image* b) {
  int worst = 0;
  for (int32_t i = 0; i < a->pixelCount; ++i)
    for (int c = 0; c < 3; ++c) worst = std::max(worst, std::abs(channel(a, i, c) - channel(b, i, c)));
  return worst;
}

double meanColourDifference(const Image* a, const Image* b) {
  double sum = 0;
  for (int32_t i = 0; i < a->pixelCount; ++i)
    for (int c = 0; c < 3; ++c) sum += std::abs(channel(a, i, c) - channel(b, i, c));
  return sum / (3.0 * a->pixelCount);
}

struct AlphaSegment {
  bool found = false;
  uint8_t type = 0;
  uint32_t value = 0;
};

AlphaSegment alphaSegment(const Bytes& file) {
  AlphaSegment s;
  const int32_t at = jpegFindMarker(file.data(), int32_t(file.size()), 0xE2, 0xE2);
  if (at < 0 || std::memcmp(&file[at + 4], "ALP", 3) != 0) return s;
  s.found = true;
  s.type = file[at + 7];
  s.value = readLe32(&file[at + 8]);
  return s;
}

// A 24-bit JPEG of the picture with the given segments inserted right after SOI.
Bytes withSegmentsAfterSoi(const Image* picture, const std::vector<Bytes>& segments) {
  ImagePtr copy(ImageCreate(picture->width, picture->height, 24));
  std::memcpy(copy->pixels, picture->pixels, size_t(picture->pixelCount) * 4);
  Encoded base = encodeWith(copy.get(), 24, 90, 0);
  Bytes file(base.bytes.begin(), base.bytes.begin() + 2);
  for (const auto& s : segments) file.insert(file.end(), s.begin(), s.end());
  file.insert(file.end(), base.bytes.begin() + 2, base.bytes.end());
  return file;
}

Bytes segment(uint8_t marker, const Bytes& payload) {
  Bytes s(payload.size() + 4);
  s[0] = 0xFF;
  s[1] = marker;
  s[2] = uint8_t((payload.size() + 2) >> 8);
  s[3] = uint8_t(payload.size() + 2);
  std::copy(payload.begin(), payload.end(), s.begin() + 4);
  return s;
}

Bytes alpHeader(uint8_t type, uint32_t value) {
  Bytes h = {'A', 'L', 'P', type, 0, 0, 0, 0};
  writeLe32(&h[4], value);
  return h;
}

Bytes alphaBytes(const Image* image) {
  Bytes a(size_t(image->pixelCount));
  for (int32_t i = 0; i < image->pixelCount; ++i) a[i] = channel(image, i, 3);
  return a;
}

void expectAlpha(const Image* decoded, const Image* source, int tolerance) {
  ASSERT_EQ(decoded->bitDepth, 32);
  int worst = 0;
  for (int32_t i = 0; i < source->pixelCount; ++i)
    worst = std::max(worst, std::abs(channel(decoded, i, 3) - channel(source, i, 3)));
  EXPECT_LE(worst, tolerance);
}

// Sampling factors of a file's components.
std::vector<std::pair<int, int>> sampling(const Bytes& file) {
  jpeg_decompress_struct cinfo{};
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&cinfo, TRUE);
  std::vector<std::pair<int, int>> factors;
  for (int c = 0; c < cinfo.num_components; ++c)
    factors.emplace_back(cinfo.comp_info[c].h_samp_factor, cinfo.comp_info[c].v_samp_factor);
  factors.emplace_back(cinfo.progressive_mode, 0);
  jpeg_destroy_decompress(&cinfo);
  return factors;
}

}  // namespace

TEST(JpegDecode, TestImagesMatchLibjpegTurbosOwnDecode) {
  // What libjpeg itself refuses is refused (12-bit samples, a nine-component crasher, a
  // scan using an undefined table); an arithmetic-coded frame (SOF9) is one the probe
  // doesn't take.
  const std::string arithmetic = "jpeg/libjpeg-turbo/testimgari.jpg";
  int compared = 0, refused = 0;
  for (const char* folder : {"jpeg/libjpeg-turbo", "jpeg/go-image-testdata", "jpeg/pillow", "jpeg/gdk-pixbuf"})
    for (const auto& file : listJpegs(folder)) {
      SCOPED_TRACE(file);
      const Bytes data = readFile(testdata(file));
      ImagePtr image = decode(data);
      const Reference ref = referenceDecode(data);
      if (!ref.ok || file == arithmetic) {
        EXPECT_FALSE(image);
        ++refused;
        continue;
      }
      ASSERT_TRUE(image);
      ASSERT_EQ(uint32_t(image->width), ref.width);
      ASSERT_EQ(uint32_t(image->height), ref.height);
      if (ref.space == JCS_CMYK || ref.space == JCS_YCCK) continue;  // checked against a reference picture below
      int worst = 0;
      for (int32_t i = 0; i < image->pixelCount; ++i) {
        ASSERT_EQ(channel(image.get(), i, 3), 255);
        for (int c = 0; c < 3; ++c) {
          const int want = ref.components == 1 ? ref.pixels[size_t(i)] : ref.pixels[4 * size_t(i) + c];
          worst = std::max(worst, std::abs(channel(image.get(), i, c) - want));
        }
      }
      EXPECT_LE(worst, 1);
      EXPECT_EQ(image->bitDepth, 24);
      EXPECT_STREQ(image->name, "");
      EXPECT_EQ(image->left | image->top | image->mode, 0);
      ++compared;
    }
  EXPECT_GE(compared, 45);
  EXPECT_EQ(refused, 4);
}

TEST(JpegDecode, CmykFilesBecomeColour) {
  // Adobe CMYK (stored inverted) against the reference picture made by another decoder.
  ImagePtr cmyk = decode(readFile(testdata("jpeg/go-image-testdata/video-001.cmyk.jpeg")));
  const Bytes refPng = readFile(testdata("jpeg/go-image-testdata/video-001.cmyk.png"));
  ImagePtr ref(PngLoadFromMemory(refPng.data(), int32_t(refPng.size())));
  ASSERT_TRUE(cmyk && ref);
  ASSERT_EQ(cmyk->pixelCount, ref->pixelCount);
  EXPECT_LT(meanColourDifference(cmyk.get(), ref.get()), 2.0);
  EXPECT_LE(maxColourDifference(cmyk.get(), ref.get()), 48);
  // The same picture stored as CMYK and as RGB.
  ImagePtr sampleCmyk = decode(readFile(testdata("jpeg/pillow/pil_sample_cmyk.jpg")));
  ImagePtr sampleRgb = decode(readFile(testdata("jpeg/pillow/pil_sample_rgb.jpg")));
  ASSERT_TRUE(sampleCmyk && sampleRgb);
  ASSERT_EQ(sampleCmyk->pixelCount, sampleRgb->pixelCount);
  EXPECT_LT(meanColourDifference(sampleCmyk.get(), sampleRgb.get()), 8.0);
}

TEST(JpegDecode, BrokenFilesAreRefusedAndTheProcessGoesOn) {
  const Bytes whole = readFile(testdata("jpeg/libjpeg-turbo/testorig.jpg"));
  ASSERT_TRUE(decode(whole));
  // Cut inside the headers: libjpeg reports an error; the recovery point turns it into null.
  const int32_t sos = jpegFindMarker(whole.data(), int32_t(whole.size()), 0xDA, 0xDA);
  ASSERT_GT(sos, 0);
  for (int32_t cut : {3, 4, 20, 100, 200, sos, sos + 6}) EXPECT_FALSE(decode(Bytes(whole.begin(), whole.begin() + cut))) << cut;
  // A frame header with an impossible component count, and a bad Huffman table.
  const int32_t sof = jpegFindMarker(whole.data(), int32_t(whole.size()), 0xC0, 0xC3);
  Bytes badFrame = whole;
  badFrame[sof + 9] = 0;
  EXPECT_FALSE(decode(badFrame));
  const int32_t dht = jpegFindMarker(whole.data(), int32_t(whole.size()), 0xC4, 0xC4);
  Bytes badTable = whole;
  for (int i = 5; i < 21; ++i) badTable[dht + i] = 0xFF;
  EXPECT_FALSE(decode(badTable));
  // A frame whose size differs from the first frame header the probe finds.
  Bytes twoSizes = whole;
  twoSizes[sof + 8] ^= 1;
  const Bytes planted = {0xFF, 0xC0, 0x00, 0x11, 0x08, 0x00, 0x10, 0x00, 0x10};
  twoSizes.insert(twoSizes.begin() + 2, planted.begin(), planted.end());
  EXPECT_FALSE(decode(twoSizes));
  // Cut inside the entropy-coded data: libjpeg warns and fills the rest, as it always does.
  ImagePtr partial = decode(Bytes(whole.begin(), whole.begin() + whole.size() * 3 / 4));
  ASSERT_TRUE(partial);
  EXPECT_EQ(partial->width, 227);
  // Still running: a good file decodes as before.
  ASSERT_TRUE(decode(whole));
}

TEST(JpegDecode, ProbeAndMarkerWalkStayInsideTheData) {
  int32_t w = -1, h = -1;
  const Bytes whole = readFile(testdata("jpeg/pillow/hopper.jpg"));
  JpegProbe(whole.data(), int32_t(whole.size()), &w, &h);
  EXPECT_EQ(w, 128);
  EXPECT_EQ(h, 128);
  const int32_t sof = jpegFindMarker(whole.data(), int32_t(whole.size()), 0xC0, 0xC3);
  JpegProbe(whole.data(), sof + 8, &w, &h);
  EXPECT_EQ(w, 0);
  EXPECT_EQ(h, 0);
  // A segment length pointing far past the end ends the walk.
  const Bytes runaway = {0xFF, 0xD8, 0xFF, 0xE0, 0xFF, 0xFF, 0x00};
  EXPECT_EQ(jpegFindMarker(runaway.data(), int32_t(runaway.size()), 0xC0, 0xC3), -1);
  const Bytes lastByte = {0xFF, 0xD8, 0x00, 0xFF};
  EXPECT_EQ(jpegFindMarker(lastByte.data(), int32_t(lastByte.size()), 0xE2, 0xE2), -1);
  // Stray bytes, a segment whose last byte is 0xFF, fill bytes.
  const Bytes found = {0xFF, 0xD8, 0x12, 0xFF, 0xE1, 0x00, 0x04, 0xAA, 0xFF, 0xFF, 0xFF, 0xE2};
  EXPECT_EQ(jpegFindMarker(found.data(), int32_t(found.size()), 0xE2, 0xE2), 10);
  EXPECT_EQ(jpegFindMarker(found.data(), int32_t(found.size()), 0xE1, 0xE1), 3);
  EXPECT_FALSE(JpegLoadFromMemory(runaway.data(), int32_t(runaway.size())));
}

TEST(JpegEncode, LayerValuesAndAlphaRoundTripInEveryCoding) {
  const struct {
    JpegAlphaCoding coding;
    uint8_t type;
    Bytes magic;
    int tolerance;
  } cases[] = {{JpegAlphaCoding::Jpeg, 0x11, {0xFF, 0xD8}, 12},
               {JpegAlphaCoding::Zlib, 0x12, {0x78}, 0},
               {JpegAlphaCoding::Png, 0x13, {0x89, 'P', 'N', 'G'}, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(int(c.type));
    ImagePtr image = makePicture(64, 48);
    std::strcpy(image->name, "face.bmp");
    image->left = -5;
    image->top = 7;
    image->mode = 2;
    const Encoded e = encodeWith(image.get(), 32, 90, kJpegOptimizeHuffman, c.coding);
    ASSERT_TRUE(e.ok);
    EXPECT_STREQ(image->name, "face.jpg");
    const AlphaSegment alp = alphaSegment(e.bytes);
    ASSERT_TRUE(alp.found);
    EXPECT_EQ(alp.type, c.type);
    ASSERT_LT(alp.value, e.bytes.size());
    // The plane starts where the JPEG stream ends.
    EXPECT_EQ(e.bytes[alp.value - 2], 0xFF);
    EXPECT_EQ(e.bytes[alp.value - 1], 0xD9);
    EXPECT_TRUE(std::equal(c.magic.begin(), c.magic.end(), e.bytes.begin() + alp.value));

    ImagePtr back = decode(e.bytes);
    ASSERT_TRUE(back);
    EXPECT_STREQ(back->name, "face.jpg");
    EXPECT_EQ(back->left, -5);
    EXPECT_EQ(back->top, 7);
    EXPECT_EQ(back->mode, 2);
    expectAlpha(back.get(), image.get(), c.tolerance);
    EXPECT_LT(maxColourDifference(back.get(), image.get()), 40);
  }
}

TEST(JpegEncode, SmallestCodingIsChosen) {
  // A fully opaque picture: a tiny zlib or PNG plane, never the JPEG one.
  ImagePtr opaque = makePicture(50, 40);
  for (int32_t i = 0; i < opaque->pixelCount; ++i) opaque->pixels[i] |= 0xFF000000u;
  Encoded e = encodeWith(opaque.get(), 32, 90, 0);
  ASSERT_TRUE(e.ok);
  AlphaSegment alp = alphaSegment(e.bytes);
  ASSERT_TRUE(alp.found);
  EXPECT_TRUE(alp.type == 0x12 || alp.type == 0x13);
  EXPECT_LT(e.bytes.size() - alp.value, 100u);
  // The stored plane is no larger than any forced coding's.
  ImagePtr picture = makePicture(64, 48);
  e = encodeWith(picture.get(), 32, 90, 0);
  const size_t chosen = e.bytes.size() - alphaSegment(e.bytes).value;
  for (auto coding : {JpegAlphaCoding::Jpeg, JpegAlphaCoding::Zlib, JpegAlphaCoding::Png}) {
    const Encoded forced = encodeWith(picture.get(), 32, 90, 0, coding);
    EXPECT_LE(chosen, forced.bytes.size() - alphaSegment(forced.bytes).value);
  }
  ImagePtr back = decode(e.bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->bitDepth, 32);
  // A one-pixel picture still gets a plane that fits.
  ImagePtr tiny = makePicture(1, 1);
  tiny->pixels[0] = 0x80112233u;
  e = encodeWith(tiny.get(), 32, 90, 0);
  ASSERT_TRUE(e.ok);
  back = decode(e.bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(channel(back.get(), 0, 3), 0x80);
}

TEST(JpegEncode, NoSegmentsWithoutLayerValuesOrAlpha) {
  ImagePtr image = makePicture(16, 16, 24);
  image->left = 3;
  image->top = 4;
  const Encoded e = encodeWith(image.get(), 0, 90, 0);
  ASSERT_TRUE(e.ok);
  EXPECT_EQ(jpegFindMarker(e.bytes.data(), int32_t(e.bytes.size()), 0xE1, 0xE2), -1);
  ImagePtr back = decode(e.bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->bitDepth, 24);
  EXPECT_EQ(back->left, 0);
  for (int32_t i = 0; i < back->pixelCount; ++i) ASSERT_EQ(channel(back.get(), i, 3), 255);
  // Names without a three-letter extension are kept.
  for (const char* name : {"face", "a.b"}) {
    std::strcpy(image->name, name);
    ASSERT_TRUE(encodeWith(image.get(), 24, 90, 0).ok);
    EXPECT_STREQ(image->name, name);
    back = decode(encodeWith(image.get(), 24, 90, 0).bytes);
    EXPECT_STREQ(back->name, name);
  }
}

TEST(JpegEncode, LongNameIsBoundedByThePositionSegment) {
  ImagePtr image = makePicture(8, 8, 24);
  std::memset(image->name, 'q', 255);
  image->name[255] = '\0';
  const Encoded e = encodeWith(image.get(), 24, 90, 0);
  ASSERT_TRUE(e.ok);
  const int32_t at = jpegFindMarker(e.bytes.data(), int32_t(e.bytes.size()), 0xE1, 0xE1);
  ASSERT_GT(at, 0);
  EXPECT_EQ(e.bytes[at + 2] << 8 | e.bytes[at + 3], 258);
  ImagePtr back = decode(e.bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(std::string(back->name), std::string(239, 'q'));
  // A "pos" segment whose name runs to the segment's end without a NUL stays bounded.
  Bytes payload(40, 'z');
  std::memcpy(payload.data(), "pos", 4);
  ImagePtr picture = makePicture(8, 8);
  back = decode(withSegmentsAfterSoi(picture.get(), {segment(0xE1, payload)}));
  ASSERT_TRUE(back);
  EXPECT_EQ(std::string(back->name), std::string(24, 'z'));
}

TEST(JpegEncode, FlagsChooseHuffmanProgressionAndSampling) {
  ImagePtr image = makePicture(48, 32, 24);
  using Factors = std::vector<std::pair<int, int>>;
  EXPECT_EQ(sampling(encodeWith(image.get(), 24, 90, kJpegSampling420).bytes), (Factors{{2, 2}, {1, 1}, {1, 1}, {0, 0}}));
  EXPECT_EQ(sampling(encodeWith(image.get(), 24, 90, kJpegSampling422).bytes), (Factors{{2, 1}, {1, 1}, {1, 1}, {0, 0}}));
  EXPECT_EQ(sampling(encodeWith(image.get(), 24, 90, kJpegSampling444).bytes), (Factors{{1, 1}, {1, 1}, {1, 1}, {0, 0}}));
  EXPECT_EQ(sampling(encodeWith(image.get(), 24, 90, kJpegSamplingDefault).bytes), (Factors{{2, 2}, {1, 1}, {1, 1}, {0, 0}}));
  EXPECT_EQ(sampling(encodeWith(image.get(), 24, 90, kJpegProgressive).bytes).back().first, 1);
  const Encoded plain = encodeWith(image.get(), 24, 90, 0), optimised = encodeWith(image.get(), 24, 90, kJpegOptimizeHuffman);
  EXPECT_LT(optimised.bytes.size(), plain.bytes.size());
  ImagePtr a = decode(plain.bytes), b = decode(optimised.bytes);
  ASSERT_TRUE(a && b);
  EXPECT_EQ(std::memcmp(a->pixels, b->pixels, size_t(a->pixelCount) * 4), 0);
}

TEST(JpegEncode, GreyPictures) {
  ImagePtr image = makePicture(40, 24);
  const Encoded e = encodeWith(image.get(), 8, 95, 0);
  ASSERT_TRUE(e.ok);
  EXPECT_EQ(sampling(e.bytes).size(), 2u);  // one component
  ImagePtr back = decode(e.bytes);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->bitDepth, 24);
  int worst = 0;
  for (int32_t i = 0; i < image->pixelCount; ++i) {
    ASSERT_EQ(channel(back.get(), i, 0), channel(back.get(), i, 2));
    worst = std::max(worst, std::abs(channel(back.get(), i, 0) - greyLevel(image->pixels[i])));
  }
  EXPECT_LE(worst, 12);
}

TEST(JpegEncode, CallerBufferIsUsedOrReplaced) {
  ImagePtr image = makePicture(64, 64);
  std::vector<uint8_t> big(100000);
  uint8_t* buffer = big.data();
  uint32_t size = uint32_t(big.size());
  ASSERT_EQ(JpegEncode(image.get(), 32, 90, 0, &buffer, &size), 1);
  EXPECT_EQ(buffer, big.data());
  ImagePtr fromBig(JpegLoadFromMemory(buffer, int32_t(size)));
  ASSERT_TRUE(fromBig);
  // Too small a caller block: the file moves to a new block; the caller's stays theirs.
  std::vector<uint8_t> small(300);
  buffer = small.data();
  size = uint32_t(small.size());
  ASSERT_EQ(JpegEncode(image.get(), 32, 90, 0, &buffer, &size), 1);
  ASSERT_NE(buffer, small.data());
  ImagePtr fromSmall(JpegLoadFromMemory(buffer, int32_t(size)));
  alignedFree(buffer);
  ASSERT_TRUE(fromSmall);
  EXPECT_EQ(std::memcmp(fromBig->pixels, fromSmall->pixels, size_t(image->pixelCount) * 4), 0);
}

TEST(JpegAlphaPlane, EmbeddedPlanesOfEveryType) {
  ImagePtr picture = makePicture(60, 40);
  const Bytes alpha = alphaBytes(picture.get());
  // Raw.
  Bytes raw = alpHeader(0x00, uint32_t(alpha.size()));
  raw.insert(raw.end(), alpha.begin(), alpha.end());
  ImagePtr back = decode(withSegmentsAfterSoi(picture.get(), {segment(0xE2, raw)}));
  ASSERT_TRUE(back);
  expectAlpha(back.get(), picture.get(), 0);
  // zlib.
  Bytes packed(compressBound(uLong(alpha.size())));
  uLongf packedSize = uLongf(packed.size());
  ASSERT_EQ(compress2(packed.data(), &packedSize, alpha.data(), uLong(alpha.size()), 9), Z_OK);
  packed.resize(packedSize);
  Bytes zlibPayload = alpHeader(0x02, uint32_t(packed.size()));
  zlibPayload.insert(zlibPayload.end(), packed.begin(), packed.end());
  back = decode(withSegmentsAfterSoi(picture.get(), {segment(0xE2, zlibPayload)}));
  ASSERT_TRUE(back);
  expectAlpha(back.get(), picture.get(), 0);
  // PNG and JPEG planes, as the writer codes them.
  std::vector<uint8_t> room(65000);
  int32_t pngSize = int32_t(room.size());
  ASSERT_TRUE(PngEncodeAlphaPlane(picture.get(), 9, 0, room.data(), &pngSize));
  Bytes pngPayload = alpHeader(0x03, uint32_t(pngSize));
  pngPayload.insert(pngPayload.end(), room.begin(), room.begin() + pngSize);
  back = decode(withSegmentsAfterSoi(picture.get(), {segment(0xE2, pngPayload)}));
  ASSERT_TRUE(back);
  expectAlpha(back.get(), picture.get(), 0);
  uint32_t jpegSize = uint32_t(room.size());
  ASSERT_TRUE(JpegEncodeAlphaPlane(picture.get(), 95, 0, room.data(), &jpegSize));
  Bytes jpegPayload = alpHeader(0x01, jpegSize);
  jpegPayload.insert(jpegPayload.end(), room.begin(), room.begin() + jpegSize);
  back = decode(withSegmentsAfterSoi(picture.get(), {segment(0xE2, jpegPayload)}));
  ASSERT_TRUE(back);
  expectAlpha(back.get(), picture.get(), 12);
}

TEST(JpegAlphaPlane, RawPlaneSpreadOverTwoSegments) {
  ImagePtr picture = makePicture(300, 300);
  const Bytes alpha = alphaBytes(picture.get());
  Bytes first = alpHeader(0x00, uint32_t(alpha.size()));
  first.insert(first.end(), alpha.begin(), alpha.begin() + 65525);
  ASSERT_EQ(first.size(), 65533u);
  const Bytes second(alpha.begin() + 65525, alpha.end());
  const Bytes file = withSegmentsAfterSoi(picture.get(), {segment(0xE2, first), segment(0xE2, second)});
  ImagePtr back = decode(file);
  ASSERT_TRUE(back);
  expectAlpha(back.get(), picture.get(), 0);
  AlignedBytes plane(JpegFindAlphaPlane(file.data(), int32_t(file.size()), 300, 300));
  ASSERT_TRUE(plane);
  EXPECT_EQ(std::memcmp(plane.get(), alpha.data(), alpha.size()), 0);
  // Without the second segment the plane is short: refused, the picture stays opaque.
  const Bytes cut = withSegmentsAfterSoi(picture.get(), {segment(0xE2, first)});
  back = decode(cut);
  ASSERT_TRUE(back);
  EXPECT_EQ(back->bitDepth, 24);
  EXPECT_FALSE(AlignedBytes(JpegFindAlphaPlane(cut.data(), int32_t(cut.size()), 300, 300)));
}

TEST(JpegAlphaPlane, UnusablePlanesAreRefused) {
  ImagePtr picture = makePicture(20, 10);
  const Bytes alpha = alphaBytes(picture.get());
  // A raw plane shorter than the picture.
  Bytes shortRaw = alpHeader(0x00, uint32_t(alpha.size() - 1));
  shortRaw.insert(shortRaw.end(), alpha.begin(), alpha.end() - 1);
  ImagePtr back = decode(withSegmentsAfterSoi(picture.get(), {segment(0xE2, shortRaw)}));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->bitDepth, 24);
  // The first APP2 decides: another application's segment hides a later "ALP".
  Bytes raw = alpHeader(0x00, uint32_t(alpha.size()));
  raw.insert(raw.end(), alpha.begin(), alpha.end());
  Bytes icc = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
  back = decode(withSegmentsAfterSoi(picture.get(), {segment(0xE2, icc), segment(0xE2, raw)}));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->bitDepth, 24);
  // A plane of other dimensions, unknown types, offsets past the end, a plane length
  // beyond the data.
  ImagePtr other = makePicture(21, 10);
  std::vector<uint8_t> room(4096);
  int32_t pngSize = int32_t(room.size());
  ASSERT_TRUE(PngEncodeAlphaPlane(other.get(), 9, 0, room.data(), &pngSize));
  Bytes wrongSize = alpHeader(0x03, uint32_t(pngSize));
  wrongSize.insert(wrongSize.end(), room.begin(), room.begin() + pngSize);
  const std::vector<Bytes> bad = {wrongSize, alpHeader(0x04, 10), alpHeader(0x10, 10), alpHeader(0x14, 10),
                                  alpHeader(0x12, 0x7FFFFFF0u), alpHeader(0x00, 0x7FFFFFF0u), Bytes{'A', 'L', 'P', 0}};
  for (const auto& payload : bad) {
    const Bytes file = withSegmentsAfterSoi(picture.get(), {segment(0xE2, payload)});
    back = decode(file);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->bitDepth, 24);
  }
  // ZlibDecodePlane wants exactly n bytes.
  Bytes packed(compressBound(uLong(alpha.size())));
  uLongf packedSize = uLongf(packed.size());
  compress2(packed.data(), &packedSize, alpha.data(), uLong(alpha.size()), 9);
  EXPECT_TRUE(AlignedBytes(ZlibDecodePlane(packed.data(), int32_t(packedSize), int32_t(alpha.size()))));
  EXPECT_FALSE(AlignedBytes(ZlibDecodePlane(packed.data(), int32_t(packedSize), int32_t(alpha.size()) + 1)));
  EXPECT_FALSE(AlignedBytes(ZlibDecodePlane(packed.data(), int32_t(packedSize) - 3, int32_t(alpha.size()))));
}

TEST(JpegAlphaPlane, CandidatesThatDoNotFitFail) {
  ImagePtr picture = makePicture(32, 32);
  std::vector<uint8_t> room(64, 0xEE);
  uint32_t size = 40;
  EXPECT_EQ(JpegEncodeAlphaPlane(picture.get(), 90, 0, room.data(), &size), 0);
  size = 40;
  EXPECT_EQ(ZlibEncodeAlphaPlane(picture.get(), 9, room.data(), &size), 0);
  for (size_t i = 40; i < room.size(); ++i) EXPECT_EQ(room[i], 0xEE);
  std::vector<uint8_t> enough(8192);
  size = uint32_t(enough.size());
  ASSERT_EQ(JpegEncodeAlphaPlane(picture.get(), 90, 0, enough.data(), &size), 1);
  int32_t w = 0, h = 0;
  AlignedBytes plane(JpegDecodeGreyPlane(enough.data(), int32_t(size), &w, &h));
  ASSERT_TRUE(plane);
  EXPECT_EQ(w, 32);
  EXPECT_EQ(h, 32);
  // No JFIF header in the plane: the second marker is not APP0.
  EXPECT_NE(enough[3], 0xE0);
}

TEST(JpegSave, WritesTheFileAndReportsFailures) {
  ImagePtr image = makePicture(16, 16);
  const std::string path = std::string(PROJECT_SOURCE_DIR) + "/build/jpeg_save_test.jpg";
  ASSERT_EQ(JpegSave(path.c_str(), image.get(), 0, 90, kJpegOptimizeHuffman), 1);
  ImagePtr back = decode(readFile(path));
  std::remove(path.c_str());
  ASSERT_TRUE(back);
  expectAlpha(back.get(), image.get(), 0);
  EXPECT_EQ(JpegSave("/nonexistent-folder/x.jpg", image.get(), 0, 90, 0), 0);
  EXPECT_EQ(JpegSave(path.c_str(), nullptr, 0, 90, 0), 0);
}
