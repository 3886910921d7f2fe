#include "base/number_text.h"

#include <array>

const char kDigitChars[33] = "0123456789ABCDEFGHIJKLMNOPQRSTUV";

namespace {

constexpr std::array<uint8_t, 256> makeDigitTable() {
  std::array<uint8_t, 256> t{};
  for (int i = 0; i < 32; ++i) {
    const char c = "0123456789ABCDEFGHIJKLMNOPQRSTUV"[i];
    t[uint8_t(c)] = uint8_t(i);
    if (c >= 'A') t[uint8_t(c - 'A' + 'a')] = uint8_t(i);
  }
  return t;
}
constexpr std::array<uint8_t, 256> kDigitTable = makeDigitTable();

const char* skipTabsAndSpaces(const char* p) {
  while (*p == '\t' || *p == ' ') ++p;
  return p;
}

uint32_t accumulate(const char* p, uint32_t base) {
  uint32_t value = 0;
  for (; *p; ++p) value = value * base + kDigitTable[uint8_t(*p)];
  return value;
}

std::string formatUnsigned(uint64_t value, unsigned base) {
  char text[72];
  char* end = text + sizeof text;
  char* p = end;
  do {
    *--p = kDigitChars[value % base];
    value /= base;
  } while (value);
  return std::string(p, end);
}

}  // namespace

int digitValue(uint8_t b) { return kDigitTable[b]; }

int32_t parseDecimal(const char* text) {
  const char* p = skipTabsAndSpaces(text);
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  const uint32_t value = accumulate(p, 10);
  return int32_t(negative ? 0u - value : value);
}

int32_t parseHex(const char* text) { return int32_t(accumulate(skipTabsAndSpaces(text), 16)); }

std::string formatDecimal(int64_t value) {
  if (value >= 0) return formatUnsigned(uint64_t(value), 10);
  return "-" + formatUnsigned(0ull - uint64_t(value), 10);
}

std::string formatHex(int32_t value) { return formatUnsigned(uint32_t(value), 16); }

std::string formatBase32(uint64_t value) { return formatUnsigned(value, 32); }
