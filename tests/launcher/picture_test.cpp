// Loading a picture by resource name and copying it into a panel's bitmap.
#include "launcher/picture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "launcher/error_box.h"
#include "pack/packed_data_file.h"
#include "tests/support/temp_dir.h"

using namespace limg;

namespace {

// A 24-bit bottom-up BMP of 3 x 2 pixels; pixel (x, y) has blue x, green y, red 0x80.
std::string tinyBmp() {
  const int w = 3, h = 2, stride = 12;
  std::string b(54 + stride * h, '\0');
  auto put32 = [&](int at, uint32_t v) { std::memcpy(&b[at], &v, 4); };
  b[0] = 'B', b[1] = 'M';
  put32(2, uint32_t(b.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, w);
  put32(22, h);
  b[26] = 1, b[28] = 24;
  put32(34, uint32_t(stride * h));
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      char* p = &b[54 + (h - 1 - y) * stride + x * 3];
      p[0] = char(x), p[1] = char(y), p[2] = char(0x80);
    }
  return b;
}

Image* makeImage(int w, int h) {
  Image* image = ImageCreate(w, h, 32);
  for (int i = 0; i < w * h; ++i) image->pixels[i] = 0xFF000000u | uint32_t(i);
  return image;
}

struct Capture {
  std::vector<std::string> boxes;
  Capture() {
    resetPackedDataFile();
    setErrorBoxSink([this](const std::string& text) { boxes.push_back(text); });
  }
  ~Capture() { setErrorBoxSink(nullptr); }
};

}  // namespace

TEST(LoadPicture, DecodesAPlainFileWhenThereIsNoIndex) {
  TempDir dir;
  Capture capture;
  dir.write("pictures/p.bmp", tinyBmp());
  openIndex();  // no Launcher.dat: plain files
  Image* picture = loadPicture("pictures/p.bmp");
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->width, 3);
  EXPECT_EQ(picture->height, 2);
  EXPECT_EQ(picture->pixels[0] & 0xFFFFFF, 0x800000u);
  EXPECT_EQ(picture->pixels[5] & 0xFFFFFF, 0x800102u);  // (2, 1)
  EXPECT_TRUE(capture.boxes.empty());
  ImageDestroy(&picture);
}

TEST(LoadPicture, UndecodableBytesGiveTheNameAndTheMessage) {
  TempDir dir;
  Capture capture;
  dir.write("junk.bmp", "BMnot a picture");
  EXPECT_EQ(loadPicture("junk.bmp"), nullptr);
  ASSERT_EQ(capture.boxes.size(), 1u);
  EXPECT_EQ(capture.boxes[0], "junk.bmp\x20\x82\xf0\x93\xc7\x82\xdd\x8d\x9e\x82\xdf\x82\xdc\x82\xb9\x82\xf1\x82\xc5\x82\xb5\x82\xbd");
}

TEST(LoadPicture, MissingResourceShowsOnlyTheLoadersMessages) {
  TempDir dir;
  Capture capture;
  EXPECT_EQ(loadPicture("nothere.bmp"), nullptr);
  ASSERT_EQ(capture.boxes.size(), 2u);
  EXPECT_NE(capture.boxes[0].find("(loadFile0)"), std::string::npos);
  EXPECT_NE(capture.boxes[1].find("(loadFile)"), std::string::npos);
}

TEST(CopyPicture, EqualSizesCopyEveryPixel) {
  Image* image = makeImage(5, 3);
  std::vector<uint8_t> bits(5 * 3 * 4 + 8, 0xEE);
  copyPictureToBitmap(image, bits.data(), 5, 3);
  EXPECT_EQ(std::memcmp(bits.data(), image->pixels, 5 * 3 * 4), 0);
  EXPECT_EQ(bits[60], 0xEE);  // nothing past the bitmap
  ImageDestroy(&image);
}

TEST(CopyPicture, LargerPictureIsCutToTheBitmap) {
  Image* image = makeImage(6, 4);
  std::vector<uint8_t> bits(4 * 2 * 4 + 4, 0xEE);
  copyPictureToBitmap(image, bits.data(), 4, 2);
  uint32_t row1[4];
  std::memcpy(row1, bits.data() + 16, 16);
  EXPECT_EQ(row1[0], image->pixels[6]);  // row 1 starts at the picture's own row 1
  EXPECT_EQ(row1[3], image->pixels[9]);
  EXPECT_EQ(bits[32], 0xEE);
  ImageDestroy(&image);
}

TEST(CopyPicture, SmallerPictureLeavesTheRestOfTheBitmap) {
  Image* image = makeImage(2, 1);
  std::vector<uint8_t> bits(3 * 2 * 4, 0xFF);
  copyPictureToBitmap(image, bits.data(), 3, 2);
  uint32_t first[3];
  std::memcpy(first, bits.data(), 12);
  EXPECT_EQ(first[0], image->pixels[0]);
  EXPECT_EQ(first[1], image->pixels[1]);
  EXPECT_EQ(first[2], 0xFFFFFFFFu);
  EXPECT_EQ(bits[12], 0xFF);
  ImageDestroy(&image);
}

TEST(CopyPicture, NothingWithoutABitmapOrPixels) {
  Image* image = makeImage(2, 2);
  copyPictureToBitmap(image, nullptr, 2, 2);  // must not crash
  std::vector<uint8_t> bits(16, 0x11);
  copyPictureToBitmap(nullptr, bits.data(), 2, 2);
  copyPictureToBitmap(image, bits.data(), 0, 2);
  EXPECT_EQ(bits, std::vector<uint8_t>(16, 0x11));
  ImageDestroy(&image);
}
