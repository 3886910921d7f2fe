#pragma once
// The code page 932 tables, generated at build time from the build machine's iconv.
#include <cstddef>
#include <cstdint>

// Entries that are no character.
constexpr char16_t kCp932None = 0xFFFF;

// Every single byte.
extern const char16_t kCp932Single[256];

// Lead bytes 0x81-0x9F and 0xE0-0xFC (in that order) by trail bytes 0x40-0xFC.
constexpr unsigned kCp932TrailFirst = 0x40;
constexpr unsigned kCp932TrailCount = 0xFC - 0x40 + 1;
extern const char16_t kCp932Double[60 * kCp932TrailCount];

// The way back: code units in ascending order, and their bytes (a single byte below 0x100,
// otherwise lead << 8 | trail).
extern const size_t kCp932EncodeCount;
extern const char16_t kCp932EncodeUnits[];
extern const uint16_t kCp932EncodeBytes[];
