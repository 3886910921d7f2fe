#include "launcher/error_box.h"

#include <cstdio>
#include <utility>

#include "launcher/cp932.h"

namespace {
ErrorBoxSink& sink() {
  static ErrorBoxSink s;
  return s;
}
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

void showBytes(const std::string& text) {
  if (sink()) {
    sink()(text);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
}
}  // namespace

ErrorBoxSink setErrorBoxSink(ErrorBoxSink next) {
  ErrorBoxSink previous = std::move(sink());
  sink() = std::move(next);
  return previous;
}

WideErrorBoxSink setWideErrorBoxSink(WideErrorBoxSink next) {
  WideErrorBoxSink previous = std::move(wideSink());
  wideSink() = std::move(next);
  return previous;
}

void ShowErrorBox(const std::string& text) {
  if (wideSink()) {
    wideSink()(cp932ToUtf16(text));
    return;
  }
  showBytes(text);
}

void ShowErrorBox(const std::u16string& text) {
  if (wideSink()) {
    wideSink()(text);
    return;
  }
  showBytes(bytesOf(text));
}

void ShowOutOfMemoryBox() noexcept {
  try {
    ShowErrorBox("メモリを確保出来ませんでした");
  } catch (...) {
    // Not even the text could be had: the failure stays silent rather than ending the program.
  }
}

BoxPlacement centreBoxPlacement(const ScreenRect& main, const ScreenRect& box) {
  const int mainWidth = main.right - main.left, mainHeight = main.bottom - main.top;
  if (!(mainWidth > 320 && mainHeight > 240)) return {false, 0, 0};
  const int boxWidth = box.right - box.left, boxHeight = box.bottom - box.top;
  return {true, main.left + (mainWidth - boxWidth) / 2, main.top + (mainHeight - boxHeight) / 2};
}
