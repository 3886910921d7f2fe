#pragma once
// Number texts and the Shift-JIS lead-byte test shared by the launcher and the image library.
#include <cstdint>

#include "base/number_text.h"

// Shift-JIS lead bytes 0x81-0x9F and 0xE0-0xFC, independent of the running code page.
inline bool isLeadByte(uint8_t b) { return (b >= 0x81 && b <= 0x9F) || (b >= 0xE0 && b <= 0xFC); }
