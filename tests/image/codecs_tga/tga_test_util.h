#pragma once
// Helpers of the TGA, BMP-writer and save-table tests: files, reference pictures read with
// libpng, guarded buffers, ImageMagick as an independent reader.
#include <unistd.h>

#include <png.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "image/image.h"
#include "tests/image/test_support.h"

using Bytes = std::vector<uint8_t>;

inline Bytes readFile(const std::string& path) {
  Bytes data;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t chunk[65536];
    std::size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) data.insert(data.end(), chunk, chunk + got);
    std::fclose(f);
  }
  return data;
}

inline bool fileExists(const std::string& path) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (f) std::fclose(f);
  return f != nullptr;
}

inline std::string testdata(const std::string& relative) { return std::string(TESTDATA_DIR) + "/" + relative; }

struct ImageDeleter {
  void operator()(limg::Image* image) const { limg::ImageDestroy(&image); }
};
using ImagePtr = std::unique_ptr<limg::Image, ImageDeleter>;

// A picture: B, G, R, A words, top row first.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint32_t> pixels;
};

inline Picture pictureOf(const limg::Image& image) {
  Picture p;
  p.width = image.width;
  p.height = image.height;
  p.pixels.assign(image.pixels, image.pixels + image.pixelCount);
  return p;
}

// A PNG decoded by libpng into B, G, R, A words; width 0 when it can't be read.
inline Picture loadPng(const std::string& path) {
  Picture p;
  png_image png;
  std::memset(&png, 0, sizeof png);
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path.c_str())) return p;
  png.format = PNG_FORMAT_BGRA;
  std::vector<uint32_t> pixels(std::size_t(png.width) * png.height);
  if (!png_image_finish_read(&png, nullptr, pixels.data(), 0, nullptr)) {
    png_image_free(&png);
    return p;
  }
  p.width = int(png.width);
  p.height = int(png.height);
  p.pixels = std::move(pixels);
  return p;
}

// Decodes a file with ImageMagick into B, G, R, A words; width 0 when it isn't available.
inline Picture loadWithImageMagick(const std::string& path) {
  Picture p;
  const std::string size = "convert '" + path + "' -format '%w %h' info: 2>/dev/null";
  std::FILE* f = popen(size.c_str(), "r");
  if (!f) return p;
  int w = 0, h = 0;
  const bool got = std::fscanf(f, "%d %d", &w, &h) == 2;
  pclose(f);
  if (!got || w <= 0 || h <= 0) return p;
  const std::string dump = "convert '" + path + "' -depth 8 BGRA:- 2>/dev/null";
  f = popen(dump.c_str(), "r");
  if (!f) return p;
  std::vector<uint32_t> pixels(std::size_t(w) * h);
  const std::size_t read = std::fread(pixels.data(), 4, pixels.size(), f);
  pclose(f);
  if (read != pixels.size()) return p;
  p.width = w;
  p.height = h;
  p.pixels = std::move(pixels);
  return p;
}

// Decodes a true-colour TGA with the Python reader beside these tests; width 0 on failure.
inline Picture loadWithPythonTga(const std::string& path) {
  Picture p;
  const std::string command =
      "python3 '" + std::string(PROJECT_SOURCE_DIR) + "/tests/image/codecs_tga/read_tga.py' '" + path + "'";
  std::FILE* f = popen(command.c_str(), "r");
  if (!f) return p;
  int w = 0, h = 0;
  if (std::fscanf(f, "%d %d", &w, &h) == 2 && std::fgetc(f) == '\n' && w > 0 && h > 0) {
    std::vector<uint32_t> pixels(std::size_t(w) * h);
    if (std::fread(pixels.data(), 4, pixels.size(), f) == pixels.size()) {
      p.width = w;
      p.height = h;
      p.pixels = std::move(pixels);
    }
  }
  pclose(f);
  return p;
}

inline bool haveImageMagick() { return std::system("convert -version >/dev/null 2>&1") == 0; }

// GuardedBuffer (bytes ending where an inaccessible page begins) comes from the image tests' support.

// A w x h test picture with varied colours, some runs of equal pixels and an alpha ramp.
inline ImagePtr makePicture(int32_t w, int32_t h, int32_t bitDepth) {
  ImagePtr image(limg::ImageCreate(w, h, bitDepth));
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) {
      const bool run = (x / 5 + y) % 3 == 0;
      const uint32_t b = run ? 40 : uint32_t(x * 37 + y * 11) & 0xFF;
      const uint32_t g = run ? 200 : uint32_t(x * 13 + y * 71) & 0xFF;
      const uint32_t r = run ? 90 : uint32_t(x * 5 + y * 3) & 0xFF;
      const uint32_t a = bitDepth == 32 ? (run ? 128 : uint32_t(x * 29 + y) & 0xFF) : 255;
      image->pixels[std::size_t(y) * w + x] = a << 24 | r << 16 | g << 8 | b;
    }
  return image;
}
