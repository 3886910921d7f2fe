// JPEG writing: the stream through libjpeg (float DCT, B, G, R, X rows straight from the
// pixel block), the "pos" layer segment, and the alpha plane appended in its smallest
// coding with its place patched into the "ALP" segment.
#include <cstdio>
#include <cstring>

#include "image/aligned_alloc.h"
#include "image/codecs/grey_level.h"
#include "image/codecs/jpeg.h"
#include "image/codecs/jpeg_internal.h"
#include "image/codecs/layer_name.h"
#include "image/codecs/png.h"
#include "image/message.h"
#include "image/save_file_internal.h"

namespace limg {

namespace {

constexpr size_t kPositionPayload = 256;
constexpr size_t kPositionNameRoom = kPositionPayload - 16 - 1;  // 239 bytes and the NUL

struct JpegWriteJob {
  JpegErrorManager error;
  jpeg_compress_struct cinfo;
  JpegMemoryDestination dest;
  const Image* image;
  int components;
  int32_t quality;
  int32_t flags;
  bool writePosition;
  bool writeAlpha;
  uint8_t position[kPositionPayload];
  uint8_t* row;  // grey rows; null for colour
};

void buildPositionPayload(const Image* image, uint8_t* payload) {
  std::memset(payload, 0, kPositionPayload);
  std::memcpy(payload, "pos", 4);
  writeLe32(payload + 4, uint32_t(image->left));
  writeLe32(payload + 8, uint32_t(image->top));
  writeLe32(payload + 12, uint32_t(image->mode));
  // A longer name is cut to the segment's room.
  const void* end = std::memchr(image->name, 0, sizeof image->name);
  size_t length = end ? size_t(static_cast<const char*>(end) - image->name) : sizeof image->name - 1;
  if (length > kPositionNameRoom) length = kPositionNameRoom;
  std::memcpy(payload + 16, image->name, length);
}

void setSampling(jpeg_compress_struct* cinfo, int32_t flags) {
  int h = 0, v = 0;
  switch (flags & 12) {
    case kJpegSampling420: h = 2, v = 2; break;
    case kJpegSampling422: h = 2, v = 1; break;
    case kJpegSampling444: h = 1, v = 1; break;
    default: return;  // the library's defaults
  }
  cinfo->comp_info[0].h_samp_factor = h;
  cinfo->comp_info[0].v_samp_factor = v;
  for (int c = 1; c < 3; ++c) cinfo->comp_info[c].h_samp_factor = cinfo->comp_info[c].v_samp_factor = 1;
}

// Plain C between the recovery point and the last libjpeg call.
int encodeScanlines(JpegWriteJob* job, uint8_t* buffer, size_t capacity) {
  jpeg_compress_struct* cinfo = &job->cinfo;
  cinfo->err = jpegInstallErrorManager(&job->error);
  if (setjmp(job->error.recovery)) {
    jpeg_destroy_compress(cinfo);
    return 0;
  }
  const Image* image = job->image;
  jpeg_create_compress(cinfo);
  jpegSetDestination(cinfo, &job->dest, buffer, capacity, true);
  cinfo->image_width = JDIMENSION(image->width);
  cinfo->image_height = JDIMENSION(image->height);
  cinfo->input_components = job->components;
  cinfo->in_color_space = job->components == 1 ? JCS_GRAYSCALE : JCS_EXT_BGRX;
  jpeg_set_defaults(cinfo);
  jpeg_set_quality(cinfo, job->quality, TRUE);
  cinfo->dct_method = JDCT_FLOAT;
  if ((job->flags & 3) == kJpegOptimizeHuffman) cinfo->optimize_coding = TRUE;
  if ((job->flags & 3) == kJpegProgressive) jpeg_simple_progression(cinfo);
  setSampling(cinfo, job->flags);
  jpeg_start_compress(cinfo, TRUE);
  if (job->writePosition) jpeg_write_marker(cinfo, JPEG_APP0 + 1, job->position, kPositionPayload);
  if (job->writeAlpha) {
    // Type and place are filled in once the plane is appended.
    static const JOCTET alphaHeader[8] = {'A', 'L', 'P', 0, 0, 0, 0, 0};
    jpeg_write_marker(cinfo, JPEG_APP0 + 2, alphaHeader, sizeof alphaHeader);
  }
  while (cinfo->next_scanline < cinfo->image_height) {
    const uint32_t* pixels = image->pixels + size_t(cinfo->next_scanline) * image->width;
    JSAMPROW row;
    if (job->row) {
      for (int32_t x = 0; x < image->width; ++x) job->row[x] = greyLevel(pixels[x]);
      row = job->row;
    } else {
      row = reinterpret_cast<JSAMPROW>(const_cast<uint32_t*>(pixels));
    }
    jpeg_write_scanlines(cinfo, &row, 1);
  }
  jpeg_finish_compress(cinfo);
  jpeg_destroy_compress(cinfo);
  return 1;
}

constexpr uint32_t kFailed = 0xFFFFFFFFu;

// One alpha candidate into a work block; its length, or kFailed when it failed or
// didn't fit.
uint32_t encodeCandidate(JpegAlphaCoding coding, const Image* image, int32_t quality, int32_t flags,
                         uint8_t* block, uint32_t capacity) {
  uint32_t length = capacity;
  switch (coding) {
    case JpegAlphaCoding::Jpeg:
      return JpegEncodeAlphaPlane(image, quality, flags, block, &length) ? length : kFailed;
    case JpegAlphaCoding::Zlib:
      return ZlibEncodeAlphaPlane(image, 9, block, &length) ? length : kFailed;
    case JpegAlphaCoding::Png: {
      int32_t pngLength = int32_t(capacity);
      return PngEncodeAlphaPlane(image, 9, 0, block, &pngLength) ? uint32_t(pngLength) : kFailed;
    }
    default:
      return kFailed;
  }
}

struct AlphaChoice {
  JpegAlphaCoding coding;
  const uint8_t* plane;
  uint32_t length;
};

// The smallest coding; among equal sizes zlib before PNG before JPEG.
AlphaChoice chooseSmallest(const Image* image, int32_t quality, int32_t flags, uint8_t* first,
                           uint8_t* second, uint32_t capacity) {
  const uint32_t j = encodeCandidate(JpegAlphaCoding::Jpeg, image, quality, flags, first, capacity);
  const uint32_t z = encodeCandidate(JpegAlphaCoding::Zlib, image, quality, flags, second, capacity);
  if (j < z) {
    const uint32_t p = encodeCandidate(JpegAlphaCoding::Png, image, quality, flags, second, capacity);
    if (j < p) return {JpegAlphaCoding::Jpeg, first, j};
    return {JpegAlphaCoding::Png, second, p};
  }
  const uint32_t p = encodeCandidate(JpegAlphaCoding::Png, image, quality, flags, first, capacity);
  if (p < z) return {JpegAlphaCoding::Png, first, p};
  return {JpegAlphaCoding::Zlib, second, z};
}

uint8_t appendedType(JpegAlphaCoding coding) {
  switch (coding) {
    case JpegAlphaCoding::Jpeg: return kAlphaAppended | kAlphaJpeg;
    case JpegAlphaCoding::Zlib: return kAlphaAppended | kAlphaZlib;
    default: return kAlphaAppended | kAlphaPng;
  }
}

// The output so far: the block holding it, its capacity, and whether it is ours.
struct Output {
  uint8_t* block;
  size_t capacity;
  size_t length;
  AlignedPtr<uint8_t> owned;  // set when block was allocated here
};

// Appends the plane, moving to a larger block when the stream's one is too small.
bool appendPlane(Output* out, const uint8_t* plane, uint32_t length) {
  if (out->capacity - out->length < length) {
    AlignedPtr<uint8_t> larger = makeAligned<uint8_t>(out->length + length);
    if (!larger) return false;
    std::memcpy(larger.get(), out->block, out->length);
    out->owned = std::move(larger);
    out->block = out->owned.get();
    out->capacity = out->length + length;
  }
  std::memcpy(out->block + out->length, plane, length);
  out->length += length;
  return true;
}

bool patchAlphaHeader(uint8_t* file, size_t streamLength, uint8_t type) {
  const int32_t at = jpegFindMarker(file, int32_t(streamLength), 0xE2, 0xE2);
  if (at < 0 || size_t(at) + 12 > streamLength || std::memcmp(file + at + 4, "ALP", 3) != 0) return false;
  file[at + 7] = type;
  writeLe32(file + at + 8, uint32_t(streamLength));
  return true;
}

void printNoMemory() { ImageMessage(kImageMessageOut, "JPEG: メモリを確保出来ませんでした\n"); }

}  // namespace

int jpegEncodeWith(Image* image, int32_t bitDepth, int32_t quality, int32_t flags, uint8_t** buffer,
                   uint32_t* size, JpegAlphaCoding coding) {
  if (!image || !image->pixels || !buffer || !size) return 0;
  if (bitDepth == 0) bitDepth = image->bitDepth;
  JpegWriteJob job{};
  job.image = image;
  job.components = bitDepth <= 8 ? 1 : 4;
  job.quality = quality;
  job.flags = flags;
  job.writeAlpha = (bitDepth & 0x20) != 0;

  Output out{*buffer, *size, 0, nullptr};
  if (!out.block) {
    out.capacity = size_t(image->height) * size_t(image->width) * size_t(job.components) + 1024;
    out.owned = makeAligned<uint8_t>(out.capacity);
    out.block = out.owned.get();
    if (!out.block) {
      printNoMemory();
      return 0;
    }
  }
  if (hasLayerValues(image)) {
    layerNameExtension(image, "jpg");
    buildPositionPayload(image, job.position);
    job.writePosition = true;
  }
  AlignedPtr<uint8_t> row;
  if (job.components == 1) {
    row = makeAligned<uint8_t>(size_t(image->width));
    if (!row) {
      printNoMemory();
      return 0;
    }
    job.row = row.get();
  }

  const int encoded = encodeScanlines(&job, out.block, out.capacity);
  AlignedPtr<uint8_t> grown(job.dest.owned);  // the larger block, if the stream moved
  if (!encoded) return 0;
  if (grown) {
    out.owned = std::move(grown);
    out.block = out.owned.get();
    out.capacity = job.dest.capacity;
  }
  out.length = job.dest.length;

  if (job.writeAlpha) {
    // Work blocks hold n + n/8 + 4 bytes plus room for the coding's fixed overhead, so
    // that even the smallest pictures have a plane that fits; a candidate that fails or
    // doesn't fit is never chosen.
    const size_t n = size_t(image->pixelCount);
    const size_t room = n + n / 8 + 1024;
    if (room > 0xFFFFFFFEu) {
      printNoMemory();
      return 0;
    }
    AlignedPtr<uint8_t> first = makeAligned<uint8_t>(room), second = makeAligned<uint8_t>(room);
    if (!first || !second) {
      printNoMemory();
      return 0;
    }
    AlphaChoice choice{coding, first.get(), kFailed};
    if (coding == JpegAlphaCoding::Smallest)
      choice = chooseSmallest(image, quality, flags, first.get(), second.get(), uint32_t(room));
    else
      choice.length = encodeCandidate(coding, image, quality, flags, first.get(), uint32_t(room));
    const size_t streamLength = out.length;
    if (choice.length == kFailed || !appendPlane(&out, choice.plane, choice.length) ||
        !patchAlphaHeader(out.block, streamLength, appendedType(choice.coding))) {
      printNoMemory();
      return 0;
    }
  }
  if (out.length > 0xFFFFFFFFu) return 0;
  *buffer = out.owned ? out.owned.release() : out.block;
  *size = uint32_t(out.length);
  return 1;
}

int JpegEncode(Image* image, int32_t bitDepth, int32_t quality, int32_t flags, uint8_t** buffer,
               uint32_t* size) {
  return jpegEncodeWith(image, bitDepth, quality, flags, buffer, size, JpegAlphaCoding::Smallest);
}

namespace {

int jpegEncodeTo(const char* destination, Image* image, int32_t bitDepth, int32_t quality, int32_t flags,
                 ImageBytes* out) {
  if (!image) {
    ImageMessage(kImageMessageOut, "JPEG: \"%s\" 画像データが空です\n", destination);
    return 0;
  }
  uint8_t* buffer = nullptr;
  uint32_t size = 0;
  if (!JpegEncode(image, bitDepth, quality, flags, &buffer, &size)) return 0;
  ImageBytesTake(AlignedPtr<uint8_t>(buffer), size, out);
  return 1;
}

}  // namespace

int JpegSaveToMemory(Image* image, int32_t bitDepth, int32_t quality, int32_t flags, ImageBytes* out) {
  return jpegEncodeTo(kMemoryDestination, image, bitDepth, quality, flags, out);
}

int JpegSave(const char* path, Image* image, int32_t bitDepth, int32_t quality, int32_t flags) {
  ImageBytes bytes{};
  if (!jpegEncodeTo(path, image, bitDepth, quality, flags, &bytes)) return 0;
  const int written = ImageWriteFile("JPEG", path, bytes);
  ImageBytesFree(&bytes);
  return written;
}

}  // namespace limg
