#include "tools/imagetool/image_io.h"

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>

#include "image/codecs/jpeg.h"
#include "image/codecs/save_table.h"
#include "tools/common/files.h"


using namespace limg;

namespace {

constexpr int32_t kAllDepths[] = {8, 24, 32, 0};
constexpr int32_t kColourDepths[] = {24, 32, 0};
constexpr int32_t kJpegDepths[] = {8, 24, 32, 0};

}  // namespace

const OutputFormat kOutputFormats[] = {
    {"bmp", ".bmp", "BMP, uncompressed", kImageSaveBmp, 0, kAllDepths},
    {"png", ".png", "PNG with layer texts", kImageSavePng, 0, kAllDepths},
    {"jpeg", ".jpg .jpeg", "JPEG with layer and alpha segments", kImageSaveJpeg, 0, kJpegDepths},
    {"jpg", ".jpg .jpeg", "JPEG (same as jpeg)", kImageSaveJpeg, 0, kJpegDepths},
    {"tlg", ".tlg", "TLG6, or TLG5 with --tlg5", kImageSaveTlg6, 0, kAllDepths},
    {"tlg6", ".tlg", "TLG6", kImageSaveTlg6, 6, kAllDepths},
    {"tlg5", ".tlg", "TLG5", kImageSaveTlg6, 5, kAllDepths},
    {"tga", ".tga", "TGA, 24 or 32 bits, run-length coded with --rle", kImageSaveTga, 0, kColourDepths},
    {"pam", ".pam", "PAM P7 RGB_ALPHA, 8 bits", -1, 0, kColourDepths},
    {nullptr, nullptr, nullptr, 0, 0, nullptr},
};

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

bool hasExtension(const OutputFormat& format, const std::string& ext) {
  if (ext.empty()) return false;
  const std::string list = std::string(" ") + format.extensions + " ";
  return list.find(" " + ext + " ") != std::string::npos;
}

std::string formatNames() {
  std::string names;
  for (const OutputFormat* f = kOutputFormats; f->name; ++f) names += std::string(" ") + f->name;
  return names;
}

int32_t jpegFlags(const WriteOptions& o) {
  int32_t flags = 0;
  if (o.optimize) flags |= kJpegOptimizeHuffman;
  if (o.progressive) flags |= kJpegProgressive;
  switch (o.sampling) {
    case 420: flags |= kJpegSampling420; break;
    case 422: flags |= kJpegSampling422; break;
    case 444: flags |= kJpegSampling444; break;
    default: flags |= kJpegSamplingDefault; break;
  }
  return flags;
}

// Runs the format's writer into memory and writes the file at path; the library's writers
// report their own reasons (through the tool's message sink).
bool writeWith(Image& image, const std::string& path, const OutputFormat& format, const WriteOptions& o,
               std::string* error) {
  if (format.saveFormat < 0) return writePam(image, path, error);
  int32_t a = 0, b = 0;
  switch (format.saveFormat) {
    case kImageSavePng: a = o.pngLevel, b = o.interlace; break;
    case kImageSaveJpeg: a = o.quality, b = jpegFlags(o); break;
    case kImageSaveTlg6: a = format.tlgVariant ? format.tlgVariant == 6 : o.tlg6; break;
    case kImageSaveTga: a = o.rle; break;
    default: break;
  }
  ImageBytes bytes{};
  if (ImageSaveToMemoryFunctions[format.saveFormat](&image, o.bitDepth, a, b, &bytes) != 1) {
    *error = path + ": the " + format.name + " writer failed";
    return false;
  }
  FILE* file = openFileUtf8(path.c_str(), "wb");
  std::string reason;
  if (!file) {
    reason = std::strerror(errno);
  } else {
    if (std::fwrite(bytes.data, 1, bytes.size, file) != bytes.size) reason = std::strerror(errno);
    if (std::fclose(file) != 0 && reason.empty()) reason = std::strerror(errno);
  }
  ImageBytesFree(&bytes);
  if (reason.empty()) return true;
  *error = path + ": can't be written: " + reason;
  return false;
}

}  // namespace

std::string lowerExtension(const std::string& path) {
  const std::size_t slash = path.find_last_of("/\\");
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return std::string();
  std::string ext = path.substr(dot);
  for (char& c : ext)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  return ext;
}

bool isPictureExtension(const std::string& ext) {
  static const char* const kRead[] = {".bmp", ".png", ".jpg", ".jpeg", ".tlg", ".tga"};
  for (const char* e : kRead)
    if (ext == e) return true;
  return false;
}

bool readFileBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* error) {
  File f(openFileUtf8(path.c_str(), "rb"));
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

const OutputFormat* formatNamed(const std::string& name, std::string* error) {
  std::string lower = name;
  for (char& c : lower)
    if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
  for (const OutputFormat* f = kOutputFormats; f->name; ++f)
    if (lower == f->name) return f;
  *error = "unknown format \"" + name + "\" (known:" + formatNames() + ")";
  return nullptr;
}

const OutputFormat* formatForPath(const std::string& path, std::string* error) {
  const std::string ext = lowerExtension(path);
  for (const OutputFormat* f = kOutputFormats; f->name; ++f)
    if (hasExtension(*f, ext)) return f;
  std::string known;
  for (const OutputFormat* f = kOutputFormats; f->name; ++f)
    if (!f->tlgVariant && std::strcmp(f->name, "jpg") != 0) known += std::string(" ") + f->extensions;
  *error = path + ": no writer for this extension (known:" + known + "; or give --format)";
  return nullptr;
}

bool formatTakesDepth(const OutputFormat& format, int32_t bitDepth, std::string* error) {
  if (bitDepth == 0) return true;
  std::string held;
  for (const int32_t* d = format.depths; *d; ++d) {
    if (*d == bitDepth) return true;
    held += " " + std::to_string(*d);
  }
  *error = std::string(format.name) + " holds bit depths" + held + ", not " + std::to_string(bitDepth);
  return false;
}

bool writeImageFile(Image& image, const std::string& path, const OutputFormat& format, const WriteOptions& options,
                    std::string* error) {
  // A picture of 8 or 24 bits asked for nothing else keeps its depth; the TGA and PAM
  // writers hold no grey, so those take 24 bits.
  WriteOptions o = options;
  if (o.bitDepth == 0 && !formatTakesDepth(format, image.bitDepth, error)) o.bitDepth = 24;
  if (!formatTakesDepth(format, o.bitDepth, error)) return false;
  const std::string temp = path + ".part";
  if (!writeWith(image, temp, format, o, error)) {
    removeFile(pathFromUtf8(temp));
    return false;
  }
  if (!replaceFile(pathFromUtf8(temp), pathFromUtf8(path), error)) {
    removeFile(pathFromUtf8(temp));
    return false;
  }
  return true;
}

bool writeImageFile(Image& image, const std::string& path, std::string* error) {
  const OutputFormat* format = formatForPath(path, error);
  return format && writeImageFile(image, path, *format, WriteOptions(), error);
}
