#include "launcher/cp932.h"

#include "launcher/cp932_tables.h"
#include "launcher/numbers.h"

namespace {

constexpr char16_t kBadByte = 0x30FB;  // KATAKANA MIDDLE DOT

unsigned leadIndex(unsigned char b) { return b <= 0x9F ? b - 0x81u : b - 0xE0u + (0x9F - 0x81 + 1); }

}  // namespace

Cp932Char cp932Next(const unsigned char* p, size_t n) {
  const char16_t single = kCp932Single[p[0]];
  if (single != kCp932None) return {single, 1, true};
  if (isLeadByte(p[0]) && n >= 2) {
    const unsigned trail = p[1];
    if (trail >= kCp932TrailFirst && trail - kCp932TrailFirst < kCp932TrailCount) {
      const char16_t unit = kCp932Double[leadIndex(p[0]) * kCp932TrailCount + (trail - kCp932TrailFirst)];
      if (unit != kCp932None) return {unit, 2, true};
    }
  }
  return {kBadByte, 1, false};
}

std::u16string cp932ToUtf16(std::string_view bytes, bool* allValid) {
  std::u16string out;
  out.reserve(bytes.size());
  bool valid = true;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  size_t left = bytes.size();
  while (left > 0) {
    const Cp932Char c = cp932Next(p, left);
    out.push_back(c.unit);
    valid = valid && c.valid;
    p += c.length;
    left -= c.length;
  }
  if (allValid) *allValid = valid;
  return out;
}

bool utf8ToUtf16(std::string_view utf8, std::u16string& out) {
  out.clear();
  out.reserve(utf8.size());
  const auto* p = reinterpret_cast<const unsigned char*>(utf8.data());
  const size_t n = utf8.size();
  size_t i = 0;
  while (i < n) {
    const unsigned char b = p[i];
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    unsigned length;
    char32_t value, least;
    if (b >= 0xC2 && b <= 0xDF) {
      length = 2, value = b & 0x1F, least = 0x80;
    } else if (b >= 0xE0 && b <= 0xEF) {
      length = 3, value = b & 0x0F, least = 0x800;
    } else if (b >= 0xF0 && b <= 0xF4) {
      length = 4, value = b & 0x07, least = 0x10000;
    } else {
      return false;  // a continuation byte, C0/C1 (always overlong) or F5-FF
    }
    if (n - i < length) return false;
    for (unsigned k = 1; k < length; ++k) {
      const unsigned char c = p[i + k];
      if ((c & 0xC0) != 0x80) return false;
      value = value << 6 | (c & 0x3F);
    }
    if (value < least || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return false;
    if (value >= 0x10000) {
      value -= 0x10000;
      out.push_back(char16_t(0xD800 + (value >> 10)));
      out.push_back(char16_t(0xDC00 + (value & 0x3FF)));
    } else {
      out.push_back(char16_t(value));
    }
    i += length;
  }
  return true;
}

std::string utf16ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t value = text[i];
    if (value >= 0xD800 && value <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      value = 0x10000 + ((value - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (value >= 0xD800 && value <= 0xDFFF) {
      value = 0xFFFD;
    }
    if (value < 0x80) {
      out.push_back(char(value));
    } else if (value < 0x800) {
      out.push_back(char(0xC0 | value >> 6));
      out.push_back(char(0x80 | (value & 0x3F)));
    } else if (value < 0x10000) {
      out.push_back(char(0xE0 | value >> 12));
      out.push_back(char(0x80 | (value >> 6 & 0x3F)));
      out.push_back(char(0x80 | (value & 0x3F)));
    } else {
      out.push_back(char(0xF0 | value >> 18));
      out.push_back(char(0x80 | (value >> 12 & 0x3F)));
      out.push_back(char(0x80 | (value >> 6 & 0x3F)));
      out.push_back(char(0x80 | (value & 0x3F)));
    }
  }
  return out;
}
