// PNG writing: files with the layer text chunks, the file writer, and the 8-bit grey
// alpha plane of the JPEG writer.
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "image/aligned_alloc.h"
#include "image/codecs/grey_level.h"
#include "image/codecs/layer_name.h"
#include "image/codecs/png.h"
#include "image/codecs/png_internal.h"
#include "image/message.h"
#include "image/save_file_internal.h"
#include "launcher/numbers.h"

namespace limg {

void pngWriteToCursor(png_structp png, png_bytep bytes, png_size_t length) {
  auto* cursor = static_cast<PngWriteCursor*>(png_get_io_ptr(png));
  if (length > cursor->capacity - cursor->length) {
    if (!cursor->grow) png_error(png, "encoded data don't fit the buffer");
    size_t capacity = cursor->capacity;
    while (length > capacity - cursor->length) {
      if (capacity > (size_t(-1) >> 2)) png_error(png, "encoded data too large");
      capacity *= 2;
    }
    auto* block = static_cast<uint8_t*>(alignedAlloc(capacity));
    if (!block) png_error(png, "out of memory for the encoded data");
    std::memcpy(block, cursor->buffer, cursor->length);
    alignedFree(cursor->owned);
    cursor->buffer = cursor->owned = block;
    cursor->capacity = capacity;
  }
  std::memcpy(cursor->buffer + cursor->length, bytes, length);
  cursor->length += length;
}

namespace {

// Which bytes of a pixel make one stored sample row.
enum class RowSource { Pixels, Bgr, Grey, Alpha };

void fillRow(const uint32_t* pixels, int32_t width, RowSource source, uint8_t* row) {
  const auto* bytes = reinterpret_cast<const uint8_t*>(pixels);
  switch (source) {
    case RowSource::Pixels:
      break;
    case RowSource::Bgr:
      for (int32_t x = 0; x < width; ++x) std::memcpy(row + 3 * x, bytes + 4 * x, 3);
      break;
    case RowSource::Grey:
      for (int32_t x = 0; x < width; ++x) row[x] = greyLevel(pixels[x]);
      break;
    case RowSource::Alpha:
      for (int32_t x = 0; x < width; ++x) row[x] = bytes[4 * x + 3];
      break;
  }
}

// One write job: what to write and where. Plain data, so that the frame holding the
// recovery point has nothing a longjmp could skip.
struct PngWriteJob {
  const Image* image;
  int colourType;
  RowSource source;
  bool swapToBgr;
  int level;
  bool interlace;
  png_text texts[4];
  int textCount;
  PngWriteCursor cursor;
  uint8_t* row;  // row buffer, null when pixel rows are written unchanged
  bool quiet;    // no libpng messages (a trial plane that may not fit)
};

void quietError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void quietWarning(png_structp, png_const_charp) {}

enum class WriteResult { Ok, NoWriteStruct, NoInfoStruct, LibraryError };

// Creates, writes and destroys the libpng structures. Between the recovery point and the
// last libpng call only this frame runs, and it holds no object with a destructor.
WriteResult writePng(PngWriteJob* job) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, job->quiet ? quietError : nullptr,
                                            job->quiet ? quietWarning : nullptr);
  if (!png) return WriteResult::NoWriteStruct;
  png_infop info = png_create_info_struct(png);
  if (!info) {
    png_destroy_write_struct(&png, nullptr);
    return WriteResult::NoInfoStruct;
  }
  // png and info are not changed after this point, so they are sound after a longjmp.
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return WriteResult::LibraryError;
  }
  const Image* image = job->image;
  png_set_write_fn(png, &job->cursor, pngWriteToCursor, nullptr);
  if (job->swapToBgr) png_set_bgr(png);
  png_set_compression_level(png, job->level);
  png_set_IHDR(png, info, png_uint_32(image->width), png_uint_32(image->height), 8, job->colourType,
               job->interlace ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  if (job->textCount > 0) png_set_text(png, info, job->texts, job->textCount);
  png_write_info(png, info);
  const int passes = png_set_interlace_handling(png);
  for (int pass = 0; pass < passes; ++pass) {
    for (int32_t y = 0; y < image->height; ++y) {
      const uint32_t* pixels = image->pixels + size_t(y) * image->width;
      if (job->row) {
        fillRow(pixels, image->width, job->source, job->row);
        png_write_row(png, job->row);
      } else {
        png_write_row(png, reinterpret_cast<png_const_bytep>(pixels));
      }
    }
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return WriteResult::Ok;
}

void setText(png_text* text, const char* key, const std::string& value) {
  std::memset(text, 0, sizeof *text);
  text->compression = PNG_TEXT_COMPRESSION_NONE;
  text->key = const_cast<char*>(key);
  text->text = const_cast<char*>(value.c_str());
  text->text_length = value.size();
}

// Row buffer bytes per pixel by source; 0 when pixel rows go to libpng unchanged.
size_t rowBytesPerPixel(RowSource source) {
  switch (source) {
    case RowSource::Pixels: return 0;
    case RowSource::Bgr: return 3;
    default: return 1;
  }
}

// The layer texts, kept alive for the write.
struct LayerTexts {
  std::string name, left, top, mode;
};

}  // namespace

