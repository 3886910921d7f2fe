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

// The outer size that gives a client area of wantedClient to a window whose outer size is
// outer while its client area is client: its frame and caption stay as they are. Used when
// the frame metrics at hand are not those the window is drawn with (another DPI).
WindowSize outerForClient(WindowSize outer, WindowSize client, WindowSize wantedClient);
