#include "launcher/error_box.h"

#include "launcher/int_clamp.h"

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
