#pragma once
// Round trips of the TLG writers through a reader. Included by one test file per reader, which
// defines decodeForRoundTrip first: the reference reader here, TlgLoadFromMemory once it exists.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/codecs/grey_level.h"
#include "image/image.h"
#include "image/tlg/tlg_encode.h"
#include "tests/image/tlg_write/tlg_write_test_util.h"

namespace tlgtest {

struct Decoded {
  bool ok = false;
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  std::string name;
  int32_t left = 0, top = 0, mode = 0;
};

Decoded decodeForRoundTrip(const std::vector<uint8_t>& file);

// What a reader gives back for packed pixel (x, y). One-colour TLG6 settles only byte 0.
inline ::testing::AssertionResult samePixels(const Packed& p, const Decoded& d, bool tlg6) {
  if (!d.ok) return ::testing::AssertionFailure() << "not decoded";
  if (d.width != p.width || d.height != p.height)
    return ::testing::AssertionFailure() << "size " << d.width << "x" << d.height;
  const uint32_t mask = (tlg6 && p.colours == 1) ? 0xFFu : 0xFFFFFFFFu;
  for (int y = 0; y < p.height; ++y)
    for (int x = 0; x < p.width; ++x) {
      uint32_t want;
      if (p.colours == 1) want = 0xFF000000u | p.at(x, y, 0) * 0x010101u;
      else want = p.at(x, y, 0) | p.at(x, y, 1) << 8 | p.at(x, y, 2) << 16 |
                  uint32_t(p.colours == 4 ? p.at(x, y, 3) : 0xFF) << 24;
      const uint32_t got = d.pixels[std::size_t(y) * p.width + x];
      if ((got & mask) != (want & mask))
        return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << ") " << std::hex << got
                                             << " want " << want;
    }
  return ::testing::AssertionSuccess();
}

struct Size {
  int width, height;
};
constexpr Size kAwkwardSizes[] = {{1, 1}, {7, 3}, {8, 8}, {9, 9}, {19, 19}, {33, 17}, {2, 40}, {64, 1}};
constexpr Kind kKinds[] = {Kind::Noise, Kind::Smooth, Kind::Flat, Kind::Uniform};

TEST(TlgWriteRoundTrip, AwkwardSizesEveryColourCountBothFormats) {
  uint32_t seed = 1;
  for (const Size& s : kAwkwardSizes)
    for (int colours : {1, 3, 4})
      for (Kind kind : kKinds) {
        const Packed p = makePacked(s.width, s.height, colours, kind, seed++);
        SCOPED_TRACE(::testing::Message() << s.width << "x" << s.height << " colours " << colours
                                          << " kind " << int(kind));
        EXPECT_TRUE(samePixels(p, decodeForRoundTrip(encodeTlg6(p)), true)) << "TLG6";
        EXPECT_TRUE(samePixels(p, decodeForRoundTrip(encodeTlg5(p)), false)) << "TLG5";
      }
}

TEST(TlgWriteRoundTrip, LargePictures) {
  for (int colours : {1, 3, 4})
    for (Kind kind : {Kind::Smooth, Kind::Flat, Kind::Noise}) {
      const Packed p = makePacked(517, 389, colours, kind, 77 + colours);
      SCOPED_TRACE(::testing::Message() << "colours " << colours << " kind " << int(kind));
      EXPECT_TRUE(samePixels(p, decodeForRoundTrip(encodeTlg6(p, 0)), true)) << "TLG6";
      EXPECT_TRUE(samePixels(p, decodeForRoundTrip(encodeTlg5(p)), false)) << "TLG5";
    }
}

// Through the save entry and a file: containers with tags, and bare streams without.
TEST(TlgWriteRoundTrip, SavedFilesWithAndWithoutTags) {
  const std::string path = ::testing::TempDir() + "tlg_write_roundtrip.tlg";
  int round = 0;
  for (int depth : {8, 24, 32})
    for (int useTlg6 : {0, 1})
      for (bool tags : {false, true}) {
        const Packed p = makePacked(19 + round, 11, 4, Kind::Smooth, 5 + round);
        ++round;
        limg::Image* image = limg::ImageCreate(p.width, p.height, 32);
        ASSERT_NE(image, nullptr);
        for (int y = 0; y < p.height; ++y)
          for (int x = 0; x < p.width; ++x)
            image->pixels[y * p.width + x] = p.at(x, y, 0) | p.at(x, y, 1) << 8 | p.at(x, y, 2) << 16 |
                                             uint32_t(p.at(x, y, 3)) << 24;
        if (tags) {
          std::snprintf(image->name, sizeof image->name, "layer%d.png", round);
          image->left = -3 * round;
          image->top = 70000 + round;
          image->mode = round % 2 ? 0 : 12;
        }
        SCOPED_TRACE(::testing::Message() << "depth " << depth << " tlg6 " << useTlg6 << " tags " << tags);
        ASSERT_EQ(limg::TlgSave(path.c_str(), image, depth, useTlg6), 1);
        std::ifstream in(path, std::ios::binary);
        const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        const Decoded d = decodeForRoundTrip(file);
        // The expected pixels: the image's bytes as far as the depth keeps them; 8 bits keep
        // the grey level.
        Packed want = makePacked(p.width, p.height, depth / 8, Kind::Uniform);
        for (int y = 0; y < p.height; ++y)
          for (int x = 0; x < p.width; ++x)
            for (int c = 0; c < depth / 8; ++c)
              want.bytes[(std::size_t(y) * p.width + x) * want.colours + c] =
                  depth == 8 ? limg::greyLevel(image->pixels[y * p.width + x]) : p.at(x, y, c);
        EXPECT_TRUE(samePixels(want, d, useTlg6 != 0));
        EXPECT_EQ(d.name, std::string(image->name));
        if (tags) {
          EXPECT_EQ(d.name, "layer" + std::to_string(round) + ".tlg");
          EXPECT_EQ(d.left, image->left);
          EXPECT_EQ(d.top, image->top);
          EXPECT_EQ(d.mode, image->mode);
        } else {
          EXPECT_EQ(file[3], useTlg6 ? '6' : '5');  // a bare pixel stream
          EXPECT_EQ(d.left, 0);
          EXPECT_EQ(d.mode, 0);
        }
        limg::ImageDestroy(&image);
      }
  std::remove(path.c_str());
}

}  // namespace tlgtest
