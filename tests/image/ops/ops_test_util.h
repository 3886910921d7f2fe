#pragma once
// Small helpers for the image-operation tests.
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <string>

#include "image/image.h"
#include "image/ops/ops.h"

// Owns an Image for the length of a test.
struct Owned {
  limg::Image* p = nullptr;
  Owned() = default;
  explicit Owned(limg::Image* image) : p(image) {}
  ~Owned() { limg::ImageDestroy(&p); }
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  limg::Image* operator->() const { return p; }
  limg::Image* get() const { return p; }
};

inline uint32_t pixelOf(uint32_t b, uint32_t g, uint32_t r, uint32_t a) {
  return a << 24 | r << 16 | g << 8 | b;
}

// w x h image whose pixels come from f(x, y).
template <class F>
limg::Image* makeImage(int32_t w, int32_t h, F f, int32_t bitDepth = 32) {
  limg::Image* image = limg::ImageCreate(w, h, bitDepth);
  for (int32_t y = 0; y < h; ++y)
    for (int32_t x = 0; x < w; ++x) image->pixels[y * w + x] = f(x, y);
  return image;
}

inline limg::Image* randomImage(int32_t w, int32_t h, std::mt19937& rng) {
  return makeImage(w, h, [&](int32_t, int32_t) { return uint32_t(rng()); });
}

inline limg::Image* solidImage(int32_t w, int32_t h, uint32_t value) {
  return makeImage(w, h, [=](int32_t, int32_t) { return value; });
}

inline std::string pixelsOf(const limg::Image* image) {
  return std::string(reinterpret_cast<const char*>(image->pixels), std::size_t(image->pixelCount) * 4);
}

// Runs f with the standard output captured; returns what it printed.
template <class F>
std::string printed(F f) {
  testing::internal::CaptureStdout();
  f();
  return testing::internal::GetCapturedStdout();
}
