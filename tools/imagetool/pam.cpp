// PAM (P7) with tuple type RGB_ALPHA and 8 bits per sample: rows top first, R, G, B, A.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "tools/common/files.h"
#include "tools/imagetool/image_io.h"

using namespace limg;

bool writePam(const Image& image, const std::string& path, std::string* error) {
  std::FILE* f = openFileUtf8(path.c_str(), "wb");
  if (!f) {
    *error = path + ": cannot create: " + std::strerror(errno);
    return false;
  }
  bool ok = std::fprintf(f, "P7\nWIDTH %d\nHEIGHT %d\nDEPTH 4\nMAXVAL 255\nTUPLTYPE RGB_ALPHA\nENDHDR\n",
                         int(image.width), int(image.height)) > 0;
  std::vector<uint8_t> row(std::size_t(image.width) * 4);
  for (int32_t y = 0; ok && y < image.height; ++y) {
    const uint32_t* src = image.pixels + std::size_t(y) * std::size_t(image.width);
    for (int32_t x = 0; x < image.width; ++x) {
      const uint32_t p = src[x];
      uint8_t* d = &row[std::size_t(x) * 4];
      d[0] = uint8_t(p >> 16);
      d[1] = uint8_t(p >> 8);
      d[2] = uint8_t(p);
      d[3] = uint8_t(p >> 24);
    }
    ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
  }
  if (std::fclose(f) != 0) ok = false;
  if (!ok) *error = path + ": write error";
  return ok;
}
