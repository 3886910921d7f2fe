#include "test_support.h"

#include <png.h>
#include <sys/mman.h>
#include <unistd.h>

#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>

using namespace limg;

std::vector<uint8_t> readFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The classic interface, so that no gamma or colour-space conversion touches the values.
bool loadPngReference(const std::string& path, int* width, int* height, std::vector<uint32_t>* pixels) {
  FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  bool ok = false;
  if (info && !setjmp(png_jmpbuf(png))) {
    png_init_io(png, f);
    png_read_png(png, info,
                 PNG_TRANSFORM_STRIP_16 | PNG_TRANSFORM_PACKING | PNG_TRANSFORM_EXPAND |
                     PNG_TRANSFORM_GRAY_TO_RGB | PNG_TRANSFORM_BGR,
                 nullptr);
    const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
    const int channels = png_get_channels(png, info);
    png_bytepp rows = png_get_rows(png, info);
    pixels->assign(std::size_t(w) * h, 0);
    for (png_uint_32 y = 0; y < h; ++y) {
      for (png_uint_32 x = 0; x < w; ++x) {
        const png_bytep p = rows[y] + std::size_t(x) * std::size_t(channels);
        const uint32_t a = channels == 4 ? p[3] : 255;
        (*pixels)[std::size_t(y) * w + x] = a << 24 | uint32_t(p[2]) << 16 | uint32_t(p[1]) << 8 | p[0];
      }
    }
    *width = int(w);
    *height = int(h);
    ok = channels == 3 || channels == 4;
  }
  png_destroy_read_struct(&png, &info, nullptr);
  std::fclose(f);
  return ok;
}

GuardedBuffer::GuardedBuffer(const std::vector<uint8_t>& bytes) : GuardedBuffer(bytes.data(), bytes.size()) {}

GuardedBuffer::GuardedBuffer(const uint8_t* bytes, std::size_t size) : size_(size) {
  const std::size_t page = std::size_t(sysconf(_SC_PAGESIZE));
  const std::size_t dataPages = (size + page - 1) / page;
  mapped_ = (dataPages + 1) * page;
  void* p = mmap(nullptr, mapped_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (p == MAP_FAILED) {
    mapped_ = 0;
    return;
  }
  base_ = static_cast<uint8_t*>(p);
  mprotect(base_ + dataPages * page, page, PROT_NONE);
  data_ = base_ + dataPages * page - size;
  if (size) std::memcpy(data_, bytes, size);
}

GuardedBuffer::~GuardedBuffer() {
  if (base_) munmap(base_, mapped_);
}

Image* makeRandomImage(int32_t w, int32_t h, std::mt19937& rng) {
  Image* image = ImageCreate(w, h, 32);
  if (!image) return nullptr;
  for (int32_t i = 0; i < image->pixelCount; ++i) image->pixels[i] = uint32_t(rng());
  return image;
}
