// The blend modes and the lookup tables behind blending and mask-to-alpha.
//
// Colours are straight (not premultiplied) alpha. The alpha tables follow "source over":
// with source alpha as and destination alpha ad (0-255), the area covered by both is
// as * ad / 255, the area where only the destination shows is ad * (255 - as) / 255, and the
// result alpha is as plus the latter. Every 8-bit table entry is the exact value rounded to
// the nearest integer (halves up).
#include <cctype>
#include <cmath>

#include "image/ops/blend_tables.h"
#include "image/ops/ops.h"

namespace limg {

namespace {

double clamp01(double v) { return v < 0 ? 0 : v > 1 ? 1 : v; }

// Channel formulas on values in [0, 1]: d is the destination (the layer below), s the source.
double add(double d, double s) { return clamp01(d + s); }
double subtract(double d, double s) { return clamp01(d - s); }
double multiply(double d, double s) { return d * s; }
double screen(double d, double s) { return d + s - d * s; }
double overlay(double d, double s) { return d <= 0.5 ? 2 * d * s : 1 - 2 * (1 - d) * (1 - s); }
double darken(double d, double s) { return d < s ? d : s; }
double lighten(double d, double s) { return d > s ? d : s; }
double difference(double d, double s) { return std::fabs(d - s); }
double exclusion(double d, double s) { return d + s - 2 * d * s; }
double colorDodge(double d, double s) {
  if (d <= 0) return 0;
  if (s >= 1) return 1;
  return clamp01(d / (1 - s));
}
double colorBurn(double d, double s) {
  if (d >= 1) return 1;
  if (s <= 0) return 0;
  return 1 - clamp01((1 - d) / s);
}
double linearBurn(double d, double s) { return clamp01(d + s - 1); }
double hardLight(double d, double s) { return s <= 0.5 ? 2 * d * s : 1 - 2 * (1 - d) * (1 - s); }
double softLight(double d, double s) {
  if (s <= 0.5) return d - (1 - 2 * s) * d * (1 - d);
  const double g = d <= 0.25 ? ((16 * d - 12) * d + 4) * d : std::sqrt(d);
  return d + (2 * s - 1) * (g - d);
}
double vividLight(double d, double s) {
  return s <= 0.5 ? colorBurn(d, 2 * s) : colorDodge(d, 2 * s - 1);
}
double linearLight(double d, double s) { return clamp01(d + 2 * s - 1); }
double pinLight(double d, double s) {
  return s <= 0.5 ? darken(d, 2 * s) : lighten(d, 2 * s - 1);
}
// d + s >= 1, with a margin for the inexact sum of two multiples of 1/255.
double hardMix(double d, double s) { return d + s >= 1 - 1e-9 ? 1 : 0; }
double divide(double d, double s) {
  if (s <= 0) return d <= 0 ? 0 : 1;
  return clamp01(d / s);
}

}  // namespace

// The one table of blend modes: number, name, formula. Modes 2 and 11 are the same
// operation under the two names painting programs use for it.
const BlendModeInfo kBlendModes[kBlendModeCount] = {
    {0, "replace", nullptr},          // s replaces d; opacity scales the alpha
    {1, "normal", nullptr},           // s over d
    {2, "add", add},                  // min(1, d + s)
    {3, "subtract", subtract},        // max(0, d - s)
    {4, "multiply", multiply},        // d * s
    {5, "screen", screen},            // 1 - (1 - d)(1 - s)
    {6, "overlay", overlay},          // hard light with d and s exchanged
    {7, "darken", darken},            // min(d, s)
    {8, "lighten", lighten},          // max(d, s)
    {9, "difference", difference},    // |d - s|
    {10, "exclusion", exclusion},     // d + s - 2ds
    {11, "linear-dodge", add},        // = add
    {12, "color-dodge", colorDodge},  // d / (1 - s)
    {13, "color-burn", colorBurn},    // 1 - (1 - d) / s
    {14, "linear-burn", linearBurn},  // max(0, d + s - 1)
    {15, "hard-light", hardLight},    // s <= 1/2: 2ds, else screen(d, 2s - 1)
    {16, "soft-light", softLight},    // the W3C compositing form
    {17, "vivid-light", vividLight},  // s <= 1/2: color-burn(d, 2s), else color-dodge(d, 2s - 1)
    {18, "linear-light", linearLight},  // d + 2s - 1, clamped
    {19, "pin-light", pinLight},      // s <= 1/2: min(d, 2s), else max(d, 2s - 1)
    {20, "hard-mix", hardMix},        // d + s >= 1 ? 1 : 0
    {21, "divide", divide},           // d / s, clamped
};

int ImageBlendModeFromName(const char* name) {
  if (!name) return -1;
  for (const BlendModeInfo& m : kBlendModes) {
    const char* a = name;
    const char* b = m.name;
    for (; *a && *b; ++a, ++b) {
      const char c = (*a == '_' || *a == ' ') ? '-' : char(std::tolower((unsigned char)*a));
      if (c != *b) break;
    }
    if (!*a && !*b) return m.mode;
  }
  return -1;
}

namespace ops {

namespace {

uint8_t roundToByte(double v) {
  const double r = std::floor(v + 0.5);
  return uint8_t(r < 0 ? 0 : r > 255 ? 255 : r);
}

// Table slot of each mode: modes 2-10 use slots 0-8, 12-21 slots 9-18, 11 shares slot 0.
int slotOf(int mode) {
  if (mode < 2 || mode >= kBlendModeCount) return -1;
  if (mode == 11) return 0;
  return mode < 11 ? mode - 2 : mode - 3;
}

void build(BlendTables& t) {
  for (int mode = 2; mode < kBlendModeCount; ++mode) {
    if (mode == 11) continue;
    uint8_t* table = t.blend[slotOf(mode)];
    const auto f = kBlendModes[mode].formula;
    for (int d = 0; d < 256; ++d)
      for (int s = 0; s < 256; ++s) table[d * 256 + s] = roundToByte(255 * f(d / 255.0, s / 255.0));
  }
  for (int a = 0; a < 256; ++a)
    for (int b = 0; b < 256; ++b) {
      t.coverage[a * 256 + b] = uint8_t((a * b + 127) / 255);
      // ad * (255 - as) / 255 with as = a, ad = b
      const uint8_t o = uint8_t((b * (255 - a) + 127) / 255);
      t.destWeight[a * 256 + b] = o;
      t.overAlpha[a * 256 + b] = uint8_t(a + o);  // at most 255: o <= 255 - a
    }
  // (sum + 1) * reciprocal[A] >> 16 divides sum by A; rounding the reciprocal up keeps a
  // uniform colour (sum = k * A) exactly k for every A.
  t.reciprocal[0] = 0;
  for (int A = 1; A < 256; ++A) t.reciprocal[A] = (65536 + A - 1) / A;
  // Weight of the source colour out of 256 for result alpha A: round(256 * as / A). A byte
  // holds at most 255, which stands for the full weight too (as == A).
  for (int A = 0; A < 256; ++A)
    for (int as = 0; as < 256; ++as) {
      const int w = (A == 0 || as > A) ? 0 : (512 * as + A) / (2 * A);
      t.overWeight[A * 256 + as] = uint8_t(w > 255 ? 255 : w);
    }
}

}  // namespace

const BlendTables& blendTables() {
  // Function-local static: built once, thread-safe, on the first blend or mask operation.
  static const BlendTables* const tables = [] {
    static BlendTables storage;
    build(storage);
    return &storage;
  }();
  return *tables;
}

const uint8_t* blendTableOf(int mode) {
  const int slot = slotOf(mode);
  return slot < 0 ? nullptr : blendTables().blend[slot];
}

}  // namespace ops

const uint8_t* ImageBlendTable(int mode) { return ops::blendTableOf(mode); }
const uint8_t* ImageCoverageTable() { return ops::blendTables().coverage; }
const uint8_t* ImageDestWeightTable() { return ops::blendTables().destWeight; }
const int32_t* ImageReciprocalTable() { return ops::blendTables().reciprocal; }
const uint8_t* ImageOverAlphaTable() { return ops::blendTables().overAlpha; }
const uint8_t* ImageOverWeightTable() { return ops::blendTables().overWeight; }

}  // namespace limg