int PngEncode(Image* image, int32_t bitDepth, int32_t level, int32_t interlace, uint8_t** buffer,
              int32_t* size) {
  if (!image || !image->pixels || !buffer || !size) return 0;
  if (bitDepth == 0) bitDepth = image->bitDepth;
  PngWriteJob job{};
  switch (bitDepth) {
    case 8: job.colourType = PNG_COLOR_TYPE_GRAY; job.source = RowSource::Grey; break;
    case 24: job.colourType = PNG_COLOR_TYPE_RGB; job.source = RowSource::Bgr; break;
    case 32: job.colourType = PNG_COLOR_TYPE_RGB_ALPHA; job.source = RowSource::Pixels; break;
    default: return 0;
  }
  job.image = image;
  job.swapToBgr = true;
  job.level = level;
  job.interlace = interlace != 0;

  const size_t capacity = size_t(image->width) * size_t(image->height) * size_t(bitDepth / 8) + 1024;
  AlignedPtr<uint8_t> output(static_cast<uint8_t*>(alignedAlloc(capacity)));
  if (!output) {
    ImageMessage(kImageMessageOut, "PNG: メモリを確保出来ませんでした\n");
    return 0;
  }
  job.cursor = PngWriteCursor{output.get(), capacity, 0, true, nullptr};

  LayerTexts texts;
  if (hasLayerValues(image)) {
    layerNameExtension(image, "png");
    try {
      texts = LayerTexts{image->name, formatHex(image->left), formatHex(image->top),
                         formatDecimal(image->mode)};
    } catch (const std::bad_alloc&) {
      ImageMessage(kImageMessageOut, "PNG: メモリを確保出来ませんでした\n");
      return 0;
    }
    setText(&job.texts[0], "Name", texts.name);
    setText(&job.texts[1], "Left", texts.left);
    setText(&job.texts[2], "Top", texts.top);
    setText(&job.texts[3], "Mode", texts.mode);
    job.textCount = 4;
  }

  AlignedPtr<uint8_t> row;
  if (const size_t bytes = rowBytesPerPixel(job.source)) {
    row = makeAligned<uint8_t>(size_t(image->width) * bytes);
    if (!row) {
      ImageMessage(kImageMessageOut, "malloc line\n");
      return 0;
    }
    job.row = row.get();
  }

  const WriteResult result = writePng(&job);
  AlignedPtr<uint8_t> grown(job.cursor.owned);  // the larger block, if the output moved
  if (result == WriteResult::NoWriteStruct) ImageMessage(kImageMessageOut, "png_create_write_struct\n");
  if (result == WriteResult::NoInfoStruct) ImageMessage(kImageMessageOut, "png_create_info_struct\n");
  if (result != WriteResult::Ok || job.cursor.length > 0x7FFFFFFFu) return 0;
  *buffer = grown ? grown.release() : output.release();
  *size = int32_t(job.cursor.length);
  return 1;
}

namespace {

int pngEncodeTo(const char* destination, Image* image, int32_t bitDepth, int32_t level, int32_t interlace,
                ImageBytes* out) {
  if (!image) {
    ImageMessage(kImageMessageOut, "PNG: \"%s\" 画像データが空です\n", destination);
    return 0;
  }
  uint8_t* buffer = nullptr;
  int32_t size = 0;
  if (!PngEncode(image, bitDepth, level, interlace, &buffer, &size)) return 0;
  ImageBytesTake(AlignedPtr<uint8_t>(buffer), std::size_t(size), out);
  return 1;
}

}  // namespace

int PngSaveToMemory(Image* image, int32_t bitDepth, int32_t level, int32_t interlace, ImageBytes* out) {
  return pngEncodeTo(kMemoryDestination, image, bitDepth, level, interlace, out);
}

int PngSave(const char* path, Image* image, int32_t bitDepth, int32_t level, int32_t interlace) {
  ImageBytes bytes{};
  if (!pngEncodeTo(path, image, bitDepth, level, interlace, &bytes)) return 0;
  const int written = ImageWriteFile("PNG", path, bytes);
  ImageBytesFree(&bytes);
  return written;
}

int PngEncodeAlphaPlane(const Image* image, int32_t level, int32_t interlace, uint8_t* cursor,
                        int32_t* size) {
  if (!image || !image->pixels || !cursor || !size || *size <= 0) return 0;
  PngWriteJob job{};
  job.image = image;
  job.colourType = PNG_COLOR_TYPE_GRAY;
  job.source = RowSource::Alpha;
  job.level = level;
  job.interlace = interlace != 0;
  job.cursor = PngWriteCursor{cursor, size_t(*size), 0, false, nullptr};
  job.quiet = true;  // the JPEG writer tries it as one candidate among three
  AlignedPtr<uint8_t> row = makeAligned<uint8_t>(size_t(image->width));
  if (!row) return 0;
  job.row = row.get();
  if (writePng(&job) != WriteResult::Ok) return 0;
  *size = int32_t(job.cursor.length);
  return 1;
}

}  // namespace limg
