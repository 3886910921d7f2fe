#include "image/codecs/bmp_save.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

#include "image/codecs/grey_level.h"
#include "image/file_open.h"

namespace limg {

namespace {

constexpr uint32_t kHeadersSize = 14 + 40;
constexpr uint32_t kGreyPaletteSize = 256 * 4;

void put16(uint8_t* p, uint32_t v) {
  p[0] = uint8_t(v);
  p[1] = uint8_t(v >> 8);
}
void put32(uint8_t* p, uint32_t v) {
  put16(p, v);
  put16(p + 2, v >> 16);
}

// The file header and the info header; the resolution and colour counts stay 0.
void makeHeaders(uint8_t h[kHeadersSize], const Image& image, int32_t bitDepth, uint32_t imageSize,
                 uint32_t paletteSize) {
  std::memset(h, 0, kHeadersSize);
  h[0] = 'B';
  h[1] = 'M';
  put32(h + 2, imageSize + paletteSize + kHeadersSize);
  put32(h + 10, paletteSize + kHeadersSize);
  put32(h + 14, 40);
  put32(h + 18, uint32_t(image.width));
  put32(h + 22, uint32_t(image.height));  // positive: rows bottom-up
  put16(h + 26, 1);
  put16(h + 28, uint32_t(bitDepth));
  put32(h + 34, imageSize);
}

void fillRow(const Image& image, int32_t y, int32_t bitDepth, uint8_t* row) {
  const uint32_t* src = image.pixels + std::size_t(y) * image.width;
  if (bitDepth == 8) {
    for (int32_t x = 0; x < image.width; ++x) row[x] = greyLevel(src[x]);
    return;
  }
  if (bitDepth == 32) {
    std::memcpy(row, src, std::size_t(image.width) * 4);
    return;
  }
  const uint8_t* p = reinterpret_cast<const uint8_t*>(src);
  for (int32_t x = 0; x < image.width; ++x, p += 4, row += 3) {
    row[0] = p[0];
    row[1] = p[1];
    row[2] = p[2];
  }
}

bool writeAll(std::FILE* file, const void* data, std::size_t size) {
  return std::fwrite(data, 1, size, file) == size;
}

bool writeFile(std::FILE* file, const Image& image, int32_t bitDepth, uint32_t stride, uint8_t* row) {
  const uint32_t paletteSize = bitDepth == 8 ? kGreyPaletteSize : 0;
  uint8_t headers[kHeadersSize];
  makeHeaders(headers, image, bitDepth, stride * uint32_t(image.height), paletteSize);
  if (!writeAll(file, headers, sizeof headers)) return false;
  if (paletteSize) {
    uint8_t palette[kGreyPaletteSize];
    for (int i = 0; i < 256; ++i) {
      palette[4 * i] = palette[4 * i + 1] = palette[4 * i + 2] = uint8_t(i);
      palette[4 * i + 3] = 0;
    }
    if (!writeAll(file, palette, sizeof palette)) return false;
  }
  for (int32_t y = image.height - 1; y >= 0; --y) {
    fillRow(image, y, bitDepth, row);
    if (!writeAll(file, row, stride)) return false;
  }
  return true;
}

}  // namespace

uint32_t BmpStride(int32_t width, int32_t bitDepth) {
  const uint64_t bytes = (uint64_t(width) * uint32_t(bitDepth) / 8 + 3) / 4 * 4;
  return bytes > 0xFFFFFFFFu ? 0 : uint32_t(bytes);
}

int BmpSave(const char* path, const Image* image, int32_t bitDepth) {
  if (!image || !image->pixels) {
    std::printf("BMP: \"%s\" 画像データが空です\n", path);
    return 0;
  }
  if (bitDepth == 0) bitDepth = image->bitDepth;
  if (bitDepth != 8 && bitDepth != 24 && bitDepth != 32) {
    std::printf("BMP: \"%s\" %dbitには対応していません\n", path, int(bitDepth));
    return 0;
  }
  // Every size field is 32 bits wide.
  const uint32_t stride = BmpStride(image->width, bitDepth);
  const uint64_t fileSize = uint64_t(stride) * uint32_t(image->height) + kGreyPaletteSize + kHeadersSize;
  if (stride == 0 || fileSize > 0xFFFFFFFFu) {
    std::printf("BMP: \"%s\" 画像を保存出来ませんでした\n", path);
    return 0;
  }
  std::FILE* file = ImageOpenFile(path, "wb");
  if (!file) {
    std::printf("BMP: \"%s\" 画像を保存出来ませんでした\n", path);
    return 0;
  }
  std::unique_ptr<uint8_t[]> row(new (std::nothrow) uint8_t[stride]());
  if (!row) {
    std::fclose(file);
    return 0;
  }
  const bool written = writeFile(file, *image, bitDepth, stride, row.get());
  if (std::fclose(file) != 0 || !written) {
    std::printf("BMP: \"%s\" 画像を保存出来ませんでした\n", path);
    return 0;
  }
  return 1;
}

}  // namespace limg
