#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/image.h"
#include "image/resize.h"
#include "tests/tools/imagetool/tool_command.h"

using namespace limg;

namespace {

// A scratch folder per test program run.
const std::string& scratch() {
  static const std::string dir = [] {
    char pattern[] = "/tmp/imagetool_test.XXXXXX";
    const char* made = mkdtemp(pattern);
    return std::string(made ? made : "/tmp");
  }();
  return dir;
}

std::string path(const std::string& name) { return scratch() + "/" + name; }

// Removes the scratch folder when the program ends.
class ScratchCleanup : public testing::Environment {
 public:
  void TearDown() override {
    if (scratch() != "/tmp") std::system(("rm -rf '" + scratch() + "'").c_str());
  }
};
const testing::Environment* const kCleanup = testing::AddGlobalTestEnvironment(new ScratchCleanup);

std::string readText(const std::string& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool exists(const std::string& p) { return access(p.c_str(), F_OK) == 0; }

struct Result {
  int status;
  std::string out, err;
};

Result run(const std::string& args) {
  const std::string out = path("stdout.txt"), err = path("stderr.txt");
  const std::string command = imagetoolCommand() + " " + args + " >" + out + " 2>" + err;
  const int raw = std::system(command.c_str());
  Result r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = readText(out);
  r.err = readText(err);
  return r;
}

int lines(const std::string& s) { return int(std::count(s.begin(), s.end(), '\n')); }

// A 24-bit bottom-up BMP whose pixel (x, y) is (R, G, B) = (x * 10, y * 20, 7).
std::string writeBmp(const std::string& name, int w, int h) {
  const int stride = (w * 3 + 3) / 4 * 4;
  std::vector<uint8_t> v(54 + std::size_t(stride) * h, 0);
  auto put32 = [&](std::size_t at, uint32_t x) {
    for (int i = 0; i < 4; ++i) v[at + i] = uint8_t(x >> (8 * i));
  };
  v[0] = 'B';
  v[1] = 'M';
  put32(2, uint32_t(v.size()));
  put32(10, 54);
  put32(14, 40);
  put32(18, uint32_t(w));
  put32(22, uint32_t(h));
  v[26] = 1;
  v[28] = 24;
  for (int y = 0; y < h; ++y) {
    uint8_t* row = &v[54 + std::size_t(stride) * (h - 1 - y)];
    for (int x = 0; x < w; ++x) {
      row[3 * x] = 7;
      row[3 * x + 1] = uint8_t(y * 20);
      row[3 * x + 2] = uint8_t(x * 10);
    }
  }
  const std::string p = path(name);
  std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(v.data()), std::streamsize(v.size()));
  return p;
}

// Reads a PAM written by the tool: width, height and the R, G, B, A bytes.
bool readPam(const std::string& p, int* w, int* h, std::vector<uint8_t>* rgba) {
  const std::string s = readText(p);
  const std::size_t end = s.find("ENDHDR\n");
  if (end == std::string::npos) return false;
  const std::string header = s.substr(0, end);
  int depth = 0, maxval = 0;
  char tuple[32] = {0};
  if (std::sscanf(header.c_str(), "P7\nWIDTH %d\nHEIGHT %d\nDEPTH %d\nMAXVAL %d\nTUPLTYPE %31s", w, h, &depth,
                  &maxval, tuple) != 5)
    return false;
  if (depth != 4 || maxval != 255 || std::strcmp(tuple, "RGB_ALPHA") != 0) return false;
  rgba->assign(s.begin() + std::ptrdiff_t(end + 7), s.end());
  return rgba->size() == std::size_t(*w) * std::size_t(*h) * 4;
}

}  // namespace

