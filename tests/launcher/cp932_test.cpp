#include "launcher/cp932.h"

#include <iconv.h>

#include <gtest/gtest.h>

#include <cerrno>

namespace {

// The machine's own iconv, one conversion at a time, as the reference.
class Iconv {
 public:
  Iconv(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Iconv() {
    if (ok()) iconv_close(cd_);
  }
  Iconv(const Iconv&) = delete;
  Iconv& operator=(const Iconv&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
  // The whole input converted, or false.
  bool convert(const void* data, size_t n, std::string& out) {
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    char in[8];
    char buffer[16];
    memcpy(in, data, n);
    char* ip = in;
    char* op = buffer;
    size_t il = n, ol = sizeof buffer;
    if (iconv(cd_, &ip, &il, &op, &ol) == size_t(-1) || il != 0) return false;
    out.assign(buffer, op);
    return true;
  }

 private:
  iconv_t cd_;
};

// iconv's reading of the bytes as exactly one UTF-16 unit, or none.
bool iconvUnit(Iconv& cd, const unsigned char* bytes, size_t n, char16_t& unit) {
  std::string out;
  if (!cd.convert(bytes, n, out) || out.size() != 2) return false;
  unit = char16_t(uint8_t(out[0]) | uint8_t(out[1]) << 8);
  return true;
}

}  // namespace

TEST(Cp932, EverySingleAndDoubleByteAsIconvReadsIt) {
  Iconv cd("UTF-16LE", "CP932");
  ASSERT_TRUE(cd.ok());
  int singles = 0, doubles = 0;
  for (int first = 0; first < 256; ++first) {
    const unsigned char one[2] = {uint8_t(first), 0};
    char16_t unit;
    if (iconvUnit(cd, one, 1, unit)) {
      ++singles;
      for (int second = 0; second < 256; second += 51) {  // the next byte never matters
        const unsigned char two[2] = {uint8_t(first), uint8_t(second)};
        const Cp932Char c = cp932Next(two, 2);
        ASSERT_TRUE(c.valid && c.length == 1 && c.unit == unit) << first;
      }
      continue;
    }
    const Cp932Char last = cp932Next(one, 1);  // alone at the end of the text
    EXPECT_TRUE(!last.valid && last.length == 1 && last.unit == u'・') << first;
    for (int second = 0; second < 256; ++second) {
      const unsigned char two[2] = {uint8_t(first), uint8_t(second)};
      const Cp932Char c = cp932Next(two, 2);
      if (iconvUnit(cd, two, 2, unit)) {
        ++doubles;
        ASSERT_TRUE(c.valid && c.length == 2 && c.unit == unit) << first << " " << second;
      } else {
        ASSERT_TRUE(!c.valid && c.length == 1 && c.unit == u'・') << first << " " << second;
      }
    }
  }
  // ASCII and the half-width katakana; JIS X 0208, the NEC and IBM extensions, user area.
  EXPECT_EQ(singles, 128 + 63);
  EXPECT_EQ(doubles, 9604);
}

TEST(Cp932, EveryCodeUnitBackAsIconvWritesIt) {
  Iconv cd("CP932", "UTF-16LE");
  ASSERT_TRUE(cd.ok());
  int encodable = 0;
  for (unsigned u = 0; u < 0x10000; ++u) {
    const unsigned char le[2] = {uint8_t(u), uint8_t(u >> 8)};
    std::string expected, got;
    const bool reference = u < 0xD800 || u > 0xDFFF ? cd.convert(le, 2, expected) : false;
    const bool ours = utf16ToCp932(std::u16string(1, char16_t(u)), got);
    ASSERT_EQ(ours, reference) << std::hex << u;
    if (ours) {
      ++encodable;
      ASSERT_EQ(got, expected) << std::hex << u;
    }
  }
  EXPECT_GT(encodable, 9000);
}

TEST(Cp932, TextsWithBadBytes) {
  struct Case {
    std::string bytes;
    std::u16string text;
    bool allValid;
  };
  const Case cases[] = {
      {"", u"", true},
      {"ゲームを始める", u"ゲームを始める", true},
      {"\x81", u"・", false},                          // a lead byte at the end
      {"ab\x88", u"ab・", false},
      {"\x81 x", u"・ x", false},                      // a trail byte below 0x40
      {"\x81\x7F\x41", u"・\x7F" u"A", false},         // 0x7F is no trail byte, read again
      {"\x85\x40", u"・@", false},                     // a pair the code page lacks
      {"\x80\xA0\xFD\xFE\xFF", u"・・・・・", false},  // bytes that are never characters
      {"\xA1\xDF", u"｡ﾟ", true},                       // half-width katakana
      {"\\~", u"\\~", true},                           // ASCII stays ASCII
      {"\x87\x40\xF0\x40", u"①\xE000", true},         // NEC row 13, the user area
      {std::string("a\0b", 3), std::u16string(u"a\0b", 3), true},
  };
  for (const Case& c : cases) {
    bool allValid = !c.allValid;
    EXPECT_EQ(cp932ToUtf16(c.bytes, &allValid), c.text) << c.bytes;
    EXPECT_EQ(allValid, c.allValid) << c.bytes;
  }
}

TEST(Cp932, WhatHasNoCodePage932Form) {
  struct Case {
    std::u16string text;
    bool ok;
    std::string bytes;
  };
  const Case cases[] = {
      {u"終了 manual.exe -x", true, "終了 manual.exe -x"},
      {u"ＭＳ ゴシック", true, "ＭＳ ゴシック"},
      {u"게임", false, ""},
      {u"é", false, ""},
      {u"a😀", false, ""},                      // a surrogate pair
      {std::u16string(1, char16_t(0xD800)), false, ""},  // an unpaired surrogate
  };
  for (const Case& c : cases) {
    std::string out;
    EXPECT_EQ(utf16ToCp932(c.text, out), c.ok) << utf16ToUtf8(c.text);
    if (c.ok) {
      EXPECT_EQ(out, c.bytes);
    }
  }
}

TEST(Utf8, BothWaysAndMalformedInput) {
  struct Case {
    std::string utf8;
    bool ok;
    std::u16string text;
  };
  const Case cases[] = {
      {u8"게임 é", true, u"게임 é"},
      {u8"ゲーム😀", true, u"ゲーム😀"},
      {u8"\U0010FFFF", true, u"\U0010FFFF"},
      {"\xC0\x80", false, u""},          // overlong NUL
      {"\xE0\x80\x80", false, u""},      // overlong three bytes
      {"\xF0\x8F\xBF\xBF", false, u""},  // overlong four bytes
      {"\xED\xA0\x80", false, u""},      // a surrogate
      {"\xF4\x90\x80\x80", false, u""},  // above U+10FFFF
      {"a\xE3\x81", false, u""},         // cut short at the end
      {"\xE3\x41\x81", false, u""},      // a missing continuation
      {"\x80", false, u""},              // a lone continuation
      {"\xFF", false, u""},
  };
  for (const Case& c : cases) {
    std::u16string out;
    EXPECT_EQ(utf8ToUtf16(c.utf8, out), c.ok) << c.utf8;
    if (c.ok) {
      EXPECT_EQ(out, c.text);
      EXPECT_EQ(utf16ToUtf8(c.text), c.utf8);
    }
  }
  EXPECT_EQ(utf16ToUtf8(std::u16string(u"a") + char16_t(0xDC00) + u"b"), u8"a\uFFFDb");
  EXPECT_EQ(utf16ToUtf8(std::u16string(1, char16_t(0xD83D))), u8"\uFFFD");
}
