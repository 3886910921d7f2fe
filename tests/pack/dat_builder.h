#pragma once
// An independent writer of Launcher.dat for tests, written byte by byte from the format:
// optional "ACV1" magic, masked count, 21-byte masked entries, then the data.
#include <cstdint>
#include <string>
#include <vector>

#include "pack/name_key.h"

struct DatItem {
  std::string name;
  std::string data;
  bool scrambled = false;
  uint32_t reserved = 0;
};

inline void put32(std::string& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(char(uint8_t(v >> (8 * i))));
}

inline std::string scrambleBytes(std::string data, const std::string& name) {
  const size_t L = name.size();
  if (L < 2) return data;
  const size_t chunk = data.size() / L;
  for (size_t j = 0; j + 1 < L; ++j)
    for (size_t i = j * chunk; i < (j + 1) * chunk; ++i) data[i] = char(data[i] ^ name[j]);
  return data;
}

inline std::string buildDat(const std::vector<DatItem>& items, bool magic) {
  const uint32_t extra = magic ? 0x5A3C91D7u : 0;
  std::string out;
  if (magic) {
    out += "ACV1";
    put32(out, uint32_t(items.size()) ^ 0x5A3C91D7u);
  } else {
    put32(out, uint32_t(items.size()) ^ 0xC4E2076Bu);
  }
  uint32_t offset = uint32_t(out.size() + 21 * items.size());
  std::string data;
  for (const DatItem& item : items) {
    const uint64_t key = nameKey(item.name.c_str());
    const uint32_t keyLow = uint32_t(key);
    const size_t L = item.name.size();
    const uint32_t n2 = uint8_t(item.name[L / 2]), n4 = uint8_t(item.name[L / 4]);
    for (int i = 0; i < 8; ++i) out.push_back(char(uint8_t(key >> (8 * i))));
    out.push_back(char(uint8_t(item.scrambled ? 1 : 0) ^ uint8_t(key)));
    put32(out, offset ^ keyLow ^ extra ^ n2);
    put32(out, uint32_t(item.data.size()) ^ keyLow ^ n4);
    put32(out, item.reserved ^ keyLow);
    data += item.scrambled ? scrambleBytes(item.data, item.name) : item.data;
    offset += uint32_t(item.data.size());
  }
  return out + data;
}
