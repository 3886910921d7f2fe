#include "image/tlg/tlg_bit_writer.h"

#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "image/aligned_alloc.h"
#include "image/message.h"
#include "image/tlg/tlg_tables.h"

namespace limg {

namespace {

constexpr uint32_t kGrowStep = 4096;
static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "putWide stores little-endian words");

inline int floorLog2(uint32_t v) { return 31 - __builtin_clz(v); }

}  // namespace

void TlgThrowEncodeError(const char* message) {
  ImageMessage(kImageMessageOut, "%s\n", message);
  throw std::runtime_error(message);
}

TlgBitWriter::~TlgBitWriter() { alignedFree(data); }

void TlgBitWriter::grow() {
  if (capacity > 0xFFFFFFFFu - kGrowStep) TlgThrowEncodeError("SaveTLG6: Insufficient memory");
  const uint32_t bigger = capacity + kGrowStep;
  uint8_t* fresh = static_cast<uint8_t*>(alignedAlloc(bigger));
  if (!fresh) TlgThrowEncodeError("SaveTLG6: Insufficient memory");
  if (capacity) std::memcpy(fresh, data, capacity);
  std::memset(fresh + capacity, 0, kGrowStep);
  alignedFree(data);
  data = fresh;
  capacity = bigger;
}

void TlgBitWriter::reset() {
  if (data) std::memset(data, 0, byteCount() < capacity ? byteCount() : capacity);
  byteIndex = 0;
  bitIndex = 0;
}

void TlgBitWriter::putBit(int bit) {
  ensure(1);
  if (bit) data[byteIndex] |= uint8_t(1u << bitIndex);
  if (++bitIndex == 8) {
    bitIndex = 0;
    ++byteIndex;
  }
}

void TlgBitWriter::putBits(uint32_t value, int count) {
  ensure(5);
  uint64_t bits = uint64_t(count < 32 ? value & ((1u << count) - 1) : value) << bitIndex;
  const uint32_t total = bitIndex + uint32_t(count);
  for (uint32_t i = byteIndex; bits; ++i, bits >>= 8) data[i] |= uint8_t(bits);
  byteIndex += total >> 3;
  bitIndex = total & 7;
}

void TlgBitWriter::putWide(uint64_t value, int count) {
  ensure(9);
  uint64_t word;  // the bytes past the written bits are zero, so OR-ing is enough
  std::memcpy(&word, data + byteIndex, 8);
  word |= value << bitIndex;  // little-endian order of the buffer
  std::memcpy(data + byteIndex, &word, 8);
  const uint32_t total = bitIndex + uint32_t(count);
  byteIndex += total >> 3;
  bitIndex = total & 7;
}

void TlgBitWriter::putGamma(uint32_t length) {
  const int m = floorLog2(length);
  // m zeros, then a 1, then the low m bits: one field of 2m + 1 bits, possibly over 32.
  const uint64_t field = (uint64_t(1) | uint64_t(length & ((uint64_t(1) << m) - 1)) << 1) << m;
  const int width = 2 * m + 1;
  if (width <= 32) {
    putBits(uint32_t(field), width);
  } else {
    putBits(uint32_t(field), 32);
    putBits(uint32_t(field >> 32), width - 32);
  }
}

void TlgEncodeChannel(TlgBitWriter& writer, const int8_t* values, std::size_t count) {
  if (count == 0) return;
  writer.putBit(values[0] != 0);
  int a = 0, n = 3;
  std::size_t i = 0;
  while (i < count) {
    std::size_t run = i;
    while (run < count && values[run] == 0) ++run;
    if (run > i) writer.putGamma(uint32_t(run - i));
    if (run == count) break;
    std::size_t end = run;
    while (end < count && values[end] != 0) ++end;
    writer.putGamma(uint32_t(end - run));
    for (std::size_t v = run; v < end; ++v) {
      const uint32_t t = TlgFoldResidual(values[v]);
      const int k = kTlgGolombBitLength[a][n];
      const uint32_t q = t >> k;
      if (writer.bitIndex + q >= 32) {
        // The zeros would fill this byte and the next three: write q as the fifth byte instead.
        writer.byteIndex += 4;
        writer.bitIndex = 0;
        writer.putBits(q, 8);
        writer.putBits(t, k);
      } else {
        // q zeros, the 1, then the low k bits of t, as one field
        const uint64_t field = (uint64_t(1) | uint64_t(t & ((1u << k) - 1)) << 1) << q;
        writer.putWide(field, int(q) + 1 + k);
      }
      a += int(t >> 1);
      if (--n < 0) {
        n = 3;
        a >>= 1;
      }
    }
    i = end;
  }
}

}  // namespace limg
