#pragma once
// The file writers of the image library behind one call shape:
//   ImageSaveFunctions[format](path, image, bitDepth, optionA, optionB) -> 1 or 0
// bitDepth 0 means the image's own bitDepth. The same writers make the same files in memory:
//   ImageSaveToMemoryFunctions[format](image, bitDepth, optionA, optionB, &bytes) -> 1 or 0
// with the file's bytes in bytes (free with ImageBytesFree). Behind both tables the TLG
// encoders' exceptions are caught and become 0 (after their message).
//
//   format          writer    option A                          option B
//   kImageSaveBmp   BmpSave   -                                 -
//   kImageSavePng   PngSave   zlib level                        interlace (nonzero: Adam7)
//   kImageSaveJpeg  JpegSave  quality                           flags (kJpeg* of jpeg.h)
//   kImageSaveTlg6  TlgSave   TLG6 when nonzero, TLG5 when 0    -
//   kImageSaveTga   TgaSave   run-length coding when nonzero    -
#include <cstdint>

#include "image/image.h"

namespace limg {

enum ImageSaveFormat : int {
  kImageSaveBmp = 0,
  kImageSavePng = 1,
  kImageSaveJpeg = 2,
  kImageSaveTlg6 = 3,
  kImageSaveTga = 4,
  kImageSaveFormatCount = 5,
};

using ImageSaveFunction = int (*)(const char* path, Image* image, int32_t bitDepth, int32_t optionA,
                                  int32_t optionB);

extern const ImageSaveFunction ImageSaveFunctions[kImageSaveFormatCount];

using ImageSaveToMemoryFunction = int (*)(Image* image, int32_t bitDepth, int32_t optionA, int32_t optionB,
                                          ImageBytes* out);

extern const ImageSaveToMemoryFunction ImageSaveToMemoryFunctions[kImageSaveFormatCount];

}  // namespace limg
