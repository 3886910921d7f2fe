#include "image/bmp.h"
#include "image/codecs/jpeg.h"
#include "image/codecs/png.h"
#include "image/codecs/tga.h"
#include "image/image.h"
#include "image/image_load.h"
#include "image/tlg/tlg.h"

// Without a magic number, only data whose header could be a TGA's reach the TGA decoder.
bool ImageLooksLikeTga(const uint8_t* data, int32_t size) {
  if (size <= 16) return false;
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

Image* ImageLoadFromMemory(const uint8_t* data, int32_t size) {
  if (!data || size < 2) return nullptr;
  const uint8_t b0 = data[0], b1 = data[1];
  if (b0 == 'T' && b1 == 'L') return TlgLoadFromMemory(data, size);
  if (b0 == 'B' && b1 == 'M') return BmpLoadFromMemory(data, size);
  if (b0 == 0x89 && b1 == 'P') return PngLoadFromMemory(data, size);
  if (b0 == 0xFF && b1 == 0xD8) return JpegLoadFromMemory(data, size);
  if (ImageLooksLikeTga(data, size)) return TgaLoadFromMemory(data, size);
  return nullptr;
}