TEST(Imagetool, HelpAndUsageErrors) {
  Result r = run("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("resize"), std::string::npos);
  EXPECT_NE(r.out.find(".pam"), std::string::npos);

  for (const char* bad : {"", "frobnicate", "convert onlyone", "resize a b --mode sideways 1 2",
                          "resize a b --mode factor x 2", "resize a b --mode factor 1", "resize a b --shrink"}) {
    r = run(bad);
    EXPECT_EQ(r.status, 1) << bad;
    if (*bad) {
      EXPECT_EQ(lines(r.err), 1) << bad << ": " << r.err;
      EXPECT_EQ(r.err.compare(0, 11, "imagetool: "), 0) << r.err;
    }
  }
}

TEST(Imagetool, InfoShowsEveryReadableFile) {
  const std::string bmp = writeBmp("info.bmp", 5, 3);
  const Result info = run("info " + bmp + " " + path("missing.bmp") + " " + bmp);
  EXPECT_EQ(info.status, 1);
  EXPECT_EQ(lines(info.out), 2);
  EXPECT_NE(info.out.find("BMP width=5 height=3 bitDepth=24 name=\"\" left=0 top=0 mode=0"), std::string::npos)
      << info.out;
  EXPECT_EQ(lines(info.err), 1);
  EXPECT_NE(info.err.find("missing.bmp"), std::string::npos);
}

TEST(Imagetool, ConvertWritesPam) {
  const std::string bmp = writeBmp("convert.bmp", 4, 3);
  const std::string out = path("convert.pam");
  const Result r = run("convert " + bmp + " " + out);
  ASSERT_EQ(r.status, 0) << r.err;
  int w = 0, h = 0;
  std::vector<uint8_t> rgba;
  ASSERT_TRUE(readPam(out, &w, &h, &rgba));
  EXPECT_EQ(w, 4);
  EXPECT_EQ(h, 3);
  for (int y = 0; y < 3; ++y) {
    for (int x = 0; x < 4; ++x) {
      const uint8_t* p = &rgba[std::size_t(y * 4 + x) * 4];
      EXPECT_EQ(p[0], x * 10);
      EXPECT_EQ(p[1], y * 20);
      EXPECT_EQ(p[2], 7);
      EXPECT_EQ(p[3], 255);
    }
  }
  EXPECT_FALSE(exists(out + ".part"));
}

TEST(Imagetool, FailuresLeaveNoOutput) {
  const std::string junk = path("junk.bin");
  std::ofstream(junk, std::ios::binary) << "GIF89a not a picture we read";
  const std::string bmp = writeBmp("fail.bmp", 4, 3);
  struct Case {
    std::string args, out;
    int errorLines;  // the tool's line, after the library's own when it has one
  } cases[] = {
      {"convert " + junk + " " + path("junk.pam"), path("junk.pam"), 1},
      {"convert " + path("absent.bmp") + " " + path("absent.pam"), path("absent.pam"), 1},
      {"convert " + bmp + " " + path("fail.xyz"), path("fail.xyz"), 1},
      {"convert " + bmp + " " + path("no/such/folder.pam"), path("no/such/folder.pam"), 1},
      {"convert " + bmp + " " + path("no/such/folder.png"), path("no/such/folder.png"), 1},
      {"resize " + bmp + " " + path("small.pam") + " --mode factor 0.5 0.5", path("small.pam"), 2},
  };
  for (const Case& c : cases) {
    const Result r = run(c.args);
    EXPECT_EQ(r.status, 1) << c.args;
    EXPECT_EQ(r.out, "") << c.args;
    EXPECT_EQ(lines(r.err), c.errorLines) << c.args << ": " << r.err;
    EXPECT_FALSE(exists(c.out)) << c.out;
    EXPECT_FALSE(exists(c.out + ".part")) << c.out;
  }
}

// A disk that fills up while the file is written (here a file-size limit, with the signal it
// raises ignored, so that the writes fail): an error, and neither the file nor its temporary.
TEST(Imagetool, AWriteThatFailsLeavesNoFile) {
  if (std::getenv("IMAGETOOL")) GTEST_SKIP() << "the limit is for a program run directly";
  const std::string bmp = writeBmp("large.bmp", 96, 64);
  const std::string out = path("full.bmp");
  const std::string command = "sh -c \"trap '' XFSZ; ulimit -f 4; exec " + imagetoolCommand() + " convert " + bmp +
                              " " + out + "\" 2>" + path("stderr.txt");
  const int raw = std::system(command.c_str());
  ASSERT_TRUE(WIFEXITED(raw));
  EXPECT_EQ(WEXITSTATUS(raw), 1);
  EXPECT_NE(readText(path("stderr.txt")).find("can't be written"), std::string::npos);
  EXPECT_FALSE(exists(out));
  EXPECT_FALSE(exists(out + ".part"));
}

// Headers claiming gigabytes from 70 bytes, read as a 32-bit process would be (1.5 GB of
// address space): refused with the tool's one error line, never an abort.
TEST(Imagetool, HugeClaimedSizesUnderAnAddressLimitGiveOneErrorLine) {
  if (std::getenv("IMAGETOOL")) GTEST_SKIP() << "the limit is for a program run directly";
  auto le32 = [](std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(char(uint8_t(v >> (8 * i))));
  };
  std::string tlg6("TLG6.0\0raw\x1a\x04\0\0\0", 15), tlg5("TLG5.0\0raw\x1a\x03", 12);
  le32(tlg6, 40000), le32(tlg6, 40000), le32(tlg6, 64);
  le32(tlg5, 30000), le32(tlg5, 30000), le32(tlg5, 30000);
  const std::pair<const char*, std::string> kFiles[] = {{"huge6.tlg", tlg6}, {"huge5.tlg", tlg5}};
  for (const auto& f : kFiles) {
    const std::string file = path(f.first);
    std::ofstream(file, std::ios::binary) << f.second + std::string(70 - f.second.size(), '\0');
    const std::string command = "sh -c \"ulimit -v 1500000; exec " + imagetoolCommand() + " info " + file + "\" >" +
                                path("stdout.txt") + " 2>" + path("stderr.txt");
    const int raw = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(raw)) << f.first;
    EXPECT_EQ(WEXITSTATUS(raw), 1) << f.first;
    const std::string err = readText(path("stderr.txt"));
    EXPECT_EQ(lines(err), 1) << f.first << ": " << err;
    EXPECT_NE(err.find(f.first), std::string::npos) << err;
  }
}

