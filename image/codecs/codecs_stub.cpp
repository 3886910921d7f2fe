// Placeholders until the PNG, JPEG and TGA decoders land.
#include "image/codecs/jpeg.h"
#include "image/codecs/png.h"
#include "image/codecs/tga.h"
Image* PngLoadFromMemory(const uint8_t*, int32_t) { return nullptr; }
Image* JpegLoadFromMemory(const uint8_t*, int32_t) { return nullptr; }
Image* TgaLoadFromMemory(const uint8_t*, int32_t) { return nullptr; }
