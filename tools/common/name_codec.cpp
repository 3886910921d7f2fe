#include "tools/common/name_codec.h"

#include <cstdio>

#include "launcher/cp932.h"

namespace {

bool isAscii(const std::string& s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

}  // namespace

// Through the launcher's own tables, so that the tools and the launcher agree on every
// character whatever the system's code page (on Linux they are iconv's CP932 as well).
std::optional<std::string> utf8ToCp932(const std::string& utf8) {
  if (isAscii(utf8)) return utf8;
  std::u16string text;
  std::string out;
  if (!utf8ToUtf16(utf8, text) || !utf16ToCp932(text, out)) return std::nullopt;
  return out;
}

std::optional<std::string> cp932ToUtf8(const std::string& cp932) {
  if (isAscii(cp932)) return cp932;
  bool valid = false;
  const std::u16string text = cp932ToUtf16(cp932, &valid);
  if (!valid) return std::nullopt;
  return utf16ToUtf8(text);
}

std::string displayCp932(const std::string& cp932) {
  std::string out;
  auto escape = [&](unsigned char c) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "\\x%02X", c);
    out += hex;
  };
  // Convert character by character so one bad byte doesn't hide the rest of the name.
  for (std::size_t i = 0; i < cp932.size();) {
    const unsigned char c = cp932[i];
    if (c < 0x20 || c == 0x7F) {
      escape(c);
      ++i;
      continue;
    }
    const bool lead = (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
    const std::size_t n = lead && i + 1 < cp932.size() ? 2 : 1;
    const std::optional<std::string> u = cp932ToUtf8(cp932.substr(i, n));
    if (u && !(c >= 0x80 && n == 1 && (c < 0xA1 || c > 0xDF))) {
      out += *u;
    } else {
      for (std::size_t k = 0; k < n; ++k) escape(uint8_t(cp932[i + k]));
    }
    i += n;
  }
  return out;
}
