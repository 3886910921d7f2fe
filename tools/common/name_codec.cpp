#include "tools/common/name_codec.h"

#include <cstdio>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <iconv.h>
#endif

namespace {

bool isAscii(const std::string& s) {
  for (unsigned char c : s)
    if (c >= 0x80) return false;
  return true;
}

#ifdef _WIN32
std::optional<std::string> convert(const std::string& in, UINT from, UINT to) {
  if (in.empty()) return std::string();
  const int wide = MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, in.data(), int(in.size()), nullptr, 0);
  if (wide <= 0) return std::nullopt;
  std::vector<wchar_t> w(wide);
  MultiByteToWideChar(from, MB_ERR_INVALID_CHARS, in.data(), int(in.size()), w.data(), wide);
  BOOL lossy = FALSE;
  BOOL* lossyArg = to == CP_UTF8 ? nullptr : &lossy;
  const DWORD flags = 0;  // WC_ERR_INVALID_CHARS is Vista and later
  const int n = WideCharToMultiByte(to, flags, w.data(), wide, nullptr, 0, nullptr, lossyArg);
  if (n <= 0 || lossy) return std::nullopt;
  std::string out(n, '\0');
  WideCharToMultiByte(to, flags, w.data(), wide, &out[0], n, nullptr, lossyArg);
  if (lossy) return std::nullopt;
  return out;
}
#else
std::optional<std::string> convert(const std::string& in, const char* from, const char* to) {
  iconv_t cd = iconv_open(to, from);
  if (cd == iconv_t(-1)) return std::nullopt;
  std::string out(in.size() * 4 + 16, '\0');
  char* src = const_cast<char*>(in.data());
  size_t srcLeft = in.size();
  char* dst = &out[0];
  size_t dstLeft = out.size();
  const size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
  iconv_close(cd);
  if (r == size_t(-1) || srcLeft != 0) return std::nullopt;
  out.resize(out.size() - dstLeft);
  return out;
}
#endif

}  // namespace

std::optional<std::string> utf8ToCp932(const std::string& utf8) {
  if (isAscii(utf8)) return utf8;
#ifdef _WIN32
  return convert(utf8, CP_UTF8, 932);
#else
  return convert(utf8, "UTF-8", "CP932");
#endif
}

std::optional<std::string> cp932ToUtf8(const std::string& cp932) {
  if (isAscii(cp932)) return cp932;
#ifdef _WIN32
  return convert(cp932, 932, CP_UTF8);
#else
  return convert(cp932, "CP932", "UTF-8");
#endif
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
