#include "tools/common/text.h"

#ifdef _WIN32
#include "launcher/cp932.h"

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows wide characters are UTF-16 units");

std::wstring wideFromUtf8(const std::string& utf8) {
  std::u16string text;
  if (!utf8ToUtf16(utf8, text)) {
    // Character by character: a malformed one becomes U+FFFD and the rest still reads.
    text.clear();
    std::u16string one;
    for (std::size_t i = 0; i < utf8.size();) {
      const unsigned char c = utf8[i];
      const std::size_t n = c < 0x80 ? 1 : c >= 0xF0 ? 4 : c >= 0xE0 ? 3 : c >= 0xC0 ? 2 : 1;
      if (i + n <= utf8.size() && utf8ToUtf16(std::string_view(utf8).substr(i, n), one)) {
        text += one;
        i += n;
      } else {
        text += u'\uFFFD';
        ++i;
      }
    }
  }
  return std::wstring(reinterpret_cast<const wchar_t*>(text.data()), text.size());
}

std::string utf8FromWide(const std::wstring& wide) {
  return utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(wide.data()), wide.size()));
}
#endif
