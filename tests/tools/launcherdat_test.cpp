#include <gtest/gtest.h>
#include <iconv.h>

#include <random>

#include "launcher/error_box.h"
#include "launcher/numbers.h"
#include "pack/name_key.h"
#include "pack/packed_data_file.h"
#include "tests/support/temp_dir.h"
#include "tools/common/name_codec.h"
#include "tools/launcherdat/dat_writer.h"
#include "tools/launcherdat/layout_report.h"

namespace {

class Packer : public ::testing::Test {
 protected:
  void SetUp() override {
    resetPackedDataFile();
    setErrorBoxSink([this](const std::string& t) { boxes.push_back(t); });
  }
  void TearDown() override {
    setErrorBoxSink(nullptr);
    resetPackedDataFile();
  }
  PackItem item(const std::string& name, const std::string& bytes, bool scrambled) {
    const std::string file = "src/" + std::to_string(counter++);
    dir.write(file, bytes);
    return {name, dir.path() + "/" + file, bytes.size(), scrambled};
  }
  std::string load(const std::string& name) {
    uint32_t size = 0;
    if (!loadFileToScratch(name.c_str(), &size)) return "<failed>";
    return std::string(reinterpret_cast<char*>(packedData.scratch.data), size);
  }
  TempDir dir;
  std::vector<std::string> boxes;
  int counter = 0;
};

}  // namespace

