// TGA reading and writing and BMP writing against MagickCore on the same 1920 x 1080 picture
// in the same run (MagickCore on one thread, 16-bit quantum):
//   decode: raw 24-bit and run-length 32-bit TGA from memory (ours: TgaLoadFromMemory;
//     MagickCore: BlobToImage);
//   write: TGA raw and run-length, BMP 24-bit, both sides to a file in the temporary folder
//     (ours: TgaSave, BmpSave; MagickCore: WriteImage).
// At the end: peer CPU time / our CPU time (above 1: ours is faster).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#ifdef HAVE_MAGICKCORE
#define Image MagickImage
#include <magick/MagickCore.h>
#undef Image
#endif

#include "bench/ratio_report.h"
#include "image/codecs/bmp_save.h"
#include "image/codecs/tga.h"
#include "image/image.h"

using namespace limg;

namespace {

constexpr int32_t kW = 1920, kH = 1080;

// Flat areas, gradients and detail, as in game pictures; alpha with a transparent border.
Image* makePicture() {
  Image* image = ImageCreate(kW, kH, 32);
  for (int32_t y = 0; y < kH; ++y)
    for (int32_t x = 0; x < kW; ++x) {
      const bool flat = (x / 240 + y / 180) % 3 == 0;
      const uint32_t r = flat ? 40 : uint32_t(x * 255 / kW), g = flat ? 90 : uint32_t(y * 255 / kH);
      const uint32_t b = flat ? 200 : uint32_t((x ^ y) & 0xFF);
      const uint32_t a = (x < 64 || y < 64) ? 0 : 255;
      image->pixels[y * kW + x] = a << 24 | r << 16 | g << 8 | b;
    }
  return image;
}

Image* picture() {
  static Image* p = makePicture();
  return p;
}

std::string tempPath(const char* name) { return std::string(P_tmpdir) + "/bench_tga_" + name; }

std::vector<uint8_t> readFile(const std::string& path) {
  std::vector<uint8_t> bytes;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t chunk[65536];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
  }
  return bytes;
}

// The picture as a TGA file held in memory.
const std::vector<uint8_t>& tgaFile(bool rle) {
  static std::vector<uint8_t> files[2];
  std::vector<uint8_t>& f = files[rle];
  if (f.empty()) {
    const std::string path = tempPath("source.tga");
    TgaSave(path.c_str(), picture(), rle ? 32 : 24, rle);
    f = readFile(path);
    std::remove(path.c_str());
  }
  return f;
}

void oursDecode(benchmark::State& state, bool rle) {
  const std::vector<uint8_t>& file = tgaFile(rle);
  for (auto _ : state) {
    Image* image = TgaLoadFromMemory(file.data(), int32_t(file.size()));
    benchmark::DoNotOptimize(image);
    ImageDestroy(&image);
  }
  state.SetItemsProcessed(state.iterations() * kW * kH);
}

void oursTgaSave(benchmark::State& state, bool rle) {
  const std::string path = tempPath("ours.tga");
  for (auto _ : state) TgaSave(path.c_str(), picture(), 32, rle);
  std::remove(path.c_str());
  state.SetItemsProcessed(state.iterations() * kW * kH);
}

void oursBmpSave(benchmark::State& state) {
  const std::string path = tempPath("ours.bmp");
  for (auto _ : state) BmpSave(path.c_str(), picture(), 24);
  std::remove(path.c_str());
  state.SetItemsProcessed(state.iterations() * kW * kH);
}

#ifdef HAVE_MAGICKCORE
void magickDecode(benchmark::State& state, bool rle) {
  const std::vector<uint8_t>& file = tgaFile(rle);
  ImageInfo* info = CloneImageInfo(nullptr);
  std::strcpy(info->magick, "TGA");
  ExceptionInfo* e = AcquireExceptionInfo();
  for (auto _ : state) {
    MagickImage* image = BlobToImage(info, file.data(), file.size(), e);
    benchmark::DoNotOptimize(image);
    if (image) DestroyImage(image);
  }
  DestroyExceptionInfo(e);
  DestroyImageInfo(info);
  state.SetItemsProcessed(state.iterations() * kW * kH);
}

void magickWrite(benchmark::State& state, const char* format, bool rle) {
  ExceptionInfo* e = AcquireExceptionInfo();
  MagickImage* image = ConstituteImage(kW, kH, "BGRA", CharPixel, picture()->pixels, e);
  ImageInfo* info = CloneImageInfo(nullptr);
  const std::string path = tempPath(std::string("magick.").append(format).c_str());
  const std::string target = std::string(format) + ":" + path;
  image->compression = rle ? RLECompression : NoCompression;
  if (std::strcmp(format, "bmp3") == 0) SetImageAlphaChannel(image, DeactivateAlphaChannel);
  for (auto _ : state) {
    std::snprintf(image->filename, sizeof image->filename, "%s", target.c_str());
    WriteImage(info, image);
  }
  std::remove(path.c_str());
  DestroyImageInfo(info);
  DestroyImage(image);
  DestroyExceptionInfo(e);
  state.SetItemsProcessed(state.iterations() * kW * kH);
}
#endif

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::pair<std::string, std::string>> pairs;
  auto reg = [](const std::string& name, auto&& fn, auto... args) {
    benchmark::RegisterBenchmark(name.c_str(), fn, args...)->Unit(benchmark::kMillisecond);
  };
  reg("decode/ours/tga24-raw", oursDecode, false);
  reg("decode/ours/tga32-rle", oursDecode, true);
  reg("write/ours/tga32-raw", oursTgaSave, false);
  reg("write/ours/tga32-rle", oursTgaSave, true);
  reg("write/ours/bmp24", oursBmpSave);
#ifdef HAVE_MAGICKCORE
  MagickCoreGenesis(*argv, MagickFalse);
  SetMagickResourceLimit(ThreadResource, 1);
  reg("decode/magick/tga24-raw", magickDecode, false);
  reg("decode/magick/tga32-rle", magickDecode, true);
  reg("write/magick/tga32-raw", magickWrite, "tga", false);
  reg("write/magick/tga32-rle", magickWrite, "tga", true);
  reg("write/magick/bmp24", magickWrite, "bmp3", false);
  for (const char* c : {"decode/%s/tga24-raw", "decode/%s/tga32-rle", "write/%s/tga32-raw", "write/%s/tga32-rle",
                        "write/%s/bmp24"}) {
    char ours[64], peer[64];
    std::snprintf(ours, sizeof ours, c, "ours");
    std::snprintf(peer, sizeof peer, c, "magick");
    pairs.emplace_back(ours, peer);
  }
#endif
  const int status = runWithRatios(argc, argv, pairs);
#ifdef HAVE_MAGICKCORE
  MagickCoreTerminus();
#endif
  return status;
}
