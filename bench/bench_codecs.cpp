// PNG and JPEG: our readers and writers against bare libpng and libjpeg-turbo doing the
// same work on the same input (8-bit B, G, R, A rows; float DCT; same encoder settings).
// Prints each pair's time ratio (ours / bare) and the encoded sizes.
#include <benchmark/benchmark.h>
#include <jpeglib.h>
#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "image/aligned_alloc.h"
#include "image/codecs/jpeg.h"
#include "image/codecs/png.h"

using namespace limg;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes readFile(const std::string& path) {
  Bytes data;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) data.insert(data.end(), chunk, chunk + got);
    std::fclose(f);
  }
  return data;
}

// The test pictures beside the repository: <root>/../shared/testdata, found from this file's path.
std::string dataFolder() {
  std::string here = __FILE__;
  return here.substr(0, here.rfind("/bench/")) + "/../shared/testdata/";
}
const std::string kData = dataFolder();

// A photograph: the 24-bit test BMP scaled up 4x bilinearly (768 x 576).
Image* makePhoto() {
  const Bytes bmp = readFile(kData + "jpeg/libjpeg-turbo/nightshot_iso_100.bmp");
  if (bmp.size() < 54) return nullptr;
  auto le32 = [&](size_t at) { return int32_t(bmp[at] | bmp[at + 1] << 8 | bmp[at + 2] << 16 | bmp[at + 3] << 24); };
  const int32_t offset = le32(10), w = le32(18), h = le32(22), stride = (w * 3 + 3) & ~3;
  const int scale = 4;
  Image* image = ImageCreate(w * scale, h * scale, 24);
  for (int32_t y = 0; y < image->height; ++y)
    for (int32_t x = 0; x < image->width; ++x) {
      const double sx = std::fmin((x + 0.5) / scale - 0.5, w - 1.001), sy = std::fmin((y + 0.5) / scale - 0.5, h - 1.001);
      const int x0 = std::max(0, int(sx)), y0 = std::max(0, int(sy));
      const double fx = std::fmax(0, sx - x0), fy = std::fmax(0, sy - y0);
      uint32_t pixel = 0xFF000000u;
      for (int c = 0; c < 3; ++c) {
        auto at = [&](int xx, int yy) { return double(bmp[offset + size_t(h - 1 - yy) * stride + xx * 3 + c]); };
        const double v = (at(x0, y0) * (1 - fx) + at(x0 + 1, y0) * fx) * (1 - fy) +
                         (at(x0, y0 + 1) * (1 - fx) + at(x0 + 1, y0 + 1) * fx) * fy;
        pixel |= uint32_t(v + 0.5) << (8 * c);
      }
      image->pixels[size_t(y) * image->width + x] = pixel;
    }
  return image;
}

// ---- bare libpng ----

struct Cursor {
  const uint8_t* data;
  size_t size, position;
};
void readCursor(png_structp png, png_bytep out, png_size_t n) {
  auto* c = static_cast<Cursor*>(png_get_io_ptr(png));
  if (n > c->size - c->position) png_error(png, "eof");
  std::memcpy(out, c->data + c->position, n);
  c->position += n;
}

