#include "launcher/error_box.h"

#include <cstdio>
#include <utility>

namespace {
ErrorBoxSink& sink() {
  static ErrorBoxSink s;
  return s;
}
}  // namespace

ErrorBoxSink setErrorBoxSink(ErrorBoxSink next) {
  ErrorBoxSink previous = std::move(sink());
  sink() = std::move(next);
  return previous;
}

void ShowErrorBox(const std::string& text) {
  if (sink()) {
    sink()(text);
    return;
  }
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
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
