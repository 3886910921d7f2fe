#include "tools/imagetool/image_io.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

#ifdef _WIN32
#include <windows.h>
#endif

const ImageWriter kImageWriters[] = {
    {".pam", "PAM P7 RGB_ALPHA, 8 bits", writePam},
    {nullptr, nullptr, nullptr},
};

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

std::string lowerExtension(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
  std::string ext = path.substr(dot);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return ext;
}

// Replaces to with from (rename over an existing file on every platform).
bool replaceFile(const std::string& from, const std::string& to) {
#ifdef _WIN32
  return MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
#else
  return std::rename(from.c_str(), to.c_str()) == 0;
#endif
}

}  // namespace

bool readFileBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
  File f(std::fopen(path.c_str(), "rb"));
  if (!f) {
    *error = path + ": cannot open: " + std::strerror(errno);
    return false;
  }
  bytes->clear();
  uint8_t chunk[65536];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f.get())) > 0) {
    if (bytes->size() + n > std::size_t(INT32_MAX)) {
      *error = path + ": file too large";
      return false;
    }
    bytes->insert(bytes->end(), chunk, chunk + n);
  }
  if (std::ferror(f.get())) {
    *error = path + ": read error";
    return false;
  }
  return true;
}

Image* loadImageFile(const std::string& path, std::string* error) {
  std::vector<uint8_t> bytes;
  if (!readFileBytes(path, &bytes, error)) return nullptr;
  Image* image = ImageLoadFromMemory(bytes.data(), int32_t(bytes.size()));
  if (!image || !image->pixels || image->width <= 0 || image->height <= 0) {
    ImageDestroy(&image);
    *error = path + ": not a picture any decoder accepts";
    return nullptr;
  }
  return image;
}

const ImageWriter* writerFor(const std::string& path, std::string* error) {
  const std::string ext = lowerExtension(path);
  for (const ImageWriter* w = kImageWriters; w->extension; ++w)
    if (ext == w->extension) return w;
  std::string known;
  for (const ImageWriter* w = kImageWriters; w->extension; ++w) known += std::string(" ") + w->extension;
  *error = path + ": no writer for this extension (known:" + known + ")";
  return nullptr;
}

bool writeImageFile(const Image& image, const std::string& path, std::string* error) {
  const ImageWriter* writer = writerFor(path, error);
  if (!writer) return false;
  const std::string temp = path + ".part";
  if (!writer->write(image, temp, error)) {
    std::remove(temp.c_str());
    return false;
  }
  if (!replaceFile(temp, path)) {
    *error = path + ": cannot replace: " + std::strerror(errno);
    std::remove(temp.c_str());
    return false;
  }
  return true;
}