// The library's line reads as UTF-8 text on stderr, and the tool names the rule in English.
TEST(Imagetool, RefusedResizeSaysWhyInReadableText) {
  const std::string bmp = writeBmp("refused.bmp", 4, 3);
  for (const char* sizes : {"--mode factor 0.5 0.5", "--mode percent 0.9 0"}) {
    const Result r = run("resize " + bmp + " " + path("refused.png") + " " + sizes);
    EXPECT_EQ(r.status, 1) << sizes;
    EXPECT_EQ(r.out, "");
    EXPECT_EQ(r.err.rfind(u8"-RES: 幅値の設定が無効です\n", 0), 0u) << r.err;
    EXPECT_NE(r.err.find("at least one of them must be 1 or more"), std::string::npos) << r.err;
  }
}

TEST(Imagetool, ResizeMatchesTheLibrary) {
  const std::string bmp = writeBmp("resize.bmp", 10, 6);
  const std::string out = path("resize.pam");
  const Result r = run("resize " + bmp + " " + out + " --mode percent 150 0 --enlarge bilinear");
  ASSERT_EQ(r.status, 0) << r.err;
  int w = 0, h = 0;
  std::vector<uint8_t> rgba;
  ASSERT_TRUE(readPam(out, &w, &h, &rgba));
  ASSERT_EQ(w, 15);
  ASSERT_EQ(h, 9);

  // The same through the library.
  Image* source = ImageCreate(10, 6, 24);
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 10; ++x) source->pixels[y * 10 + x] = 0xFF000000u | uint32_t(x * 10) << 16 | uint32_t(y * 20) << 8 | 7;
  Image* want = nullptr;
  ASSERT_EQ(ImageResize(&want, source, 150, 0, kResizePercent, kFilterBilinear, kFilterBilinear), 1);
  for (int i = 0; i < w * h; ++i) {
    const uint32_t p = want->pixels[i];
    const uint8_t* q = &rgba[std::size_t(i) * 4];
    ASSERT_EQ(q[0], uint8_t(p >> 16)) << i;
    ASSERT_EQ(q[1], uint8_t(p >> 8)) << i;
    ASSERT_EQ(q[2], uint8_t(p)) << i;
    ASSERT_EQ(q[3], uint8_t(p >> 24)) << i;
  }
  ImageDestroy(&want);
  ImageDestroy(&source);

  const Result px = run("resize " + bmp + " " + out + " --mode pixels 3 0 --shrink area");
  ASSERT_EQ(px.status, 0) << px.err;
  ASSERT_TRUE(readPam(out, &w, &h, &rgba));
  EXPECT_EQ(w, 3);
  EXPECT_EQ(h, 2);  // 6 * 3 / 10 + 0.5
}
