// The pictures' part of the launcher's relayout on a DPI change, for eight 1280 x 720
// pictures going from 96 DPI to 144 and to 120: each one drawn at the new scale into a new
// bitmap (freshly mapped memory, as a new DIB section is). Ours draws from the decoded
// pictures the panels keep; the peer is the other way, reading and decoding each one again
// from Launcher.dat (TLG6 and PNG) before drawing it. Ratio above 1: keeping is faster.
// Keeping costs the originals' memory: 8 x 1280 x 720 x 4 bytes, 29.5 MB.
#include <benchmark/benchmark.h>
#include <sys/mman.h>
#include <unistd.h>

#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "bench/ratio_report.h"
#include "image/codecs/png.h"
#include "image/image.h"
#include "image/tlg/tlg_encode.h"
#include "launcher/dpi_scale.h"
#include "launcher/error_box.h"
#include "launcher/picture.h"
#include "pack/packed_data_file.h"
#include "tools/launcherdat/dat_writer.h"

using namespace limg;

namespace {

constexpr int kPictures = 8, kWidth = 1280, kHeight = 720;

// Smooth gradients with some noise: what photographs and drawn backgrounds look like to
// the coders, neither flat nor random.
Image* makePicture(int seed) {
  Image* image = ImageCreate(kWidth, kHeight, 24);
  std::mt19937 rng{uint32_t(seed)};
  for (int y = 0; y < kHeight; ++y)
    for (int x = 0; x < kWidth; ++x) {
      const uint32_t n = rng();
      const uint32_t b = uint32_t((x + seed * 40) * 255 / (kWidth + 320)) ^ (n & 7);
      const uint32_t g = uint32_t(y * 255 / kHeight) ^ ((n >> 3) & 7), r = uint32_t((x + y) * 255 / (kWidth + kHeight));
      image->pixels[std::size_t(y) * kWidth + std::size_t(x)] = 0xFF000000u | r << 16 | g << 8 | b;
    }
  return image;
}

struct Fixture {
  std::string dir;
  std::vector<Image*> originals;
  Fixture() {
    char pattern[] = "/tmp/bench-relayout-XXXXXX";
    dir = mkdtemp(pattern);
    std::filesystem::current_path(dir);
    std::vector<PackItem> items;
    for (int i = 0; i < kPictures; ++i) {
      Image* picture = makePicture(i);
      const std::string tlg = "p" + std::to_string(i) + ".tlg", png = "p" + std::to_string(i) + ".png";
      TlgSave(tlg.c_str(), picture, 24, 1);
      PngSave(png.c_str(), picture, 24, 6, 0);
      for (const std::string& name : {tlg, png})
        items.push_back({"pictures/" + name, name, std::filesystem::file_size(name), true});
      originals.push_back(picture);
    }
    writeDat("Launcher.dat", items, true);
    setErrorBoxSink([](const std::string&) {});
    resetPackedDataFile();
    openIndex();
  }
  ~Fixture() {
    for (Image*& picture : originals) ImageDestroy(&picture);
    std::filesystem::remove_all(dir);
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

// The eight new bitmaps at the scale, drawn by draw(i, bits, width, height).
template <class Draw>
void relayout(benchmark::State& state, Draw draw) {
  const double scale = double(state.range(0)) / 96.0;
  const int w = scaleBy(kWidth, scale), h = scaleBy(kHeight, scale);
  const std::size_t bytes = std::size_t(w) * std::size_t(h) * 4;
  for (auto _ : state) {
    for (int i = 0; i < kPictures; ++i) {
      // Mapped afresh each time, as a new DIB section is: the first touch of its pages counts.
      void* bits = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
      if (bits == MAP_FAILED) return state.SkipWithError("no memory for a bitmap");
      draw(i, scale, static_cast<uint8_t*>(bits), w, h);
      benchmark::DoNotOptimize(*static_cast<uint8_t*>(bits));
      munmap(bits, bytes);
    }
  }
  state.SetItemsProcessed(state.iterations() * kPictures);
}

void BM_RedrawKeptOriginals(benchmark::State& state) {
  const Fixture& f = fixture();
  relayout(state, [&](int i, double scale, uint8_t* bits, int w, int h) {
    drawPictureAtScale(f.originals[std::size_t(i)], scale, scale, bits, w, h);
  });
}

void decodeAgain(benchmark::State& state, const char* suffix) {
  fixture();
  relayout(state, [&](int i, double scale, uint8_t* bits, int w, int h) {
    const std::string name = "pictures/p" + std::to_string(i) + suffix;
    Image* picture = loadPicture(name.c_str());
    drawPictureAtScale(picture, scale, scale, bits, w, h);
    ImageDestroy(&picture);
  });
}
void BM_DecodeAgainTlg6(benchmark::State& state) { decodeAgain(state, ".tlg"); }
void BM_DecodeAgainPng(benchmark::State& state) { decodeAgain(state, ".png"); }

BENCHMARK(BM_RedrawKeptOriginals)->Arg(144)->Arg(120)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeAgainTlg6)->Arg(144)->Arg(120)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DecodeAgainPng)->Arg(144)->Arg(120)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return runWithRatios(argc, argv,
                       {{"BM_RedrawKeptOriginals/144", "BM_DecodeAgainTlg6/144"},
                        {"BM_RedrawKeptOriginals/144", "BM_DecodeAgainPng/144"},
                        {"BM_RedrawKeptOriginals/120", "BM_DecodeAgainTlg6/120"},
                        {"BM_RedrawKeptOriginals/120", "BM_DecodeAgainPng/120"}});
}
