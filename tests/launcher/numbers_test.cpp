#include "launcher/numbers.h"

#include <gtest/gtest.h>

TEST(LeadByte, ExactlyTheShiftJisLeadRanges) {
  for (int b = 0; b < 256; ++b) {
    const bool expected = (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC);
    EXPECT_EQ(isLeadByte(uint8_t(b)), expected) << b;
  }
}

TEST(DigitValue, DigitsLettersAndEverythingElse) {
  EXPECT_EQ(digitValue('0'), 0);
  EXPECT_EQ(digitValue('9'), 9);
  EXPECT_EQ(digitValue('A'), 10);
  EXPECT_EQ(digitValue('a'), 10);
  EXPECT_EQ(digitValue('V'), 31);
  EXPECT_EQ(digitValue('v'), 31);
  EXPECT_EQ(digitValue('W'), 0);
  EXPECT_EQ(digitValue('w'), 0);
  EXPECT_EQ(digitValue(' '), 0);
  EXPECT_EQ(digitValue(0x83), 0);
}

TEST(ParseDecimal, LenientReadingOfLayoutNumbers) {
  EXPECT_EQ(parseDecimal("12"), 12);
  EXPECT_EQ(parseDecimal(" -7"), -7);
  EXPECT_EQ(parseDecimal("\t+7"), 7);
  EXPECT_EQ(parseDecimal(""), 0);
  EXPECT_EQ(parseDecimal("12 "), 120);    // a trailing blank is a further digit 0
  EXPECT_EQ(parseDecimal("1a"), 20);      // 1 * 10 + 10
  EXPECT_EQ(parseDecimal("80px"), 8250);  // 80, then p (25) gives 825, x (0) gives 8250
  EXPECT_EQ(parseDecimal("10|20"), 10020);
  EXPECT_EQ(parseDecimal("--5"), -5);     // the second "-" is a digit of value 0
  EXPECT_EQ(parseDecimal("\n5"), 5);      // LF is not skipped: digit 0, then 5
}

TEST(ParseDecimal, WrapsInThirtyTwoBits) {
  EXPECT_EQ(parseDecimal("4294967296"), 0);
  EXPECT_EQ(parseDecimal("2147483648"), int32_t(0x80000000u));
  EXPECT_EQ(parseDecimal("-2147483648"), int32_t(0x80000000u));
}

TEST(ParseHex, UnsignedWrappingBase16) {
  EXPECT_EQ(parseHex("FFFFFFFF"), -1);
  EXPECT_EQ(parseHex("10"), 16);
  EXPECT_EQ(parseHex("  1a"), 26);
  EXPECT_EQ(parseHex("1G"), 32);  // G is worth 16 as a digit
  EXPECT_EQ(parseHex("-1"), 1);   // no sign: "-" is a digit 0
}

TEST(FormatNumbers, DecimalHexBase32) {
  EXPECT_EQ(formatDecimal(0), "0");
  EXPECT_EQ(formatDecimal(-3), "-3");
  EXPECT_EQ(formatDecimal(int32_t(0x80000000u)), "-2147483648");
  EXPECT_EQ(formatDecimal(4294967295ll), "4294967295");
  EXPECT_EQ(formatHex(0), "0");
  EXPECT_EQ(formatHex(-1), "FFFFFFFF");
  EXPECT_EQ(formatHex(255), "FF");
  EXPECT_EQ(formatBase32(0), "0");
  EXPECT_EQ(formatBase32(31), "V");
  EXPECT_EQ(formatBase32(32), "10");
  EXPECT_EQ(formatBase32(~0ull), "FVVVVVVVVVVVV");  // 64 bits: 4 + 12 * 5
}

TEST(FormatNumbers, ParseInvertsFormat) {
  for (int32_t v : {0, 1, -1, 42, -42, 123456789, -2147483647, 2147483647}) {
    EXPECT_EQ(parseDecimal(formatDecimal(v).c_str()), v);
    EXPECT_EQ(parseHex(formatHex(v).c_str()), v);
  }
}
