// TLG5 and TLG6 decoding against libpng decoding the same pictures, for every routine form.
// The TLG streams come from a small writer (greedy LZSS for TLG5; per-block MED or average
// prediction with the green-difference transform for TLG6); the PNGs from libpng at its
// default settings. Prints MB/s of output pixels and the ratios to libpng.
#include <benchmark/benchmark.h>
#include <png.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "image/image.h"
#include "image/tlg/tlg_decode.h"
#include "image/tlg/tlg_encode.h"

using namespace limg;

using Bytes = std::vector<uint8_t>;

namespace {

struct Picture {
  std::string name;
  int width, height;
  std::vector<uint32_t> pixels;  // B, G, R, A words
  Bytes png, tlg5, tlg6;
};

// Smooth light with texture and sensor-like noise; alpha fades at the edges.
std::vector<uint32_t> photoLike(int w, int h, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> p(size_t(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      const double fx = double(x) / w, fy = double(y) / h;
      const double base = 120 + 60 * std::sin(fx * 7.1 + fy * 3.3) + 40 * std::cos(fy * 11.0 - fx * 2.0);
      const double tex = 12 * std::sin(x * 0.31) * std::cos(y * 0.27);
      auto channel = [&](double shift) {
        const double v = base * shift + tex + int(rng() % 9) - 4;
        return uint32_t(v < 0 ? 0 : v > 255 ? 255 : v);
      };
      const double edge = std::fmin(std::fmin(fx, 1 - fx), std::fmin(fy, 1 - fy));
      const uint32_t a = edge > 0.05 ? 255 : uint32_t(edge / 0.05 * 255);
      p[size_t(y) * w + x] = channel(0.8) | channel(1.0) << 8 | channel(1.15) << 16 | a << 24;
    }
  return p;
}

// Flat colour areas, outlined shapes and a little dithering; alpha cut-out shapes.
std::vector<uint32_t> flatLike(int w, int h, uint32_t seed) {
  std::mt19937 rng(seed);
  std::vector<uint32_t> p(size_t(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) p[size_t(y) * w + x] = 0xFF000000u | (y * 160 / h + 60) * 0x010000u | 0x3060A0u;
  for (int s = 0; s < 120; ++s) {
    const int cx = int(rng() % w), cy = int(rng() % h), r = 20 + int(rng() % (h / 6));
    const uint32_t colour = rng() & 0x00FFFFFFu;
    const uint32_t alpha = (s % 4 == 0) ? 0 : 255;
    for (int y = cy - r - 2; y <= cy + r + 2; ++y)
      for (int x = cx - r - 2; x <= cx + r + 2; ++x) {
        if (x < 0 || y < 0 || x >= w || y >= h) continue;
        const int d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
        uint32_t& px = p[size_t(y) * w + x];
        if (d2 <= r * r) px = alpha << 24 | (((x ^ y) & 1) && s % 3 == 0 ? colour ^ 0x080808u : colour);
        else if (d2 <= (r + 2) * (r + 2)) px = 0xFF101010u;
      }
  }
  return p;
}

// ---- libpng

struct PngBuffer {
  const Bytes* data;
  size_t at;
};

void pngWrite(png_structp png, png_bytep bytes, png_size_t n) {
  Bytes* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), bytes, bytes + n);
}
void pngFlush(png_structp) {}

Bytes pngEncode(const Picture& pic) {
  Bytes out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, pngWrite, pngFlush);
  png_set_IHDR(png, info, pic.width, pic.height, 8, PNG_COLOR_TYPE_RGB_ALPHA, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);  // our words are B, G, R, A in memory
  for (int y = 0; y < pic.height; ++y)
    png_write_row(png, reinterpret_cast<png_const_bytep>(&pic.pixels[size_t(y) * pic.width]));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

void pngRead(png_structp png, png_bytep bytes, png_size_t n) {
  PngBuffer* in = static_cast<PngBuffer*>(png_get_io_ptr(png));
  if (in->at + n > in->data->size()) png_error(png, "short");
  std::memcpy(bytes, in->data->data() + in->at, n);
  in->at += n;
}

// Decodes into B, G, R, A words, as the library's own PNG reader delivers them.
bool pngDecode(const Bytes& data, std::vector<uint32_t>& out) {
  PngBuffer in{&data, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &in, pngRead);
  png_read_info(png, info);
  png_set_bgr(png);
  png_read_update_info(png, info);
  const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
  out.resize(size_t(w) * h);
  for (png_uint_32 y = 0; y < h; ++y) png_read_row(png, reinterpret_cast<png_bytep>(&out[size_t(y) * w]), nullptr);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

// The test streams come from the library's own writers (TLG6 with all its threads).
Bytes tlgEncode(const Picture& pic, bool tlg6) {
  std::vector<const uint8_t*> rows(size_t(pic.height));
  for (int y = 0; y < pic.height; ++y)
    rows[size_t(y)] = reinterpret_cast<const uint8_t*>(&pic.pixels[size_t(y) * pic.width]);
  const TlgEncodeSource source{pic.width, pic.height, rows.data(), 7};
  TlgMemoryWriter writer(1u << 20);
  if (tlg6)
    SaveTLG6(source, writer);
  else
    Tlg5Encode(source, writer);
  return Bytes(writer.data, writer.data + writer.position);
}

std::vector<Picture>& pictures() {
  static std::vector<Picture> all;
  return all;
}

void makePictures() {
  const struct { const char* kind; int w, h; } specs[] = {
      {"photo", 1280, 720}, {"photo", 1920, 1080}, {"flat", 1280, 720}, {"flat", 1920, 1080}};
  uint32_t seed = 1;
  for (const auto& s : specs) {
    Picture pic;
    pic.name = std::string(s.kind) + "_" + std::to_string(s.w) + "x" + std::to_string(s.h);
    pic.width = s.w;
    pic.height = s.h;
    pic.pixels = std::string(s.kind) == "photo" ? photoLike(s.w, s.h, seed++) : flatLike(s.w, s.h, seed++);
    pic.png = pngEncode(pic);
    pic.tlg5 = tlgEncode(pic, false);
    pic.tlg6 = tlgEncode(pic, true);
    pictures().push_back(std::move(pic));
  }
}

void checkTlg(const Picture& pic, const Bytes& data, const TlgRoutines& routines, benchmark::State& state) {
  Image* image = TlgLoadFromMemoryWith(data.data(), int32_t(data.size()), routines);
  const bool ok = image && image->pixels &&
                  std::memcmp(image->pixels, pic.pixels.data(), pic.pixels.size() * 4) == 0;
  ImageDestroy(&image);
  if (!ok) state.SkipWithError("decoded pixels differ");
}

void benchPng(benchmark::State& state, const Picture* pic) {
  std::vector<uint32_t> out;
  if (!pngDecode(pic->png, out) || out != pic->pixels) state.SkipWithError("libpng round trip differs");
  for (auto _ : state) {
    pngDecode(pic->png, out);
    benchmark::DoNotOptimize(out.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(pic->pixels.size()) * 4);
}

void benchTlg(benchmark::State& state, const Picture* pic, const Bytes* data, TlgRoutines routines) {
  checkTlg(*pic, *data, routines, state);
  for (auto _ : state) {
    Image* image = TlgLoadFromMemoryWith(data->data(), int32_t(data->size()), routines);
    benchmark::DoNotOptimize(image);
    ImageDestroy(&image);
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(pic->pixels.size()) * 4);
}

// Keeps the time per iteration of every run for the ratio table.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> seconds;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs)
      if (!run.error_occurred && run.iterations > 0)
        seconds[run.benchmark_name()] = run.GetAdjustedCPUTime();  // CPU time: the machine is shared
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  makePictures();
  const std::vector<TlgRoutines> forms = TlgAvailableRoutines(TlgProbeCpu());
  for (const Picture& pic : pictures()) {
    benchmark::RegisterBenchmark(("png/" + pic.name).c_str(), benchPng, &pic)->Unit(benchmark::kMillisecond);
    for (const TlgRoutines& f : forms) {
      benchmark::RegisterBenchmark(("tlg5/" + pic.name + "/" + f.name).c_str(), benchTlg, &pic, &pic.tlg5, f)
          ->Unit(benchmark::kMillisecond);
      benchmark::RegisterBenchmark(("tlg6/" + pic.name + "/" + f.name).c_str(), benchTlg, &pic, &pic.tlg6, f)
          ->Unit(benchmark::kMillisecond);
    }
  }
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);

  std::printf("\n%-20s %9s %9s %9s | %-10s %8s %8s %8s %8s\n", "picture", "png KB", "tlg5 KB", "tlg6 KB",
              "form", "png MB/s", "tlg5 x", "tlg6 x", "");
  for (const Picture& pic : pictures()) {
    const double mb = double(pic.pixels.size()) * 4 / 1e6;
    const auto png = reporter.seconds.find("png/" + pic.name);
    if (png == reporter.seconds.end()) continue;
    for (const TlgRoutines& f : forms) {
      const auto t5 = reporter.seconds.find("tlg5/" + pic.name + "/" + f.name);
      const auto t6 = reporter.seconds.find("tlg6/" + pic.name + "/" + f.name);
      if (t5 == reporter.seconds.end() || t6 == reporter.seconds.end()) continue;
      // Adjusted times are in the benchmark's unit (ms).
      std::printf("%-20s %9zu %9zu %9zu | %-10s %8.0f %8.2f %8.2f   tlg5 %5.0f MB/s, tlg6 %5.0f MB/s\n",
                  pic.name.c_str(), pic.png.size() / 1024, pic.tlg5.size() / 1024, pic.tlg6.size() / 1024,
                  f.name, mb / (png->second / 1e3), png->second / t5->second, png->second / t6->second,
                  mb / (t5->second / 1e3), mb / (t6->second / 1e3));
    }
  }
  return 0;
}
