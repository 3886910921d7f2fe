#include "pack/name_key.h"

#include <array>
#include <cstring>

namespace {

constexpr uint64_t kPolynomial = 0x42F0E1EBA9EA3693ull;

constexpr std::array<uint64_t, 256> makeTable() {
  std::array<uint64_t, 256> table{};
  for (int i = 0; i < 256; ++i) {
    uint64_t crc = uint64_t(i) << 56;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & (1ull << 63)) ? (crc << 1) ^ kPolynomial : crc << 1;
    table[i] = crc;
  }
  return table;
}
constexpr std::array<uint64_t, 256> kTable = makeTable();

}  // namespace

uint64_t nameKey(const char* bytes, std::size_t length) {
  uint64_t crc = ~0ull;
  for (std::size_t i = 0; i < length; ++i) crc = (crc << 8) ^ kTable[(crc >> 56) ^ uint8_t(bytes[i])];
  return ~crc;
}

uint64_t nameKey(const char* name) { return nameKey(name, std::strlen(name)); }
