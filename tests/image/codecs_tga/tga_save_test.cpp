// TGA writing: header and row layout, the run-length packets, read-back by this library and
// by ImageMagick, and the refusals.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "image/codecs/tga.h"
#include "image/codecs/tga/tga_stream.h"
#include "tests/image/codecs_tga/tga_test_util.h"
#include "tests/support/temp_dir.h"

using namespace limg;

namespace {

uint32_t at(const Bytes& b, std::size_t i) { return b[i]; }

TEST(TgaSave, TwentyFourBitRowsOfWidthFiveAreFifteenBytesBottomUp) {
  TempDir dir;
  const ImagePtr image = makePicture(5, 3, 24);
  ASSERT_EQ(TgaSave("a.tga", image.get(), 0, 0), 1);
  const Bytes file = readFile("a.tga");
  ASSERT_EQ(file.size(), 18u + 3 * 15);
  const Bytes header(file.begin(), file.begin() + 18);
  EXPECT_EQ(header, (Bytes{0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 3, 0, 24, 0}));
  for (int row = 0; row < 3; ++row)
    for (int x = 0; x < 5; ++x) {
      const uint32_t p = image->pixels[(2 - row) * 5 + x];
      const std::size_t o = 18 + std::size_t(row) * 15 + std::size_t(x) * 3;
      ASSERT_EQ(at(file, o) | at(file, o + 1) << 8 | at(file, o + 2) << 16, p & 0xFFFFFF) << row << "," << x;
    }
  const ImagePtr back(ImageLoadFromMemory(file.data(), int32_t(file.size())));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->bitDepth, 24);
  EXPECT_EQ(pictureOf(*back).pixels, pictureOf(*image).pixels);
}

TEST(TgaSave, ThirtyTwoBitKeepsAlphaAndDeclaresEightAlphaBits) {
  TempDir dir;
  const ImagePtr image = makePicture(7, 4, 32);
  ASSERT_EQ(TgaSave("a.tga", image.get(), 32, 0), 1);
  const Bytes file = readFile("a.tga");
  ASSERT_EQ(file.size(), 18u + 7 * 4 * 4);
  EXPECT_EQ(at(file, 16), 32u);
  EXPECT_EQ(at(file, 17), 8u);
  const ImagePtr back(ImageLoadFromMemory(file.data(), int32_t(file.size())));
  ASSERT_TRUE(back);
  EXPECT_EQ(back->bitDepth, 32);
  EXPECT_EQ(pictureOf(*back).pixels, pictureOf(*image).pixels);
  // A 32-bit image written at 24 bits loses only its alpha.
  ASSERT_EQ(TgaSave("b.tga", image.get(), 24, 1), 1);
  const Bytes b = readFile("b.tga");
  const ImagePtr opaque(ImageLoadFromMemory(b.data(), int32_t(b.size())));
  ASSERT_TRUE(opaque);
  for (int32_t i = 0; i < image->pixelCount; ++i) ASSERT_EQ(opaque->pixels[i], image->pixels[i] | 0xFF000000u);
}

Bytes encodeRow(const std::vector<uint32_t>& row) {
  Bytes out(row.size() * 5);
  const std::size_t n = TgaEncodeRunLengthRow(reinterpret_cast<const uint8_t*>(row.data()), int(row.size()), 4, out.data());
  out.resize(n);
  return out;
}

