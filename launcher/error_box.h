#pragma once
// The launcher's side of the error channel: the topmost OK box titled "Error", centred on
// the main window once that exists.
#include <string>

#include "base/error_report.h"  // ShowErrorBox, setErrorBoxSink

// The box for memory that ran out where no reader reports it itself:
// "メモリを確保出来ませんでした". Never raises.
void ShowOutOfMemoryBox() noexcept;

// Runs step() and returns its result. An exception it raises (std::bad_alloc, or any other
// from the standard library) ends there: the memory box is shown and fallback returned, so
// nothing unwinds through the system's frames or out of the program's entry.
template <class Step, class Result>
Result runShowingMemoryBox(Step&& step, Result fallback) noexcept {
  try {
    return step();
  } catch (...) {
    ShowOutOfMemoryBox();
    return fallback;
  }
}

// Outer rectangles in screen coordinates.
struct ScreenRect {
  int left, top, right, bottom;
};
struct BoxPlacement {
  bool move;  // false: leave the box where the system put it
  int x, y;
};
// A box is centred on a main window larger than 320 x 240 (int division truncating
// toward zero); on a smaller one it stays where it is.
BoxPlacement centreBoxPlacement(const ScreenRect& main, const ScreenRect& box);

#ifdef _WIN32
// The topmost OK box with the error icon, centred by a CBT hook on the main window.
void showMessageBoxError(const std::string& text);
#endif
