#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "image/image.h"
#include "image/image_load.h"

using namespace limg;

TEST(ImageCreate, RefusesNonPositiveAndOverflowingSizes) {
  EXPECT_EQ(ImageCreate(0, 5, 32), nullptr);
  EXPECT_EQ(ImageCreate(5, -1, 32), nullptr);
  EXPECT_EQ(ImageCreate(-3, -3, 32), nullptr);
  // The pixel count no longer fits in int32.
  EXPECT_EQ(ImageCreate(65536, 65536, 32), nullptr);
  EXPECT_EQ(ImagePixelBlockBytes(65536, 32768), 0u);
  EXPECT_EQ(ImageCreate(INT32_MAX, 2, 32), nullptr);
}

TEST(ImageCreate, ZeroedHeaderAndSpareRow) {
  Image* image = ImageCreate(3, 2, 24);
  ASSERT_NE(image, nullptr);
  EXPECT_EQ(image->pixelCount, 6);
  EXPECT_EQ(image->width, 3);
  EXPECT_EQ(image->height, 2);
  EXPECT_EQ(image->bitDepth, 24);
  EXPECT_STREQ(image->name, "");
  EXPECT_EQ(image->left, 0);
  EXPECT_EQ(image->top, 0);
  EXPECT_EQ(image->mode, 0);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(image->pixels) % 16, 0u);
  for (int i = 6; i < 9; ++i) EXPECT_EQ(image->pixels[i], 0u) << i;
  EXPECT_EQ(ImagePixelBlockBytes(3, 2), (6u + 3u) * 4u + 2u);
  ImageDestroy(&image);
  EXPECT_EQ(image, nullptr);
  ImageDestroy(&image);  // a second call does nothing
  EXPECT_EQ(image, nullptr);
  ImageDestroy(nullptr);
}

TEST(ImageLoad, DispatchRefusesUnknownAndShortData) {
  const uint8_t gi[] = {0x47, 0x49, 0x46, 0x38, 0x39, 0x61, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
  EXPECT_EQ(ImageLoadFromMemory(gi, sizeof gi), nullptr);
  const uint8_t one[] = {'B'};
  EXPECT_EQ(ImageLoadFromMemory(one, 1), nullptr);
  EXPECT_EQ(ImageLoadFromMemory(nullptr, 0), nullptr);
  const uint8_t bm[] = {'B', 'M', 0, 0};
  EXPECT_EQ(ImageLoadFromMemory(bm, sizeof bm), nullptr);
}

TEST(ImageLoad, TgaProbeConditions) {
  std::vector<uint8_t> tga(17, 0);
  tga[1] = 0;
  tga[2] = 2;
  tga[16] = 24;
  EXPECT_TRUE(ImageLooksLikeTga(tga.data(), 17));
  EXPECT_FALSE(ImageLooksLikeTga(tga.data(), 16));
  tga[1] = 1;
  EXPECT_TRUE(ImageLooksLikeTga(tga.data(), 17));
  tga[1] = 2;
  EXPECT_FALSE(ImageLooksLikeTga(tga.data(), 17));
  tga[1] = 0;
  for (int type = 0; type < 256; ++type) {
    tga[2] = uint8_t(type);
    const bool known = type <= 3 || (type >= 9 && type <= 11);
    EXPECT_EQ(ImageLooksLikeTga(tga.data(), 17), known) << type;
  }
  tga[2] = 10;
  for (int depth = 0; depth < 256; ++depth) {
    tga[16] = uint8_t(depth);
    const bool known = depth == 8 || depth == 15 || depth == 16 || depth == 24 || depth == 32;
    EXPECT_EQ(ImageLooksLikeTga(tga.data(), 17), known) << depth;
  }
  // Data starting 0x47 0x49 (byte 1 neither 0 nor 1) never reach a decoder.
  const uint8_t gi[20] = {0x47, 0x49, 2};
  EXPECT_FALSE(ImageLooksLikeTga(gi, sizeof gi));
}

TEST(ImageLoad, FormatNames) {
  const uint8_t tlg[] = {'T', 'L', 'G'}, bmp[] = {'B', 'M'}, png[] = {0x89, 'P'}, jpg[] = {0xFF, 0xD8};
  EXPECT_STREQ(ImageFormatOf(tlg, 3), "TLG");
  EXPECT_STREQ(ImageFormatOf(bmp, 2), "BMP");
  EXPECT_STREQ(ImageFormatOf(png, 2), "PNG");
  EXPECT_STREQ(ImageFormatOf(jpg, 2), "JPEG");
  EXPECT_EQ(ImageFormatOf(bmp, 1), nullptr);
  std::vector<uint8_t> tga(17, 0);
  tga[2] = 2;
  tga[16] = 32;
  EXPECT_STREQ(ImageFormatOf(tga.data(), 17), "TGA");
  tga[16] = 33;
  EXPECT_EQ(ImageFormatOf(tga.data(), 17), nullptr);
}
