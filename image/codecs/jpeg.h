#pragma once
#include <cstdint>

#include "image/image.h"

// Decodes a whole file held in memory; a new record owned by the caller, or null.
Image* JpegLoadFromMemory(const uint8_t* data, int32_t size);
