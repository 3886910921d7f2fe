// Blend and rotation against pixman and MagickCore on the same pictures in the same run.
//   Blend of a 1920 x 1080 RGBA layer at (0, 0), mode 1 (normal) and mode 4 (multiply),
//   onto an opaque and onto a translucent destination:
//     pixman: PIXMAN_OP_OVER and PIXMAN_OP_MULTIPLY on a8r8g8b8. pixman works on
//       premultiplied colour, so its layer is premultiplied once before timing; per pixel it
//       then does less (no division by the result alpha). Same pixels, same memory layout,
//       same visible result on an opaque destination.
//     MagickCore: CompositeImage with OverCompositeOp / MultiplyCompositeOp (straight alpha,
//       as ours; 16-bit quantum), one thread.
//   Bilinear rotation of 1920 x 1080 by 30 degrees (result about 2203 x 1895):
//     MagickCore RotateImage (three shears) and DistortImage ScaleRotateTranslate with
//     bilinear interpolation, one thread.
// Every blend starts from the same destination: it is restored, untimed, before each
// iteration, for ours and the peers alike. At the end: peer CPU time / our CPU time (above 1: ours is faster).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <utility>
#include <vector>

#ifdef HAVE_MAGICKCORE
// MagickCore has its own Image type; give it another name here.
#define Image MagickImage
#include <magick/MagickCore.h>
#undef Image
#endif
#ifdef HAVE_PIXMAN
#include <pixman.h>
#endif

#include "image/image.h"
#include "image/ops/ops.h"
#include "image/ops/ops_internal.h"

using namespace limg;

namespace {

constexpr int32_t kW = 1920, kH = 1080;

// A layer: a quarter fully transparent, a quarter opaque, the rest partly covered.
Image* makeLayer() {
  Image* image = ImageCreate(kW, kH, 32);
  std::mt19937 rng(7);
  for (int32_t i = 0; i < image->pixelCount; ++i) {
    const uint32_t n = rng(), kind = n >> 30;
    const uint32_t a = kind == 0 ? 0 : kind == 1 ? 255 : 1 + (n >> 24) % 254;
    image->pixels[i] = a << 24 | (rng() & 0xFFFFFF);
  }
  return image;
}

// A destination: opaque, or with alpha 64-191.
Image* makeBackground(bool opaque) {
  Image* image = ImageCreate(kW, kH, 32);
  for (int32_t y = 0; y < kH; ++y)
    for (int32_t x = 0; x < kW; ++x) {
      const uint32_t a = opaque ? 255 : 64 + uint32_t(x + y) % 128;
      image->pixels[y * kW + x] = a << 24 | uint32_t(x * 255 / kW) << 16 | uint32_t(y * 255 / kH) << 8 | 128;
    }
  return image;
}

struct Pictures {
  Image* layer = makeLayer();
  Image* opaque = makeBackground(true);
  Image* translucent = makeBackground(false);
};
const Pictures& pictures() {
  static const Pictures p;
  return p;
}

Image* copyOf(const Image* src) {
  Image* out = nullptr;
  ImageCut(&out, src, 0, 0, 0, 0);
  return out;
}

void ours(benchmark::State& state, int mode, bool opaque) {
  // BENCH_BLEND_AVX2 set: ours limited to the AVX2 forms, for comparing the forms on a
  // processor that has AVX-512 (an environment variable rather than more benchmarks: adding
  // any shifts where the pictures land in memory, which moves both sides' times by 10%).
  static const bool avx2Only = std::getenv("BENCH_BLEND_AVX2") != nullptr;
  if (avx2Only) ops::blendLimitForms(ops::BlendForm::kAvx2);
  const Pictures& p = pictures();
  const Image* background = opaque ? p.opaque : p.translucent;
  Image* dst = copyOf(background);
  ImageBlendFunctions[mode](dst, p.layer, 0, 0, 256);  // tables built before timing
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(dst->pixels, background->pixels, std::size_t(kW) * kH * 4);
    state.ResumeTiming();
    ImageBlendFunctions[mode](dst, p.layer, 0, 0, 256);
  }
  state.SetItemsProcessed(state.iterations() * kW * kH);
  ImageDestroy(&dst);
  ops::blendLimitForms(ops::BlendForm::kAvx512);
}

void oursRotate(benchmark::State& state) {
  Image* out = nullptr;
  for (auto _ : state) ImageRotateBilinear(&out, pictures().opaque, 30, 0);
  state.counters["w"] = out->width;
  state.counters["h"] = out->height;
  ImageDestroy(&out);
}

#ifdef HAVE_PIXMAN
struct PixmanPicture {
  std::vector<uint32_t> pixels;
  pixman_image_t* image;
  // premultiply: the layer as pixman wants it; the destination's colour is premultiplied too.
  explicit PixmanPicture(const Image* src) : pixels(src->pixels, src->pixels + src->pixelCount) {
    for (uint32_t& v : pixels) {
      const uint32_t a = v >> 24;
      uint32_t out = a << 24;
      for (int k = 0; k < 24; k += 8) out |= ((((v >> k) & 255) * a + 127) / 255) << k;
      v = out;
    }
    image = pixman_image_create_bits(PIXMAN_a8r8g8b8, src->width, src->height, pixels.data(),
                                     src->width * 4);
  }
  ~PixmanPicture() { pixman_image_unref(image); }
};

