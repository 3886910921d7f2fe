#pragma once
// The filters behind ImageResize. Each fills every pixel of target (already created with
// the wanted size) from source; all four channels are filtered alike.
#include <cstdint>

#include "image/image.h"

namespace limg {

// Source column (row) min(int(i * w / W + 0.5), w - 1) for target column (row) i.
void ResizeNearest(Image* target, const Image* source);

// 18-bit fixed-point bilinear interpolation.
void ResizeBilinear(Image* target, const Image* source);

// The target size for ImageResize's size modes, before the refusal of a < 1 and b < 1.
// A size that can't be represented as int32 comes out as -1.
void ResizeTargetSize(int32_t w, int32_t h, double a, double b, int mode, int32_t* W, int32_t* H);

// Vector code paths of the filters. Every level gives the same results as level 0, the
// portable code; the default is the highest level the processor supports.
enum ResizeVector { kVectorPortable = 0, kVectorSse41 = 1 };

// The highest level this build and processor have.
int ResizeVectorSupported();

// The level in use.
int ResizeVectorInUse();

// Chooses the level used from now on (clamped to the supported one); returns the level set.
int ResizeSetVector(int level);

}  // namespace limg
