#include "launcher/window_geometry.h"

#include "launcher/int_clamp.h"

WindowSize outerWindowSize(int clientWidth, int clientHeight, int fixedFrameX, int fixedFrameY,
                           int captionHeight) {
  return {clampToInt(int64_t(clientWidth) + 2 * int64_t(fixedFrameX)),
          clampToInt(int64_t(clientHeight) + 2 * int64_t(fixedFrameY) + captionHeight)};
}

namespace {
// Halving that rounds toward minus infinity whatever the compiler does with >> on negatives.
int64_t halfFloor(int64_t v) { return v >= 0 ? v / 2 : -((-v + 1) / 2); }

int centre(int low, int high, int length) {
  return clampToInt(low + halfFloor(int64_t(high) - low - length));
}
}  // namespace

WindowOrigin centreOnMonitor(const ScreenRect& monitor, WindowSize outer) {
  return {centre(monitor.left, monitor.right, outer.width), centre(monitor.top, monitor.bottom, outer.height)};
}

WindowSize outerForClient(WindowSize outer, WindowSize client, WindowSize wantedClient) {
  return {clampToInt(int64_t(wantedClient.width) + outer.width - client.width),
          clampToInt(int64_t(wantedClient.height) + outer.height - client.height)};
}