void pixman(benchmark::State& state, pixman_op_t op, bool opaque) {
  const Pictures& p = pictures();
  PixmanPicture src(p.layer), dst(opaque ? p.opaque : p.translucent);
  const std::vector<uint32_t> background = dst.pixels;
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(dst.pixels.data(), background.data(), background.size() * 4);
    state.ResumeTiming();
    pixman_image_composite32(op, src.image, nullptr, dst.image, 0, 0, 0, 0, 0, 0, kW, kH);
  }
  state.SetItemsProcessed(state.iterations() * kW * kH);
}
#endif

#ifdef HAVE_MAGICKCORE
struct MagickPicture {
  MagickImage* image = nullptr;
  explicit MagickPicture(const Image* p) {
    ExceptionInfo* e = AcquireExceptionInfo();
    image = ConstituteImage(size_t(p->width), size_t(p->height), "BGRA", CharPixel, p->pixels, e);
    DestroyExceptionInfo(e);
  }
  ~MagickPicture() {
    if (image) DestroyImage(image);
  }
};

void magick(benchmark::State& state, CompositeOperator op, bool opaque) {
  const Pictures& p = pictures();
  MagickPicture src(p.layer), background(opaque ? p.opaque : p.translucent);
  ExceptionInfo* e = AcquireExceptionInfo();
  for (auto _ : state) {
    state.PauseTiming();
    MagickImage* dst = CloneImage(background.image, 0, 0, MagickTrue, e);
    state.ResumeTiming();
    CompositeImage(dst, op, src.image, 0, 0);
    state.PauseTiming();
    DestroyImage(dst);
    state.ResumeTiming();
  }
  DestroyExceptionInfo(e);
  state.SetItemsProcessed(state.iterations() * kW * kH);
}

void magickRotate(benchmark::State& state) {
  MagickPicture src(pictures().opaque);
  ExceptionInfo* e = AcquireExceptionInfo();
  for (auto _ : state) {
    MagickImage* out = RotateImage(src.image, 30, e);
    if (out) DestroyImage(out);
  }
  DestroyExceptionInfo(e);
}

void magickDistort(benchmark::State& state) {
  MagickPicture src(pictures().opaque);
  src.image->interpolate = BilinearInterpolatePixel;
  SetImageVirtualPixelMethod(src.image, TransparentVirtualPixelMethod);
  ExceptionInfo* e = AcquireExceptionInfo();
  const double angle[] = {30};
  for (auto _ : state) {
    // bestfit: the result holds the whole rotated picture, as ours does.
    MagickImage* out = DistortImage(src.image, ScaleRotateTranslateDistortion, 1, angle, MagickTrue, e);
    if (out) DestroyImage(out);
  }
  DestroyExceptionInfo(e);
}
#endif

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& r : runs) times[r.benchmark_name()] = r.GetAdjustedCPUTime();
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> times;
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::pair<std::string, std::string>> pairs;
  auto both = [&](const std::string& ourName, const std::string& peerName) { pairs.push_back({ourName, peerName}); };
  const struct {
    const char* name;
    int mode;
    bool opaque;
  } blends[] = {{"normal/opaque", 1, true},   {"normal/translucent", 1, false},
                {"multiply/opaque", 4, true}, {"multiply/translucent", 4, false}};
  for (const auto& b : blends)
    benchmark::RegisterBenchmark((std::string("blend/ours/") + b.name).c_str(), ours, b.mode, b.opaque)
        ->Unit(benchmark::kMillisecond);
#ifdef HAVE_PIXMAN
  for (const auto& b : blends) {
    const pixman_op_t op = b.mode == 1 ? PIXMAN_OP_OVER : PIXMAN_OP_MULTIPLY;
    const std::string name = std::string("blend/pixman/") + b.name;
    benchmark::RegisterBenchmark(name.c_str(), pixman, op, b.opaque)->Unit(benchmark::kMillisecond);
    both(std::string("blend/ours/") + b.name, name);
  }
#endif
#ifdef HAVE_MAGICKCORE
  MagickCoreGenesis(*argv, MagickFalse);
  SetMagickResourceLimit(ThreadResource, 1);
  for (const auto& b : blends) {
    const CompositeOperator op = b.mode == 1 ? OverCompositeOp : MultiplyCompositeOp;
    const std::string name = std::string("blend/magick/") + b.name;
    benchmark::RegisterBenchmark(name.c_str(), magick, op, b.opaque)->Unit(benchmark::kMillisecond);
    both(std::string("blend/ours/") + b.name, name);
  }
#endif
  benchmark::RegisterBenchmark("rotate30/ours/bilinear", oursRotate)->Unit(benchmark::kMillisecond);
#ifdef HAVE_MAGICKCORE
  benchmark::RegisterBenchmark("rotate30/magick/RotateImage", magickRotate)->Unit(benchmark::kMillisecond);
  benchmark::RegisterBenchmark("rotate30/magick/DistortImage-bilinear", magickDistort)
      ->Unit(benchmark::kMillisecond);
  both("rotate30/ours/bilinear", "rotate30/magick/RotateImage");
  both("rotate30/ours/bilinear", "rotate30/magick/DistortImage-bilinear");
#endif

  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n%-32s %-40s %s\n", "ours", "peer", "peer time / our time");
  for (const auto& [a, b] : pairs) {
    const double ta = reporter.times[a], tb = reporter.times[b];
    if (ta > 0 && tb > 0) std::printf("%-32s %-40s %.2f\n", a.c_str(), b.c_str(), tb / ta);
  }
  benchmark::Shutdown();
#ifdef HAVE_MAGICKCORE
  MagickCoreTerminus();
#endif
  return 0;
}
