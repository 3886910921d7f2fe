// Placeholder until the TGA decoder lands.
#include "image/codecs/tga.h"
Image* TgaLoadFromMemory(const uint8_t*, int32_t) { return nullptr; }
