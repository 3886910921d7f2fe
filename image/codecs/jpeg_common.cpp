// libjpeg plumbing shared by the JPEG reader and writer: the marker walk, the error
// manager with its recovery point, and the bounded memory destination.
#include <algorithm>
#include <cstring>

#include <jerror.h>

#include "image/aligned_alloc.h"
#include "image/codecs/jpeg_internal.h"
#include "image/message.h"

namespace limg {

int32_t jpegFindMarker(const uint8_t* data, int32_t size, uint8_t lo, uint8_t hi) {
  if (!data) return -1;
  int64_t i = 2;
  while (i < size) {
    if (data[i] != 0xFF) {
      ++i;
      continue;
    }
    if (i + 1 >= size) return -1;
    const uint8_t marker = data[i + 1];
    if (marker >= lo && marker <= hi) return int32_t(i);
    if (marker == 0xFF) {  // a fill byte before the marker
      ++i;
      continue;
    }
    if (i + 3 >= size) return -1;
    // On to the byte after the segment. (Landing on its last byte instead would take a
    // segment ending in 0xFF, as ICC profiles often do, for the start of a marker.)
    i += (int64_t(data[i + 2]) << 8 | data[i + 3]) + 2;
  }
  return -1;
}

bool jpegFrameFitsData(const uint8_t* data, int32_t size, int32_t* width, int32_t* height) {
  *width = *height = 0;
  const int32_t at = jpegFindMarker(data, size, 0xC0, 0xC3);
  if (at < 0 || int64_t(at) + 10 > size) return false;
  const uint8_t* frame = data + at;
  const uint32_t h = uint32_t(frame[5]) << 8 | frame[6], w = uint32_t(frame[7]) << 8 | frame[8];
  const uint32_t components = frame[9];
  if (w == 0 || h == 0 || components == 0 || int64_t(at) + 10 + 3 * components > size) return false;
  uint32_t maxH = 1, maxV = 1;
  for (uint32_t c = 0; c < components; ++c) {
    const uint8_t sampling = frame[11 + 3 * c];
    // libjpeg takes factors 1-4; a 0 would also count no blocks at all.
    if ((sampling >> 4) < 1 || (sampling >> 4) > 4 || (sampling & 15) < 1 || (sampling & 15) > 4) return false;
    maxH = std::max<uint32_t>(maxH, sampling >> 4);
    maxV = std::max<uint32_t>(maxV, sampling & 15);
  }
  uint64_t blocks = 0;  // as libjpeg sizes each component: ceil(w * H / (maxH * 8)) blocks across
  for (uint32_t c = 0; c < components; ++c) {
    const uint8_t sampling = frame[11 + 3 * c];
    const uint64_t across = (uint64_t(w) * (sampling >> 4) + 8 * maxH - 1) / (8 * maxH);
    const uint64_t down = (uint64_t(h) * (sampling & 15) + 8 * maxV - 1) / (8 * maxV);
    blocks += across * down;
  }
  if (blocks > 8 * uint64_t(size - at)) return false;
  *width = int32_t(w);
  *height = int32_t(h);
  return true;
}

namespace {

// libjpeg's own texts go where the library's other messages go, still meant for stderr.
void outputMessage(j_common_ptr cinfo) {
  char text[JMSG_LENGTH_MAX];
  (*cinfo->err->format_message)(cinfo, text);
  ImageMessage(kImageMessageError, "%s\n", text);
}

void errorExit(j_common_ptr cinfo) {
  auto* manager = reinterpret_cast<JpegErrorManager*>(cinfo->err);
  if (!manager->quiet) (*cinfo->err->output_message)(cinfo);
  std::longjmp(manager->recovery, 1);
}

JpegMemoryDestination* destinationOf(j_compress_ptr cinfo) {
  return reinterpret_cast<JpegMemoryDestination*>(cinfo->dest);
}

void initDestination(j_compress_ptr cinfo) {
  JpegMemoryDestination* dest = destinationOf(cinfo);
  dest->pub.next_output_byte = dest->buffer;
  dest->pub.free_in_buffer = dest->capacity;
  dest->length = 0;
}

// Called with the whole block full.
boolean emptyOutputBuffer(j_compress_ptr cinfo) {
  JpegMemoryDestination* dest = destinationOf(cinfo);
  if (!dest->grow) ERREXIT(cinfo, JERR_BUFFER_SIZE);
  const size_t used = dest->capacity;
  if (used > (size_t(-1) >> 2)) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 10);
  const size_t capacity = used < 4096 ? 8192 : used * 2;
  auto* block = static_cast<uint8_t*>(alignedAlloc(capacity));
  if (!block) ERREXIT1(cinfo, JERR_OUT_OF_MEMORY, 10);
  std::memcpy(block, dest->buffer, used);
  alignedFree(dest->owned);
  dest->buffer = dest->owned = block;
  dest->capacity = capacity;
  dest->pub.next_output_byte = block + used;
  dest->pub.free_in_buffer = capacity - used;
  return TRUE;
}

void termDestination(j_compress_ptr cinfo) {
  JpegMemoryDestination* dest = destinationOf(cinfo);
  dest->length = dest->capacity - dest->pub.free_in_buffer;
}

}  // namespace

jpeg_error_mgr* jpegInstallErrorManager(JpegErrorManager* manager) {
  jpeg_std_error(&manager->pub);
  manager->pub.error_exit = errorExit;
  manager->pub.output_message = outputMessage;
  return &manager->pub;
}

void jpegSetDestination(j_compress_ptr cinfo, JpegMemoryDestination* dest, uint8_t* buffer,
                        size_t capacity, bool grow) {
  dest->pub.init_destination = initDestination;
  dest->pub.empty_output_buffer = emptyOutputBuffer;
  dest->pub.term_destination = termDestination;
  dest->buffer = buffer;
  dest->capacity = capacity;
  dest->owned = nullptr;
  dest->grow = grow;
  dest->length = 0;
  cinfo->dest = &dest->pub;
}

}  // namespace limg
