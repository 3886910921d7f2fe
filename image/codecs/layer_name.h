#pragma once
// The layer-name rule of the writers that keep the name (PNG, JPEG, TLG): they rename the
// name after the format they write, in the record itself, so that the record and the file
// agree (face.bmp is stored, and left, as face.png).
//
// One rule for all of them: a name of at least 4 bytes whose fourth byte from the end is "."
// has its last three bytes replaced by the format's three-letter extension. Every other name
// is kept as it is: shorter ones (no room for a three-letter extension), names without an
// extension, and those whose extension is not three bytes long (photo.jpeg, a.b), where
// overwriting the last three bytes would make a name nobody chose (photo.jtlg).
#include <cstring>

#include "image/image.h"

namespace limg {

// Applies the rule to image->name; returns whether the name changed.
inline bool layerNameExtension(Image* image, const char (&extension)[4]) {
  const void* end = std::memchr(image->name, 0, sizeof image->name);
  const std::size_t length =
      end ? std::size_t(static_cast<const char*>(end) - image->name) : sizeof image->name - 1;
  if (length < 4 || image->name[length - 4] != '.') return false;
  if (std::memcmp(image->name + length - 3, extension, 3) == 0) return false;
  std::memcpy(image->name + length - 3, extension, 3);
  return true;
}

// Whether a writer stores the layer values at all: a name or a mode; position alone is not enough.
inline bool hasLayerValues(const Image* image) { return image->name[0] != '\0' || image->mode != 0; }

}  // namespace limg