TEST(TgaSave, RunLengthPacketsFollowTheRowRule) {
  const uint32_t A = 0x0A0A0A0A, B = 0x0B0B0B0B, C = 0x0C0C0C0C, D = 0x0D0D0D0D;
  auto px = [](uint32_t v) { return Bytes(4, uint8_t(v)); };
  auto cat = [](std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  // A A A B C D D: repeat of 3, raw of 2, repeat of 2.
  EXPECT_EQ(encodeRow({A, A, A, B, C, D, D}), cat({{130}, px(A), {1}, px(B), px(C), {129}, px(D)}));
  // A single pixel and a pair.
  EXPECT_EQ(encodeRow({A}), cat({{0}, px(A)}));
  EXPECT_EQ(encodeRow({A, B}), cat({{1}, px(A), px(B)}));
  EXPECT_EQ(encodeRow({A, A}), cat({{129}, px(A)}));
  // 300 equal pixels: two full repeat packets and one of 44.
  EXPECT_EQ(encodeRow(std::vector<uint32_t>(300, C)), cat({{255}, px(C), {255}, px(C), {171}, px(C)}));
  // 300 different pixels: raw packets of 128, 128 and 44.
  std::vector<uint32_t> ramp(300);
  for (int i = 0; i < 300; ++i) ramp[i] = uint32_t(i) * 0x01010101u + 0x00020001u * uint32_t(i / 256);
  const Bytes coded = encodeRow(ramp);
  ASSERT_EQ(coded.size(), 3 + 300 * 4u);
  EXPECT_EQ(coded[0], 127);
  EXPECT_EQ(coded[1 + 128 * 4], 127);
  EXPECT_EQ(coded[2 + 256 * 4], 43);
}

TEST(TgaSave, RunLengthFilesReadBackAndRowsNeverShareAPacket) {
  TempDir dir;
  // Every pixel equal: each row is coded by itself, so one repeat packet per row.
  const ImagePtr flat(ImageCreate(3, 4, 24));
  for (int32_t i = 0; i < flat->pixelCount; ++i) flat->pixels[i] = 0xFF102030;
  ASSERT_EQ(TgaSave("flat.tga", flat.get(), 0, 1), 1);
  const Bytes file = readFile("flat.tga");
  EXPECT_EQ(at(file, 2), 10u);
  EXPECT_EQ(file, (Bytes{0, 0, 10, 0, 0, 0, 0, 0, 0, 0, 0, 0, 3, 0, 4, 0, 24, 0, 130, 0x30, 0x20, 0x10, 130,
                         0x30, 0x20, 0x10, 130, 0x30, 0x20, 0x10, 130, 0x30, 0x20, 0x10}));
  for (int depth : {24, 32}) {
    SCOPED_TRACE(depth);
    const ImagePtr image = makePicture(301, 9, depth);
    ASSERT_EQ(TgaSave("rle.tga", image.get(), 0, 1), 1);
    const Bytes rle = readFile("rle.tga");
    EXPECT_LT(rle.size(), 18u + 301 * 9 * (depth / 8));
    const ImagePtr back(ImageLoadFromMemory(rle.data(), int32_t(rle.size())));
    ASSERT_TRUE(back);
    EXPECT_EQ(pictureOf(*back).pixels, pictureOf(*image).pixels);
  }
}

// The independent reader is a short Python decoder: the ImageMagick release on the build
// machine turns bottom-left TGAs upside down.
TEST(TgaSave, AnIndependentReaderReadsWhatIsWritten) {
  // The reader itself agrees with a reference decode of a right-hand, run-length file.
  const std::string sample = testdata("tga/gdk-pixbuf/gtk-logo-rle-32bpp-bottom-right.tga");
  const Picture check = loadWithPythonTga(sample), ref = loadPng(sample + ".ref.png");
  ASSERT_EQ(check.width, 48);
  ASSERT_EQ(check.pixels.size(), ref.pixels.size());
  for (std::size_t i = 0; i < ref.pixels.size(); ++i)
    if (ref.pixels[i] >> 24) {
      ASSERT_EQ(check.pixels[i], ref.pixels[i]) << i;
    }
  TempDir dir;
  for (int depth : {24, 32})
    for (int rle : {0, 1}) {
      SCOPED_TRACE(depth * 10 + rle);
      const ImagePtr image = makePicture(37, 11, depth);
      ASSERT_EQ(TgaSave("im.tga", image.get(), depth, rle), 1);
      const Picture ref = loadWithPythonTga(dir.path() + "/im.tga");
      ASSERT_EQ(ref.width, 37);
      ASSERT_EQ(ref.height, 11);
      EXPECT_EQ(ref.pixels, pictureOf(*image).pixels);
    }
}

TEST(TgaSave, RefusesWhatItCannotWrite) {
  TempDir dir;
  const ImagePtr image = makePicture(4, 4, 32);
  testing::internal::CaptureStdout();
  EXPECT_EQ(TgaSave("grey.tga", image.get(), 8, 0), 0);
  const std::string said = testing::internal::GetCapturedStdout();
  EXPECT_EQ(said.rfind("TGA: \"grey.tga\" 8bit", 0), 0u) << said;
  EXPECT_FALSE(fileExists("grey.tga"));

  testing::internal::CaptureStdout();
  EXPECT_EQ(TgaSave("none.tga", nullptr, 0, 0), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("TGA: \"none.tga\" ", 0), 0u);
  EXPECT_FALSE(fileExists("none.tga"));

  testing::internal::CaptureStdout();
  EXPECT_EQ(TgaSave("no-such-dir/a.tga", image.get(), 0, 0), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("TGA: \"no-such-dir/a.tga\" ", 0), 0u);
}

TEST(TgaStream, ErrorTextsAndCallbacks) {
  EXPECT_STREQ(TgaErrorText(0), "Success");
  EXPECT_STREQ(TgaErrorText(4), "Seek failed");
  EXPECT_STREQ(TgaErrorText(7), "Unknown sub-format");
  EXPECT_STREQ(TgaErrorText(8), "Error");
  EXPECT_STREQ(TgaErrorText(-1), "Error");

  // A stream over callbacks that refuse to write reports code 6 and its line on stderr.
  TgaCallbacks refuse;
  refuse.write = [](void*, const void*, std::size_t) -> std::size_t { return 0; };
  refuse.seek = [](void*, long, int) { return 0; };
  refuse.tell = [](void*) -> long { return 0; };
  TgaStream stream;
  TgaStreamOpenCallbacks(&stream, refuse);
  stream.header.imageType = 2;
  stream.header.width = 1;
  stream.header.height = 1;
  stream.header.depth = 24;
  uint8_t pixel[3] = {1, 2, 3};
  testing::internal::CaptureStderr();
  EXPECT_FALSE(TgaStreamWriteImage(&stream, pixel, kTgaWriteImageData));
  const std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(stream.lastError, 6);
  EXPECT_EQ(said.rfind("TgaStream:", 0), 0u) << said;
  EXPECT_NE(said.find(": Write failed\n"), std::string::npos) << said;
}

// The scanline reader over a file: any first scanline, in file order or reversed, with and
// without the red/blue exchange, raw and run-length.
TEST(TgaStream, ScanlinesFromAFile) {
  TempDir dir;
  const ImagePtr image = makePicture(9, 6, 24);
  for (int rle : {0, 1}) {
    SCOPED_TRACE(rle);
    ASSERT_EQ(TgaSave("s.tga", image.get(), 24, rle), 1);
    TgaStream stream;
    ASSERT_TRUE(TgaStreamOpenFile(&stream, "s.tga", "rb"));
    ASSERT_TRUE(TgaStreamReadHeader(&stream));
    EXPECT_EQ(stream.header.imageType, rle ? 10 : 2);
    EXPECT_EQ(stream.header.width, 9);
    uint8_t rows[3 * 9 * 3];
    // Scanlines 2-4 of the file are image rows 3, 2 and 1; reversed they come top-down.
    ASSERT_EQ(TgaStreamReadScanlines(&stream, rows, 2, 3, true, true), 3);
    for (int r = 0; r < 3; ++r)
      for (int x = 0; x < 9; ++x) {
        const uint32_t p = image->pixels[(1 + r) * 9 + x];
        const uint8_t* q = rows + (r * 9 + x) * 3;
        ASSERT_EQ(uint32_t(q[2] | q[1] << 8 | q[0] << 16), p & 0xFFFFFF) << r << "," << x;  // R, G, B
      }
    // From the first scanline in file order, without the exchange; asking past the end
    // gives only the rows there are.
    uint8_t all[6 * 9 * 3];
    ASSERT_EQ(TgaStreamReadScanlines(&stream, all, 0, 10, false, false), 6);
    for (int x = 0; x < 9; ++x) {
      const uint8_t* q = all + x * 3;
      ASSERT_EQ(uint32_t(q[0] | q[1] << 8 | q[2] << 16), image->pixels[5 * 9 + x] & 0xFFFFFF);
    }
    EXPECT_EQ(stream.lastError, 0);
    EXPECT_TRUE(TgaStreamClose(&stream));
  }
  TgaStream missing;
  testing::internal::CaptureStderr();
  EXPECT_FALSE(TgaStreamOpenFile(&missing, "absent.tga", "rb"));
  EXPECT_NE(testing::internal::GetCapturedStderr().find("Failed to open file"), std::string::npos);
  EXPECT_EQ(missing.lastError, 3);
}

}  // namespace
