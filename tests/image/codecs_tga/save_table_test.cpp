// The save table: every writer through its entry and back through the loader, exact for BMP,
// PNG, TLG5, TLG6 and TGA, within a tolerance for JPEG; the memory table's bytes against the
// files; option meanings; refusals, writes that fail, the layer-name rule.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>

#include "image/codecs/grey_level.h"
#include "image/codecs/save_table.h"
#include "tests/image/codecs_tga/tga_test_util.h"
#include "tests/support/temp_dir.h"

using namespace limg;

namespace {

struct Writer {
  const char* name;
  int format;
  int32_t optionA, optionB;
  const char* magic;  // the file's first bytes
  bool exact;
};

const Writer kWriters[] = {
    {"bmp", kImageSaveBmp, 0, 0, "BM", true},
    {"png", kImageSavePng, 9, 0, "\x89PNG", true},
    {"png-adam7", kImageSavePng, 1, 1, "\x89PNG", true},
    {"jpeg", kImageSaveJpeg, 95, 0, "\xFF\xD8", false},
    {"tlg5", kImageSaveTlg6, 0, 0, "TLG5.0", true},
    {"tlg6", kImageSaveTlg6, 1, 0, "TLG6.0", true},
    {"tga", kImageSaveTga, 0, 0, "\0\0\2", true},
    {"tga-rle", kImageSaveTga, 1, 0, "\0\0\12", true},
};

// Smooth colours and alpha, which JPEG keeps well.
ImagePtr makeGradient(int32_t w, int32_t h, int32_t bitDepth) {
  ImagePtr image(ImageCreate(w, h, bitDepth));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t b = uint32_t(x * 255 / (w - 1)), g = uint32_t(y * 255 / (h - 1)), r = (b + g) / 2;
      const uint32_t a = bitDepth == 32 ? 255 - g / 2 : 255;
      image->pixels[y * w + x] = a << 24 | r << 16 | g << 8 | b;
    }
  return image;
}

// The pictures of the round trip; the first ones are smooth (kSmoothPictures).
constexpr std::size_t kSmoothPictures = 3;
std::vector<ImagePtr> pictures() {
  std::vector<ImagePtr> out;
  out.push_back(makeGradient(40, 30, 24));
  out.push_back(makeGradient(41, 29, 32));
  const Bytes sample = readFile(testdata("tga/sdl2-image/sample.tga"));
  out.emplace_back(ImageLoadFromMemory(sample.data(), int32_t(sample.size())));
  out.push_back(makePicture(1, 1, 24));
  out.push_back(makePicture(17, 9, 24));
  out.push_back(makePicture(64, 33, 32));
  const Bytes logo = readFile(testdata("tga/gdk-pixbuf/gtk-logo-rle-32bpp-top-left.tga"));
  out.emplace_back(ImageLoadFromMemory(logo.data(), int32_t(logo.size())));
  return out;
}

// The mean difference of channel c (0-3) between two pictures, over the pixels that are
// visible in the original (any alpha for the alpha channel).
double meanDifference(const Image& original, const Image& decoded, int c) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(original.pixels);
  const uint8_t* q = reinterpret_cast<const uint8_t*>(decoded.pixels);
  long sum = 0, count = 0;
  for (int32_t i = 0; i < original.pixelCount; ++i) {
    if (c < 3 && p[4 * i + 3] == 0) continue;
    sum += std::abs(int(p[4 * i + c]) - int(q[4 * i + c]));
    ++count;
  }
  return count ? double(sum) / double(count) : 0.0;
}

TEST(SaveTable, EveryWriterRoundTrips) {
  TempDir dir;
  const std::vector<ImagePtr> inputs = pictures();
  for (const Writer& w : kWriters)
    for (std::size_t n = 0; n < inputs.size(); ++n) {
      const ImagePtr& input = inputs[n];
      ASSERT_TRUE(input);
      SCOPED_TRACE(std::string(w.name) + " " + std::to_string(input->width) + "x" + std::to_string(input->height));
      const std::string path = std::string("out.") + w.name;
      ASSERT_EQ(ImageSaveFunctions[w.format](path.c_str(), input.get(), 0, w.optionA, w.optionB), 1);
      const Bytes file = readFile(path);
      const std::string magic = w.format == kImageSaveTga ? std::string(w.magic, 3) : w.magic;
      if (w.format == kImageSaveTlg6) {
        ASSERT_NE(std::string(file.begin(), file.end()).find(magic), std::string::npos);
      } else {
        ASSERT_GE(file.size(), magic.size());
        ASSERT_EQ(std::string(file.begin(), file.begin() + magic.size()), magic);
      }
      // The memory writer makes the file's bytes.
      ImageBytes bytes{};
      ASSERT_EQ(ImageSaveToMemoryFunctions[w.format](input.get(), 0, w.optionA, w.optionB, &bytes), 1);
      EXPECT_EQ(Bytes(bytes.data, bytes.data + bytes.size), file);
      EXPECT_EQ(reinterpret_cast<uintptr_t>(bytes.data) % 16, 0u);
      ImageBytesFree(&bytes);
      EXPECT_EQ(bytes.data, nullptr);
      const ImagePtr back(ImageLoadFromMemory(file.data(), int32_t(file.size())));
      ASSERT_TRUE(back && back->pixels);
      ASSERT_EQ(back->width, input->width);
      ASSERT_EQ(back->height, input->height);
      EXPECT_EQ(back->bitDepth, input->bitDepth);
      if (w.exact) {
        EXPECT_EQ(pictureOf(*back).pixels, pictureOf(*input).pixels);
        continue;
      }
      // The alpha plane is coded losslessly when that is smallest, as for these pictures.
      EXPECT_LT(meanDifference(*input, *back, 3), 1.0);
      if (n >= kSmoothPictures) continue;
      for (int c = 0; c < 3; ++c) EXPECT_LT(meanDifference(*input, *back, c), 2.5) << c;
    }
}

