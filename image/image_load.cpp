#include "image/image_load.h"

#include <exception>

#include "image/bmp.h"
#include "image/codecs/jpeg.h"
#include "image/codecs/png.h"
#include "image/codecs/tga.h"
#include "image/image.h"
#include "image/tlg/tlg.h"

namespace limg {

namespace {

using Loader = Image* (*)(const uint8_t* data, int32_t size);

// The decoders with a magic number, chosen by the first two bytes.
struct MagicEntry {
  uint8_t byte0, byte1;
  const char* format;
  Loader load;
};

constexpr MagicEntry kMagic[] = {
    {'T', 'L', "TLG", TlgLoadFromMemory},
    {'B', 'M', "BMP", BmpLoadFromMemory},
    {0x89, 'P', "PNG", PngLoadFromMemory},
    {0xFF, 0xD8, "JPEG", JpegLoadFromMemory},
};

const MagicEntry* magicOf(const uint8_t* data, int32_t size) {
  if (!data || size < 2) return nullptr;
  for (const MagicEntry& e : kMagic)
    if (data[0] == e.byte0 && data[1] == e.byte1) return &e;
  return nullptr;
}

}  // namespace

// Without a magic number, only data whose header could be a TGA's reach the TGA decoder.
bool ImageLooksLikeTga(const uint8_t* data, int32_t size) {
  if (!data || size <= 16) return false;
  if (data[1] > 1) return false;
  switch (data[2]) {
    case 0: case 1: case 2: case 3: case 9: case 10: case 11: break;
    default: return false;
  }
  switch (data[16]) {
    case 8: case 15: case 16: case 24: case 32: return true;
    default: return false;
  }
}

const char* ImageFormatOf(const uint8_t* data, int32_t size) {
  if (const MagicEntry* e = magicOf(data, size)) return e->format;
  return ImageLooksLikeTga(data, size) ? "TGA" : nullptr;
}

Image* ImageLoadFromMemory(const uint8_t* data, int32_t size) {
  if (!data || size < 2) return nullptr;
  // No exception leaves the loader: running out of memory is a failure like any other.
  try {
    if (const MagicEntry* e = magicOf(data, size)) return e->load(data, size);
    if (ImageLooksLikeTga(data, size)) return TgaLoadFromMemory(data, size);
  } catch (const std::exception&) {
  }
  return nullptr;
}

}  // namespace limg
