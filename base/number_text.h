#pragma once
// Number texts shared by the packed data file reader, the launcher and the image library.
#include <cstdint>
#include <string>

// The digits of every number text: "0"-"9" are 0-9, "A"-"V" (or "a"-"v") are 10-31.
extern const char kDigitChars[33];

// Digit value of any byte: 0-31 for the digit characters, 0 for every other byte.
int digitValue(uint8_t b);

// Lenient readers of NUL-terminated texts: leading TAB and space are skipped, then every
// byte up to the NUL is taken as a digit (so "12 " reads 120 and "80px" 8250), in 32-bit
// arithmetic that wraps. parseDecimal takes one "+" or "-"; parseHex takes no sign.
int32_t parseDecimal(const char* text);
int32_t parseHex(const char* text);

// Signed decimal ("-" for negatives, "0" for zero).
std::string formatDecimal(int64_t value);
// The 32-bit value as unsigned upper-case hexadecimal without leading zeros (-1 is FFFFFFFF).
std::string formatHex(int32_t value);
// Base 32 with the digits above, most significant first, no leading zeros, "0" for zero.
std::string formatBase32(uint64_t value);
