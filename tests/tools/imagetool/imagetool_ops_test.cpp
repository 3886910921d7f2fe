// imagetool's image-operation commands, run as a program on 32-bit BMP pictures.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/codecs/bmp_save.h"
#include "image/image.h"
#include "image/ops/ops.h"
#include "tests/tools/imagetool/tool_command.h"

using namespace limg;

namespace {

struct Dir {
  std::string path;
  Dir() {
    char pattern[] = "/tmp/imagetool_ops.XXXXXX";
    path = mkdtemp(pattern);
  }
  ~Dir() { std::system(("rm -rf '" + path + "'").c_str()); }
  std::string operator/(const std::string& name) const { return path + "/" + name; }
};

int run(const std::string& args) {
  const int raw = std::system((imagetoolCommand() + " " + args + " >/dev/null 2>&1").c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

bool exists(const std::string& p) { return access(p.c_str(), F_OK) == 0; }

// A w x h picture with alpha whose pixel (x, y) is made by `pixel`.
template <class F>
void writePicture(const std::string& path, int w, int h, F pixel) {
  Image* image = ImageCreate(w, h, 32);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image->pixels[y * w + x] = pixel(x, y);
  ASSERT_EQ(BmpSave(path.c_str(), image, 32), 1);
  ImageDestroy(&image);
}

struct Loaded {
  int width = 0, height = 0;
  std::vector<uint32_t> pixels;
  uint32_t at(int x, int y) const { return pixels[std::size_t(y) * width + x]; }
};

Loaded load(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  Loaded l;
  Image* image = ImageLoadFromMemory(bytes.data(), int32_t(bytes.size()));
  if (!image) return l;
  l.width = image->width;
  l.height = image->height;
  l.pixels.assign(image->pixels, image->pixels + image->pixelCount);
  ImageDestroy(&image);
  return l;
}

uint32_t pattern(int x, int y) { return 0xFF000000u | uint32_t(x * 10) << 16 | uint32_t(y * 20) << 8 | 7u; }

}  // namespace

TEST(ImagetoolOps, CutGivesTheWindowWithTransparentOutside) {
  Dir d;
  writePicture(d / "in.bmp", 4, 3, pattern);
  ASSERT_EQ(run("cut " + d / "in.bmp " + d / "out.bmp --rect -1,1,3,2"), 0);
  const Loaded o = load(d / "out.bmp");
  ASSERT_EQ(o.width, 3);
  ASSERT_EQ(o.height, 2);
  EXPECT_EQ(o.at(0, 0), 0u);  // column -1 lies outside the source
  EXPECT_EQ(o.at(1, 0), pattern(0, 1));
  EXPECT_EQ(o.at(2, 1), pattern(1, 2));
  EXPECT_NE(run("cut " + d / "in.bmp " + d / "bad.bmp --rect 1,2"), 0);
  EXPECT_FALSE(exists(d / "bad.bmp"));
}

TEST(ImagetoolOps, RotateQuarterTurnSwapsTheSides) {
  Dir d;
  writePicture(d / "in.bmp", 6, 2, pattern);
  ASSERT_EQ(run("rotate " + d / "in.bmp " + d / "out.bmp --angle 90 --filter nearest"), 0);
  const Loaded o = load(d / "out.bmp");
  EXPECT_EQ(o.width, 2);
  EXPECT_EQ(o.height, 6);
  ASSERT_EQ(run("rotate " + d / "in.bmp " + d / "same.bmp --angle 0"), 0);
  const Loaded same = load(d / "same.bmp");
  ASSERT_EQ(same.width, 6);
  EXPECT_EQ(same.at(5, 1), pattern(5, 1));
  EXPECT_NE(run("rotate " + d / "in.bmp " + d / "bad.bmp --angle 0 --filter cubic"), 0);
}

TEST(ImagetoolOps, ComposeOpsAndOutOfRangePosition) {
  Dir d;
  writePicture(d / "dst.bmp", 4, 4, [](int, int) { return 0xFF102030u; });
  writePicture(d / "src.bmp", 2, 2, [](int x, int) { return x ? 0xFFAABBCCu : 0x00112233u; });
  ASSERT_EQ(run("compose " + d / "dst.bmp " + d / "src.bmp " + d / "out.bmp --at 2,2 --op masked"), 0);
  const Loaded o = load(d / "out.bmp");
  EXPECT_EQ(o.at(2, 2), 0xFF102030u);  // transparent source pixel: unchanged
  EXPECT_EQ(o.at(3, 3), 0xFFAABBCCu);
  EXPECT_EQ(o.at(1, 1), 0xFF102030u);
  ASSERT_EQ(run("compose " + d / "dst.bmp " + d / "src.bmp " + d / "x.bmp --op xor"), 0);
  EXPECT_EQ(load(d / "x.bmp").at(1, 0), 0xFF102030u ^ 0xFFAABBCCu);
  EXPECT_NE(run("compose " + d / "dst.bmp " + d / "src.bmp " + d / "far.bmp --at 4,0"), 0);
  EXPECT_FALSE(exists(d / "far.bmp"));
}

TEST(ImagetoolOps, BlendByNameAndNumberAndModeElevenIsTwo) {
  Dir d;
  writePicture(d / "dst.bmp", 3, 3, [](int x, int y) { return 0xFF000000u | uint32_t(x * 40 + y * 3) * 0x010101u; });
  writePicture(d / "src.bmp", 3, 3, [](int x, int y) { return 0xFF000000u | uint32_t(90 + x - y) * 0x010101u; });
  ASSERT_EQ(run("blend " + d / "dst.bmp " + d / "src.bmp " + d / "add.bmp --mode add"), 0);
  ASSERT_EQ(run("blend " + d / "dst.bmp " + d / "src.bmp " + d / "two.bmp --mode 2"), 0);
  ASSERT_EQ(run("blend " + d / "dst.bmp " + d / "src.bmp " + d / "eleven.bmp --mode 11"), 0);
  const Loaded add = load(d / "add.bmp"), two = load(d / "two.bmp"), eleven = load(d / "eleven.bmp");
  ASSERT_EQ(add.width, 3);
  EXPECT_EQ(add.pixels, two.pixels);
  EXPECT_EQ(two.pixels, eleven.pixels);
  EXPECT_EQ(add.at(2, 0) & 0xFF, 80u + 92u);  // add: 80 + 92
  ASSERT_EQ(run("blend " + d / "dst.bmp " + d / "src.bmp " + d / "none.bmp --mode normal --opacity 0"), 0);
  EXPECT_EQ(load(d / "none.bmp").pixels, load(d / "dst.bmp").pixels);
  EXPECT_NE(run("blend " + d / "dst.bmp " + d / "src.bmp " + d / "bad.bmp --mode sparkle"), 0);
  EXPECT_NE(run("blend " + d / "dst.bmp " + d / "src.bmp " + d / "far.bmp --mode 1 --at -3,0"), 0);
  EXPECT_FALSE(exists(d / "far.bmp"));
  EXPECT_EQ(run("blend --list-modes"), 0);
}

TEST(ImagetoolOps, NumbersOutOfRangeAreRefusedNotWrapped) {
  Dir d;
  writePicture(d / "a.bmp", 4, 4, [](int, int) { return 0xFF102030u; });
  const std::string a = d / "a.bmp ";
  // Each would wrap to a valid value (1, 0, 2, 256) if it were cast to 32 bits first.
  const std::string cases[] = {
      "compose " + a + a + d / "out.bmp --at 4294967296,0",
      "compose " + a + a + d / "out.bmp --at 0,-4294967296",
      "blend " + a + a + d / "out.bmp --mode 4294967297",
      "blend " + a + a + d / "out.bmp --mode 1e300",
      "blend " + a + a + d / "out.bmp --mode 1 --opacity 4294967552",
      "blend " + a + a + d / "out.bmp --mode 1 --at 0,4294967298",
      "mask " + a + d / "out.bmp --split --type 4294967298",
      "mask " + a + d / "out.bmp --split --type 2.5",
  };
  for (const std::string& c : cases) {
    EXPECT_EQ(run(c), 1) << c;
    EXPECT_FALSE(exists(d / "out.bmp")) << c;
  }
  EXPECT_EQ(run("compose " + a + a + d / "out.bmp --at 0,0"), 0);  // the same commands in range work
}

TEST(ImagetoolOps, MaskFromAFileAndFromTheRightHalf) {
  Dir d;
  writePicture(d / "wide.bmp", 200, 100, [](int x, int y) {
    return x < 100 ? 0xFF808080u : 0xFF000000u | uint32_t((x - 100 + y) & 0xFF);
  });
  ASSERT_EQ(run("mask " + d / "wide.bmp " + d / "split.bmp --split --type 0"), 0);
  const Loaded s = load(d / "split.bmp");
  ASSERT_EQ(s.width, 100);
  ASSERT_EQ(s.height, 100);
  EXPECT_EQ(s.at(7, 3) >> 24, uint32_t(7 + 3));  // alpha: blue byte of the right half
  EXPECT_EQ(s.at(7, 3) & 0xFFFFFF, 0x808080u);
  writePicture(d / "white.bmp", 10, 10, [](int, int) { return 0xFFFFFFFFu; });
  ASSERT_EQ(run("mask " + d / "wide.bmp " + d / "clear.bmp --mask " + d / "white.bmp --type 1 --at 5,5"), 0);
  const Loaded c = load(d / "clear.bmp");
  EXPECT_EQ(c.at(5, 5) >> 24, 0u);
  EXPECT_EQ(c.at(4, 4) >> 24, 255u);
  EXPECT_NE(run("mask " + d / "wide.bmp " + d / "bad.bmp --split --mask " + d / "white.bmp"), 0);
  EXPECT_NE(run("mask " + d / "wide.bmp " + d / "bad.bmp --split --type 9"), 0);
}
