#include "image/tlg/tlg_tables.h"

namespace limg {

namespace {

// Rows of k = 0..8 in each column n; every column covers exactly 1024 rows.
constexpr int kGolombCounts[4][9] = {
    {3, 7, 15, 27, 63, 108, 223, 448, 130},
    {3, 5, 13, 24, 51, 95, 192, 384, 257},
    {2, 5, 12, 21, 39, 86, 155, 320, 384},
    {2, 3, 9, 18, 33, 61, 129, 258, 511},
};

constexpr bool countsCoverTable() {
  for (const auto& column : kGolombCounts) {
    int sum = 0;
    for (int c : column) sum += c;
    if (sum != 1024) return false;
  }
  return true;
}
static_assert(countsCoverTable(), "each column of the Golomb table must cover 1024 rows");

constexpr std::array<std::array<uint8_t, 4>, 1024> buildGolomb() {
  std::array<std::array<uint8_t, 4>, 1024> table{};
  for (int n = 0; n < 4; ++n) {
    int a = 0;
    for (int k = 0; k < 9; ++k)
      for (int i = 0; i < kGolombCounts[n][k]; ++i) table[a++][n] = uint8_t(k);
  }
  return table;
}

constexpr std::array<uint8_t, 4096> buildBitScan() {
  std::array<uint8_t, 4096> table{};
  for (int v = 1; v < 4096; ++v) {
    int bit = 0;
    while (!((v >> bit) & 1)) ++bit;
    table[v] = uint8_t(bit + 1);
  }
  return table;
}

constexpr std::array<uint8_t, 10240> buildNextK() {
  const std::array<std::array<uint8_t, 4>, 1024> golomb = buildGolomb();
  std::array<uint8_t, 10240> table{};
  for (uint32_t x = 0; x < 4096; ++x) table[x] = golomb[x >> 2][3];
  for (uint32_t n = 1; n < 4; ++n)
    for (uint32_t x = 0; x < 2048; ++x) table[4096 + (n - 1) * 2048 + x] = golomb[x >> 1][n - 1];
  return table;
}

}  // namespace

const std::array<std::array<uint8_t, 4>, 1024> kTlgGolombBitLength = buildGolomb();
const std::array<uint8_t, 4096> kTlgBitScan = buildBitScan();
const std::array<uint8_t, 10240> kTlgGolombNextK = buildNextK();

}  // namespace limg
