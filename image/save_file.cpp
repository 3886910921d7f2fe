#include <cstdio>

#include "image/file_open.h"
#include "image/message.h"
#include "image/save_file_internal.h"

namespace limg {

int ImageWriteFile(const char* prefix, const char* path, const ImageBytes& bytes) {
  std::FILE* file = path ? ImageOpenFile(path, "wb") : nullptr;
  if (file) {
    const bool written = std::fwrite(bytes.data, 1, bytes.size, file) == bytes.size;
    // The close flushes what is still buffered: a full disk shows up here as often as above.
    const bool closed = std::fclose(file) == 0;
    if (written && closed) return 1;
    std::remove(path);
  }
  ImageMessage(kImageMessageOut, "%s: \"%s\" 画像を保存出来ませんでした\n", prefix, path ? path : "");
  return 0;
}

}  // namespace limg
