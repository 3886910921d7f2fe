#pragma once
// The one user-visible error channel: a topmost OK box titled "Error", centred on the
// main window once that exists. Texts are Shift-JIS byte strings, or UTF-16 for a text that
// holds a path of the running system (which may have characters outside code page 932).
#include <functional>
#include <string>

void ShowErrorBox(const std::string& text);
void ShowErrorBox(const std::u16string& text);

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

// Where boxes go. The Windows program installs its message box (showMessageBoxError) as the
// wide sink at start: every text reaches it as UTF-16, Shift-JIS bytes converted by the code
// page 932 table. Without a wide sink, boxes go to the byte sink (tests capture the exact
// bytes), a UTF-16 text converted back to code page 932 with "?" for a character it lacks.
// Neither sink set means standard error, one line a box.
using ErrorBoxSink = std::function<void(const std::string& text)>;
ErrorBoxSink setErrorBoxSink(ErrorBoxSink sink);
using WideErrorBoxSink = std::function<void(const std::u16string& text)>;
WideErrorBoxSink setWideErrorBoxSink(WideErrorBoxSink sink);

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
