// Loading a picture by resource name and copying it into a panel's bitmap.
#include "launcher/picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "image/resize.h"
#include "launcher/dpi_scale.h"
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

namespace {
// What start-up did before pictures were kept: resize a copy in place, copy it into the
// bitmap. Drawing from the kept original must give the same bytes.
std::vector<uint8_t> drawnInPlace(const Image* original, double sx, double sy, int w, int h) {
  Image* copy = ImageCreate(original->width, original->height, original->bitDepth);
  std::memcpy(copy->pixels, original->pixels, std::size_t(original->pixelCount) * 4);
  ImageResizeInPlace(&copy, sx, sy, kResizeFactor, kFilterBilinear, kFilterBilinear);
  std::vector<uint8_t> bits(std::size_t(w) * h * 4, 0xFF);
  copyPictureToBitmap(copy, bits.data(), w, h);
  ImageDestroy(&copy);
  return bits;
}
}  // namespace

TEST(DrawPictureAtScale, GivesWhatAResizeInPlaceGaveAndKeepsTheOriginal) {
  struct Case {
    double sx, sy;
    bool covers;  // the panel's own bitmap is written whole
  };
  // 1.0 copies, 1.25 to 2.0 enlarge, 1.0 x 0.75 shrinks one side, 0.5 x 0.5 is refused by
  // the resize (the original is then cut to the bitmap), 0.999 keeps the size.
  const Case cases[] = {{1.0, 1.0, true},  {1.25, 1.25, true}, {1.5, 1.5, true},    {2.0, 1.0, true},
                        {1.0, 0.75, true}, {0.5, 0.5, false},  {0.999, 0.999, true}};
  Image* original = makeImage(37, 23);
  for (int i = 0; i < original->pixelCount; ++i) original->pixels[i] = 0x01000000u * uint32_t(i % 251) ^ uint32_t(i * 2654435761u);
  const std::vector<uint32_t> before(original->pixels, original->pixels + original->pixelCount);
  for (const Case& c : cases) {
    // The panel's own bitmap size, and a smaller one that cuts the resized picture.
    const int w = scaleBy(original->width, c.sx), h = scaleBy(original->height, c.sy);
    for (const std::pair<int, int>& size : {std::make_pair(w, h), std::make_pair(20, 9)}) {
      const std::size_t bytes = std::size_t(size.first) * size.second * 4;
      std::vector<uint8_t> bits(bytes + 64, 0xFF);
      std::fill(bits.begin() + std::ptrdiff_t(bytes), bits.end(), 0xEE);  // nothing written past the bitmap
      const bool covered = drawPictureAtScale(original, c.sx, c.sy, bits.data(), size.first, size.second);
      EXPECT_EQ(covered, c.covers && size.first == w) << c.sx << " x " << c.sy << " into " << size.first;
      std::vector<uint8_t> expected = drawnInPlace(original, c.sx, c.sy, size.first, size.second);
      expected.resize(bytes + 64, 0xEE);
      EXPECT_EQ(bits, expected) << c.sx << " x " << c.sy << " into " << size.first << " x " << size.second;
      EXPECT_TRUE(std::equal(before.begin(), before.end(), original->pixels)) << c.sx << " x " << c.sy;
    }
  }
  ImageDestroy(&original);
}

TEST(DrawPictureAtScale, TheBitmapSizeOfEveryDpiIsTheResizedSize) {
  // The panel's bitmap is scaleX(width) x scaleY(height); the resize must fill exactly that,
  // or a DPI change would leave a white edge or cut the picture.
  for (int dpi : {96, 108, 120, 132, 144, 168, 192, 240, 288}) {
    const double s = dpi / 96.0;
    for (int side : {1, 2, 3, 7, 99, 100, 101, 333, 720, 1279, 1280}) {
      Image* line = makeImage(side, 1);
      Image* scaled = nullptr;
      ASSERT_EQ(ImageResize(&scaled, line, s, s, kResizeFactor, kFilterBilinear, kFilterBilinear), 1);
      EXPECT_EQ(scaled->width, scaleBy(side, s)) << dpi << " DPI, " << side;
      EXPECT_EQ(scaled->height, scaleBy(1, s)) << dpi << " DPI";
      ImageDestroy(&scaled);
      ImageDestroy(&line);
    }
  }
}

TEST(DrawPictureAtScale, NothingWithoutAPictureOrBitmap) {
  std::vector<uint8_t> bits(16, 0x11);
  EXPECT_FALSE(drawPictureAtScale(nullptr, 1.5, 1.5, bits.data(), 2, 2));
  EXPECT_EQ(bits, std::vector<uint8_t>(16, 0x11));
  Image* image = makeImage(2, 2);
  EXPECT_FALSE(drawPictureAtScale(image, 1.5, 1.5, nullptr, 3, 3));
  ImageDestroy(&image);
}
