// The TLG container, the tags chunk and the reader entry.
#include <cstring>
#include <memory>
#include <new>
#include <new>

#include "image/aligned_alloc.h"
#include "image/tlg/tlg.h"
#include "image/tlg/tlg_decode.h"
#include "launcher/numbers.h"

namespace limg {

namespace {

constexpr uint32_t kTagsChunkName = 't' | 'a' << 8 | 'g' << 16 | uint32_t('s') << 24;

int32_t sizeImage(void* record, int32_t width, int32_t height, int32_t colours) {
  Image* image = static_cast<Image*>(record);
  const std::size_t pixelBytes = ImagePixelBlockBytes(width, height);
  if (pixelBytes == 0) return 0;
  const std::size_t words = std::size_t(width) * std::size_t(height) + std::size_t(width);
  uint32_t* pixels = static_cast<uint32_t*>(alignedAlloc(words * 4));
  if (!pixels) throw std::bad_alloc();
  alignedFree(image->pixels);
  image->pixels = pixels;
  image->width = width;
  image->height = height;
  image->bitDepth = colours * 8;
  image->pixelCount = width * height;
  std::memset(pixels + image->pixelCount, 0, std::size_t(width) * 4);
  return colours * 8;
}

uint32_t* scanlineImage(void* record, int32_t y) {
  Image* image = static_cast<Image*>(record);
  if (y < 0 || y >= image->height) return nullptr;
  return image->pixels + std::size_t(y) * std::size_t(image->width);
}

int32_t littleInt32(const char* p) {
  const uint8_t* b = reinterpret_cast<const uint8_t*>(p);
  return int32_t(uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24);
}

// Copies a name value up to its first zero byte, cut to what the record holds without
// splitting a two-byte character.
void setName(Image* image, const char* value, uint32_t length) {
  const std::size_t capacity = sizeof(image->name) - 1;
  std::size_t n = 0;
  while (n < length && value[n] != 0) ++n;
  if (n > capacity) {
    std::size_t cut = 0;
    while (cut < capacity) {
      const std::size_t step = isLeadByte(uint8_t(value[cut])) ? 2 : 1;
      if (cut + step > capacity) break;
      cut += step;
    }
    n = cut;
  }
  std::memcpy(image->name, value, n);
  image->name[n] = 0;
}

void tagImage(void* record, const char* key, uint32_t keyLength, const char* value,
              uint32_t valueLength) {
  Image* image = static_cast<Image*>(record);
  if (keyLength == 0) return;
  switch (uint8_t(key[0])) {
    case 1: setName(image, value, valueLength); break;
    case 2: if (valueLength >= 4) image->left = littleInt32(value); break;
    case 3: if (valueLength >= 4) image->top = littleInt32(value); break;
    case 4: if (valueLength >= 4) image->mode = littleInt32(value); break;
    default: break;  // other keys carry nothing the record holds
  }
}

const TlgCallbacks kImageCallbacks = {sizeImage, scanlineImage, tagImage};

// A run of decimal digits; no digits read as 0. Saturates far above any length in range.
uint64_t readLength(const uint8_t* data, uint32_t end, uint32_t& p) {
  uint64_t value = 0;
  while (p < end && data[p] >= '0' && data[p] <= '9') {
    if (value < (uint64_t(1) << 40)) value = value * 10 + (data[p] - '0');
    ++p;
  }
  return value;
}

// Entries are "keyLength:key=valueLength:value,"; an entry whose lengths run past the chunk
// ends the parse. Separators are skipped unexamined.
void parseTags(const TlgCallbacks& callbacks, void* image, const uint8_t* data, uint32_t end) {
  std::unique_ptr<char[]> key, value;
  uint32_t p = 0;
  while (p < end) {
    const uint64_t keyLength = readLength(data, end, p);
    const uint64_t keyStart = uint64_t(p) + 1;
    if (keyStart + keyLength > end) return;
    p = uint32_t(keyStart + keyLength) + 1;
    const uint64_t valueLength = p < end ? readLength(data, end, p) : 0;
    const uint64_t valueStart = uint64_t(p) + 1;
    if (valueStart + valueLength > end) return;
    key.reset(new char[keyLength + 1]);
    value.reset(new char[valueLength + 1]);
    std::memcpy(key.get(), data + keyStart, std::size_t(keyLength));
    std::memcpy(value.get(), data + valueStart, std::size_t(valueLength));
    key[keyLength] = 0;
    value[valueLength] = 0;
    callbacks.tag(image, key.get(), uint32_t(keyLength), value.get(), uint32_t(valueLength));
    p = uint32_t(valueStart + valueLength) + 1;
  }
}

// Reads a magic and runs the matching pixel decoder. True when the picture decoded.
bool decodePixels(const TlgCallbacks& callbacks, void* image, TlgMemoryStream& stream,
                  const TlgRoutines& routines) {
  uint8_t magic[11];
  if (stream.read(magic, 11) != 11) return false;
  if (std::memcmp(magic, kTlg5Magic, 11) == 0) return Tlg5Decode(callbacks, image, stream, routines);
  if (std::memcmp(magic, kTlg6Magic, 11) == 0) return Tlg6Decode(callbacks, image, stream, routines);
  return false;
}

void readChunks(const TlgCallbacks& callbacks, void* image, TlgMemoryStream& stream) {
  for (;;) {
    uint8_t name[4];
    if (stream.read(name, 4) != 4) return;
    const uint32_t chunkName = uint32_t(name[0]) | uint32_t(name[1]) << 8 |
                               uint32_t(name[2]) << 16 | uint32_t(name[3]) << 24;
    if (stream.remaining() < 4) return;
    const uint32_t chunkSize = stream.read32();
    if (chunkName == kTagsChunkName) {
      // Only the bytes actually present are parsed.
      const uint32_t n = chunkSize < stream.remaining() ? chunkSize : stream.remaining();
      parseTags(callbacks, image, stream.data + stream.position, n);
    }
    if (stream.seek(chunkSize, 1) != 0) return;
  }
}

void dropPixels(Image* image) {
  alignedFree(image->pixels);
  image->pixels = nullptr;
  image->width = image->height = image->pixelCount = image->bitDepth = 0;
}

struct RecordDeleter {
  void operator()(Image* image) const { ImageDestroy(&image); }
};

}  // namespace

const TlgCallbacks& TlgImageCallbacks() { return kImageCallbacks; }

void TlgInitRoutines() { TlgActiveRoutines(); }

// A function-local static rather than std::call_once: the static's guard is thread-safe on
// every toolchain we build with, while the win32-thread-model C++ library has only the
// single-threaded call_once, which throws when a second thread arrives during the set-up
// (imagetool's batch workers are Win32 threads there).
const TlgRoutines& TlgActiveRoutines() {
  static const TlgRoutines routines = TlgSelectRoutines(TlgProbeCpu());
  return routines;
}

namespace {

Image* loadRecord(const uint8_t* data, int32_t length, const TlgRoutines& routines) {
  static const uint8_t kEmpty = 0;
  if (!data) data = &kEmpty;
  std::unique_ptr<Image, RecordDeleter> image(ImageNewRecord());
  if (!image) return nullptr;
  TlgMemoryStream stream{data, uint32_t(length), 0};
  const TlgCallbacks& callbacks = kImageCallbacks;
  uint8_t magic[11];
  bool decoded = false;
  if (stream.read(magic, 11) == 11 && std::memcmp(magic, kTlgContainerMagic, 11) == 0) {
    const uint32_t rawLength = stream.read32();
    decoded = decodePixels(callbacks, image.get(), stream, routines);
    if (!decoded) dropPixels(image.get());
    if (stream.seek(int64_t(15) + rawLength, 0) == 0) readChunks(callbacks, image.get(), stream);
  } else {
    stream.seek(0, 0);
    decoded = decodePixels(callbacks, image.get(), stream, routines);
    if (!decoded) dropPixels(image.get());
  }
  return image.release();
}

}  // namespace

// The decoders raise std::bad_alloc when memory runs out, after freeing their buffers; here
// it becomes the failure result like any other.
Image* TlgLoadFromMemoryWith(const uint8_t* data, int32_t length, const TlgRoutines& routines) {
  if ((!data && length != 0) || length < 0) return nullptr;
  try {
    return loadRecord(data, length, routines);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

Image* TlgLoadFromMemory(const uint8_t* data, int32_t size) {
  return TlgLoadFromMemoryWith(data, size, TlgActiveRoutines());
}

}  // namespace limg
