// TLG5 and TLG6 encoding against libpng at levels 6 and 9 on the same generated pictures:
// photo-like (smooth fields, texture and sensor noise, no alpha) and flat game art (filled shapes
// with soft edges and outlines on a transparent background), at 1280 x 720 and 1920 x 1080.
// Prints speed ratios and file sizes after the timings.
#include <benchmark/benchmark.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "image/tlg/tlg_encode.h"

using namespace limg;

namespace {

struct Picture {
  std::string name;
  int width, height, colours;
  std::vector<uint8_t> bytes;  // B, G, R(, A) per pixel
  std::vector<const uint8_t*> rows;
};

Picture photo(int w, int h, uint32_t seed) {
  Picture p{"photo " + std::to_string(w) + "x" + std::to_string(h), w, h, 3, {}, {}};
  p.bytes.resize(std::size_t(w) * h * 3);
  std::mt19937 rng(seed);
  // Sensor noise is mostly in luminance, shared by the three channels, with a little chroma.
  std::normal_distribution<float> luma(0.f, 2.5f), chroma(0.f, 0.8f);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const float u = float(x) / w, v = float(y) / h;
      const float sky = 150 + 60 * std::sin(3.1f * u + 1.3f * v) + 25 * std::sin(17 * u * v);
      const float texture = 18 * std::sin(0.21f * x + 0.05f * y) * std::sin(0.13f * y);
      const float hill = v > 0.55f + 0.1f * std::sin(6 * u) ? -70.f : 0.f;
      const float base = sky + texture + hill + luma(rng);
      const float tint[3] = {-20.f, 5.f, 25.f};
      for (int c = 0; c < 3; ++c) {
        const float value = base + tint[c] * (1 - v) + chroma(rng);
        p.bytes[(std::size_t(y) * w + x) * 3 + c] = uint8_t(std::clamp(value, 0.f, 255.f));
      }
    }
  return p;
}

Picture gameArt(int w, int h, uint32_t seed) {
  Picture p{"art " + std::to_string(w) + "x" + std::to_string(h), w, h, 4, {}, {}};
  p.bytes.assign(std::size_t(w) * h * 4, 0);
  std::mt19937 rng(seed);
  for (int shape = 0; shape < 60; ++shape) {
    const float cx = float(rng() % w), cy = float(rng() % h), r = float(20 + rng() % (h / 4));
    const uint8_t colour[3] = {uint8_t(rng()), uint8_t(rng()), uint8_t(rng())};
    const bool round = rng() % 2;
    const int x0 = std::max(0, int(cx - r - 3)), x1 = std::min(w, int(cx + r + 3));
    const int y0 = std::max(0, int(cy - r - 3)), y1 = std::min(h, int(cy + r + 3));
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) {
        const float dx = x - cx, dy = y - cy;
        const float d = round ? std::sqrt(dx * dx + dy * dy) - r : std::max(std::fabs(dx), std::fabs(dy)) - r;
        if (d > 1.5f) continue;
        uint8_t* px = &p.bytes[(std::size_t(y) * w + x) * 4];
        const bool outline = d > -2.5f;
        const float shade = 1.f - 0.25f * float(y - y0) / float(y1 - y0 + 1);
        for (int c = 0; c < 3; ++c) px[c] = outline ? 20 : uint8_t(colour[c] * shade);
        const uint8_t alpha = d > 0.5f ? uint8_t(255 * (1.5f - d)) : 255;
        px[3] = std::max(px[3], alpha);
      }
  }
  return p;
}

std::vector<Picture>& pictures() {
  static std::vector<Picture> all;
  if (all.empty()) {
    all.push_back(photo(1280, 720, 1));
    all.push_back(photo(1920, 1080, 2));
    all.push_back(gameArt(1280, 720, 3));
    all.push_back(gameArt(1920, 1080, 4));
    for (Picture& p : all)
      for (int y = 0; y < p.height; ++y) p.rows.push_back(p.bytes.data() + std::size_t(y) * p.width * p.colours);
  }
  return all;
}

TlgEncodeSource sourceOf(const Picture& p) { return {p.width, p.height, p.rows.data(), p.colours == 4 ? 7 : 6}; }

std::size_t encodeTlg6(const Picture& p, int threads) {
  TlgMemoryWriter w(uint32_t(p.bytes.size() + 4096));
  SaveTLG6(sourceOf(p), w, threads);
  return w.size();
}

std::size_t encodeTlg5(const Picture& p) {
  TlgMemoryWriter w(uint32_t(p.bytes.size() + 4096));
  Tlg5Encode(sourceOf(p), w);
  return w.size();
}

void pngWrite(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}
void pngFlush(png_structp) {}

