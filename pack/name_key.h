#pragma once
#include <cstddef>
#include <cstdint>

// The 64-bit key of a resource name: CRC-64/WE of its bytes up to the NUL
// (polynomial 0x42F0E1EBA9EA3693, MSB first, initial value and final XOR all ones).
uint64_t nameKey(const char* name);
uint64_t nameKey(const char* bytes, std::size_t length);
