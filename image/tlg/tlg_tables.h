#pragma once
// The two fixed tables of the TLG6 residual coding, built at compile time.
#include <array>
#include <cstdint>

namespace limg {

// k for the adaptive Golomb-Rice code: row a (0-1023, the running magnitude sum), column n (0-3).
extern const std::array<std::array<uint8_t, 4>, 1024> kTlgGolombBitLength;
// Entry v (1-4095): 1 + index of the lowest set bit of v; entry 0 is 0.
extern const std::array<uint8_t, 4096> kTlgBitScan;

// k of the next value from the step just taken, by the phase n of the value decoded (table
// offsets below) and the index 2a + t (a before the value, t its code value): the adaptive
// update and the k lookup in one load. n = 1..3: 2048 entries, k = K[(2a + t) >> 1][n - 1];
// n = 0 (a is halved): 4096 entries, k = K[(2a + t) >> 2][3]. An index past its part means the
// new sum leaves the k table.
constexpr uint32_t kTlgNextKOffset[4] = {0, 4096, 6144, 8192};
constexpr uint32_t kTlgNextKLimit[4] = {4096, 2048, 2048, 2048};
extern const std::array<uint8_t, 10240> kTlgGolombNextK;

}  // namespace limg
