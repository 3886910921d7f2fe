#pragma once
// Arithmetic of the main window: its outer size from the client size and the frame
// metrics, and its centred place on a monitor.
#include "launcher/error_box.h"  // ScreenRect

struct WindowSize {
  int width, height;
};
struct WindowOrigin {
  int x, y;
};

// Outer size of a window with a fixed frame and a caption. Results beyond an int are
// clamped, here and in the centring.
WindowSize outerWindowSize(int clientWidth, int clientHeight, int fixedFrameX, int fixedFrameY,
                           int captionHeight);

// Top-left corner that centres the outer size on the monitor rectangle. The halving is an
// arithmetic shift, so a window larger than the monitor rounds toward minus infinity.
WindowOrigin centreOnMonitor(const ScreenRect& monitor, WindowSize outer);