TEST(SaveTable, EightBitsStoreGreyLevelsWhereTheFormatHasThem) {
  TempDir dir;
  const ImagePtr input = makePicture(13, 7, 24);
  for (int format : {kImageSaveBmp, kImageSavePng, kImageSaveTlg6}) {
    SCOPED_TRACE(format);
    ASSERT_EQ(ImageSaveFunctions[format]("grey", input.get(), 8, 6, 0), 1);
    const Bytes file = readFile("grey");
    const ImagePtr back(ImageLoadFromMemory(file.data(), int32_t(file.size())));
    ASSERT_TRUE(back && back->pixels);
    for (int32_t i = 0; i < input->pixelCount; ++i)
      ASSERT_EQ(back->pixels[i], 0xFF000000u | greyLevel(input->pixels[i]) * 0x010101u) << i;
  }
  testing::internal::CaptureStdout();
  EXPECT_EQ(ImageSaveFunctions[kImageSaveTga]("grey.tga", input.get(), 8, 0, 0), 0);
  testing::internal::GetCapturedStdout();
  EXPECT_FALSE(fileExists("grey.tga"));
}

TEST(SaveTable, NoImageIsAFailureForEveryEntry) {
  TempDir dir;
  for (int format = 0; format < kImageSaveFormatCount; ++format) {
    SCOPED_TRACE(format);
    testing::internal::CaptureStdout();
    EXPECT_EQ(ImageSaveFunctions[format]("none", nullptr, 0, 0, 0), 0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("\"none\""), std::string::npos);
    EXPECT_FALSE(fileExists("none"));
    ImageBytes bytes{};
    testing::internal::CaptureStdout();
    EXPECT_EQ(ImageSaveToMemoryFunctions[format](nullptr, 0, 0, 0, &bytes), 0);
    EXPECT_NE(testing::internal::GetCapturedStdout().find("\"<memory>\""), std::string::npos);
    EXPECT_EQ(bytes.data, nullptr);
  }
}

// A disk that fills up part way: the writes (or the close that flushes them) fail past a
// file-size limit. Every writer then reports 0 and leaves no partial file behind.
TEST(SaveTable, WritesThatFailGiveZeroAndNoFile) {
  TempDir dir;
  const ImagePtr input = makePicture(64, 33, 32);
  rlimit saved{};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
  const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
  for (const Writer& w : kWriters) {
    SCOPED_TRACE(w.name);
    const std::string path = std::string("full.") + w.name;
    rlimit small = saved;
    small.rlim_cur = 300;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    testing::internal::CaptureStdout();
    const int result = ImageSaveFunctions[w.format](path.c_str(), input.get(), 0, w.optionA, w.optionB);
    setrlimit(RLIMIT_FSIZE, &saved);
    const std::string said = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, 0);
    EXPECT_FALSE(fileExists(path));
    EXPECT_NE(said.find("\"" + path + "\""), std::string::npos) << said;
  }
  std::signal(SIGXFSZ, oldHandler);
}

// One rule for every writer that stores the name (PNG, JPEG, TLG): a three-letter extension
// becomes the format's; BMP and TGA keep no name and leave it alone.
TEST(SaveTable, LayerNameExtensionRule) {
  struct Case {
    const char* name;
    bool renamed;  // its last three bytes become the format's extension
  };
  const Case cases[] = {
      {"face.bmp", true}, {"x.tga", true}, {"a.b.jpg", true},     {".tga", true},    {"face.png", true},
      {"face", false},    {"a.b", false},  {"photo.jpeg", false}, {"abc.de", false}, {"dir.x/face", false},
  };
  const ImagePtr input = makePicture(4, 3, 24);
  const struct {
    int format;
    int32_t optionA;
    const char* extension;
  } writers[] = {{kImageSavePng, 6, "png"}, {kImageSaveJpeg, 90, "jpg"}, {kImageSaveTlg6, 1, "tlg"},
                 {kImageSaveBmp, 0, nullptr}, {kImageSaveTga, 0, nullptr}};
  for (const auto& w : writers)
    for (const Case& c : cases) {
      SCOPED_TRACE(std::to_string(w.format) + " " + c.name);
      std::strcpy(input->name, c.name);
      ImageBytes bytes{};
      ASSERT_EQ(ImageSaveToMemoryFunctions[w.format](input.get(), 0, w.optionA, 0, &bytes), 1);
      std::string want = c.name;
      if (w.extension && c.renamed) want.replace(want.size() - 3, 3, w.extension);
      EXPECT_EQ(std::string(input->name), want);
      if (w.extension) {  // and the file carries the record's name
        const ImagePtr back(ImageLoadFromMemory(bytes.data, int32_t(bytes.size)));
        ASSERT_TRUE(back);
        EXPECT_EQ(std::string(back->name), want);
      }
      ImageBytesFree(&bytes);
    }
}

}  // namespace
