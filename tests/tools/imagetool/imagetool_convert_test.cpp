// imagetool convert: every reader to every writer, the per-format options, layer values,
// one-line errors, and batch conversion of folders.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/codecs/grey_level.h"
#include "image/codecs/save_table.h"
#include "image/image.h"
#include "tests/tools/imagetool/tool_command.h"

using namespace limg;

namespace fs = std::filesystem;

namespace {

struct Scratch {
  std::string dir;
  Scratch() {
    char pattern[] = "/tmp/imagetool_convert.XXXXXX";
    const char* made = mkdtemp(pattern);
    dir = made ? made : "/tmp";
  }
  ~Scratch() {
    std::error_code ec;
    fs::remove_all(dir, ec);
  }
  std::string operator()(const std::string& name) const { return dir + "/" + name; }
};

std::string readText(const std::string& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

struct Result {
  int status;
  std::string out, err;
};

Result run(const Scratch& s, const std::string& args) {
  const std::string out = s("stdout.txt"), err = s("stderr.txt");
  const int raw = std::system((imagetoolCommand() + " " + args + " >" + out + " 2>" + err).c_str());
  return {WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, readText(out), readText(err)};
}

int lines(const std::string& s) { return int(std::count(s.begin(), s.end(), '\n')); }

struct ImageDeleter {
  void operator()(Image* image) const { ImageDestroy(&image); }
};
using ImagePtr = std::unique_ptr<Image, ImageDeleter>;

ImagePtr load(const std::string& path) {
  const std::string bytes = readText(path);
  return ImagePtr(ImageLoadFromMemory(reinterpret_cast<const uint8_t*>(bytes.data()), int32_t(bytes.size())));
}

// A smooth picture (JPEG keeps it well) with alpha when bitDepth is 32.
ImagePtr makePicture(int32_t w, int32_t h, int32_t bitDepth) {
  ImagePtr image(ImageCreate(w, h, bitDepth));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t b = uint32_t(x * 255 / (w - 1)), g = uint32_t(y * 255 / (h - 1)), r = (b + 2 * g) / 3;
      const uint32_t a = bitDepth == 32 ? 255 - b / 3 : 255;
      image->pixels[y * w + x] = a << 24 | r << 16 | g << 8 | b;
    }
  return image;
}

double meanDifference(const Image& a, const Image& b) {
  const uint8_t* p = reinterpret_cast<const uint8_t*>(a.pixels);
  const uint8_t* q = reinterpret_cast<const uint8_t*>(b.pixels);
  double sum = 0;
  for (int32_t i = 0; i < a.pixelCount * 4; ++i) sum += std::abs(int(p[i]) - int(q[i]));
  return sum / (a.pixelCount * 4.0);
}

struct Input {
  const char* ext;
  int format;
  int32_t a;
  bool lossless;
};
const Input kInputs[] = {{"bmp", kImageSaveBmp, 0, true},  {"png", kImageSavePng, 6, true},
                         {"jpg", kImageSaveJpeg, 95, false}, {"tlg", kImageSaveTlg6, 1, true},
                         {"tga", kImageSaveTga, 1, true}};
const char* const kOutputs[] = {"bmp", "png", "jpg", "jpeg", "tlg", "tga", "pam"};

TEST(ImagetoolConvert, EveryReaderToEveryWriter) {
  Scratch s;
  for (int depth : {24, 32}) {
    const ImagePtr picture = makePicture(21, 13, depth);
    for (const Input& in : kInputs) {
      const std::string inPath = s(std::string("in.") + in.ext);
      ASSERT_EQ(ImageSaveFunctions[in.format](inPath.c_str(), picture.get(), 0, in.a, 0), 1);
      const ImagePtr source = load(inPath);
      ASSERT_TRUE(source);
      if (in.lossless) {
        ASSERT_EQ(std::memcmp(source->pixels, picture->pixels, 21 * 13 * 4), 0) << in.ext;
      }
      for (const char* out : kOutputs) {
        SCOPED_TRACE(std::to_string(depth) + " " + in.ext + " -> " + out);
        const std::string outPath = s(std::string("out.") + out);
        const Result r = run(s, "convert " + inPath + " " + outPath);
        ASSERT_EQ(r.status, 0) << r.err;
        if (std::string(out) == "pam") {
          EXPECT_EQ(readText(outPath).rfind("P7\n", 0), 0u);
          continue;
        }
        const ImagePtr back = load(outPath);
        ASSERT_TRUE(back);
        ASSERT_EQ(back->width, 21);
        ASSERT_EQ(back->height, 13);
        EXPECT_EQ(back->bitDepth, depth);
        const bool lossy = out[0] == 'j';
        if (!lossy) {
          EXPECT_EQ(std::memcmp(back->pixels, source->pixels, 21 * 13 * 4), 0);
        } else {
          EXPECT_LT(meanDifference(*back, *source), 3.0);
        }
      }
    }
  }
}

uint8_t at(const std::string& bytes, std::size_t i) { return i < bytes.size() ? uint8_t(bytes[i]) : 0; }

TEST(ImagetoolConvert, FormatOptionsReachTheWriters) {
  Scratch s;
  const ImagePtr picture = makePicture(40, 24, 32);
  const std::string in = s("in.png");
  ASSERT_EQ(ImageSaveFunctions[kImageSavePng](in.c_str(), picture.get(), 0, 6, 0), 1);

  ASSERT_EQ(run(s, "convert " + in + " " + s("grey.png") + " --depth 8").status, 0);
  const ImagePtr grey = load(s("grey.png"));
  ASSERT_TRUE(grey);
  EXPECT_EQ(grey->pixels[5], 0xFF000000u | greyLevel(picture->pixels[5]) * 0x010101u);

  ASSERT_EQ(run(s, "convert " + in + " " + s("a.png") + " --interlace --png-level 1").status, 0);
  EXPECT_EQ(at(readText(s("a.png")), 28), 1);  // IHDR interlace method: Adam7
  ASSERT_EQ(run(s, "convert " + in + " " + s("level0.png") + " --png-level 0").status, 0);
  ASSERT_EQ(run(s, "convert " + in + " " + s("level9.png") + " --png-level 9").status, 0);
  EXPECT_GT(readText(s("level0.png")).size(), readText(s("level9.png")).size());

  ASSERT_EQ(run(s, "convert " + in + " " + s("a.jpg") + " --progressive --sampling 444 --quality 80").status, 0);
  const std::string jpg = readText(s("a.jpg"));
  const std::size_t sof2 = jpg.find("\xFF\xC2");
  ASSERT_NE(sof2, std::string::npos);
  EXPECT_EQ(at(jpg, sof2 + 11), 0x11);  // first component sampled 1 x 1: 4:4:4
  ASSERT_EQ(run(s, "convert " + in + " " + s("b.jpg") + " --optimize --sampling 420").status, 0);
  const std::string jpg420 = readText(s("b.jpg"));
  const std::size_t sof0 = jpg420.find("\xFF\xC0");
  ASSERT_NE(sof0, std::string::npos);
  EXPECT_EQ(at(jpg420, sof0 + 11), 0x22);

  ASSERT_EQ(run(s, "convert " + in + " " + s("a.tlg") + " --tlg5").status, 0);
  EXPECT_NE(readText(s("a.tlg")).find("TLG5.0"), std::string::npos);
  ASSERT_EQ(run(s, "convert " + in + " " + s("b.tlg")).status, 0);
  EXPECT_NE(readText(s("b.tlg")).find("TLG6.0"), std::string::npos);

  ASSERT_EQ(run(s, "convert " + in + " " + s("a.tga") + " --rle").status, 0);
  EXPECT_EQ(at(readText(s("a.tga")), 2), 10);
  ASSERT_EQ(run(s, "convert " + in + " " + s("picture.bin") + " --format tga --depth 24").status, 0);
  const std::string tga = readText(s("picture.bin"));
  EXPECT_EQ(at(tga, 2), 2);
  EXPECT_EQ(at(tga, 16), 24);
}

TEST(ImagetoolConvert, LayerValuesAreKeptWhereTheFormatHoldsThem) {
  Scratch s;
  ImagePtr picture = makePicture(8, 8, 32);
  std::strcpy(picture->name, "face");
  picture->left = -3;
  picture->top = 16;
  picture->mode = 5;
  ASSERT_EQ(ImageSaveFunctions[kImageSavePng](s("face.png").c_str(), picture.get(), 0, 6, 0), 1);
  for (const char* ext : {"tlg", "jpg", "png"}) {
    SCOPED_TRACE(ext);
    const std::string out = s(std::string("out.") + ext);
    ASSERT_EQ(run(s, "convert " + s("face.png") + " " + out).status, 0);
    const Result info = run(s, "info " + out);
    ASSERT_EQ(info.status, 0);
    EXPECT_NE(info.out.find("name=\"face\" left=-3 top=16 mode=5"), std::string::npos) << info.out;
  }
}

TEST(ImagetoolConvert, RefusalsAreOneLineAndLeaveNoOutput) {
  Scratch s;
  const ImagePtr picture = makePicture(8, 8, 24);
  ASSERT_EQ(ImageSaveFunctions[kImageSaveBmp](s("in.bmp").c_str(), picture.get(), 0, 0, 0), 1);
  const std::string in = s("in.bmp");
  const std::string cases[] = {
      "convert " + in + " " + s("x.tga") + " --depth 8",
      "convert " + in + " " + s("x.png") + " --depth 16",
      "convert " + in + " " + s("x.png") + " --png-level 10",
      "convert " + in + " " + s("x.jpg") + " --quality 0",
      "convert " + in + " " + s("x.jpg") + " --sampling 411",
      // Out of range of an int: refused, not wrapped (4294967297 would become 1).
      "convert " + in + " " + s("x.jpg") + " --quality 4294967297",
      "convert " + in + " " + s("x.png") + " --depth 4294967320",
      "convert " + in + " " + s("x.png") + " --png-level -4294967296",
      "convert " + in + " " + s("x.jpg") + " --quality 1e300",
      "convert --to tlg6 " + in + " " + s("x") + " -j 4294967297",
      "convert " + in + " " + s("x.tlg") + " --tlg5 --tlg6",
      "convert " + in + " " + s("x.gif"),
      "convert " + in + " " + s("x.png") + " --format gif",
      "convert " + in + " " + s("x.png") + " --bogus",
      "convert --to tlg6 " + in + " " + s("x") + " -j 0",
      "convert --to tlg6 --tlg5 " + in + " " + s("x"),
      "convert " + in + " " + in + " " + s("x"),
  };
  for (const std::string& c : cases) {
    const Result r = run(s, c);
    EXPECT_EQ(r.status, 1) << c;
    EXPECT_EQ(lines(r.err), 1) << c << ": " << r.err;
    for (const char* left : {"x.tga", "x.png", "x.jpg", "x.tlg", "x.gif", "x"})
      EXPECT_FALSE(fs::exists(s(left))) << c << " left " << left;
  }
}

std::vector<std::string> filesBelow(const std::string& dir) {
  std::vector<std::string> out;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.is_regular_file()) out.push_back(fs::relative(e.path(), dir).string());
  std::sort(out.begin(), out.end());
  return out;
}

