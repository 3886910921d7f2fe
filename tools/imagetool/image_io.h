#pragma once
// Reading pictures into Images, and the output formats: each names a writer of the image
// library's save table (or the tool's own PAM writer) and the options it takes.
#include <cstdint>
#include <string>
#include <vector>

#include "image/image.h"

// The whole file; false with a one-line reason in *error.
bool readFileBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* error);

// Decodes a file with ImageLoadFromMemory; null with the reason in *error.
limg::Image* loadImageFile(const std::string& path, std::string* error);

// What the writers are asked for. Each format reads the fields it has.
struct WriteOptions {
  int32_t bitDepth = 0;      // 0: the picture's own; else 8, 24 or 32
  int32_t pngLevel = 6;      // zlib level 0-9
  bool interlace = false;    // PNG: Adam7
  int32_t quality = 90;      // JPEG 1-100
  bool progressive = false;  // JPEG
  bool optimize = false;     // JPEG: optimised Huffman tables
  int32_t sampling = 0;      // JPEG chroma sampling 420, 422 or 444; 0 the library's default
  bool tlg6 = true;          // TLG: TLG6, else TLG5
  bool rle = false;          // TGA: run-length coding
};

struct OutputFormat {
  const char* name;        // for --format and --to
  const char* extensions;  // lower case, with the dot, space separated; the first is written
  const char* description;
  int saveFormat;          // index into ImageSaveFunctions, or -1 for PAM
  int tlgVariant;          // TLG rows: 5 or 6 fixes the variant, 0 leaves it to the options
  const int32_t* depths;   // bit depths the format holds, ending with 0
};

// The formats, ending with a row whose name is null.
extern const OutputFormat kOutputFormats[];

// The format called name (--format / --to), or null with the reason in *error.
const OutputFormat* formatNamed(const std::string& name, std::string* error);
// The format for path's extension (compared without regard to case), or null with the
// reason in *error.
const OutputFormat* formatForPath(const std::string& path, std::string* error);
// Whether the format holds bitDepth (0 always); false with the reason in *error.
bool formatTakesDepth(const OutputFormat& format, int32_t bitDepth, std::string* error);

// The extension of path in lower case with its dot, or empty.
std::string lowerExtension(const std::string& path);
// Whether the loader reads files with this extension (lower case, with the dot).
bool isPictureExtension(const std::string& extension);

// Writes the picture in the format into a temporary file beside path, then renames it to
// path, so that a failure leaves no output behind. The writers may rename the layer name's
// extension in the record.
bool writeImageFile(limg::Image& image, const std::string& path, const OutputFormat& format,
                    const WriteOptions& options, std::string* error);
// The same with the format taken from path's extension.
bool writeImageFile(limg::Image& image, const std::string& path, std::string* error);

// The tool's own PAM writer (P7 RGB_ALPHA).
bool writePam(const limg::Image& image, const std::string& path, std::string* error);