TEST_F(Packer, EveryHeaderVersionAndScrambleChoiceReadsBack) {
  std::mt19937 rng(3);
  for (bool magic : {true, false}) {
    std::vector<PackItem> items;
    std::vector<std::string> contents;
    for (int i = 0; i < 40; ++i) {
      std::string bytes(rng() % 5000, '\0');
      for (char& c : bytes) c = char(rng());
      std::string name = "pics/" + std::to_string(i) + (i % 3 ? ".png" : "\x89\xE6\x91\x9C.tlg");
      items.push_back(item(name, bytes, i % 2 == 0));
      contents.push_back(bytes);
    }
    ASSERT_EQ(writeDat("Launcher.dat", items, magic), "");
    resetPackedDataFile();
    openIndex();
    ASSERT_EQ(packedData.index.size(), items.size());
    for (std::size_t i = 0; i < items.size(); ++i) EXPECT_EQ(load(items[i].name), contents[i]) << items[i].name;
    // The flag is stored as given.
    EXPECT_EQ(packedData.index.at(nameKey(items[0].name.c_str())).scrambled, 1);
    EXPECT_EQ(packedData.index.at(nameKey(items[1].name.c_str())).scrambled, 0);
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(Packer, ScrambledBytesOnDiskDifferFromTheSource) {
  const std::string bytes(64, 'A');
  ASSERT_EQ(writeDat("Launcher.dat", {item("name.bin", bytes, true)}, true), "");
  const std::string dat = dir.read("Launcher.dat");
  ASSERT_EQ(dat.size(), 8 + 21 + 64u);
  // Chunks of 64 / 8 = 8 bytes XOR name bytes 0-6; the last chunk is stored as is.
  for (int i = 0; i < 64; ++i) {
    const char expected = i < 56 ? char('A' ^ "name.bin"[i / 8]) : 'A';
    EXPECT_EQ(dat[29 + i], expected) << i;
  }
}

TEST_F(Packer, RefusesSameKeysAndNamesTheReaderCantLookUp) {
  EXPECT_NE(writeDat("Launcher.dat", {item("a.png", "1", true), item("a.png", "2", true)}, true), "");
  EXPECT_NE(writeDat("Launcher.dat", {item("a,b.png", "1", true)}, true), "");
  EXPECT_FALSE(std::ifstream(dir.path() + "/Launcher.dat").good());  // nothing partial left behind
  EXPECT_TRUE(nameProblem("Launcher/Launcher.csv") == std::nullopt);
  EXPECT_TRUE(nameProblem("\x83\x2C.png") == std::nullopt);  // "," as a second byte is fine
  EXPECT_TRUE(nameProblem("").has_value());
  EXPECT_TRUE(nameProblem("a\nb").has_value());
  EXPECT_TRUE(nameProblem("it's.png").has_value());
  EXPECT_TRUE(nameProblem("quote\".png").has_value());
  EXPECT_TRUE(nameProblem("cut\x83").has_value());
  EXPECT_TRUE(nameProblem(" lead.png").has_value());
}

TEST_F(Packer, ReplacesAnExistingFileOnlyWhenComplete) {
  dir.write("Launcher.dat", "old");
  PackItem gone = item("x.png", "abc", true);
  gone.size = 10;  // the source is shorter than announced: the write fails
  EXPECT_NE(writeDat("Launcher.dat", {gone}, true), "");
  EXPECT_EQ(dir.read("Launcher.dat"), "old");
  ASSERT_EQ(writeDat("Launcher.dat", {item("x.png", "abc", true)}, true), "");
  EXPECT_EQ(dir.read("Launcher.dat").size(), 8 + 21 + 3u);
}

TEST(Glob, StarsAndQuestionMarks) {
  EXPECT_TRUE(globMatch("*.png", "a/b.png"));
  EXPECT_TRUE(globMatch("Launcher/*", "Launcher/Launcher.csv"));
  EXPECT_TRUE(globMatch("?.bmp", "a.bmp"));
  EXPECT_FALSE(globMatch("?.bmp", "ab.bmp"));
  EXPECT_TRUE(globMatch("*a*b*", "xxaxxbxx"));
  EXPECT_FALSE(globMatch("*.png", "a.png.bak"));
  EXPECT_TRUE(globMatch("*", ""));
}

TEST(NameCodec, ShiftJisRoundTripAndDisplay) {
  // The UTF-8 texts are u8 literals: the build turns plain literals into Shift-JIS.
  const std::string sjis = "\x89\xE6\x91\x9C/\x83\x5E\x83\x43\x83\x67\x83\x8B.png";  // 画像/タイトル.png
  EXPECT_EQ(utf8ToCp932(u8"画像/タイトル.png").value(), sjis);
  EXPECT_EQ(cp932ToUtf8(sjis).value(), u8"画像/タイトル.png");
  EXPECT_EQ(displayCp932(sjis), u8"画像/タイトル.png");
  EXPECT_EQ(displayCp932("a\nb\x81"), "a\\x0Ab\\x81");
  EXPECT_FALSE(utf8ToCp932("\xFF\xFE").has_value());
  EXPECT_FALSE(utf8ToCp932("\xEA\xB2\x8C\xEC\x9E\x84").has_value());  // 게임
  EXPECT_FALSE(utf8ToCp932("\xF0\x9F\x8E\xAE.png").has_value());  // U+1F3AE: none outside the BMP
}

// Converted through iconv (what the Linux tool used before it had the launcher's tables), or
// nullopt where iconv refuses.
std::optional<std::string> byIconv(const std::string& in, const char* from, const char* to) {
  iconv_t cd = iconv_open(to, from);
  if (cd == iconv_t(-1)) return std::nullopt;
  std::string out(in.size() * 4 + 8, '\0');
  char* src = const_cast<char*>(in.data());
  char* dst = &out[0];
  size_t srcLeft = in.size(), dstLeft = out.size();
  const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv_close(cd);
  if (r == size_t(-1) || srcLeft) return std::nullopt;
  out.resize(out.size() - dstLeft);
  return out;
}

TEST(NameCodec, EveryCharacterAsIconvHasIt) {
  // Names keep the bytes they had when iconv made them: each BMP character to code page 932,
  // and each byte pair back.
  int differences = 0;
  for (char32_t c = 0x80; c <= 0xFFFF; ++c) {
    if (c >= 0xD800 && c <= 0xDFFF) continue;
    std::string utf8;
    if (c < 0x800) {
      utf8 = {char(0xC0 | (c >> 6)), char(0x80 | (c & 0x3F))};
    } else {
      utf8 = {char(0xE0 | (c >> 12)), char(0x80 | ((c >> 6) & 0x3F)), char(0x80 | (c & 0x3F))};
    }
    if (utf8ToCp932(utf8) != byIconv(utf8, "UTF-8", "CP932") && ++differences < 5)
      ADD_FAILURE() << "U+" << std::hex << uint32_t(c);
  }
  for (int lead = 0x81; lead <= 0xFC; ++lead)
    for (int trail = 0x40; trail <= 0xFC; ++trail) {
      const std::string pair = {char(lead), char(trail)};
      if (cp932ToUtf8(pair) != byIconv(pair, "CP932", "UTF-8") && ++differences < 5)
        ADD_FAILURE() << std::hex << lead << " " << trail;
    }
  EXPECT_EQ(differences, 0);
}

namespace {
LayoutTable table(const std::string& text) { return parseLayoutText(text.data(), text.size(), ',', 6); }
std::vector<std::string> problems(const std::string& text) {
  std::vector<std::string> out;
  for (const LayoutProblem& p : checkLayout(table(text), [](const std::string& name) -> std::optional<std::string> {
         if (name == "missing.png") return std::string("missing");
         return std::nullopt;
       }))
    out.push_back(std::to_string(p.line) + ":" + p.message);
  return out;
}
}  // namespace

TEST(LayoutCheck, CleanLayoutHasNoProblems) {
  EXPECT_TRUE(problems("Launcher,640,480\nimg,bg.png,0,0\n\nbtn,Start,10|120,20|32,game.exe -w,1\n").empty());
}

TEST(LayoutCheck, NumbersThatReadDifferently) {
  const std::vector<std::string> p = problems("L,640 ,480\nbtn,A,80px,20\nimg,bg.png,10|20,0\n");
  ASSERT_EQ(p.size(), 3u);
  EXPECT_NE(p[0].find("6400"), std::string::npos);
  EXPECT_EQ(p[1].rfind("2:", 0), 0u);
  EXPECT_NE(p[1].find("8250"), std::string::npos);
  EXPECT_NE(p[2].find("10020"), std::string::npos);
}

TEST(LayoutCheck, RowKindsSlotsQuotesPathsAndMissingPictures) {
  std::string text = "L,640,480\nBtn,x,0,0\nbtn,x,0,0,C:/game.exe\nbtn,x,0,0,game.EXE -w\nimg,missing.png,0,0\n";
  for (int i = 0; i < 14; ++i) text += "btn,b,0,0\n";
  for (int i = 0; i < 8; ++i) text += "img,p.png,0,0\n";
  text += "btn,Don't,0,0\nbtn,it's,0,0\n";
  const std::vector<std::string> p = problems(text);
  auto has = [&](const std::string& what) {
    for (const std::string& s : p)
      if (s.find(what) != std::string::npos) return true;
    return false;
  };
  EXPECT_TRUE(has("unsupported row kind \"Btn\""));
  EXPECT_TRUE(has("absolute path"));
  EXPECT_TRUE(has("capitals"));
  EXPECT_TRUE(has("\"missing.png\": missing"));
  EXPECT_TRUE(has("more than 16 buttons"));
  EXPECT_TRUE(has("more than 8 pictures"));
  EXPECT_TRUE(has("joins the next 1 line"));
  EXPECT_EQ(p.size(), 7u);
}

TEST(LayoutCheck, EmptyTableAndBadClientSize) {
  EXPECT_EQ(checkLayout({}, [](const std::string&) { return std::nullopt; }).size(), 1u);
  EXPECT_EQ(problems("L,0,480").size(), 1u);
}

TEST(LayoutNamesTest, PicturesAndButtonTargets) {
  const LayoutNames n = namesInLayout(table("L,1,1\nimg,a.png,0,0\nimg,a.png,1,1\nbtn,s,0,0,bin/g.exe -x\nbtn,q,0,0,,1"));
  EXPECT_EQ(n.pictures, std::vector<std::string>{"a.png"});
  EXPECT_EQ(n.targets, std::vector<std::string>{"bin/g.exe"});
}
