#include "launcher/error_box.h"

BoxPlacement centreBoxPlacement(const ScreenRect& main, const ScreenRect& box) {
  const int mainWidth = main.right - main.left, mainHeight = main.bottom - main.top;
  if (!(mainWidth > 320 && mainHeight > 240)) return {false, 0, 0};
  const int boxWidth = box.right - box.left, boxHeight = box.bottom - box.top;
  return {true, main.left + (mainWidth - boxWidth) / 2, main.top + (mainHeight - boxHeight) / 2};
}
