// JPEG reading: probe, decode through libjpeg (float DCT, B, G, R, X rows straight into
// the pixel block), the "pos" layer segment and the alpha plane.
#include <algorithm>
#include <cstring>

#include "image/aligned_alloc.h"
#include "image/codecs/jpeg.h"
#include "image/codecs/jpeg_internal.h"

namespace limg {

namespace {

struct JpegReadJob {
  JpegErrorManager error;
  jpeg_decompress_struct cinfo;
  uint8_t* row;  // grey rows, then expanded into pixels
};

// Layer values from the first kept marker when it is a "pos" segment.
void readPositionSegment(const jpeg_saved_marker_ptr marker, Image* image) {
  if (!marker || marker->marker != JPEG_APP0 + 1 || marker->data_length < 16 ||
      std::memcmp(marker->data, "pos", 4) != 0)
    return;
  const uint8_t* payload = marker->data;
  image->left = int32_t(readLe32(payload + 4));
  image->top = int32_t(readLe32(payload + 8));
  image->mode = int32_t(readLe32(payload + 12));
  // The name runs to its NUL, but never past the segment or the record.
  const size_t room = std::min<size_t>(marker->data_length - 16, sizeof image->name - 1);
  const void* end = std::memchr(payload + 16, 0, room);
  const size_t length = end ? size_t(static_cast<const uint8_t*>(end) - (payload + 16)) : room;
  std::memcpy(image->name, payload + 16, length);
  image->name[length] = '\0';
}

void expandGreyRow(const uint8_t* grey, int32_t width, uint32_t* pixels) {
  for (int32_t x = 0; x < width; ++x) pixels[x] = 0xFF000000u | uint32_t(grey[x]) * 0x010101u;
}

uint8_t inkToLevel(uint32_t ink, uint32_t key) { return uint8_t((ink * key + 127) / 255); }

// Four-component rows (CMYK, or YCCK turned into CMYK by libjpeg) become B, G, R, 255 in
// place. Adobe's files store the inks inverted (0 = full ink), the common case.
void cmykRowToBgra(uint8_t* row, int32_t width, bool inverted) {
  for (int32_t x = 0; x < width; ++x, row += 4) {
    uint32_t c = row[0], m = row[1], y = row[2], k = row[3];
    if (!inverted) c = 255 - c, m = 255 - m, y = 255 - y, k = 255 - k;
    row[0] = inkToLevel(y, k);
    row[1] = inkToLevel(m, k);
    row[2] = inkToLevel(c, k);
    row[3] = 255;
  }
}

// The libjpeg part of the decode. Plain C between the recovery point and the last
// libjpeg call: this frame and the callbacks hold nothing a longjmp could skip.
int decodeScanlines(JpegReadJob* job, Image* image, const uint8_t* data, int32_t size) {
  jpeg_decompress_struct* cinfo = &job->cinfo;
  cinfo->err = jpegInstallErrorManager(&job->error);
  if (setjmp(job->error.recovery)) {
    jpeg_destroy_decompress(cinfo);
    return 20;
  }
  jpeg_create_decompress(cinfo);
  jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
  for (int app = 1; app <= 11; ++app) jpeg_save_markers(cinfo, JPEG_APP0 + app, 0xFFFF);
  jpeg_read_header(cinfo, TRUE);
  cinfo->dct_method = JDCT_FLOAT;
  const bool grey = cinfo->jpeg_color_space == JCS_GRAYSCALE;
  const bool cmyk = cinfo->jpeg_color_space == JCS_CMYK || cinfo->jpeg_color_space == JCS_YCCK;
  cinfo->out_color_space = grey ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_EXT_BGRX;
  jpeg_start_decompress(cinfo);
  // The rows land in the block made from the probe: the frame must be exactly that size.
  const int components = grey ? 1 : 4;
  if (cinfo->output_width != JDIMENSION(image->width) || cinfo->output_height != JDIMENSION(image->height) ||
      cinfo->output_components != components) {
    jpeg_destroy_decompress(cinfo);
    return 20;
  }
  readPositionSegment(cinfo->marker_list, image);
  if (grey) {
    job->row = static_cast<uint8_t*>(alignedAlloc(size_t(image->width)));
    if (!job->row) {
      jpeg_destroy_decompress(cinfo);
      return 20;
    }
  }
  while (cinfo->output_scanline < cinfo->output_height) {
    uint32_t* pixels = image->pixels + size_t(cinfo->output_scanline) * image->width;
    JSAMPROW row = grey ? job->row : reinterpret_cast<JSAMPROW>(pixels);
    jpeg_read_scanlines(cinfo, &row, 1);
    if (grey) expandGreyRow(job->row, image->width, pixels);
    if (cmyk) cmykRowToBgra(row, image->width, cinfo->saw_Adobe_marker);
  }
  jpeg_finish_decompress(cinfo);
  jpeg_destroy_decompress(cinfo);
  return 0;
}

}  // namespace

void JpegProbe(const uint8_t* data, int32_t size, int32_t* width, int32_t* height) {
  jpegFrameFitsData(data, size, width, height);
}

int JpegDecode(Image* image, const uint8_t* data, int32_t size) {
  if (!image || !data || size <= 0) return 20;
  JpegReadJob job{};
  const int result = decodeScanlines(&job, image, data, size);
  alignedFree(job.row);
  if (result != 0) return result;
  // A missing or unreadable alpha plane is no error: the picture stays opaque.
  if (uint8_t* alpha = JpegFindAlphaPlane(data, size, image->width, image->height)) {
    auto* bytes = reinterpret_cast<uint8_t*>(image->pixels);
    for (int32_t i = 0; i < image->pixelCount; ++i) bytes[4 * size_t(i) + 3] = alpha[i];
    alignedFree(alpha);
    image->bitDepth = 32;
  }
  return 0;
}

Image* JpegLoadFromMemory(const uint8_t* data, int32_t size) {
  int32_t width = 0, height = 0;
  JpegProbe(data, size, &width, &height);
  if (width == 0 || height == 0) return nullptr;
  Image* image = ImageCreate(width, height, 24);
  if (!image) return nullptr;
  if (JpegDecode(image, data, size) != 0) ImageDestroy(&image);
  return image;
}

}  // namespace limg
