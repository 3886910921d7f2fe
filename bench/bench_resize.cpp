// Resize against ImageMagick's MagickCore on the same pictures in the same run:
//   reduction of 4096 x 4096 to 1/2, 1/3 and 0.37: our bilinear vs MagickCore's Triangle
//   filter, our area average vs MagickCore's Box filter;
//   the launcher's case: bilinear enlargement of 1280 x 720 by 1.25 and 1.5.
// MagickCore runs on one thread. The ratio printed at the end is peer CPU time / our CPU
// time (above 1: we are faster); "vector gain" compares our portable code.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "bench/ratio_report.h"
#include "image/image.h"
#include "image/resize.h"
#include "image/resize_filters.h"

#ifdef HAVE_MAGICKCORE
// MagickCore names its own picture record Image: its headers go into a namespace, after the
// system headers they include, which thus stay global.
#include <limits.h>
#include <math.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <time.h>
#include <unistd.h>
#include <omp.h>
namespace mc {
#include <magick/MagickCore.h>
}
#endif

using namespace limg;

namespace {

// A smooth picture with some noise, so that neither filter sees flat runs only.
Image* makePicture(int32_t w, int32_t h) {
  Image* image = ImageCreate(w, h, 32);
  std::mt19937 rng(42);
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      const uint32_t n = rng();
      const uint32_t b = uint32_t(x * 255 / w) ^ (n & 15), g = uint32_t(y * 255 / h) ^ ((n >> 4) & 15);
      const uint32_t r = uint32_t((x + y) * 127 / (w + h)) ^ ((n >> 8) & 31), a = 255 - ((n >> 16) & 7);
      image->pixels[std::size_t(y) * std::size_t(w) + std::size_t(x)] = a << 24 | r << 16 | g << 8 | b;
    }
  }
  return image;
}

struct Case {
  const char* name;
  int32_t w, h;      // source
  double factor;     // target = int(side * factor + 0.5)
  int filter;        // our filter number (used both ways)
  int magickFilter;  // FilterTypes value
};

#ifdef HAVE_MAGICKCORE
constexpr int kTriangle = mc::TriangleFilter;
constexpr int kBox = mc::BoxFilter;
#else
constexpr int kTriangle = 0;
constexpr int kBox = 0;
#endif

const Case kCases[] = {
    {"bilinear 4096 -> 1/2", 4096, 4096, 0.5, kFilterBilinear, kTriangle},
    {"bilinear 4096 -> 1/3", 4096, 4096, 1.0 / 3, kFilterBilinear, kTriangle},
    {"bilinear 4096 -> 0.37", 4096, 4096, 0.37, kFilterBilinear, kTriangle},
    {"area 4096 -> 1/2", 4096, 4096, 0.5, kFilterAreaAverage, kBox},
    {"area 4096 -> 1/3", 4096, 4096, 1.0 / 3, kFilterAreaAverage, kBox},
    {"area 4096 -> 0.37", 4096, 4096, 0.37, kFilterAreaAverage, kBox},
    {"bilinear 1280x720 x1.25", 1280, 720, 1.25, kFilterBilinear, kTriangle},
    {"bilinear 1280x720 x1.5", 1280, 720, 1.5, kFilterBilinear, kTriangle},
};

std::map<std::pair<int32_t, int32_t>, Image*>& pictures() {
  static std::map<std::pair<int32_t, int32_t>, Image*> cache;
  return cache;
}

Image* pictureOf(int32_t w, int32_t h) {
  Image*& p = pictures()[{w, h}];
  if (!p) p = makePicture(w, h);
  return p;
}

int32_t side(int32_t n, double f) { return int32_t(n * f + 0.5); }

void benchOurs(benchmark::State& state, const Case& c, int vectorLevel) {
  ResizeSetVector(vectorLevel);
  const Image* source = pictureOf(c.w, c.h);
  const int32_t W = side(c.w, c.factor), H = side(c.h, c.factor);
  Image* target = nullptr;
  for (auto _ : state) {
    ImageResize(&target, source, W, H, kResizePixels, c.filter, c.filter);
    benchmark::DoNotOptimize(target->pixels[0]);
  }
  ImageDestroy(&target);
  state.SetItemsProcessed(int64_t(state.iterations()) * c.w * c.h);
}

#ifdef HAVE_MAGICKCORE
using namespace mc;

struct MagickPicture {
  mc::Image* image = nullptr;
  explicit MagickPicture(const limg::Image* p) {
    ExceptionInfo* e = AcquireExceptionInfo();
    image = ConstituteImage(size_t(p->width), size_t(p->height), "BGRA", CharPixel, p->pixels, e);
    DestroyExceptionInfo(e);
  }
  ~MagickPicture() {
    if (image) DestroyImage(image);
  }
};

void benchMagick(benchmark::State& state, const Case& c) {
  MagickPicture source(pictureOf(c.w, c.h));
  const size_t W = size_t(side(c.w, c.factor)), H = size_t(side(c.h, c.factor));
  ExceptionInfo* e = AcquireExceptionInfo();
  for (auto _ : state) {
    mc::Image* out = ResizeImage(source.image, W, H, FilterTypes(c.magickFilter), 1.0, e);
    benchmark::DoNotOptimize(out);
    if (out) DestroyImage(out);
  }
  DestroyExceptionInfo(e);
  state.SetItemsProcessed(int64_t(state.iterations()) * c.w * c.h);
}
#endif

}  // namespace

int main(int argc, char** argv) {
#ifdef HAVE_MAGICKCORE
  mc::MagickCoreGenesis(argv[0], mc::MagickFalse);
  mc::SetMagickResourceLimit(mc::ThreadResource, 1);
#endif
  for (const Case& c : kCases) {
    benchmark::RegisterBenchmark((std::string(c.name) + " /ours").c_str(), benchOurs, c, ResizeVectorSupported())
        ->Unit(benchmark::kMillisecond);
    if (ResizeVectorSupported() > 0)
      benchmark::RegisterBenchmark((std::string(c.name) + " /ours-portable").c_str(), benchOurs, c, 0)
          ->Unit(benchmark::kMillisecond);
#ifdef HAVE_MAGICKCORE
    benchmark::RegisterBenchmark((std::string(c.name) + " /magick").c_str(), benchMagick, c)
        ->Unit(benchmark::kMillisecond);
#endif
  }
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  // ratio: peer / ours; vector gain: our portable code / our code at the vector level used.
  std::printf("\nvector level %d\n%-28s %10s %10s %8s %12s\n", ResizeVectorSupported(), "case", "ours ms",
              "peer ms", "ratio", "vector gain");
  auto timeOf = [&](const Case& c, const char* who) { return reporter.time(std::string(c.name) + " /" + who); };
  for (const Case& c : kCases) {
    const double ours = timeOf(c, "ours"), peer = timeOf(c, "magick"), portable = timeOf(c, "ours-portable");
    if (ours <= 0) continue;
    std::printf("%-28s %10.2f ", c.name, ours);
    if (peer > 0)
      std::printf("%10.2f %7.2fx", peer, peer / ours);
    else
      std::printf("%10s %8s", "-", "-");
    if (portable > 0) std::printf(" %11.2fx", portable / ours);
    std::printf("\n");
  }
  for (auto& p : pictures()) ImageDestroy(&p.second);
#ifdef HAVE_MAGICKCORE
  mc::MagickCoreTerminus();
#endif
  return 0;
}
