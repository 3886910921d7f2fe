// The way back to code page 932 lives apart from cp932.cpp so the launcher, which only
// decodes, does not carry the encoding table.
#include "launcher/cp932.h"

#include <algorithm>

#include "launcher/cp932_tables.h"

bool utf16ToCp932(std::u16string_view text, std::string& out) {
  out.clear();
  out.reserve(text.size() * 2);
  const char16_t* units = kCp932EncodeUnits;
  const char16_t* end = kCp932EncodeUnits + kCp932EncodeCount;
  for (const char16_t unit : text) {
    // Surrogates are absent from the table, so a character beyond U+FFFF fails here too.
    const char16_t* found = std::lower_bound(units, end, unit);
    if (found == end || *found != unit) return false;
    const uint16_t bytes = kCp932EncodeBytes[found - units];
    if (bytes >= 0x100) out.push_back(char(bytes >> 8));
    out.push_back(char(bytes & 0xFF));
  }
  return true;
}
