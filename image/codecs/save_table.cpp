#include "image/codecs/save_table.h"

#include <exception>

#include "image/codecs/bmp_save.h"
#include "image/codecs/jpeg.h"
#include "image/codecs/png.h"
#include "image/codecs/tga.h"
#include "image/tlg/tlg_encode.h"

namespace limg {

namespace {

int saveBmp(const char* path, Image* image, int32_t bitDepth, int32_t, int32_t) {
  return BmpSave(path, image, bitDepth);
}
int savePng(const char* path, Image* image, int32_t bitDepth, int32_t level, int32_t interlace) {
  return PngSave(path, image, bitDepth, level, interlace);
}
int saveJpeg(const char* path, Image* image, int32_t bitDepth, int32_t quality, int32_t flags) {
  return JpegSave(path, image, bitDepth, quality, flags);
}
// The TLG encoders print their message before raising it; behind this table a failure is 0.
int saveTlg(const char* path, Image* image, int32_t bitDepth, int32_t useTlg6, int32_t) {
  try {
    return TlgSave(path, image, bitDepth, useTlg6);
  } catch (const std::exception&) {
    return 0;
  }
}
int saveTga(const char* path, Image* image, int32_t bitDepth, int32_t rle, int32_t) {
  return TgaSave(path, image, bitDepth, rle);
}

int memoryBmp(Image* image, int32_t bitDepth, int32_t, int32_t, ImageBytes* out) {
  return BmpSaveToMemory(image, bitDepth, out);
}
int memoryPng(Image* image, int32_t bitDepth, int32_t level, int32_t interlace, ImageBytes* out) {
  return PngSaveToMemory(image, bitDepth, level, interlace, out);
}
int memoryJpeg(Image* image, int32_t bitDepth, int32_t quality, int32_t flags, ImageBytes* out) {
  return JpegSaveToMemory(image, bitDepth, quality, flags, out);
}
int memoryTlg(Image* image, int32_t bitDepth, int32_t useTlg6, int32_t, ImageBytes* out) {
  try {
    return TlgSaveToMemory(image, bitDepth, useTlg6, out);
  } catch (const std::exception&) {
    return 0;
  }
}
int memoryTga(Image* image, int32_t bitDepth, int32_t rle, int32_t, ImageBytes* out) {
  return TgaSaveToMemory(image, bitDepth, rle, out);
}

}  // namespace

const ImageSaveFunction ImageSaveFunctions[kImageSaveFormatCount] = {saveBmp, savePng, saveJpeg, saveTlg,
                                                                     saveTga};

const ImageSaveToMemoryFunction ImageSaveToMemoryFunctions[kImageSaveFormatCount] = {
    memoryBmp, memoryPng, memoryJpeg, memoryTlg, memoryTga};

}  // namespace limg
