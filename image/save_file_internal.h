#pragma once
// What the file writers share: every writer makes the whole file in memory, and the file
// writer is that memory writer followed by ImageWriteFile.
#include <cstddef>
#include <cstdint>

#include "image/aligned_alloc.h"
#include "image/image.h"

namespace limg {

// The memory writers name this where the file writers name the path in their messages.
constexpr const char kMemoryDestination[] = "<memory>";

// Writes bytes to path ("wb"), checking every write and the close; a file that could not be
// written whole is removed. 1, or 0 after printing `<prefix>: "<path>" 画像を保存出来ませんでした`.
int ImageWriteFile(const char* prefix, const char* path, const ImageBytes& bytes);

// Hands an aligned block of size bytes to *out.
inline void ImageBytesTake(AlignedPtr<uint8_t> block, std::size_t size, ImageBytes* out) {
  out->data = block.release();
  out->size = size;
}

}  // namespace limg
