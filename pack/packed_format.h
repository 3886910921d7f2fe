#pragma once
// The byte layout of Launcher.dat, shared by the reader and the packer.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace packed {

constexpr uint32_t kMagic = 0x31564341;            // "ACV1" read as a little-endian word
constexpr uint32_t kMagicCountMask = 0x5A3C91D7;   // count mask and extra offset mask with magic
constexpr uint32_t kPlainCountMask = 0xC4E2076B;   // count mask without magic
constexpr std::size_t kEntryBytes = 21;

inline uint32_t load32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
inline uint64_t load64(const uint8_t* p) { return uint64_t(load32(p)) | uint64_t(load32(p + 4)) << 32; }
inline void store32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = uint8_t(v >> (8 * i));
}
inline void store64(uint8_t* p, uint64_t v) {
  store32(p, uint32_t(v));
  store32(p + 4, uint32_t(v >> 32));
}

// The name bytes that mask an entry's offset (N2) and size (N4).
inline uint32_t offsetNameByte(const char* name, std::size_t length) { return uint8_t(name[length / 2]); }
inline uint32_t sizeNameByte(const char* name, std::size_t length) { return uint8_t(name[length / 4]); }

// Scrambling: data of size bytes is cut into chunks of size / L bytes (L = name length);
// chunk j < L-1 is XORed with name byte j, the last chunk and the remainder stay as they
// are. XOR is its own inverse, so this both scrambles and unscrambles. `offset` is the
// position of data[0] within the entry, so an entry can be processed piece by piece.
inline void scramble(uint8_t* data, std::size_t count, uint64_t offset, uint64_t size, const char* name,
                     std::size_t length) {
  if (length < 2) return;
  const uint64_t chunk = size / length;
  if (chunk == 0) return;
  const uint64_t scrambledEnd = chunk * (length - 1);
  uint64_t pos = offset;
  const uint64_t end = offset + count;
  while (pos < end && pos < scrambledEnd) {
    const uint64_t j = pos / chunk;
    const uint64_t stop = (j + 1) * chunk < end ? (j + 1) * chunk : end;
    const uint8_t x = uint8_t(name[j]);
    uint8_t* p = data + (pos - offset);
    const std::size_t n = std::size_t(stop - pos);
    for (std::size_t k = 0; k < n; ++k) p[k] ^= x;  // one run per chunk: vectorises
    pos = stop;
  }
}

}  // namespace packed
