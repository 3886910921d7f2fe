// Placeholder until the BMP decoder lands.
#include "image/bmp.h"
Image* BmpLoadFromMemory(const uint8_t*, int32_t) { return nullptr; }