TEST(ImagetoolConvert, BatchConvertsFoldersRecursivelyAndListsFailures) {
  Scratch s;
  fs::create_directories(s("in/sub/deeper"));
  const ImagePtr a = makePicture(30, 20, 32), b = makePicture(17, 9, 24);
  ASSERT_EQ(ImageSaveFunctions[kImageSavePng](s("in/a.png").c_str(), a.get(), 0, 6, 0), 1);
  ASSERT_EQ(ImageSaveFunctions[kImageSaveBmp](s("in/sub/b.bmp").c_str(), b.get(), 0, 0, 0), 1);
  ASSERT_EQ(ImageSaveFunctions[kImageSaveTga](s("in/sub/deeper/c.TGA").c_str(), b.get(), 0, 1, 0), 1);
  std::ofstream(s("in/notes.txt")) << "not a picture, not looked at";
  std::ofstream(s("in/sub/broken.png")) << "\x89PNG but nothing else";

  for (const char* jobs : {"1", "2"}) {
    SCOPED_TRACE(jobs);
    const std::string out = s(std::string("out") + jobs);
    const Result r = run(s, "convert --to tlg6 -j " + std::string(jobs) + " " + s("in") + " " + out);
    EXPECT_EQ(r.status, 1);
    EXPECT_NE(r.out.find("3 converted, 1 failed"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("ratio"), std::string::npos);
    EXPECT_NE(r.out.find("files/s"), std::string::npos);
    EXPECT_EQ(lines(r.err), 1) << r.err;
    EXPECT_NE(r.err.find("broken.png"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find('\r'), std::string::npos);  // no progress bar when not a terminal
    EXPECT_EQ(filesBelow(out), (std::vector<std::string>{"a.tlg", "sub/b.tlg", "sub/deeper/c.tlg"}));
    const ImagePtr back = load(out + "/a.tlg");
    ASSERT_TRUE(back);
    EXPECT_EQ(std::memcmp(back->pixels, a->pixels, 30 * 20 * 4), 0);
  }
  // The thread count changes nothing in the files.
  for (const char* f : {"a.tlg", "sub/b.tlg", "sub/deeper/c.tlg"})
    EXPECT_EQ(readText(s(std::string("out1/") + f)), readText(s(std::string("out2/") + f))) << f;

  // Several inputs into one folder with -o; two inputs with the same output name.
  const Result r = run(s, "convert --to png " + s("in/a.png") + " " + s("in/sub/b.bmp") + " " +
                              s("in/sub/deeper/c.TGA") + " " + s("in/b.png") + " -o " + s("flat"));
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(filesBelow(s("flat")), (std::vector<std::string>{"a.png", "b.png", "c.png"}));
  EXPECT_EQ(lines(r.err), 1) << r.err;

  const Result ok = run(s, "convert --to tga --rle " + s("in/sub/deeper") + " -o " + s("tga"));
  EXPECT_EQ(ok.status, 0) << ok.err;
  EXPECT_EQ(filesBelow(s("tga")), (std::vector<std::string>{"c.tga"}));
}

}  // namespace
