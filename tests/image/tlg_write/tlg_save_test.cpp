#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/codecs/grey_level.h"
#include "image/image.h"
#include "image/tlg/tlg_encode.h"
#include "tests/image/tlg_write/tlg_reference_decoder.h"
#include "tests/image/tlg_write/tlg_write_test_util.h"

using namespace limg;

namespace {

using tlgtest::le32;

struct ImageHolder {
  Image* image;
  explicit ImageHolder(int w, int h, int depth = 32) : image(ImageCreate(w, h, depth)) {
    for (int i = 0; i < w * h; ++i) image->pixels[i] = 0x80000000u | uint32_t(i * 2654435761u) >> 8;
  }
  ~ImageHolder() { ImageDestroy(&image); }
};

std::vector<uint8_t> readFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::string tempPath(const char* name) { return ::testing::TempDir() + name; }

TEST(TlgSave, SixCharacterNameContainerLayoutAndTags) {
  ImageHolder h(10, 9);
  std::strcpy(h.image->name, "ab.png");
  h.image->left = 0x01020304;
  h.image->top = -2;
  h.image->mode = 0;
  const std::string path = tempPath("tlg_save_tags.tlg");
  ASSERT_EQ(TlgSave(path.c_str(), h.image, 0, 1), 1);
  EXPECT_STREQ(h.image->name, "ab.tlg");  // renamed in the caller's record
  const std::vector<uint8_t> f = readFile(path);
  std::remove(path.c_str());
  ASSERT_GT(f.size(), 30u);
  EXPECT_EQ(std::string(f.begin(), f.begin() + 11), std::string("TLG0.0\0sds\x1a", 11));
  const uint32_t raw = le32(f, 11);
  EXPECT_EQ(std::string(f.begin() + 15, f.begin() + 26), std::string("TLG6.0\0raw\x1a", 11));
  const std::size_t chunk = 15 + raw;
  EXPECT_EQ(std::string(f.begin() + chunk, f.begin() + chunk + 4), "tags");
  const uint32_t n = le32(f, chunk + 4);
  ASSERT_EQ(chunk + 8 + n, f.size());
  const std::string text(f.begin() + chunk + 8, f.end());
  const std::string want = std::string("1:\x02=4:\x04\x03\x02\x01,") + "1:\x03=4:\xFE\xFF\xFF\xFF," +
                           std::string("1:\x04=4:\0\0\0\0,", 11) + "1:\x01=6:ab.tlg";
  EXPECT_EQ(text, want);
  EXPECT_EQ(n, 45u);
  // The pixel stream is the one the encoder writes for the packed pixels on its own.
  std::vector<const uint8_t*> rows;
  std::vector<uint8_t> packed;
  for (int i = 0; i < 90; ++i)
    for (int c = 0; c < 4; ++c) packed.push_back(uint8_t(h.image->pixels[i] >> (8 * c)));
  for (int y = 0; y < 9; ++y) rows.push_back(packed.data() + y * 40);
  TlgMemoryWriter w(64);
  SaveTLG6({10, 9, rows.data(), 7}, w);
  EXPECT_EQ(std::vector<uint8_t>(f.begin() + 15, f.begin() + chunk), tlgtest::bytesOf(w));
}

TEST(TlgSave, TagsValueFieldsSitAtFixedOffsets) {
  ImageHolder h(1, 1);
  h.image->left = 111;
  h.image->top = 222;
  h.image->mode = 333;
  std::strcpy(h.image->name, "x");
  uint8_t text[320];
  const uint32_t n = TlgFormatTags(*h.image, text, sizeof text);
  EXPECT_EQ(n, 37u + 3u);  // "1:", 0x01, "=1:x"
  auto at = [&](int offset) { return int32_t(text[offset] | text[offset + 1] << 8 | text[offset + 2] << 16 | uint32_t(text[offset + 3]) << 24); };
  EXPECT_EQ(at(6), 111);
  EXPECT_EQ(at(17), 222);
  EXPECT_EQ(at(28), 333);
  EXPECT_EQ(TlgFormatTags(*h.image, text, 39), 0u);  // too small a buffer takes nothing
}

TEST(TlgSave, ModeAloneMakesAContainerWithAnEmptyName) {
  ImageHolder h(3, 2, 24);
  h.image->mode = 5;
  const std::string path = tempPath("tlg_save_mode.tlg");
  ASSERT_EQ(TlgSave(path.c_str(), h.image, 0, 0), 1);
  const std::vector<uint8_t> f = readFile(path);
  std::remove(path.c_str());
  const tlgref::Picture pic = tlgref::decode(f);
  ASSERT_TRUE(pic.ok);
  EXPECT_TRUE(pic.hasTags);
  EXPECT_EQ(pic.mode, 5);
  EXPECT_EQ(pic.name, "");
  const std::string tail(f.end() - 4, f.end());
  EXPECT_EQ(tail, std::string("=0:", 3).insert(0, "\x01"));
  EXPECT_EQ(pic.colours, 3);  // bitDepth 0 took the image's 24
}

TEST(TlgSave, LongestNameIsKeptWhole) {
  ImageHolder h(2, 2);
  std::string name(251, 'n');
  name += ".png";
  std::memcpy(h.image->name, name.c_str(), 256);  // 255 characters and the zero
  const std::string path = tempPath("tlg_save_long.tlg");
  ASSERT_EQ(TlgSave(path.c_str(), h.image, 32, 1), 1);
  const tlgref::Picture pic = tlgref::decode(readFile(path));
  std::remove(path.c_str());
  ASSERT_TRUE(pic.ok);
  EXPECT_EQ(pic.name, name.substr(0, 252) + "tlg");
  // A record whose name fills all 256 bytes without a zero is bounded at 255.
  std::memset(h.image->name, 'q', 256);
  ASSERT_EQ(TlgSave(path.c_str(), h.image, 32, 1), 1);
  const tlgref::Picture unterminated = tlgref::decode(readFile(path));
  std::remove(path.c_str());
  EXPECT_EQ(unterminated.name, std::string(255, 'q'));
}

TEST(TlgSave, RefusalsReturnZero) {
  const std::string path = tempPath("tlg_save_refused.tlg");
  std::remove(path.c_str());
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(TlgSave(path.c_str(), nullptr, 32, 1), 0);
  const std::string said = ::testing::internal::GetCapturedStdout();
  EXPECT_EQ(said, "TLG: \"" + path + "\" 画像データが空です\n");

  ImageHolder h(4, 4);
  for (int depth : {1, 15, 16, 48}) {
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(TlgSave(path.c_str(), h.image, depth, 1), 0) << depth;
    EXPECT_EQ(::testing::internal::GetCapturedStdout().rfind("TLG: ", 0), 0u);
  }
  EXPECT_FALSE(std::ifstream(path).good());  // nothing was written

  Image* empty = ImageNewRecord();  // a record a rejected stream leaves: no pixels
  ::testing::internal::CaptureStdout();
  EXPECT_EQ(TlgSave(path.c_str(), empty, 32, 1), 0);
  ::testing::internal::GetCapturedStdout();
  ImageDestroy(&empty);

  ::testing::internal::CaptureStdout();
  EXPECT_EQ(TlgSave((::testing::TempDir() + "no/such/dir/x.tlg").c_str(), h.image, 32, 0), 0);
  ::testing::internal::GetCapturedStdout();
}

TEST(TlgSave, GreyDepthStoresTheGreyLevelInOneColourTlg6AndThreeColourTlg5) {
  ImageHolder colour(12, 7);
  ImageHolder grey(12, 7);
  for (int i = 0; i < 84; ++i) grey.image->pixels[i] = 0xFF000000u | uint32_t(i * 3) * 0x010101u;
  const std::string path = tempPath("tlg_save_grey.tlg");
  for (int useTlg6 : {1, 0}) {
    SCOPED_TRACE(useTlg6);
    ASSERT_EQ(TlgSave(path.c_str(), colour.image, 8, useTlg6), 1);
    const std::vector<uint8_t> f = readFile(path);
    EXPECT_EQ(f[11], useTlg6 ? 1 : 3);
    const tlgref::Picture pic = tlgref::decode(f);
    ASSERT_TRUE(pic.ok);
    for (int i = 0; i < 84; ++i) {
      const uint32_t g = greyLevel(colour.image->pixels[i]);
      ASSERT_EQ(pic.pixels[i] & 0xFF, g) << i;
    }
    // A grey picture's grey level is its blue byte: the stream is the encoder's output for
    // the blue plane, as 8-bit files were always written.
    ASSERT_EQ(TlgSave(path.c_str(), grey.image, 8, useTlg6), 1);
    std::vector<uint8_t> blue(84);
    for (int i = 0; i < 84; ++i) blue[i] = uint8_t(grey.image->pixels[i]);
    std::vector<const uint8_t*> rows;
    for (int y = 0; y < 7; ++y) rows.push_back(blue.data() + y * 12);
    TlgMemoryWriter w(64);
    if (useTlg6) SaveTLG6({12, 7, rows.data(), 3}, w);
    else Tlg5Encode({12, 7, rows.data(), 3}, w);
    EXPECT_EQ(readFile(path), tlgtest::bytesOf(w));
  }
  std::remove(path.c_str());
}

}  // namespace
