#pragma once
// The two fixed tables of the TLG6 residual coding, built at compile time.
#include <array>
#include <cstdint>

namespace limg {

// k for the adaptive Golomb-Rice code: row a (0-1023, the running magnitude sum), column n (0-3).
extern const std::array<std::array<uint8_t, 4>, 1024> kTlgGolombBitLength;
// Entry v (1-4095): 1 + index of the lowest set bit of v; entry 0 is 0.
extern const std::array<uint8_t, 4096> kTlgBitScan;

}  // namespace limg
