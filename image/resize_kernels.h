#pragma once
// Inner loops of the bilinear filter. The portable forms define the results; the vector
// forms (x86-64, chosen at run time) give the same values bit for bit.
#include <cstddef>
#include <cstdint>

namespace limg {

// Source samples and the 18-bit weight of the second one for one target column.
struct BilinearTap {
  int32_t first;
  int32_t second;
  int32_t frac;
};

// One source row along x: out[4 * i + c] = channel c interpolated for target column i.
using BilinearHorizontal = void (*)(const uint32_t* src, const BilinearTap* taps, std::size_t count,
                                    int32_t* out);
// Two such rows along y into count target pixels.
using BilinearVertical = void (*)(const int32_t* top, const int32_t* bottom, int32_t fy, uint32_t* dst,
                                  std::size_t count);

struct BilinearKernels {
  BilinearHorizontal horizontal;
  BilinearVertical vertical;
};

// The kernels of a vector level (see ResizeVector); the portable ones for level 0 and for
// levels this build doesn't have.
BilinearKernels bilinearKernelsFor(int level);

// The SSE4.1 kernels, defined in resize_sse41.cpp; null where the build has none.
extern const BilinearKernels* const kBilinearSse41;

}  // namespace limg
