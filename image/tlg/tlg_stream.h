#pragma once
// In-memory byte streams of the TLG codec: a bounded reader over the caller's bytes and a
// growing writer. Multi-byte values are little-endian.
#include <cstddef>
#include <cstdint>

namespace limg {

struct TlgMemoryStream {
  const uint8_t* data;  // not owned
  uint32_t size;
  uint32_t position;

  // Copies min(n, size - position) bytes and advances; -1 with nothing read for a null buffer.
  int32_t read(void* buffer, uint32_t n);
  // Reads 4 bytes as a little-endian word; missing bytes past the end read as zero.
  uint32_t read32();
  uint8_t read8();  // 0 past the end
  // origin 0: from the start, 1: from the position, 2: from the end. A target beyond the
  // end leaves position = size and returns -1; an unknown origin returns -1.
  int32_t seek(int64_t offset, int origin);
  uint32_t tell() const { return position; }
  uint32_t remaining() const { return size - position; }
};

// Writes never drop bytes: the buffer grows (an owned copy is made of a caller's buffer when
// it is full). A writer that can't grow raises std::bad_alloc.
struct TlgMemoryWriter {
  uint8_t* data = nullptr;
  uint32_t capacity = 0;
  uint32_t position = 0;  // bytes written so far (the write index)
  bool owned = false;

  TlgMemoryWriter() = default;
  explicit TlgMemoryWriter(uint32_t initialCapacity);          // owned buffer
  TlgMemoryWriter(uint8_t* buffer, uint32_t bufferCapacity);    // caller's buffer
  ~TlgMemoryWriter();
  TlgMemoryWriter(const TlgMemoryWriter&) = delete;
  TlgMemoryWriter& operator=(const TlgMemoryWriter&) = delete;

  void write(const void* bytes, uint32_t n);  // a null source writes nothing
  void write8(uint8_t v);
  void write32(uint32_t v);
  // Overwrites 4 bytes at an offset already written (placeholders such as lengths).
  void patch32(uint32_t offset, uint32_t v);
  // The end of the written data (position) is also the size of the result.
  uint32_t size() const { return position; }

 private:
  void reserve(uint64_t needed);
};

// The codec's 11-byte magics.
extern const uint8_t kTlgContainerMagic[11];  // "TLG0.0\0sds\x1a"
extern const uint8_t kTlg5Magic[11];          // "TLG5.0\0raw\x1a"
extern const uint8_t kTlg6Magic[11];          // "TLG6.0\0raw\x1a"

}  // namespace limg
