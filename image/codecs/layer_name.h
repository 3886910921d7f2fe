#pragma once
// The writers' name rule: a layer name of at least 4 bytes whose fourth byte from the end
// is "." gets its last three bytes replaced by the written format's extension, in the
// record itself (face.bmp is stored, and left, as face.png).
#include <cstring>

#include "image/image.h"

namespace limg {

inline void layerNameExtension(Image* image, const char (&extension)[4]) {
  const void* end = std::memchr(image->name, 0, sizeof image->name);
  const std::size_t length =
      end ? std::size_t(static_cast<const char*>(end) - image->name) : sizeof image->name - 1;
  if (length >= 4 && image->name[length - 4] == '.') std::memcpy(image->name + length - 3, extension, 3);
}

// Whether a writer stores the layer values at all: a name or a mode; position alone is not enough.
inline bool hasLayerValues(const Image* image) { return image->name[0] != '\0' || image->mode != 0; }

}  // namespace limg
