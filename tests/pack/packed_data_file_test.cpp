#include "pack/packed_data_file.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <random>

#include "image/aligned_alloc.h"
#include "launcher/cp932.h"
#include "launcher/error_box.h"
#include "launcher/numbers.h"
#include "pack/name_key.h"
#include "tests/pack/dat_builder.h"
#include "tests/support/temp_dir.h"

using namespace limg;

TEST(NameKey, CrcCheckValueAndEmptyName) {
  EXPECT_EQ(nameKey("123456789"), 0x62EC59E3F1A4F00Aull);
  EXPECT_EQ(nameKey(""), 0ull);
  EXPECT_NE(nameKey("Launcher/Launcher.csv"), nameKey("launcher/launcher.csv"));  // no case folding
  EXPECT_NE(nameKey("a/b"), nameKey("a\\b"));
}

class PackedData : public ::testing::Test {
 protected:
  void SetUp() override {
    resetPackedDataFile();
    setErrorBoxSink([this](const std::string& text) { boxes.push_back(text); });
  }
  void TearDown() override {
    setErrorBoxSink(nullptr);
    resetPackedDataFile();
  }
  // Loads into the shared scratch buffer; returns the bytes or "<failed>".
  std::string load(const char* name, uint32_t size = 0) {
    if (!loadFile(name, &packedData.scratch.data, &size, &packedData.scratch.capacity)) return "<failed>";
    return std::string(reinterpret_cast<char*>(packedData.scratch.data), size);
  }
  std::vector<std::string> boxes;
  TempDir dir;
};

