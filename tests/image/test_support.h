#pragma once
// Helpers shared by the image tests: files, reference pictures, guarded buffers, random images.
#include <cstddef>
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "image/image.h"

std::vector<uint8_t> readFileBytes(const std::string& path);

// A PNG decoded with libpng into B, G, R, A words; false when it can't be read.
bool loadPngReference(const std::string& path, int* width, int* height, std::vector<uint32_t>* pixels);

// Holds a copy of some bytes so that the byte after the last one is the start of an
// inaccessible page: a decoder reading past the end faults at once.
class GuardedBuffer {
 public:
  explicit GuardedBuffer(const std::vector<uint8_t>& bytes);
  GuardedBuffer(const uint8_t* bytes, std::size_t size);
  ~GuardedBuffer();
  GuardedBuffer(const GuardedBuffer&) = delete;
  GuardedBuffer& operator=(const GuardedBuffer&) = delete;
  const uint8_t* data() const { return data_; }
  int32_t size() const { return int32_t(size_); }

 private:
  uint8_t* base_ = nullptr;
  std::size_t mapped_ = 0;
  uint8_t* data_ = nullptr;
  std::size_t size_ = 0;
};

// A w x h image of random words (bitDepth 32).
limg::Image* makeRandomImage(int32_t w, int32_t h, std::mt19937& rng);

// Owns an Image for the length of a test.
struct ImageHolder {
  limg::Image* image = nullptr;
  explicit ImageHolder(limg::Image* i = nullptr) : image(i) {}
  ~ImageHolder() { limg::ImageDestroy(&image); }
  ImageHolder(const ImageHolder&) = delete;
  ImageHolder& operator=(const ImageHolder&) = delete;
  limg::Image* operator->() const { return image; }
  limg::Image* get() const { return image; }
};
