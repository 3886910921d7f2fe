#include "launcher/window_geometry.h"

WindowSize outerWindowSize(int clientWidth, int clientHeight, int fixedFrameX, int fixedFrameY,
                           int captionHeight) {
  return {clientWidth + 2 * fixedFrameX, clientHeight + 2 * fixedFrameY + captionHeight};
}

namespace {
// Halving that rounds toward minus infinity whatever the compiler does with >> on negatives.
int halfFloor(int v) { return v >= 0 ? v / 2 : -((-v + 1) / 2); }
}  // namespace

WindowOrigin centreOnMonitor(const ScreenRect& monitor, WindowSize outer) {
  return {monitor.left + halfFloor(monitor.right - monitor.left - outer.width),
          monitor.top + halfFloor(monitor.bottom - monitor.top - outer.height)};
}

WindowSize outerForClient(WindowSize outer, WindowSize client, WindowSize wantedClient) {
  return {wantedClient.width + (outer.width - client.width), wantedClient.height + (outer.height - client.height)};
}
