#include "image/tlg/tlg_stream.h"

#include <cstring>
#include <new>

#include "image/aligned_alloc.h"

namespace limg {

const uint8_t kTlgContainerMagic[11] = {'T', 'L', 'G', '0', '.', '0', 0, 's', 'd', 's', 0x1a};
const uint8_t kTlg5Magic[11] = {'T', 'L', 'G', '5', '.', '0', 0, 'r', 'a', 'w', 0x1a};
const uint8_t kTlg6Magic[11] = {'T', 'L', 'G', '6', '.', '0', 0, 'r', 'a', 'w', 0x1a};

int32_t TlgMemoryStream::read(void* buffer, uint32_t n) {
  if (!buffer) return -1;
  const uint32_t count = n < size - position ? n : size - position;
  std::memcpy(buffer, data + position, count);
  position += count;
  return int32_t(count);
}

uint32_t TlgMemoryStream::read32() {
  uint8_t b[4] = {0, 0, 0, 0};
  read(b, 4);
  return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

uint8_t TlgMemoryStream::read8() {
  uint8_t b = 0;
  read(&b, 1);
  return b;
}

int32_t TlgMemoryStream::seek(int64_t offset, int origin) {
  int64_t base;
  switch (origin) {
    case 0: base = 0; break;
    case 1: base = position; break;
    case 2: base = size; break;
    default: return -1;
  }
  const int64_t target = base + offset;
  if (target < 0) return -1;
  if (target > int64_t(size)) {
    position = size;
    return -1;
  }
  position = uint32_t(target);
  return 0;
}

TlgMemoryWriter::TlgMemoryWriter(uint32_t initialCapacity) : owned(true) {
  data = static_cast<uint8_t*>(alignedAlloc(initialCapacity));
  if (!data) throw std::bad_alloc();
  capacity = initialCapacity;
}

TlgMemoryWriter::TlgMemoryWriter(uint8_t* buffer, uint32_t bufferCapacity)
    : data(buffer), capacity(bufferCapacity), owned(false) {}

TlgMemoryWriter::~TlgMemoryWriter() {
  if (owned) alignedFree(data);
}

void TlgMemoryWriter::reserve(uint64_t needed) {
  if (needed <= capacity) return;
  if (needed > 0xFFFFFFFFull) throw std::bad_alloc();
  uint64_t grown = uint64_t(capacity) * 2;
  if (grown < needed) grown = needed;
  if (grown < 4096) grown = 4096;
  if (grown > 0xFFFFFFFFull) grown = 0xFFFFFFFFull;
  uint8_t* bigger = static_cast<uint8_t*>(alignedAlloc(std::size_t(grown)));
  if (!bigger) throw std::bad_alloc();
  if (position) std::memcpy(bigger, data, position);
  if (owned) alignedFree(data);
  data = bigger;
  capacity = uint32_t(grown);
  owned = true;
}

void TlgMemoryWriter::write(const void* bytes, uint32_t n) {
  if (!bytes || n == 0) return;
  reserve(uint64_t(position) + n);
  std::memcpy(data + position, bytes, n);
  position += n;
}

void TlgMemoryWriter::write8(uint8_t v) { write(&v, 1); }

void TlgMemoryWriter::write32(uint32_t v) {
  const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
  write(b, 4);
}

void TlgMemoryWriter::patch32(uint32_t offset, uint32_t v) {
  if (uint64_t(offset) + 4 > position) return;
  for (int i = 0; i < 4; ++i) data[offset + i] = uint8_t(v >> (8 * i));
}

}  // namespace limg
