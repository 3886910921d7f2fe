#include "image/file_open.h"

#include <atomic>

namespace limg {

namespace {
std::atomic<ImageFileOpener> fileOpener{nullptr};
}  // namespace

void ImageSetFileOpener(ImageFileOpener opener) { fileOpener.store(opener); }

std::FILE* ImageOpenFile(const char* path, const char* mode) {
  const ImageFileOpener opener = fileOpener.load();
  return opener ? opener(path, mode) : std::fopen(path, mode);
}

}  // namespace limg
