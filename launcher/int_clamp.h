#pragma once
// Window arithmetic works in 64 bits and clamps its results to int: layout numbers can be
// anything ("80px" reads 8250, a long digit string wraps), and overflowing an int is not
// an option.
#include <climits>
#include <cstdint>

inline int clampToInt(int64_t v) { return v < INT_MIN ? INT_MIN : v > INT_MAX ? INT_MAX : int(v); }