std::size_t encodePng(const Picture& p, int level) {
  std::vector<uint8_t> out;
  out.reserve(p.bytes.size());
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return 0;
  }
  png_set_write_fn(png, &out, pngWrite, pngFlush);
  png_set_compression_level(png, level);
  png_set_IHDR(png, info, p.width, p.height, 8, p.colours == 4 ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);
  png_write_image(png, const_cast<png_bytepp>(p.rows.data()));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out.size();
}

enum Coder { kTlg5, kTlg6One, kTlg6Threads, kPng6, kPng9, kCoderCount };
const char* const kCoderNames[kCoderCount] = {"TLG5", "TLG6 1 thread", "TLG6 threads", "PNG-6", "PNG-9"};

std::size_t encode(Coder coder, const Picture& p) {
  switch (coder) {
    case kTlg5: return encodeTlg5(p);
    case kTlg6One: return encodeTlg6(p, 1);
    case kTlg6Threads: return encodeTlg6(p, 0);
    case kPng6: return encodePng(p, 6);
    case kPng9: return encodePng(p, 9);
    default: return 0;
  }
}

std::map<std::pair<int, int>, std::size_t> sizes;  // (picture, coder) -> bytes

void BM_Encode(benchmark::State& state) {
  const Picture& p = pictures()[state.range(0)];
  const Coder coder = Coder(state.range(1));
  std::size_t bytes = 0;
  for (auto _ : state) {
    bytes = encode(coder, p);
    benchmark::DoNotOptimize(bytes);
  }
  sizes[{int(state.range(0)), int(coder)}] = bytes;
  state.counters["bytes"] = double(bytes);
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(p.bytes.size()));
  state.SetLabel(p.name + " " + kCoderNames[coder]);
}

// Keeps every run's time per iteration for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> wall, cpu;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      wall[run.report_label] = run.GetAdjustedRealTime();
      cpu[run.report_label] = run.GetAdjustedCPUTime();
    }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  for (int picture = 0; picture < 4; ++picture)
    for (int coder = 0; coder < kCoderCount; ++coder)
      benchmark::RegisterBenchmark("encode", BM_Encode)
          ->Args({picture, coder})
          ->Unit(benchmark::kMillisecond)
          ->MinTime(0.5);
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("\n%-16s %10s %10s %10s %10s %10s | %8s %8s %8s %8s | %8s %8s\n", "picture", "TLG5 ms", "TLG6 ms",
              "TLG6mt wall", "PNG6 ms", "PNG9 ms", "TLG5 KB", "TLG6 KB", "PNG6 KB", "PNG9 KB", "TLG6/P9", "T5spd/P6");
  std::vector<double> sizeRatios;
  for (int picture = 0; picture < 4; ++picture) {
    const Picture& p = pictures()[picture];
    // Single-threaded coders by CPU time (the machine is shared), the threaded one by wall time.
    double ms[kCoderCount], wall[kCoderCount];
    for (int coder = 0; coder < kCoderCount; ++coder) {
      ms[coder] = reporter.cpu[p.name + " " + kCoderNames[coder]];
      wall[coder] = reporter.wall[p.name + " " + kCoderNames[coder]];
    }
    ms[kTlg6Threads] = wall[kTlg6Threads];
    auto kb = [&](int coder) { return double(sizes[{picture, coder}]) / 1024.0; };
    const double sizeRatio = kb(kTlg6One) / kb(kPng9);
    sizeRatios.push_back(sizeRatio);
    std::printf("%-16s %10.1f %10.1f %10.1f %10.1f %10.1f | %8.0f %8.0f %8.0f %8.0f | %8.3f %8.2f\n", p.name.c_str(),
                ms[kTlg5], ms[kTlg6One], ms[kTlg6Threads], ms[kPng6], ms[kPng9], kb(kTlg5), kb(kTlg6One), kb(kPng6),
                kb(kPng9), sizeRatio, ms[kPng6] / ms[kTlg5]);
    std::printf("%-16s speed vs PNG-9: TLG6 1 thread %.2fx, TLG6 threads %.2fx (wall); TLG5 vs PNG-6 %.2fx;"
                " threads vs 1 thread %.2fx (wall)\n", "", ms[kPng9] / ms[kTlg6One], wall[kPng9] / wall[kTlg6Threads],
                ms[kPng6] / ms[kTlg5], wall[kTlg6One] / wall[kTlg6Threads]);
  }
  std::sort(sizeRatios.begin(), sizeRatios.end());
  std::printf("median TLG6 size / PNG-9 size: %.3f\n", (sizeRatios[1] + sizeRatios[2]) / 2);
  benchmark::Shutdown();
  return 0;
}
