#include "launcher/error_box.h"

#include <utility>

#include "launcher/cp932.h"
#include "launcher/int_clamp.h"

namespace {
WideErrorBoxSink& wideSink() {
  static WideErrorBoxSink s;
  return s;
}

// Code page 932 bytes of the text, "?" for each character the code page lacks.
std::string bytesOf(const std::u16string& text) {
  std::string out, one;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool pair = text[i] >= 0xD800 && text[i] <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
                      text[i + 1] <= 0xDFFF;
    if (!pair && utf16ToCp932(std::u16string_view(&text[i], 1), one)) {
      out += one;
    } else {
      out += '?';
      if (pair) ++i;
    }
  }
  return out;
}
}  // namespace

WideErrorBoxSink setWideErrorBoxSink(WideErrorBoxSink next) {
  WideErrorBoxSink previous = std::move(wideSink());
  wideSink() = std::move(next);
  if (wideSink())
    setErrorBoxSink([](const std::string& text) { wideSink()(cp932ToUtf16(text)); });
  else
    setErrorBoxSink(nullptr);
  return previous;
}

void ShowErrorBox(const std::u16string& text) {
  if (wideSink()) {
    wideSink()(text);
    return;
  }
  ShowErrorBox(bytesOf(text));
}

void ShowOutOfMemoryBox() noexcept {
  try {
    ShowErrorBox("メモリを確保出来ませんでした");
  } catch (...) {
    // Not even the text could be had: the failure stays silent rather than ending the program.
  }
}

BoxPlacement centreBoxPlacement(const ScreenRect& main, const ScreenRect& box) {
  const int64_t mainWidth = int64_t(main.right) - main.left, mainHeight = int64_t(main.bottom) - main.top;
  if (!(mainWidth > 320 && mainHeight > 240)) return {false, 0, 0};
  const int64_t boxWidth = int64_t(box.right) - box.left, boxHeight = int64_t(box.bottom) - box.top;
  return {true, clampToInt(main.left + (mainWidth - boxWidth) / 2), clampToInt(main.top + (mainHeight - boxHeight) / 2)};
}