TEST_F(PackedData, ReadsBackEveryVersion) {
  const std::vector<DatItem> items = {
      {"Launcher/Launcher.csv", "x,640,480\nimg,bg.png,0,0\n", true},
      {"bg.png", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), false},
      {"a", "single-byte name, scrambled flag set", true},
      {"empty.bin", "", true},
  };
  for (bool magic : {true, false}) {
    resetPackedDataFile();
    dir.write("Launcher.dat", buildDat(items, magic));
    openIndex();
    ASSERT_TRUE(packedData.indexLoaded);
    EXPECT_EQ(packedData.index.size(), items.size());
    for (const DatItem& item : items) EXPECT_EQ(load(item.name.c_str()), item.data) << item.name << magic;
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(PackedData, ScramblingChunkArithmetic) {
  // Name of length 5, data of 12 bytes: chunk 2; bytes 0-7 XOR name bytes 0-3, 8-11 unchanged.
  const std::string name = "abcde", plain = "ABCDEFGHIJKL";
  std::string stored = plain;
  for (int i = 0; i < 8; ++i) stored[i] = char(stored[i] ^ name[i / 2]);
  // Write the entry as unscrambled data but flag it: the reader must XOR exactly these bytes.
  DatItem item{name, stored, false};
  std::string dat = buildDat({item}, true);
  const uint64_t key = nameKey(name.c_str());
  dat[8 + 8] = char(1 ^ uint8_t(key));  // set the scrambled flag of entry 0
  dir.write("Launcher.dat", dat);
  openIndex();
  EXPECT_EQ(load(name.c_str()), plain);
}

TEST_F(PackedData, DataShorterThanTheNameIsNotScrambled) {
  dir.write("Launcher.dat", buildDat({{"longname.png", "abc", true}}, false));
  openIndex();
  EXPECT_EQ(load("longname.png"), "abc");
}

TEST_F(PackedData, HighNameBytesUnmaskUnsigned) {
  // Bytes 0x80 and above at L/2 and L/4 must not be sign-extended into the offset and size.
  const std::string name = "\x83\x81\x83\xE2\x83\x8A.png";  // L = 10: L/2 = 5 (0x8A), L/4 = 2 (0x83)
  const std::string data(300, 'q');
  dir.write("Launcher.dat", buildDat({{"pad", std::string(200, 'p')}, {name, data, true}}, true));
  openIndex();
  EXPECT_EQ(load(name.c_str()), data);
  EXPECT_EQ(load("pad"), std::string(200, 'p'));
}

TEST_F(PackedData, EmptyIndexFallsBackToPlainFiles) {
  std::string dat;
  put32(dat, 0xC4E2076Bu);  // count 0 without magic
  dir.write("Launcher.dat", dat);
  dir.write("plain.txt", "on disk");
  openIndex();
  EXPECT_TRUE(packedData.indexLoaded);
  EXPECT_TRUE(packedData.index.empty());
  EXPECT_EQ(load("plain.txt"), "on disk");
}

TEST_F(PackedData, NoArchiveIsSilentAndUsesPlainFiles) {
  dir.write("Launcher/Launcher.csv", "row0");
  openIndex();
  EXPECT_FALSE(packedData.indexLoaded);
  EXPECT_EQ(load("Launcher/Launcher.csv"), "row0");
  EXPECT_TRUE(boxes.empty());
}

namespace {
std::vector<std::string> openedNames;
// As the Windows program does it: the table's Shift-JIS name opened by another form of it
// (here UTF-8, the Linux file name).
FILE* openAsUtf8(const char* name) {
  openedNames.push_back(name);
  return std::fopen(utf16ToUtf8(cp932ToUtf16(name)).c_str(), "rb");
}
}  // namespace

TEST_F(PackedData, EveryOpenGoesThroughTheFileOpener) {
  const std::string picture = "\x8a\x47.png", csv = "\x8a\x47.csv";  // 絵.png, 絵.csv in Shift-JIS
  dir.write("Launcher.dat", buildDat({{picture, "packed"}}, true));
  dir.write(u8"絵.csv", "plain");
  openedNames.clear();
  setFileOpener(openAsUtf8);
  openIndex();
  EXPECT_EQ(load(picture.c_str()), "packed");
  EXPECT_EQ(load(csv.c_str()), "plain");
  EXPECT_TRUE(boxes.empty());
  const std::vector<std::string> expected = {"Launcher.dat", "Launcher.dat", csv};
  EXPECT_EQ(openedNames, expected);
  setFileOpener(nullptr);  // back to std::fopen, which does not know the Shift-JIS name
  EXPECT_EQ(load(csv.c_str()), "<failed>");
  EXPECT_EQ(openedNames.size(), 3u);
}

TEST_F(PackedData, LaterEntryWithTheSameKeyWins) {
  dir.write("Launcher.dat", buildDat({{"x.png", "first"}, {"x.png", "second!"}}, true));
  openIndex();
  EXPECT_EQ(packedData.index.size(), 1u);
  EXPECT_EQ(load("x.png"), "second!");
}

TEST_F(PackedData, IndexShorterThanItsCountStopsAtTheEnd) {
  std::string dat = buildDat({{"one", "1111"}, {"two", "2222"}}, false);
  dat.resize(4 + 21 + 10);  // entry two cut short, and no data
  const uint32_t huge = 0xFFFFFFFFu ^ 0xC4E2076Bu;
  for (int i = 0; i < 4; ++i) dat[i] = char(uint8_t(huge >> (8 * i)));
  dir.write("Launcher.dat", dat);
  openIndex();
  EXPECT_TRUE(packedData.indexLoaded);
  EXPECT_EQ(packedData.index.size(), 1u);
}

TEST_F(PackedData, MissingResourceGivesTwoBoxes) {
  openIndex();
  EXPECT_EQ(load("Launcher/Launcher.csv"), "<failed>");
  ASSERT_EQ(boxes.size(), 2u);
  const std::string key32 = "Launcher/Launcher.csv:";
  EXPECT_EQ(boxes[0].rfind(key32, 0), 0u);
  EXPECT_EQ(boxes[0], key32 + formatBase32(nameKey("Launcher/Launcher.csv")) + " " +
                          std::strerror(ENOENT) + "(loadFile0)");
  EXPECT_EQ(boxes[1], std::string("Launcher/Launcher.csv ") + std::strerror(ENOENT) + "(loadFile)");
}

TEST_F(PackedData, ArchiveGoneAfterIndexGivesLoadFile1) {
  dir.write("Launcher.dat", buildDat({{"bg.png", "data"}}, true));
  openIndex();
  std::remove("Launcher.dat");
  EXPECT_EQ(load("bg.png"), "<failed>");
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0], "bg.png:" + formatBase32(nameKey("bg.png")) + " " + std::strerror(ENOENT) + "(loadFile1)");
  EXPECT_EQ(boxes[1], std::string("bg.png ") + std::strerror(ENOENT) + "(loadFile)");
}

// The out-of-memory box: name + " メモリを確保出来ませんでした(loadFile)" + byte count.
std::string outOfMemoryBox(const std::string& name, const std::string& count) {
  return name + " \x83\x81\x83\x82\x83\x8A\x82\xF0\x8A\x6D\x95\xDB\x8F\x6F\x97\x88\x82\xDC\x82\xB9"
                "\x82\xF1\x82\xC5\x82\xB5\x82\xBD(loadFile)" + count;
}

TEST_F(PackedData, EmptyResourceReadsIntoABufferNeverAllocated) {
  dir.write("empty.txt", "");
  dir.write("Launcher.dat", buildDat({{"empty.bin", "", true}}, true));
  openIndex();
  for (const char* name : {"empty.txt", "empty.bin"}) {
    uint8_t* buffer = nullptr;  // a pair that has never been allocated
    uint32_t size = 0, capacity = 0;
    ASSERT_EQ(loadFile(name, &buffer, &size, &capacity), 1) << name;
    EXPECT_EQ(size, 0u);
    EXPECT_EQ(capacity, 0u);
    ASSERT_NE(buffer, nullptr);  // room for the NUL a text reader writes after the data
    buffer[0] = '\0';
    alignedFree(buffer);
  }
  EXPECT_TRUE(boxes.empty());
}

