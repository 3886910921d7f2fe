#pragma once
// Area-average reduction: every target pixel is the truncated mean of exactly the source
// area it covers, computed in two passes (rows, then columns) on integers.
#include "image/image.h"

namespace limg {

// target must not be larger than source in either direction.
void ReduceAreaAverage(Image* target, const Image* source);

// The same reduction with 64-bit channel sums in every routine, as ratios whose sums pass
// 32 bits (sides beyond 2^24 pixels) use them; for tests of those routines.
void ReduceAreaAverageWide(Image* target, const Image* source);

}  // namespace limg
