#pragma once
// Pieces of the area-average reduction shared by its portable and vector forms.
#include <cstddef>
#include <cstdint>

namespace limg {

// x / d for sums x <= 255 * d: a shift for powers of two, a multiply by a rounded-up
// reciprocal for d < 65536 (exact for that range: x * (m*d - 2^40) < 2^40), else a division.
// Each is its own type, so that the loops are compiled once per kind with no choice inside.
struct ShiftBy {
  int shift;
  uint32_t operator()(uint64_t x) const { return uint32_t(x >> shift); }
};
struct MultiplyBy {
  uint64_t multiplier;
  uint32_t operator()(uint64_t x) const { return uint32_t((x * multiplier) >> 40); }
};
struct DivideBy {
  uint64_t d;
  uint32_t operator()(uint64_t x) const { return uint32_t(x / d); }
};

// Calls f with the divider for d.
template <class F>
void withDivider(uint64_t d, F&& f) {
  if ((d & (d - 1)) == 0) {
    int shift = 0;
    while ((uint64_t(1) << shift) < d) ++shift;
    f(ShiftBy{shift});
  } else if (d < 65536) {
    f(MultiplyBy{(uint64_t(1) << 40) / d + 1});
  } else {
    f(DivideBy{d});
  }
}

// The narrow row pass (255 * A < 2^32). Every row has the same pattern of weights, so it
// is worked out once: target sample t takes count source pixels from start, the first
// weighing firstWeight, the last lastWeight and the ones between B each. The ones between
// are summed unweighted, two channels per 32-bit word, then weighed once:
// first * S0 + B * (S1 + ... ) + last * Sn is the same integer as the sample-by-sample sum.
struct RowSpan {
  std::size_t start;
  std::size_t count;  // at least 2
  uint32_t firstWeight;
  uint32_t lastWeight;
};

// Row-pass kernels for a fractional ratio with 32-bit sums, one per divider kind: for each
// of rows rows of w pixels, W target pixels from the spans. The vector forms give the
// portable results exactly.
template <class Div>
using AreaRowKernel = void (*)(const uint32_t* src, std::size_t w, uint32_t* dst, std::size_t W, std::size_t rows,
                               const RowSpan* spans, uint32_t B, const Div& div);

struct AreaRowKernels {
  AreaRowKernel<ShiftBy> shift;
  AreaRowKernel<MultiplyBy> multiply;
  AreaRowKernel<DivideBy> divide;
};

inline AreaRowKernel<ShiftBy> kernelFor(const AreaRowKernels& k, const ShiftBy&) { return k.shift; }
inline AreaRowKernel<MultiplyBy> kernelFor(const AreaRowKernels& k, const MultiplyBy&) { return k.multiply; }
inline AreaRowKernel<DivideBy> kernelFor(const AreaRowKernels& k, const DivideBy&) { return k.divide; }

// The SSE4.1 kernels, defined in reduce_area_average_sse41.cpp; null where the build has none.
extern const AreaRowKernels* const kAreaRowSse41;

}  // namespace limg
