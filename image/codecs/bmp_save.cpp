#include "image/codecs/bmp_save.h"

#include <cstring>
#include <utility>

#include "image/codecs/grey_level.h"
#include "image/message.h"
#include "image/save_file_internal.h"

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

// The whole file into out, which holds headers, palette and rows.
void fillFile(uint8_t* out, const Image& image, int32_t bitDepth, uint32_t stride) {
  const uint32_t paletteSize = bitDepth == 8 ? kGreyPaletteSize : 0;
  makeHeaders(out, image, bitDepth, stride * uint32_t(image.height), paletteSize);
  uint8_t* at = out + kHeadersSize;
  for (uint32_t i = 0; i < paletteSize / 4; ++i, at += 4) {
    at[0] = at[1] = at[2] = uint8_t(i);
    at[3] = 0;
  }
  for (int32_t y = image.height - 1; y >= 0; --y, at += stride) {
    std::memset(at, 0, stride);  // the padding stays 0
    fillRow(image, y, bitDepth, at);
  }
}

int bmpEncode(const char* destination, const Image* image, int32_t bitDepth, ImageBytes* out) {
  if (!image || !image->pixels) {
    ImageMessage(kImageMessageOut, "BMP: \"%s\" 画像データが空です\n", destination);
    return 0;
  }
  if (bitDepth == 0) bitDepth = image->bitDepth;
  if (bitDepth != 8 && bitDepth != 24 && bitDepth != 32) {
    ImageMessage(kImageMessageOut, "BMP: \"%s\" %dbitには対応していません\n", destination, int(bitDepth));
    return 0;
  }
  // Every size field is 32 bits wide.
  const uint32_t stride = BmpStride(image->width, bitDepth);
  const uint32_t paletteSize = bitDepth == 8 ? kGreyPaletteSize : 0;
  const uint64_t fileSize = uint64_t(stride) * uint32_t(image->height) + paletteSize + kHeadersSize;
  if (stride == 0 || fileSize > 0xFFFFFFFFu) {
    ImageMessage(kImageMessageOut, "BMP: \"%s\" 画像を保存出来ませんでした\n", destination);
    return 0;
  }
  AlignedPtr<uint8_t> file = makeAligned<uint8_t>(std::size_t(fileSize));
  if (!file) {
    ImageMessage(kImageMessageOut, "BMP: \"%s\" メモリを確保出来ませんでした\n", destination);
    return 0;
  }
  fillFile(file.get(), *image, bitDepth, stride);
  ImageBytesTake(std::move(file), std::size_t(fileSize), out);
  return 1;
}

}  // namespace

uint32_t BmpStride(int32_t width, int32_t bitDepth) {
  const uint64_t bytes = (uint64_t(width) * uint32_t(bitDepth) / 8 + 3) / 4 * 4;
  return bytes > 0xFFFFFFFFu ? 0 : uint32_t(bytes);
}

int BmpSaveToMemory(const Image* image, int32_t bitDepth, ImageBytes* out) {
  return bmpEncode(kMemoryDestination, image, bitDepth, out);
}

int BmpSave(const char* path, const Image* image, int32_t bitDepth) {
  ImageBytes bytes{};
  if (!bmpEncode(path, image, bitDepth, &bytes)) return 0;
  const int written = ImageWriteFile("BMP", path, bytes);
  ImageBytesFree(&bytes);
  return written;
}

}  // namespace limg
