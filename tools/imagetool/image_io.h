#pragma once
// Reading pictures into Images and writing them by the extension of the output name.
#include <cstdint>
#include <string>
#include <vector>

#include "image/image.h"

// The whole file; false with a one-line reason in *error.
bool readFileBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* error);

// Decodes a file with ImageLoadFromMemory; null with the reason in *error.
Image* loadImageFile(const std::string& path, std::string* error);

// One writer per output extension. write() puts the picture into the file at path (a
// temporary name); it returns false with the reason in *error.
struct ImageWriter {
  const char* extension;  // lower case, with the dot
  const char* description;
  bool (*write)(const Image& image, const std::string& path, std::string* error);
};

// The writers, ending with a row whose extension is null.
extern const ImageWriter kImageWriters[];

// The writer for path's extension (compared without regard to case), or null with the
// reason in *error.
const ImageWriter* writerFor(const std::string& path, std::string* error);

// Writes through the writer for path's extension into a temporary file beside path, then
// renames it to path, so that a failure leaves no output behind.
bool writeImageFile(const Image& image, const std::string& path, std::string* error);

// The writers' formats.
bool writePam(const Image& image, const std::string& path, std::string* error);
