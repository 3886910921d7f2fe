#pragma once
#include <cstdint>

#include "image/image.h"

namespace limg {

// Decodes a whole file held in memory; a new record owned by the caller, or null.
Image* TlgLoadFromMemory(const uint8_t* data, int32_t size);

}  // namespace limg
