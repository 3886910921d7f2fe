// Writes a picture through every entry of the save table and reads each file back.
#include <cstdio>
#include <cstring>
#include <string>

#include "image/codecs/save_table.h"
#include "image/image.h"

using namespace limg;

int main(int argc, char** argv) {
  if (argc != 2) return 2;
  Image* image = ImageCreate(5, 3, 32);
  if (!image) return 1;
  for (int32_t i = 0; i < image->pixelCount; ++i) image->pixels[i] = 0x80000000u | uint32_t(i) * 0x00102030u;
  int failures = 0;
  for (int format = 0; format < kImageSaveFormatCount; ++format) {
    const std::string path = std::string(argv[1]) + "/picture" + std::to_string(format);
    const int32_t optionA = format == kImageSaveJpeg ? 90 : format == kImageSaveTlg6 ? 1 : 0;
    if (ImageSaveFunctions[format](path.c_str(), image, 0, optionA, 0) != 1) {
      ++failures;
      continue;
    }
    std::FILE* f = std::fopen(path.c_str(), "rb");
    static uint8_t bytes[1 << 16];
    const size_t n = f ? std::fread(bytes, 1, sizeof bytes, f) : 0;
    if (f) std::fclose(f);
    Image* back = ImageLoadFromMemory(bytes, int32_t(n));
    const bool exact = format != kImageSaveJpeg;
    if (!back || back->width != 5 || back->height != 3 ||
        (exact && std::memcmp(back->pixels, image->pixels, 15 * 4) != 0))
      ++failures;
    ImageDestroy(&back);
  }
  ImageDestroy(&image);
  std::printf("%s\n", failures ? "FAILED" : "OK");
  return failures ? 1 : 0;
}
