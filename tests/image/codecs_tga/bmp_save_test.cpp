// BMP writing: the two headers, the stride and padding, the grey palette, read-back by this
// library's BMP reader and by ImageMagick, and the refusals.
#include <gtest/gtest.h>

#include <string>

#include "image/codecs/bmp_save.h"
#include "image/codecs/grey_level.h"
#include "tests/image/codecs_tga/tga_test_util.h"
#include "tests/support/temp_dir.h"

using namespace limg;

namespace {

uint32_t le16(const Bytes& b, std::size_t i) { return b[i] | b[i + 1] << 8; }
uint32_t le32(const Bytes& b, std::size_t i) { return le16(b, i) | le16(b, i + 2) << 16; }

Bytes saved(const Image* image, int32_t bitDepth) {
  if (BmpSave("a.bmp", image, bitDepth) != 1) return {};
  return readFile("a.bmp");
}

void expectHeaders(const Bytes& f, int width, int height, int bits, uint32_t stride, uint32_t offset) {
  ASSERT_GE(f.size(), 54u);
  EXPECT_EQ(f[0], 'B');
  EXPECT_EQ(f[1], 'M');
  EXPECT_EQ(le32(f, 2), f.size());
  EXPECT_EQ(le32(f, 2), stride * height + offset);
  EXPECT_EQ(le32(f, 6), 0u);
  EXPECT_EQ(le32(f, 10), offset);
  EXPECT_EQ(le32(f, 14), 40u);
  EXPECT_EQ(le32(f, 18), uint32_t(width));
  EXPECT_EQ(le32(f, 22), uint32_t(height));
  EXPECT_EQ(le16(f, 26), 1u);
  EXPECT_EQ(le16(f, 28), uint32_t(bits));
  EXPECT_EQ(le32(f, 30), 0u);
  EXPECT_EQ(le32(f, 34), stride * height);
  for (std::size_t i = 38; i < 54; ++i) EXPECT_EQ(f[i], 0) << i;
}

TEST(BmpSave, ThreeByTwoAtTwentyFourBits) {
  TempDir dir;
  const ImagePtr image = makePicture(3, 2, 24);
  const Bytes f = saved(image.get(), 0);
  ASSERT_EQ(f.size(), 78u);
  expectHeaders(f, 3, 2, 24, 12, 54);
  EXPECT_EQ(BmpStride(3, 24), 12u);
  // The first stored row is the image's last; 9 pixel bytes, then 3 zero bytes.
  for (int row = 0; row < 2; ++row) {
    for (int x = 0; x < 3; ++x) {
      const uint32_t p = image->pixels[(1 - row) * 3 + x];
      const std::size_t o = 54 + 12 * row + 3 * x;
      EXPECT_EQ(uint32_t(f[o] | f[o + 1] << 8 | f[o + 2] << 16), p & 0xFFFFFF);
    }
    for (int pad = 9; pad < 12; ++pad) EXPECT_EQ(f[54 + 12 * row + pad], 0);
  }
}

TEST(BmpSave, EightBitsWriteTheGreyPaletteAndGreyLevels) {
  TempDir dir;
  const ImagePtr image = makePicture(3, 2, 32);
  const Bytes f = saved(image.get(), 8);
  ASSERT_EQ(f.size(), 1078u + 4 * 2);
  expectHeaders(f, 3, 2, 8, 4, 1078);
  for (int i = 0; i < 256; ++i) {
    EXPECT_EQ(f[54 + 4 * i], i);
    EXPECT_EQ(f[55 + 4 * i], i);
    EXPECT_EQ(f[56 + 4 * i], i);
    EXPECT_EQ(f[57 + 4 * i], 0);
  }
  for (int row = 0; row < 2; ++row) {
    for (int x = 0; x < 3; ++x) EXPECT_EQ(f[1078 + 4 * row + x], greyLevel(image->pixels[(1 - row) * 3 + x]));
    EXPECT_EQ(f[1078 + 4 * row + 3], 0);
  }
}

TEST(BmpSave, ThirtyTwoBitsKeepEveryByte) {
  TempDir dir;
  const ImagePtr image = makePicture(3, 2, 32);
  const Bytes f = saved(image.get(), 0);
  ASSERT_EQ(f.size(), 54u + 24);
  expectHeaders(f, 3, 2, 32, 12, 54);
  for (int i = 0; i < 6; ++i) EXPECT_EQ(le32(f, 54 + 4 * i), image->pixels[(1 - i / 3) * 3 + i % 3]);
}

TEST(BmpSave, ReadBackByThisLibraryAndByImageMagick) {
  TempDir dir;
  const bool magick = haveImageMagick();
  for (int bits : {8, 24, 32})
    for (int width : {1, 5, 6, 7, 33}) {
      SCOPED_TRACE(bits * 100 + width);
      const ImagePtr image = makePicture(width, 5, 32);
      const Bytes f = saved(image.get(), bits);
      ASSERT_FALSE(f.empty());
      std::vector<uint32_t> want(image->pixels, image->pixels + image->pixelCount);
      for (uint32_t& p : want) {
        if (bits == 8) p = 0xFF000000u | greyLevel(p) * 0x010101u;
        if (bits == 24) p |= 0xFF000000u;
      }
      const ImagePtr back(ImageLoadFromMemory(f.data(), int32_t(f.size())));
      ASSERT_TRUE(back);
      EXPECT_EQ(back->bitDepth, bits == 32 ? 32 : 24);
      EXPECT_EQ(pictureOf(*back).pixels, want);
      if (!magick) continue;
      const Picture ref = loadWithImageMagick(dir.path() + "/a.bmp");
      ASSERT_EQ(ref.width, width);
      ASSERT_EQ(ref.pixels.size(), want.size());
      for (std::size_t i = 0; i < want.size(); ++i) {
        // ImageMagick takes the fourth byte of a 32-bit BMP as alpha only when some pixel
        // isn't opaque, which holds for the test picture.
        ASSERT_EQ(ref.pixels[i], want[i]) << i;
      }
    }
}

TEST(BmpSave, RefusesWhatItCannotWrite) {
  TempDir dir;
  const ImagePtr image = makePicture(2, 2, 24);
  testing::internal::CaptureStdout();
  EXPECT_EQ(BmpSave("none.bmp", nullptr, 0), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("BMP: \"none.bmp\" ", 0), 0u);
  testing::internal::CaptureStdout();
  EXPECT_EQ(BmpSave("no-such-dir/a.bmp", image.get(), 0), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("BMP: \"no-such-dir/a.bmp\" ", 0), 0u);
  testing::internal::CaptureStdout();
  EXPECT_EQ(BmpSave("odd.bmp", image.get(), 16), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout().rfind("BMP: \"odd.bmp\" 16bit", 0), 0u);
  EXPECT_FALSE(fileExists("odd.bmp"));
  if (fileExists("/dev/full")) {
    testing::internal::CaptureStdout();
    EXPECT_EQ(BmpSave("/dev/full", image.get(), 0), 0);
    testing::internal::GetCapturedStdout();
  }
}

}  // namespace
