#pragma once
// The grey byte every writer stores when asked for 8 bits per pixel.
#include <cstdint>

namespace limg {

// Grey level of a B, G, R, A pixel word: the integer part of
// greyR[R] + greyG[G] + greyB[B] + 0.5 over three per-channel tables.
uint8_t greyLevel(uint32_t pixel);

}  // namespace limg
