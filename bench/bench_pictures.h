#pragma once
// Real pictures for the TLG benchmarks: every PNG, JPEG, TGA, BMP or TLG file below the given
// folders (default ../shared/bench-pictures), decoded once by the library's own loader. A
// picture's group is the name of the folder it lies in (wallpapers, art, ...). Pictures whose
// alpha is 255 everywhere count as three-colour pictures.
#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "image/image.h"

namespace benchpics {

using Bytes = std::vector<uint8_t>;

struct Picture {
  std::string name, group;
  int width = 0, height = 0;
  bool alpha = false;
  std::vector<uint32_t> pixels;  // B, G, R, A words; alpha 0xFF when !alpha
};

inline bool pictureFile(const std::filesystem::path& p) {
  std::string ext = p.extension().string();
  for (char& c : ext) c = char(std::tolower(static_cast<unsigned char>(c)));
  return ext == ".png" || ext == ".jpg" || ext == ".jpeg" || ext == ".tga" || ext == ".bmp" ||
         ext == ".tlg";
}

// The folders named on the command line (arguments that are not options), else the default.
// Removes them from argv.
inline std::vector<std::string> takeFolders(int& argc, char** argv) {
  std::vector<std::string> folders;
  int kept = 1;
  for (int i = 1; i < argc; ++i) {
    if (argv[i][0] != '-' && std::filesystem::is_directory(argv[i]))
      folders.push_back(argv[i]);
    else
      argv[kept++] = argv[i];
  }
  argc = kept;
  if (folders.empty()) folders.push_back("../shared/bench-pictures");
  return folders;
}

inline std::vector<Picture> loadPictures(const std::vector<std::string>& folders) {
  std::vector<std::filesystem::path> files;
  for (const std::string& folder : folders) {
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
      if (it->is_regular_file() && pictureFile(it->path())) files.push_back(it->path());
    if (ec) std::fprintf(stderr, "cannot read %s: %s\n", folder.c_str(), ec.message().c_str());
  }
  std::sort(files.begin(), files.end());
  std::vector<Picture> out;
  for (const auto& path : files) {
    std::ifstream in(path, std::ios::binary);
    const Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    limg::Image* image = limg::ImageLoadFromMemory(data.data(), int32_t(data.size()));
    if (!image || !image->pixels || image->width <= 0) {
      std::fprintf(stderr, "skipped %s: not decoded\n", path.c_str());
      limg::ImageDestroy(&image);
      continue;
    }
    Picture pic;
    pic.name = path.stem().string();
    pic.group = path.parent_path().filename().string();
    pic.width = image->width;
    pic.height = image->height;
    pic.pixels.assign(image->pixels, image->pixels + image->pixelCount);
    limg::ImageDestroy(&image);
    pic.alpha = std::any_of(pic.pixels.begin(), pic.pixels.end(), [](uint32_t v) { return v >> 24 != 255; });
    out.push_back(std::move(pic));
  }
  if (out.empty()) std::fprintf(stderr, "no pictures found\n");
  return out;
}

// Rows as the TLG writers take them: the words themselves with alpha, packed B, G, R bytes
// (kept in `bgr`) without.
inline std::vector<const uint8_t*> encoderRows(const Picture& pic, std::vector<uint8_t>& bgr) {
  std::vector<const uint8_t*> rows(size_t(pic.height));
  if (pic.alpha) {
    for (int y = 0; y < pic.height; ++y)
      rows[size_t(y)] = reinterpret_cast<const uint8_t*>(&pic.pixels[size_t(y) * pic.width]);
    return rows;
  }
  bgr.resize(pic.pixels.size() * 3);
  for (size_t i = 0; i < pic.pixels.size(); ++i) {
    const uint32_t v = pic.pixels[i];
    bgr[3 * i] = uint8_t(v);
    bgr[3 * i + 1] = uint8_t(v >> 8);
    bgr[3 * i + 2] = uint8_t(v >> 16);
  }
  for (int y = 0; y < pic.height; ++y) rows[size_t(y)] = &bgr[size_t(y) * pic.width * 3];
  return rows;
}

// ---- libpng from and to memory, B, G, R, A words as the library delivers them.

inline void pngWrite(png_structp png, png_bytep bytes, png_size_t n) {
  Bytes* out = static_cast<Bytes*>(png_get_io_ptr(png));
  out->insert(out->end(), bytes, bytes + n);
}
inline void pngFlush(png_structp) {}

// RGBA for pictures with alpha, RGB otherwise; default filters.
inline Bytes pngEncode(const Picture& pic, int level) {
  Bytes out;
  std::vector<uint8_t> rgb;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return {};
  }
  png_set_write_fn(png, &out, pngWrite, pngFlush);
  png_set_compression_level(png, level);
  png_set_IHDR(png, info, pic.width, pic.height, 8, pic.alpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_set_bgr(png);
  if (!pic.alpha) png_set_filler(png, 0, PNG_FILLER_AFTER);  // drop the fourth byte
  for (int y = 0; y < pic.height; ++y)
    png_write_row(png, reinterpret_cast<png_const_bytep>(&pic.pixels[size_t(y) * pic.width]));
  png_write_end(png, info);
  png_destroy_write_struct(&png, &info);
  return out;
}

struct PngInput {
  const Bytes* data;
  size_t at;
};

inline void pngRead(png_structp png, png_bytep bytes, png_size_t n) {
  PngInput* in = static_cast<PngInput*>(png_get_io_ptr(png));
  if (in->at + n > in->data->size()) png_error(png, "short");
  std::memcpy(bytes, in->data->data() + in->at, n);
  in->at += n;
}

// Into B, G, R, A words (opaque alpha added to RGB), as the library's own PNG reader delivers.
inline bool pngDecode(const Bytes& data, std::vector<uint32_t>& out) {
  PngInput in{&data, 0};
  png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png_create_info_struct(png);
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_read_struct(&png, &info, nullptr);
    return false;
  }
  png_set_read_fn(png, &in, pngRead);
  png_read_info(png, info);
  png_set_bgr(png);
  if (!(png_get_color_type(png, info) & PNG_COLOR_MASK_ALPHA)) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  png_read_update_info(png, info);
  const png_uint_32 w = png_get_image_width(png, info), h = png_get_image_height(png, info);
  out.resize(size_t(w) * h);
  for (png_uint_32 y = 0; y < h; ++y) png_read_row(png, reinterpret_cast<png_bytep>(&out[size_t(y) * w]), nullptr);
  png_read_end(png, nullptr);
  png_destroy_read_struct(&png, &info, nullptr);
  return true;
}

inline double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace benchpics
