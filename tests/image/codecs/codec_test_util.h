#pragma once
// Helpers shared by the PNG and JPEG tests: files, synthetic images, owned buffers.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "image/aligned_alloc.h"
#include "image/image.h"

using Bytes = std::vector<uint8_t>;

inline Bytes readFile(const std::string& path) {
  Bytes data;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    uint8_t chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, f)) > 0) data.insert(data.end(), chunk, chunk + got);
    std::fclose(f);
  }
  return data;
}

inline std::string testdata(const std::string& relative) { return std::string(TESTDATA_DIR) + "/" + relative; }

struct ImageDeleter {
  void operator()(limg::Image* image) const { limg::ImageDestroy(&image); }
};
using ImagePtr = std::unique_ptr<limg::Image, ImageDeleter>;

struct AlignedBytesDeleter {
  void operator()(uint8_t* p) const { limg::alignedFree(p); }
};
using AlignedBytes = std::unique_ptr<uint8_t, AlignedBytesDeleter>;

inline uint8_t channel(const limg::Image* image, int32_t i, int c) {
  return reinterpret_cast<const uint8_t*>(image->pixels)[4 * size_t(i) + c];
}

// A picture with smooth colour and an alpha ramp with a hard-edged hole, so that every
// coding has something to do.
inline ImagePtr makePicture(int32_t width, int32_t height, int32_t bitDepth = 32) {
  ImagePtr image(limg::ImageCreate(width, height, bitDepth));
  for (int32_t y = 0; y < height; ++y)
    for (int32_t x = 0; x < width; ++x) {
      const uint32_t b = uint32_t(x * 255 / (width > 1 ? width - 1 : 1));
      const uint32_t g = uint32_t(y * 255 / (height > 1 ? height - 1 : 1));
      const uint32_t r = uint32_t((x + y) * 255 / (width + height));
      const bool hole = x > width / 4 && x < width / 2 && y > height / 4 && y < height / 2;
      const uint32_t a = hole ? 0 : 255 - uint32_t((x + 2 * y) * 200 / (width + 2 * height));
      image->pixels[size_t(y) * width + x] = a << 24 | r << 16 | g << 8 | b;
    }
  return image;
}
