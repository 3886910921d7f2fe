#pragma once
// Image operations on 32-bit B, G, R, A records: cut, rotate, compose, blend modes and
// mask-to-alpha. Every entry point returns 1 on success, or 0 after printing one line
// ("-CUT: ", "-ROT: ", "-CMP: ", "-BLD: ", "-M2A: ") on the standard output stream.
#include <cstdint>

#include "image/image.h"

namespace limg {

// ---- Cut and rotate: the result goes to *dst, reused when it already has the wanted size
// (header kept, pixels overwritten), otherwise replaced by a new image with src's bitDepth
// and a zeroed header. When the new image can't be made, *dst is destroyed and left null.
// *dst may be src itself: the result is then built apart and replaces it (kept as it was
// when that fails).

// Copies the w x h window whose top-left corner is (x, y) in src into *dst; parts of the
// window outside src are transparent black. w <= 0 or h <= 0 take src's size. The result's
// left/top become x/y.
int ImageCut(Image** dst, const Image* src, int32_t x, int32_t y, int32_t w, int32_t h);

// Rotates src by angle degrees (clockwise as seen on screen) about its centre and scales it
// by scale (0 means 1); the result is sized to hold the whole rotated picture. A scale that
// leaves no pixels (negative or too small) or a size beyond int32 is refused like a
// failed allocation.
int ImageRotateNearest(Image** dst, const Image* src, double angle, double scale);
int ImageRotateBilinear(Image** dst, const Image* src, double angle, double scale);

typedef int (*ImageRotateFunction)(Image** dst, const Image* src, double angle, double scale);
// 0 nearest, 1 bilinear.
extern const ImageRotateFunction ImageRotateFunctions[2];

// ---- Compose: src's top-left pixel lands at (x, y) in dst; dst changes in place.
int ImageComposeCopy(Image* dst, const Image* src, int32_t x, int32_t y);   // dst = src
int ImageComposeMasked(Image* dst, const Image* src, int32_t x, int32_t y); // where src alpha != 0
int ImageComposeXor(Image* dst, const Image* src, int32_t x, int32_t y);    // dst ^= src

typedef int (*ImageComposeFunction)(Image* dst, const Image* src, int32_t x, int32_t y);
// 0 copy, 1 masked, 2 xor.
extern const ImageComposeFunction ImageComposeFunctions[3];

// ---- Blend: src over dst at (x, y) in one of 22 numbered modes. opacity 256 or more is
// full, 1-255 scales src's alpha by opacity / 256, 0 changes nothing.
// The shape of every blend operation, and a pointer to one.
typedef int ImageBlend(Image* dst, const Image* src, int32_t x, int32_t y, uint32_t opacity);
typedef ImageBlend* ImageBlendFunction;

constexpr int kBlendModeCount = 22;
// Index = mode number; mode 11 is the same operation as mode 2.
extern const ImageBlendFunction ImageBlendFunctions[kBlendModeCount];
// The two everyday layer modes: normal (mode 1) and multiply (mode 4), in that order.
extern const ImageBlendFunction ImageBlendBasicFunctions[2];

int ImageBlendReplace(Image* dst, const Image* src, int32_t x, int32_t y, uint32_t opacity);
int ImageBlendNormal(Image* dst, const Image* src, int32_t x, int32_t y, uint32_t opacity);

// The mode table: number, name as a command takes it, and the channel formula on values in
// [0, 1] (d destination, s source); null formula for modes 0 and 1, which have no blendTable.
struct BlendModeInfo {
  int mode;
  const char* name;
  double (*formula)(double d, double s);
};
extern const BlendModeInfo kBlendModes[kBlendModeCount];

// Mode number for a name of kBlendModes (case-insensitive; "_" and " " match "-"), or -1.
int ImageBlendModeFromName(const char* name);

// ---- Lookup tables, built once (thread-safe) on first use and read-only afterwards.
// 65536 bytes, [d * 256 + s]; modes 2-21 (11 gives mode 2's table), null for others.
const uint8_t* ImageBlendTable(int mode);
const uint8_t* ImageCoverageTable();    // [a * 256 + b] = round(a * b / 255)
const uint8_t* ImageDestWeightTable();  // [as * 256 + ad] = round(ad * (255 - as) / 255)
const int32_t* ImageReciprocalTable();  // [A] for A in 1..255 (entry 0 is 0)
const uint8_t* ImageOverAlphaTable();   // [as * 256 + ad] = as + destWeight, at most 255
const uint8_t* ImageOverWeightTable();  // [A * 256 + as] = round(256 * as / A), at most 255

// ---- Mask to alpha: the new alpha of each overlapped pixel comes from its mask pixel M
// and its old alpha a, by type:
//   0 blue of M   1 255 - blue of M   2 alpha of M   3 255 - alpha of M
//   4-7 the same four values combined with a through the coverage table.
// Any other type changes no pixel. The image's bitDepth becomes 32.
enum MaskType {
  kMaskBlue = 0,
  kMaskInverseBlue = 1,
  kMaskAlpha = 2,
  kMaskInverseAlpha = 3,
  kMaskBlueTimesAlpha = 4,
  kMaskInverseBlueTimesAlpha = 5,
  kMaskAlphaTimesAlpha = 6,
  kMaskInverseAlphaTimesAlpha = 7,
};

// mask's top-left pixel lands at (x, y) in *dst.
int ImageMaskToAlpha(Image** dst, const Image* mask, int type, int32_t x, int32_t y);
// *image's left half is the picture and its right half the mask, shifted by (x, y); *image is
// replaced by its left half with the new alpha. The second argument is not used.
int ImageSplitMaskToAlpha(Image** image, const Image* unused, int type, int32_t x, int32_t y);

typedef int (*ImageMaskToAlphaFunction)(Image** dst, const Image* mask, int type, int32_t x,
                                        int32_t y);
// 0 mask from a second image, 1 mask from the right half.
extern const ImageMaskToAlphaFunction ImageMaskToAlphaFunctions[2];

}  // namespace limg