// The same transforms and row-by-row reads the codec asks for.
bool barePngRows(png_structp png, png_infop info, Bytes* out) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_read_info(png, info);
  png_uint_32 w, h;
  int depth, type, interlace;
  png_get_IHDR(png, info, &w, &h, &depth, &type, &interlace, nullptr, nullptr);
  if (depth == 16) png_set_strip_16(png);
  if (depth < 8) {
    if (type == PNG_COLOR_TYPE_GRAY) png_set_expand_gray_1_2_4_to_8(png);
    png_set_packing(png);
  }
  if (type == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (type == PNG_COLOR_TYPE_GRAY || type == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  if (type == PNG_COLOR_TYPE_RGB || type == PNG_COLOR_TYPE_PALETTE || type == PNG_COLOR_TYPE_RGB_ALPHA) png_set_bgr(png);
  if (png_get_valid(png, info, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
  if (!(type & PNG_COLOR_MASK_ALPHA)) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  out->resize(size_t(w) * h * 4);
  for (int p = 0; p < passes; ++p)
    for (png_uint_32 y = 0; y < h; ++y) png_read_row(png, out->data() + size_t(y) * w * 4, nullptr);
  png_read_end(png, nullptr);
  return true;
}

bool barePngDecode(const Bytes& file, Bytes* out) {
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  Cursor cursor{file.data(), file.size(), 0};
  png_set_read_fn(png, &cursor, readCursor);
  const bool ok = barePngRows(png, info, out);
  png_destroy_read_struct(&png, &info, nullptr);
  return ok;
}

void writeBytes(png_structp png, png_bytep data, png_size_t n) {
  auto* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + n);
}

bool barePngRowsOut(png_structp png, png_infop info, const Image* image, Bytes* row) {
  if (setjmp(png_jmpbuf(png))) return false;
  png_set_bgr(png);
  png_set_compression_level(png, 9);
  png_set_IHDR(png, info, image->width, image->height, 8, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  row->resize(size_t(image->width) * 3);
  for (int32_t y = 0; y < image->height; ++y) {
    const uint8_t* p = reinterpret_cast<const uint8_t*>(image->pixels + size_t(y) * image->width);
    for (int32_t x = 0; x < image->width; ++x) std::memcpy(row->data() + 3 * x, p + 4 * x, 3);
    png_write_row(png, row->data());
  }
  png_write_end(png, nullptr);
  return true;
}

Bytes barePngEncode(const Image* image) {
  Bytes out, row;
  out.reserve(size_t(image->pixelCount) * 3 + 1024);
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  png_set_write_fn(png, &out, writeBytes, nullptr);
  barePngRowsOut(png, info, image, &row);
  png_destroy_write_struct(&png, &info);
  return out;
}

// ---- bare libjpeg-turbo ----

void bareJpegDecode(const Bytes& file, Bytes* out) {
  jpeg_decompress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, file.data(), static_cast<unsigned long>(file.size()));
  jpeg_read_header(&cinfo, TRUE);
  cinfo.dct_method = JDCT_FLOAT;
  cinfo.out_color_space = JCS_EXT_BGRX;
  jpeg_start_decompress(&cinfo);
  out->resize(size_t(cinfo.output_width) * cinfo.output_height * 4);
  while (cinfo.output_scanline < cinfo.output_height) {
    JSAMPROW row = out->data() + size_t(cinfo.output_scanline) * cinfo.output_width * 4;
    jpeg_read_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_decompress(&cinfo);
  jpeg_destroy_decompress(&cinfo);
}

Bytes bareJpegEncode(const Image* image, int quality, bool optimise) {
  jpeg_compress_struct cinfo;
  jpeg_error_mgr err;
  cinfo.err = jpeg_std_error(&err);
  jpeg_create_compress(&cinfo);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&cinfo, &buffer, &size);
  cinfo.image_width = image->width;
  cinfo.image_height = image->height;
  cinfo.input_components = 4;
  cinfo.in_color_space = JCS_EXT_BGRX;
  jpeg_set_defaults(&cinfo);
  jpeg_set_quality(&cinfo, quality, TRUE);
  cinfo.dct_method = JDCT_FLOAT;
  cinfo.optimize_coding = optimise;
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = reinterpret_cast<JSAMPROW>(image->pixels + size_t(cinfo.next_scanline) * image->width);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  Bytes out(buffer, buffer + size);
  std::free(buffer);
  return out;
}

// ---- inputs ----

struct Inputs {
  Image* photo = nullptr;
  Image* photoAlpha = nullptr;
  std::map<std::string, Bytes> png, jpeg;
  Inputs() {
    photo = makePhoto();
    photoAlpha = makePhoto();
    for (int32_t i = 0; i < photoAlpha->pixelCount; ++i) {
      const int32_t x = i % photoAlpha->width, y = i / photoAlpha->width;
      const uint32_t a = (x - 384) * (x - 384) + (y - 288) * (y - 288) < 250 * 250 ? 255 : 0;
      photoAlpha->pixels[i] = (photoAlpha->pixels[i] & 0xFFFFFFu) | a << 24;
    }
    photoAlpha->bitDepth = 32;
    for (const char* name : {"benchRGB", "benchNRGBA-gradient", "benchPaletted", "benchRGB-interlace"})
      png[name] = readFile(kData + "png/go-png-testdata/" + name + ".png");
    png["photo768"] = barePngEncode(photo);
    jpeg["photo768-q90"] = bareJpegEncode(photo, 90, true);
    jpeg["flower"] = readFile(kData + "jpeg/pillow/flower.jpg");
    jpeg["app13-progressive"] = readFile(kData + "jpeg/pillow/app13-multiple.jpg");
  }
};
Inputs& inputs() {
  static Inputs in;
  return in;
}

void OursPngDecode(benchmark::State& state, std::string name) {
  const Bytes& file = inputs().png[name];
  for (auto _ : state) {
    Image* image = PngLoadFromMemory(file.data(), int32_t(file.size()));
    benchmark::DoNotOptimize(image);
    ImageDestroy(&image);
  }
}
void BarePngDecode(benchmark::State& state, std::string name) {
  const Bytes& file = inputs().png[name];
  for (auto _ : state) {
    Bytes out;
    barePngDecode(file, &out);
    benchmark::DoNotOptimize(out.data());
  }
}
void OursJpegDecode(benchmark::State& state, std::string name) {
  const Bytes& file = inputs().jpeg[name];
  for (auto _ : state) {
    Image* image = JpegLoadFromMemory(file.data(), int32_t(file.size()));
    benchmark::DoNotOptimize(image);
    ImageDestroy(&image);
  }
}
void BareJpegDecode(benchmark::State& state, std::string name) {
  const Bytes& file = inputs().jpeg[name];
  for (auto _ : state) {
    Bytes out;
    bareJpegDecode(file, &out);
    benchmark::DoNotOptimize(out.data());
  }
}

void OursPngEncode(benchmark::State& state) {
  int32_t size = 0;
  for (auto _ : state) {
    uint8_t* buffer = nullptr;
    PngEncode(inputs().photo, 24, 9, 0, &buffer, &size);
    alignedFree(buffer);
  }
  state.counters["bytes"] = size;
}
void BarePngEncode(benchmark::State& state) {
  size_t size = 0;
  for (auto _ : state) size = barePngEncode(inputs().photo).size();
  state.counters["bytes"] = double(size);
}
void OursJpegEncode(benchmark::State& state) {
  uint32_t size = 0;
  for (auto _ : state) {
    uint8_t* buffer = nullptr;
    JpegEncode(inputs().photo, 24, 90, kJpegOptimizeHuffman | kJpegSampling420, &buffer, &size);
    alignedFree(buffer);
  }
  state.counters["bytes"] = size;
}
void BareJpegEncode(benchmark::State& state) {
  size_t size = 0;
  for (auto _ : state) size = bareJpegEncode(inputs().photo, 90, true).size();
  state.counters["bytes"] = double(size);
}
void OursJpegEncodeWithAlpha(benchmark::State& state) {
  uint32_t size = 0;
  for (auto _ : state) {
    uint8_t* buffer = nullptr;
    JpegEncode(inputs().photoAlpha, 32, 90, kJpegOptimizeHuffman | kJpegSampling420, &buffer, &size);
    alignedFree(buffer);
  }
  state.counters["bytes"] = size;
}

// Collects each run's CPU time (steadier than wall time on a shared machine) so that main
// can print ours / bare.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  std::map<std::string, double> times;
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const auto& run : runs)
      if (run.run_type == Run::RT_Iteration) {
        // With repetitions the fastest one counts: noise only ever adds time.
        const std::string name = run.run_name.function_name;
        const double t = run.GetAdjustedCPUTime();
        if (!times.count(name) || t < times[name]) times[name] = t;
      }
    ConsoleReporter::ReportRuns(runs);
  }
};

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::pair<std::string, std::string>> pairs;
  for (const auto& [name, file] : inputs().png) {
    benchmark::RegisterBenchmark(("png_decode/ours/" + name).c_str(), OursPngDecode, name);
    benchmark::RegisterBenchmark(("png_decode/libpng/" + name).c_str(), BarePngDecode, name);
    pairs.emplace_back("png_decode/ours/" + name, "png_decode/libpng/" + name);
  }
  for (const auto& [name, file] : inputs().jpeg) {
    benchmark::RegisterBenchmark(("jpeg_decode/ours/" + name).c_str(), OursJpegDecode, name);
    benchmark::RegisterBenchmark(("jpeg_decode/libjpeg/" + name).c_str(), BareJpegDecode, name);
    pairs.emplace_back("jpeg_decode/ours/" + name, "jpeg_decode/libjpeg/" + name);
  }
  benchmark::RegisterBenchmark("png_encode/ours/photo768-level9", OursPngEncode);
  benchmark::RegisterBenchmark("png_encode/libpng/photo768-level9", BarePngEncode);
  pairs.emplace_back("png_encode/ours/photo768-level9", "png_encode/libpng/photo768-level9");
  benchmark::RegisterBenchmark("jpeg_encode/ours/photo768-q90-opt-420", OursJpegEncode);
  benchmark::RegisterBenchmark("jpeg_encode/libjpeg/photo768-q90-opt-420", BareJpegEncode);
  pairs.emplace_back("jpeg_encode/ours/photo768-q90-opt-420", "jpeg_encode/libjpeg/photo768-q90-opt-420");
  benchmark::RegisterBenchmark("jpeg_encode/ours/photo768-q90-opt-420+alpha", OursJpegEncodeWithAlpha);

  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  std::printf("\n%-44s %12s %12s %8s\n", "pair (ours vs bare library), CPU time", "ours", "bare", "ratio");
  for (const auto& [ours, bare] : pairs) {
    const auto a = reporter.times.find(ours), b = reporter.times.find(bare);
    if (a == reporter.times.end() || b == reporter.times.end()) continue;
    std::printf("%-44s %12.3g %12.3g %8.3f\n", ours.c_str(), a->second, b->second, a->second / b->second);
  }
  benchmark::Shutdown();
  return 0;
}
