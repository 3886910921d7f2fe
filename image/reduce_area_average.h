#pragma once
// Area-average reduction: every target pixel is the truncated mean of exactly the source
// area it covers, computed in two passes (rows, then columns) on integers.
#include "image/image.h"

// target must not be larger than source in either direction.
void ReduceAreaAverage(Image* target, const Image* source);
