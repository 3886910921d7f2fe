// The container, the tags chunk, short streams and the reader entry.
#include <gtest/gtest.h>

#include <random>
#include <thread>

#include "image/tlg/tlg.h"
#include "tests/image/tlg/tlg_test_util.h"

using namespace limg;

using namespace tlgtest;

namespace {

Bytes tinyTlg5() {  // 1 x 1, 3 colours, stored records: pixel (B, G, R) = (3, 2, 5)
  Bytes out(kTlg5, kTlg5 + 11);
  out.push_back(3);
  put32(out, 1);
  put32(out, 1);
  put32(out, 1);
  put32(out, 0);  // block-size table
  for (uint8_t v : {1, 2, 3}) {
    out.push_back(1);
    put32(out, 1);
    out.push_back(v);
  }
  return out;
}

Bytes entry(uint8_t key, const Bytes& value, bool comma = true) {
  Bytes out;
  putText(out, "1:");
  out.push_back(key);
  putText(out, "=" + std::to_string(value.size()) + ":");
  putBytes(out, value.data(), value.size());
  if (comma) out.push_back(',');
  return out;
}

Bytes le32(int32_t v) {
  Bytes out;
  put32(out, uint32_t(v));
  return out;
}

Bytes writerTags(int32_t left, int32_t top, int32_t mode, const std::string& name) {
  Bytes tags = entry(2, le32(left));
  const Bytes t = entry(3, le32(top)), m = entry(4, le32(mode));
  tags.insert(tags.end(), t.begin(), t.end());
  tags.insert(tags.end(), m.begin(), m.end());
  const Bytes n = entry(1, Bytes(name.begin(), name.end()), false);
  tags.insert(tags.end(), n.begin(), n.end());
  return tags;
}

TEST(TlgReader, ShortCompleteStreamsDecode) {
  // A bare 1 x 1 TLG5 stream is 46 bytes, a 1 x 1 grey TLG6 stream 38.
  const Bytes five = tinyTlg5();
  EXPECT_EQ(five.size(), 46u);
  ImagePtr image(TlgLoadFromMemory(five.data(), int32_t(five.size())));
  ASSERT_TRUE(image && image->pixels);
  EXPECT_EQ(image->pixels[0], 0xFF050203u);
  EXPECT_EQ(image->name[0], 0);
  EXPECT_EQ(image->left, 0);
  EXPECT_EQ(image->top, 0);
  EXPECT_EQ(image->mode, 0);
  const Bytes six = buildTlg6({0x42}, {0}, 1, 1, 1);
  EXPECT_LT(six.size(), 48u);
  image.reset(TlgLoadFromMemory(six.data(), int32_t(six.size())));
  ASSERT_TRUE(image && image->pixels);
  EXPECT_EQ(image->pixels[0], 0xFF424242u);
  // Through the dispatch of the image library.
  image.reset(ImageLoadFromMemory(six.data(), int32_t(six.size())));
  ASSERT_TRUE(image && image->pixels);
  EXPECT_EQ(image->pixels[0], 0xFF424242u);
}

TEST(TlgReader, UnknownOrTooShortDataGiveRecordWithoutPixels) {
  EXPECT_EQ(TlgLoadFromMemory(nullptr, 10), nullptr);
  for (const Bytes& data : {Bytes{}, Bytes{'T', 'L'}, Bytes(kTlg5, kTlg5 + 11),
                            Bytes(60, 'T'), Bytes(kContainer, kContainer + 11)}) {
    ImagePtr image(TlgLoadFromMemory(data.data(), int32_t(data.size())));
    ASSERT_TRUE(image);
    EXPECT_TRUE(hasNoPixels(image.get()));
  }
}

TEST(TlgReader, ContainerTagsSetTheLayerFields) {
  const Bytes raw = tinyTlg5();
  const Bytes data = wrapContainer(raw, chunk("tags", writerTags(-12, 345, 7, "layer A")));
  ImagePtr image = decode(data);
  ASSERT_TRUE(image && image->pixels);
  EXPECT_EQ(image->left, -12);
  EXPECT_EQ(image->top, 345);
  EXPECT_EQ(image->mode, 7);
  EXPECT_STREQ(image->name, "layer A");
  EXPECT_EQ(image->pixels[0], 0xFF050203u);
  // A name entry of length 0 leaves the name empty; a container with no chunks decodes.
  image = decode(wrapContainer(raw, chunk("tags", writerTags(1, 2, 3, ""))));
  EXPECT_STREQ(image->name, "");
  EXPECT_EQ(image->mode, 3);
  image = decode(wrapContainer(raw, {}));
  ASSERT_TRUE(image && image->pixels);
  EXPECT_EQ(image->pixels[0], 0xFF050203u);
}

TEST(TlgReader, OtherChunksAndKeysAreSteppedOver) {
  Bytes chunks = chunk("abcd", Bytes(17, 'x'));
  Bytes tags = entry(5, le32(99));
  const Bytes more = entry(2, le32(44));
  tags.insert(tags.end(), more.begin(), more.end());
  const Bytes t = chunk("tags", tags);
  chunks.insert(chunks.end(), t.begin(), t.end());
  ImagePtr image = decode(wrapContainer(tinyTlg5(), chunks));
  ASSERT_TRUE(image && image->pixels);
  EXPECT_EQ(image->left, 44);
  EXPECT_EQ(image->top, 0);
  EXPECT_EQ(image->mode, 0);
}

TEST(TlgReader, TagsApplyToRecordWithoutPixels) {
  Bytes raw(kTlg6, kTlg6 + 11);
  raw[3] = '7';  // neither pixel magic
  putBytes(raw, "rest of it", 10);
  ImagePtr image = decode(wrapContainer(raw, chunk("tags", writerTags(5, 6, 7, "n"))));
  ASSERT_TRUE(image);
  EXPECT_TRUE(hasNoPixels(image.get()));
  EXPECT_EQ(image->left, 5);
  EXPECT_EQ(image->top, 6);
  EXPECT_EQ(image->mode, 7);
  EXPECT_STREQ(image->name, "n");
  // A rejected pixel stream likewise keeps its tags.
  Bytes badFive = tinyTlg5();
  badFive[11] = 2;
  image = decode(wrapContainer(badFive, chunk("tags", writerTags(8, 0, 0, ""))));
  EXPECT_TRUE(hasNoPixels(image.get()));
  EXPECT_EQ(image->left, 8);
}

TEST(TlgReader, TagEntriesOutOfBoundsAreIgnored) {
  // Values shorter than 4 bytes for keys 2-4.
  Bytes tags = entry(2, Bytes{1, 2});
  Bytes rest = entry(3, Bytes{});
  tags.insert(tags.end(), rest.begin(), rest.end());
  ImagePtr image = decode(wrapContainer(tinyTlg5(), chunk("tags", tags)));
  EXPECT_EQ(image->left, 0);
  EXPECT_EQ(image->top, 0);
  // A value length running past the chunk end: the entry is dropped, the earlier one kept.
  tags = entry(4, le32(9));
  putText(tags, "1:\x02=400:abcd");
  image = decode(wrapContainer(tinyTlg5(), chunk("tags", tags)));
  EXPECT_EQ(image->mode, 9);
  EXPECT_EQ(image->left, 0);
  // A chunk whose size runs past the data: only the bytes present are parsed.
  const Bytes only = entry(2, le32(77));
  Bytes data = wrapContainer(tinyTlg5(), chunk("tags", only));
  data[data.size() - only.size() - 4] = 0xFF;  // chunkSize's low byte
  image = decode(data);
  ASSERT_TRUE(image && image->pixels);
  EXPECT_EQ(image->left, 77);
}

TEST(TlgReader, LongNameIsCutToTheRecord) {
  std::string name(300, 'a');
  ImagePtr image = decode(wrapContainer(tinyTlg5(), chunk("tags", writerTags(0, 0, 0, name))));
  EXPECT_EQ(std::string(image->name), std::string(255, 'a'));
  // A cut that would split a two-byte character drops the lead byte too.
  std::string sjis(254, 'b');
  sjis += "\x82\xA0tail";
  image = decode(wrapContainer(tinyTlg5(), chunk("tags", writerTags(0, 0, 0, sjis))));
  EXPECT_EQ(std::string(image->name), std::string(254, 'b'));
  // A zero byte inside the value ends the name.
  image = decode(wrapContainer(tinyTlg5(), chunk("tags", entry(1, Bytes{'a', 'b', 0, 'c'}))));
  EXPECT_STREQ(image->name, "ab");
}

// The first use may come from several threads at once.
TEST(TlgReader, ConcurrentFirstUseDecodesAlike) {
  std::mt19937 rng(1);
  const auto pixels = randomPixels(rng, 40, 30, true);
  const Bytes data = buildTlg5(pixels.data(), 40, 30, 4, 8, Tlg5Mode::Greedy);
  std::vector<std::vector<uint32_t>> results(4);
  std::vector<std::thread> threads;
  for (auto& r : results)
    threads.emplace_back([&data, &r] {
      ImagePtr image(TlgLoadFromMemory(data.data(), int32_t(data.size())));
      r = pixelsOf(image.get());
    });
  for (auto& t : threads) t.join();
  for (const auto& r : results) EXPECT_EQ(r, pixels);
}

}  // namespace
