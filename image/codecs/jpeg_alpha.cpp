// The alpha plane of the "ALP" segment: finding it (appended after the JPEG stream, or
// embedded in marker segments), and its three codings: grey JPEG, zlib stream, grey PNG.
#include <algorithm>
#include <cstring>

#include <zlib.h>

#include "image/aligned_alloc.h"
#include "image/codecs/jpeg.h"
#include "image/codecs/jpeg_internal.h"
#include "image/codecs/png.h"

namespace limg {

namespace {

constexpr uint32_t kFirstSegmentRoom = 0xFFF5;  // 65535 - 2 length bytes - 8 header bytes
constexpr uint32_t kNextSegmentRoom = 0xFFFD;   // 65535 - 2 length bytes

uint32_t readBe16(const uint8_t* p) { return uint32_t(p[0]) << 8 | p[1]; }

// Markers that stand alone, without a length: TEM, RSTn, SOI, EOI.
bool hasNoLength(uint8_t marker) { return marker == 0x01 || (marker >= 0xD0 && marker <= 0xD9); }

// Joins an embedded plane of total bytes: the part after the 8-byte header of the segment
// at `at`, then the payloads of the following marker segments in file order. Null when
// the segments end before the plane does.
uint8_t* gatherEmbeddedPlane(const uint8_t* data, int32_t size, int32_t at, uint32_t total) {
  if (total == 0 || total > uint32_t(size)) return nullptr;
  AlignedPtr<uint8_t> plane = makeAligned<uint8_t>(total);
  if (!plane) return nullptr;
  const size_t end = size_t(size);
  size_t length = readBe16(data + at + 2);  // checked >= 10 by the caller
  size_t got = std::min<size_t>({total, kFirstSegmentRoom, length - 10, end - (size_t(at) + 12)});
  std::memcpy(plane.get(), data + at + 12, got);
  size_t position = size_t(at) + 2 + length;
  while (got < total) {
    while (position + 1 < end && data[position] == 0xFF && data[position + 1] == 0xFF) ++position;
    if (position + 4 > end || data[position] != 0xFF || hasNoLength(data[position + 1])) return nullptr;
    length = readBe16(data + position + 2);
    if (length < 2) return nullptr;
    const size_t take = std::min<size_t>({total - got, kNextSegmentRoom, length - 2, end - (position + 4)});
    if (take == 0) return nullptr;
    std::memcpy(plane.get() + got, data + position + 4, take);
    got += take;
    position += 2 + length;
  }
  return plane.release();
}

// Decodes a coded plane (JPEG, zlib or PNG) of exactly width x height bytes.
uint8_t* decodeCodedPlane(uint8_t coding, const uint8_t* data, int32_t size, int32_t width, int32_t height) {
  switch (coding) {
    case kAlphaJpeg: return JpegDecodeGreyPlane(data, size, nullptr, nullptr, width, height);
    case kAlphaZlib: return ZlibDecodePlane(data, size, width * height);
    case kAlphaPng: return PngDecodeGreyPlane(data, size, nullptr, nullptr, width, height);
    default: return nullptr;
  }
}

struct GreyReadJob {
  JpegErrorManager error;
  jpeg_decompress_struct cinfo;
  uint8_t* plane;
  int32_t width;
  int32_t height;
};

// Plain C between the recovery point and the last libjpeg call.
int decodeGreyScanlines(GreyReadJob* job, const uint8_t* data, int32_t size, int32_t expectWidth,
                        int32_t expectHeight) {
  jpeg_decompress_struct* cinfo = &job->cinfo;
  cinfo->err = jpegInstallErrorManager(&job->error);
  if (setjmp(job->error.recovery)) {
    jpeg_destroy_decompress(cinfo);
    return 0;
  }
  jpeg_create_decompress(cinfo);
  jpeg_mem_src(cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(cinfo, TRUE);
  cinfo->dct_method = JDCT_FLOAT;
  cinfo->out_color_space = JCS_GRAYSCALE;
  const JDIMENSION width = cinfo->image_width, height = cinfo->image_height;
  const bool sizeOk = (expectWidth <= 0 || width == JDIMENSION(expectWidth)) &&
                      (expectHeight <= 0 || height == JDIMENSION(expectHeight)) &&
                      uint64_t(width) * height <= 0x7FFFFFFFu;
  if (!sizeOk) {
    jpeg_destroy_decompress(cinfo);
    return 0;
  }
  jpeg_start_decompress(cinfo);
  if (cinfo->output_components != 1 || cinfo->output_width != width || cinfo->output_height != height) {
    jpeg_destroy_decompress(cinfo);
    return 0;
  }
  job->plane = static_cast<uint8_t*>(alignedAlloc(size_t(width) * height));
  if (!job->plane) {
    jpeg_destroy_decompress(cinfo);
    return 0;
  }
  while (cinfo->output_scanline < height) {
    JSAMPROW row = job->plane + size_t(cinfo->output_scanline) * width;
    jpeg_read_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_decompress(cinfo);
  jpeg_destroy_decompress(cinfo);
  job->width = int32_t(width);
  job->height = int32_t(height);
  return 1;
}

struct AlphaWriteJob {
  JpegErrorManager error;
  jpeg_compress_struct cinfo;
  JpegMemoryDestination dest;
  uint8_t* row;
};

// Plain C between the recovery point and the last libjpeg call.
int encodeAlphaScanlines(AlphaWriteJob* job, const Image* image, int32_t quality, int32_t flags,
                         uint8_t* buffer, size_t capacity) {
  jpeg_compress_struct* cinfo = &job->cinfo;
  cinfo->err = jpegInstallErrorManager(&job->error);
  job->error.quiet = true;  // a plane that doesn't fit is simply not chosen
  if (setjmp(job->error.recovery)) {
    jpeg_destroy_compress(cinfo);
    return 0;
  }
  jpeg_create_compress(cinfo);
  jpegSetDestination(cinfo, &job->dest, buffer, capacity, false);
  cinfo->image_width = JDIMENSION(image->width);
  cinfo->image_height = JDIMENSION(image->height);
  cinfo->input_components = 1;
  cinfo->in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, quality, TRUE);
  cinfo->dct_method = JDCT_FLOAT;
  if (flags == kJpegOptimizeHuffman) cinfo->optimize_coding = TRUE;
  if (flags == kJpegProgressive) jpeg_simple_progression(cinfo);
  cinfo->write_JFIF_header = FALSE;
  jpeg_start_compress(cinfo, TRUE);
  const auto* bytes = reinterpret_cast<const uint8_t*>(image->pixels);
  while (cinfo->next_scanline < cinfo->image_height) {
    const uint8_t* pixel = bytes + size_t(cinfo->next_scanline) * image->width * 4;
    for (int32_t x = 0; x < image->width; ++x) job->row[x] = pixel[4 * x + 3];
    JSAMPROW row = job->row;
    jpeg_write_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_compress(cinfo);
  jpeg_destroy_compress(cinfo);
  return 1;
}

}  // namespace

uint8_t* JpegFindAlphaPlane(const uint8_t* data, int32_t size, int32_t width, int32_t height) {
  if (!data || width <= 0 || height <= 0 || int64_t(width) * height > 0x7FFFFFFF) return nullptr;
  const int32_t at = jpegFindMarker(data, size, 0xE2, 0xE2);
  if (at < 0 || int64_t(at) + 12 > size || readBe16(data + at + 2) < 10) return nullptr;
  const uint8_t* header = data + at + 4;
  if (std::memcmp(header, "ALP", 3) != 0) return nullptr;  // the first APP2 decides
  const uint8_t type = header[3];
  const uint32_t value = readLe32(header + 4);
  if (type >= kAlphaAppended) {
    // Appended: from the offset to the end of the file.
    if (value >= uint32_t(size) || type > (kAlphaAppended | kAlphaPng) || type == kAlphaAppended)
      return nullptr;
    return decodeCodedPlane(type & 0x0F, data + value, int32_t(uint32_t(size) - value), width, height);
  }
  if (type > kAlphaPng) return nullptr;
  AlignedPtr<uint8_t> plane(gatherEmbeddedPlane(data, size, at, value));
  if (!plane) return nullptr;
  if (type == kAlphaRaw) {
    // Raw bytes: one per pixel, so a shorter plane can't be used.
    return value >= uint32_t(width) * uint32_t(height) ? plane.release() : nullptr;
  }
  return decodeCodedPlane(type, plane.get(), int32_t(value), width, height);
}

uint8_t* JpegDecodeGreyPlane(const uint8_t* data, int32_t size, int32_t* width, int32_t* height,
                             int32_t expectWidth, int32_t expectHeight) {
  int32_t frameWidth = 0, frameHeight = 0;
  if (!data || !jpegFrameFitsData(data, size, &frameWidth, &frameHeight)) return nullptr;
  GreyReadJob job{};
  if (!decodeGreyScanlines(&job, data, size, expectWidth, expectHeight)) {
    alignedFree(job.plane);
    return nullptr;
  }
  if (width) *width = job.width;
  if (height) *height = job.height;
  return job.plane;
}

uint8_t* ZlibDecodePlane(const uint8_t* data, int32_t size, int32_t n) {
  if (!data || size <= 0 || n <= 0) return nullptr;
  // Deflate gives at most 1032 bytes for one: fewer bytes can't be the plane.
  if (uint64_t(n) > (uint64_t(size) + 1) * 1032) return nullptr;
  const size_t capacity = size_t(n) + size_t(n) / 8 + 12;
  AlignedPtr<uint8_t> plane = makeAligned<uint8_t>(capacity);
  if (!plane) return nullptr;
  uLongf length = uLongf(capacity);
  if (uncompress(plane.get(), &length, data, uLong(size)) != Z_OK) return nullptr;
  // A plane of another size than the picture is refused.
  return length == uLongf(n) ? plane.release() : nullptr;
}

int JpegEncodeAlphaPlane(const Image* image, int32_t quality, int32_t flags, uint8_t* buffer,
                         uint32_t* size) {
  if (!image || !image->pixels || !buffer || !size || *size == 0) return 0;
  AlphaWriteJob job{};
  AlignedPtr<uint8_t> row = makeAligned<uint8_t>(size_t(image->width));
  if (!row) return 0;
  job.row = row.get();
  if (!encodeAlphaScanlines(&job, image, quality, flags, buffer, *size)) return 0;
  *size = uint32_t(job.dest.length);
  return 1;
}

int ZlibEncodeAlphaPlane(const Image* image, int32_t level, uint8_t* buffer, uint32_t* size) {
  if (!image || !image->pixels || !buffer || !size) return 0;
  const size_t n = size_t(image->pixelCount);
  AlignedPtr<uint8_t> alpha = makeAligned<uint8_t>(n);
  if (!alpha) return 0;
  const auto* bytes = reinterpret_cast<const uint8_t*>(image->pixels);
  for (size_t i = 0; i < n; ++i) alpha[i] = bytes[4 * i + 3];
  uLongf length = *size;
  if (compress2(buffer, &length, alpha.get(), uLong(n), level) != Z_OK) return 0;
  *size = uint32_t(length);
  return 1;
}

}  // namespace limg
