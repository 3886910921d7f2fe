// Any bytes through the TGA decoder. What decodes is then run-length coded row by row and
// decoded again, which must give the same pixels.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/codecs/tga.h"
#include "image/codecs/tga/tga_stream.h"
#include "image/image.h"

using namespace limg;

namespace {

// The image as a top-left, run-length coded 32-bit TGA.
std::vector<uint8_t> recode(const Image& image) {
  TgaHeader h;
  h.imageType = 10;
  h.width = uint16_t(image.width);
  h.height = uint16_t(image.height);
  h.depth = 32;
  h.descriptor = 0x28;
  std::vector<uint8_t> out(kTgaHeaderSize + std::size_t(image.pixelCount) * 5 + 16);
  TgaHeaderEncode(h, out.data());
  std::size_t at = kTgaHeaderSize;
  for (int32_t y = 0; y < image.height; ++y)
    at += TgaEncodeRunLengthRow(reinterpret_cast<const uint8_t*>(image.pixels + std::size_t(y) * image.width),
                                image.width, 4, out.data() + at);
  out.resize(at);
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 22)) return 0;
  // An exact-size copy, so that any read past the end is caught.
  std::vector<uint8_t> copy(data, data + size);
  Image* image = TgaLoadFromMemory(copy.data(), int32_t(size));
  if (image) {
    if (image->bitDepth != 24 && image->bitDepth != 32) std::abort();
    const std::vector<uint8_t> coded = recode(*image);
    Image* again = TgaLoadFromMemory(coded.data(), int32_t(coded.size()));
    if (!again || std::memcmp(again->pixels, image->pixels, std::size_t(image->pixelCount) * 4) != 0) std::abort();
    ImageDestroy(&again);
  }
  ImageDestroy(&image);
  return 0;
}
