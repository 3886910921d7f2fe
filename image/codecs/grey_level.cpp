#include "image/codecs/grey_level.h"

#include <array>

namespace limg {

namespace {

// The tables hold the standard luma weights (ITU-R BT.601): 0.299 R + 0.587 G + 0.114 B.
// They are constant data, so they are ready before any writer runs.
using GreyTable = std::array<double, 256>;

constexpr GreyTable makeTable(double weight) {
  GreyTable t{};
  for (int i = 0; i < 256; ++i) t[i] = weight * i;
  return t;
}

constexpr GreyTable greyR = makeTable(0.299);
constexpr GreyTable greyG = makeTable(0.587);
constexpr GreyTable greyB = makeTable(0.114);

}  // namespace

uint8_t greyLevel(uint32_t pixel) {
  const double v = greyR[(pixel >> 16) & 0xFF] + greyG[(pixel >> 8) & 0xFF] + greyB[pixel & 0xFF] + 0.5;
  return v >= 255.0 ? 255 : uint8_t(v);
}

}  // namespace limg
