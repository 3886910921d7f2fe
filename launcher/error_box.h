#pragma once
// The launcher's side of the error channel: the topmost OK box titled "Error", centred on
// the main window once that exists.
#include <functional>
#include <string>

#include "base/error_report.h"  // ShowErrorBox, setErrorBoxSink

// A text in UTF-16, for one that holds a path of the running system (which may have
// characters outside code page 932). Without a wide sink it goes to the byte channel in code
// page 932, "?" for each character the code page lacks.
void ShowErrorBox(const std::u16string& text);

// The Windows program's message box takes UTF-16. Setting a wide sink gives it the byte
// channel too: Shift-JIS texts reach it converted by the code page 932 table (a bad byte as
// U+30FB). Setting none clears both.
using WideErrorBoxSink = std::function<void(const std::u16string& text)>;
WideErrorBoxSink setWideErrorBoxSink(WideErrorBoxSink sink);

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
void showMessageBoxError(const std::u16string& text);
#endif
