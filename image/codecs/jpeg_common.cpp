// libjpeg plumbing shared by the JPEG reader and writer: the marker walk, the error
// manager with its recovery point, and the bounded memory destination.
#include <cstring>

#include <jerror.h>

#include "image/aligned_alloc.h"
#include "image/codecs/jpeg_internal.h"

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

namespace {

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
