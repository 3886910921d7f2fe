// Placeholder until the TLG reader lands.
#include "image/tlg/tlg.h"
Image* TlgLoadFromMemory(const uint8_t*, int32_t) { return nullptr; }
