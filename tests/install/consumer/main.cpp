// Saves a picture through every writer, to memory and to a file, compares the bytes, reads each
// back, and catches the library's messages with a sink of its own. With MagickCore, whose own
// picture record is a global Image, its headers sit in this same file beside the library's
// and it reads the memory files too.
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#ifdef WITH_MAGICKCORE
#include <magick/MagickCore.h>
#endif

#include "image/codecs/save_table.h"
#include "image/image.h"
#include "image/message.h"

namespace {

int failures = 0;

void check(bool ok, const std::string& what) {
  if (ok) return;
  std::printf("failed: %s\n", what.c_str());
  ++failures;
}

struct Caught {
  int lines = 0;
  std::string last;
};

void catchMessage(limg::ImageMessageStream, const char* text, std::size_t length, void* context) {
  Caught* caught = static_cast<Caught*>(context);
  ++caught->lines;
  caught->last.assign(text, length);
}

std::vector<unsigned char> readFile(const std::string& path) {
  std::vector<unsigned char> bytes;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    unsigned char chunk[4096];
    std::size_t n;
    while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(f);
  }
  return bytes;
}

#ifdef WITH_MAGICKCORE
// MagickCore's reading of a file made in memory: its size and B, G, R, A bytes.
std::vector<unsigned char> magickPixels(const limg::ImageBytes& file, size_t* width, size_t* height) {
  std::vector<unsigned char> pixels;
  ExceptionInfo* exception = AcquireExceptionInfo();
  ImageInfo* info = AcquireImageInfo();
  Image* image = BlobToImage(info, file.data, file.size, exception);  // MagickCore's Image
  if (image) {
    *width = image->columns;
    *height = image->rows;
    pixels.resize(image->columns * image->rows * 4);
    if (!ExportImagePixels(image, 0, 0, image->columns, image->rows, "BGRA", CharPixel, pixels.data(), exception))
      pixels.clear();
    DestroyImage(image);
  }
  DestroyImageInfo(info);
  DestroyExceptionInfo(exception);
  return pixels;
}
#endif

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) return 2;
#ifdef WITH_MAGICKCORE
  MagickCoreGenesis(argv[0], MagickFalse);
#endif
  Caught caught;
  limg::ImageSetMessageSink(catchMessage, &caught);

  limg::Image* image = limg::ImageCreate(5, 3, 32);
  if (!image) return 1;
  for (int32_t i = 0; i < image->pixelCount; ++i) image->pixels[i] = 0xFF000000u | uint32_t(i) * 0x00102030u;
  const char* names[limg::kImageSaveFormatCount] = {"bmp", "png", "jpeg", "tlg6", "tga"};
  for (int format = 0; format < limg::kImageSaveFormatCount; ++format) {
    const std::string name = names[format];
    const std::string path = std::string(argv[1]) + "/picture." + name;
    const int32_t optionA = format == limg::kImageSaveJpeg ? 90 : format == limg::kImageSaveTlg6 ? 1 : 0;
    limg::ImageBytes memory{};
    check(limg::ImageSaveToMemoryFunctions[format](image, 0, optionA, 0, &memory) == 1, name + " to memory");
    check(limg::ImageSaveFunctions[format](path.c_str(), image, 0, optionA, 0) == 1, name + " to a file");
    const std::vector<unsigned char> file = readFile(path);
    check(file.size() == memory.size && std::memcmp(file.data(), memory.data, file.size()) == 0,
          name + ": the memory bytes are the file's");
    limg::Image* back = limg::ImageLoadFromMemory(memory.data, int32_t(memory.size));
    const bool exact = format != limg::kImageSaveJpeg;
    check(back && back->width == 5 && back->height == 3 &&
              (!exact || std::memcmp(back->pixels, image->pixels, 15 * 4) == 0),
          name + " read back");
#ifdef WITH_MAGICKCORE
    if (format == limg::kImageSavePng || format == limg::kImageSaveBmp) {
      size_t w = 0, h = 0;
      const std::vector<unsigned char> seen = magickPixels(memory, &w, &h);
      check(w == 5 && h == 3 && seen.size() == 60 && std::memcmp(seen.data(), image->pixels, 60) == 0,
            name + " read by MagickCore");
    }
#endif
    limg::ImageDestroy(&back);
    limg::ImageBytesFree(&memory);
  }
  limg::ImageDestroy(&image);

  // A refusal's message reaches the sink, not standard output.
  limg::ImageBytes none{};
  check(limg::ImageSaveToMemoryFunctions[limg::kImageSavePng](nullptr, 0, 6, 0, &none) == 0, "no picture");
  check(caught.lines == 1 && caught.last.rfind("PNG: \"<memory>\"", 0) == 0, "the sink's line: " + caught.last);
  limg::ImageSetMessageSink(nullptr, nullptr);
#ifdef WITH_MAGICKCORE
  MagickCoreTerminus();
#endif
  std::printf("%s\n", failures ? "FAILED" : "OK");
  return failures ? 1 : 0;
}