TEST_F(PackedData, PlainFileLongerThan32BitsIsOutOfMemoryNotCut) {
  // A sparse file of 4 GiB + 10 bytes: its length must not be cut to 32 bits and loaded.
  dir.write("huge.bin", "");
  ASSERT_EQ(truncate("huge.bin", 0x10000000Aull), 0);
  dir.write("small.bin", "ss");
  openIndex();
  EXPECT_EQ(load("small.bin"), "ss");
  EXPECT_EQ(load("huge.bin"), "<failed>");
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0], outOfMemoryBox("huge.bin", "4294967306"));
  EXPECT_EQ(packedData.scratch.data, nullptr);  // the old block is gone, as after any such failure
  EXPECT_EQ(packedData.scratch.capacity, 0u);
  uint32_t size = 0;
  uint64_t key = 1;
  FILE* f = openEntry("huge.bin", &size, &key);
  ASSERT_NE(f, nullptr);
  std::fclose(f);
  EXPECT_EQ(size, 0xFFFFFFFFu);
  EXPECT_EQ(load("small.bin"), "ss");  // the next request allocates afresh
}

TEST_F(PackedData, BufferOnlyGrowsAndSizeOnEntryOverridesTheLength) {
  dir.write("big.bin", std::string(1000, 'b'));
  dir.write("small.bin", "ss");
  openIndex();
  EXPECT_EQ(load("big.bin"), std::string(1000, 'b'));
  uint8_t* const first = packedData.scratch.data;
  EXPECT_EQ(uint64_t(reinterpret_cast<uintptr_t>(first)) % 16, 0u);
  EXPECT_EQ(load("small.bin"), "ss");
  EXPECT_EQ(packedData.scratch.data, first);
  EXPECT_EQ(packedData.scratch.capacity, 1000u);
  EXPECT_EQ(load("big.bin", 10), std::string(10, 'b'));
}

TEST_F(PackedData, CallerBufferPairGrowsLikeTheSharedOne) {
  dir.write("Launcher.dat", buildDat({{"c.bin", "caller data", true}}, true));
  openIndex();
  uint8_t* buffer = nullptr;
  uint32_t size = 0, capacity = 0;
  ASSERT_EQ(loadFile("c.bin", &buffer, &size, &capacity), 1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(buffer), size), "caller data");
  EXPECT_EQ(capacity, 11u);
  alignedFree(buffer);
}

TEST_F(PackedData, EntryPastTheEndOfTheFileIsCutToWhatTheFileHolds) {
  std::string dat = buildDat({{"long.bin", std::string(64, 'L')}, {"huge.bin", "tiny"}}, true);
  // Give huge.bin a size of about 4 GiB: the reader must not allocate it.
  const uint64_t key = nameKey("huge.bin");
  const uint32_t masked = 0xFFFFFFF0u ^ uint32_t(key) ^ uint8_t("huge.bin"[2]);
  for (int i = 0; i < 4; ++i) dat[8 + 21 + 13 + i] = char(uint8_t(masked >> (8 * i)));
  dat.resize(dat.size() - 4 - 32);  // and cut long.bin in half
  dir.write("Launcher.dat", dat);
  openIndex();
  EXPECT_EQ(load("long.bin"), std::string(32, 'L'));
  EXPECT_EQ(load("huge.bin"), "");
  EXPECT_TRUE(boxes.empty());
  // A caller asking for more than there is gets a zeroed tail, not old bytes.
  dir.write("prev.bin", std::string(64, 'P'));
  EXPECT_EQ(load("prev.bin"), std::string(64, 'P'));
  EXPECT_EQ(load("long.bin", 40), std::string(32, 'L') + std::string(8, '\0'));
}

TEST_F(PackedData, RandomArchivesReadBack) {
  std::mt19937 rng(7);
  std::vector<DatItem> items;
  for (int i = 0; i < 50; ++i) {
    std::string name = "dir/" + std::to_string(i);
    for (int k = int(rng() % 12); k > 0; --k) name.push_back(char(0x80 + rng() % 0x7F));
    std::string data(rng() % 3000, '\0');
    for (char& c : data) c = char(rng());
    items.push_back({name, data, bool(rng() & 1), uint32_t(rng())});
  }
  dir.write("Launcher.dat", buildDat(items, bool(rng() & 1)));
  openIndex();
  for (const DatItem& item : items) EXPECT_EQ(load(item.name.c_str()), item.data);
  clearIndex();
  EXPECT_TRUE(packedData.index.empty());
}
