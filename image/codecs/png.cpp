// PNG reading: probe, decode with the transforms to B, G, R, A, the layer text chunks,
// and the 8-bit grey plane of the JPEG alpha segment.
#include "image/codecs/png.h"

#include <algorithm>
#include <cstring>

#include "image/aligned_alloc.h"
#include "image/codecs/png_internal.h"
#include "launcher/numbers.h"

namespace limg {

void pngReadFromCursor(png_structp png, png_bytep out, png_size_t length) {
  auto* cursor = static_cast<PngReadCursor*>(png_get_io_ptr(png));
  if (length > cursor->size - cursor->position) png_error(png, "read past the end of the data");
  std::memcpy(out, cursor->data + cursor->position, length);
  cursor->position += length;
}

namespace {

uint32_t readBe32(const uint8_t* p) {
  return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

// Initial bit depth by the IHDR colour type.
int32_t probeDepth(uint8_t colourType) {
  switch (colourType) {
    case 0: case 3: return 8;
    case 2: return 24;
    case 4: case 6: return 32;
    default: return 0;
  }
}

// The layer values from the text chunks before the image data; the last of a key wins.
void readLayerTexts(png_structp png, png_infop info, Image* image) {
  png_textp texts = nullptr;
  const int count = png_get_text(png, info, &texts, nullptr);
  for (int i = 0; i < count; ++i) {
    const char* key = texts[i].key;
    const char* text = texts[i].text ? texts[i].text : "";
    if (std::strcmp(key, "Name") == 0) {
      // Longer names are cut to what the record holds.
      const std::size_t length = std::min<std::size_t>(texts[i].text_length, sizeof image->name - 1);
      std::memcpy(image->name, text, length);
      image->name[length] = '\0';
    } else if (std::strcmp(key, "Left") == 0) {
      image->left = parseHex(text);
    } else if (std::strcmp(key, "Top") == 0) {
      image->top = parseHex(text);
    } else if (std::strcmp(key, "Mode") == 0) {
      image->mode = parseDecimal(text);
    }
  }
}

// Requests the transforms that turn every colour type and depth into 8-bit B, G, R, A.
// Returns whether the image has alpha (an alpha channel or a tRNS chunk).
bool requestTransforms(png_structp png, png_infop info, int bitDepth, int colourType) {
  if (bitDepth == 16) png_set_strip_16(png);
  if (bitDepth < 8) {
    if (colourType == PNG_COLOR_TYPE_GRAY) png_set_expand_gray_1_2_4_to_8(png);
    png_set_packing(png);
  }
  if (colourType == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
  if (colourType == PNG_COLOR_TYPE_GRAY || colourType == PNG_COLOR_TYPE_GRAY_ALPHA) png_set_gray_to_rgb(png);
  if (colourType == PNG_COLOR_TYPE_RGB || colourType == PNG_COLOR_TYPE_PALETTE ||
      colourType == PNG_COLOR_TYPE_RGB_ALPHA)
    png_set_bgr(png);
  bool alpha = (colourType & PNG_COLOR_MASK_ALPHA) != 0;
  if (png_get_valid(png, info, PNG_INFO_tRNS)) {
    png_set_tRNS_to_alpha(png);
    alpha = true;
  }
  if (!(colourType & PNG_COLOR_MASK_ALPHA)) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
  return alpha;
}

// libpng reads every chunk up to IEND in full, so a chunk claiming more bytes than the
// data hold makes it fail anyway; refusing such a file up front keeps libpng from first
// allocating a buffer of the claimed size (up to 2 GB) for an ancillary chunk. Returns the
// bytes of all IDAT chunks, or -1 when the chunks don't fit.
int64_t imageDataBytes(const uint8_t* data, int32_t size) {
  const size_t end = size > 0 ? size_t(size) : 0;
  size_t at = 8;
  int64_t idat = 0;
  while (end >= at && end - at >= 12) {
    const uint32_t length = readBe32(data + at);
    if (length > 0x7FFFFFFFu || length > end - at - 12) return -1;
    if (std::memcmp(data + at + 4, "IEND", 4) == 0) return idat;
    if (std::memcmp(data + at + 4, "IDAT", 4) == 0) idat += length;
    at += 12 + size_t(length);
  }
  return -1;
}

bool chunksFitTheData(const uint8_t* data, int32_t size) { return imageDataBytes(data, size) >= 0; }

// Bytes of the filtered rows before compression: a filter byte and the packed samples per
// row, for each of the seven passes when interlaced.
uint64_t filteredBytes(uint32_t width, uint32_t height, uint32_t bitsPerPixel, bool interlaced) {
  auto rows = [&](uint64_t w, uint64_t h) { return w && h ? h * (1 + (w * bitsPerPixel + 7) / 8) : 0; };
  if (!interlaced) return rows(width, height);
  static const uint8_t kPass[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                      {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  uint64_t total = 0;
  for (const auto& p : kPass) {
    const uint64_t w = width > p[0] ? (uint64_t(width) - p[0] + p[2] - 1) / p[2] : 0;
    const uint64_t h = height > p[1] ? (uint64_t(height) - p[1] + p[3] - 1) / p[3] : 0;
    total += rows(w, h);
  }
  return total;
}

uint32_t bitsPerPixel(uint8_t bitDepth, uint8_t colourType) {
  switch (colourType) {
    case 2: return 3u * bitDepth;
    case 4: return 2u * bitDepth;
    case 6: return 4u * bitDepth;
    default: return bitDepth ? bitDepth : 1;  // grey and palette: one sample
  }
}

// Whether the image data can hold the picture the header claims: deflate turns at best 2
// bits into 258 bytes (1032 to 1), so fewer compressed bytes can't be the rows, and such a
// file is refused before the picture is allocated.
bool imageDataCanHold(const uint8_t* data, int32_t size) {
  if (!data || size < 29 || std::memcmp(data + 12, "IHDR", 4) != 0) return false;
  const int64_t idat = imageDataBytes(data, size);
  if (idat < 0) return false;
  const uint64_t raw = filteredBytes(readBe32(data + 16), readBe32(data + 20), bitsPerPixel(data[24], data[25]),
                                     data[28] != 0);
  return raw <= (uint64_t(idat) + 1) * 1032;
}

struct PngReadJob {
  PngReadCursor cursor;
  png_structp png;
  png_infop info;
  png_infop endInfo;
};

int createReadJob(PngReadJob* job, const uint8_t* data, int32_t size) {
  if (size < 8 || !chunksFitTheData(data, size)) return 12;
  job->cursor = PngReadCursor{data, size_t(size), 0};
  job->png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!job->png) return 10;
  job->info = png_create_info_struct(job->png);
  job->endInfo = job->info ? png_create_info_struct(job->png) : nullptr;
  if (!job->info || !job->endInfo) {
    png_destroy_read_struct(&job->png, &job->info, &job->endInfo);
    return 11;
  }
  return 0;
}

void destroyReadJob(PngReadJob* job) { png_destroy_read_struct(&job->png, &job->info, &job->endInfo); }

// Everything between the recovery point and the last libpng call is plain C: no object
// with a destructor lives in these frames, so a longjmp skips nothing.
int decodeRows(PngReadJob* job, Image* image) {
  png_structp png = job->png;
  png_infop info = job->info;
  if (setjmp(png_jmpbuf(png))) return 12;
  png_set_read_fn(png, &job->cursor, pngReadFromCursor);
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colourType = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, &interlace, nullptr, nullptr);
  const bool alpha = requestTransforms(png, info, bitDepth, colourType);
  image->bitDepth = alpha ? 32 : 24;
  const int passes = png_set_interlace_handling(png);
  png_read_update_info(png, info);
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, &interlace, nullptr, nullptr);
  // The rows go straight into the pixel block: they must be exactly its rows.
  if (width != png_uint_32(image->width) || height != png_uint_32(image->height) ||
      png_get_rowbytes(png, info) != size_t(width) * 4)
    return 12;
  for (int pass = 0; pass < passes; ++pass)
    for (png_uint_32 y = 0; y < height; ++y)
      png_read_row(png, reinterpret_cast<png_bytep>(image->pixels + size_t(y) * width), nullptr);
  png_read_end(png, job->endInfo);
  readLayerTexts(png, info, image);
  return 0;
}

struct GreyPlaneJob {
  PngReadJob read;
  uint8_t* plane;
  int32_t width;
  int32_t height;
};

int decodeGreyRows(GreyPlaneJob* job, int32_t expectWidth, int32_t expectHeight) {
  png_structp png = job->read.png;
  png_infop info = job->read.info;
  if (setjmp(png_jmpbuf(png))) return 12;
  png_set_read_fn(png, &job->read.cursor, pngReadFromCursor);
  png_read_info(png, info);
  png_uint_32 width = 0, height = 0;
  int bitDepth = 0, colourType = 0, interlace = 0;
  png_get_IHDR(png, info, &width, &height, &bitDepth, &colourType, &interlace, nullptr, nullptr);
  // Only the plane the alpha writer produces: 8-bit grey, not interlaced, of the size asked.
  if (bitDepth != 8 || colourType != PNG_COLOR_TYPE_GRAY || interlace != PNG_INTERLACE_NONE) return 12;
  if ((expectWidth > 0 && width != png_uint_32(expectWidth)) ||
      (expectHeight > 0 && height != png_uint_32(expectHeight)))
    return 12;
  if (uint64_t(width) * height > 0x7FFFFFFFu || png_get_rowbytes(png, info) != width) return 12;
  job->plane = static_cast<uint8_t*>(alignedAlloc(size_t(width) * height));
  if (!job->plane) return 12;
  job->width = int32_t(width);
  job->height = int32_t(height);
  for (png_uint_32 y = 0; y < height; ++y) png_read_row(png, job->plane + size_t(y) * width, nullptr);
  png_read_end(png, job->read.endInfo);
  return 0;
}

}  // namespace

void PngProbe(const uint8_t* data, int32_t size, int32_t* width, int32_t* height, int32_t* bitDepth) {
  *width = *height = *bitDepth = 0;
  if (!imageDataCanHold(data, size)) return;
  const uint32_t w = readBe32(data + 16), h = readBe32(data + 20);
  // PNG limits both to 2^31 - 1; larger values are not a PNG header.
  if (w > 0x7FFFFFFFu || h > 0x7FFFFFFFu) return;
  *width = int32_t(w);
  *height = int32_t(h);
  *bitDepth = probeDepth(data[25]);
}

int PngDecode(Image* image, const uint8_t* data, int32_t size) {
  PngReadJob job{};
  const int created = createReadJob(&job, data, size);
  if (created != 0) return created;
  const int result = decodeRows(&job, image);
  destroyReadJob(&job);
  return result;
}

Image* PngLoadFromMemory(const uint8_t* data, int32_t size) {
  int32_t width = 0, height = 0, bitDepth = 0;
  PngProbe(data, size, &width, &height, &bitDepth);
  if (width == 0 || height == 0) return nullptr;
  Image* image = ImageCreate(width, height, bitDepth);
  if (!image) return nullptr;
  if (PngDecode(image, data, size) != 0) ImageDestroy(&image);
  return image;
}

uint8_t* PngDecodeGreyPlane(const uint8_t* data, int32_t size, int32_t* width, int32_t* height,
                            int32_t expectWidth, int32_t expectHeight) {
  GreyPlaneJob job{};
  if (!imageDataCanHold(data, size) || createReadJob(&job.read, data, size) != 0) return nullptr;
  const int result = decodeGreyRows(&job, expectWidth, expectHeight);
  destroyReadJob(&job.read);
  if (result != 0) {
    alignedFree(job.plane);
    return nullptr;
  }
  if (width) *width = job.width;
  if (height) *height = job.height;
  return job.plane;
}

}  // namespace limg
