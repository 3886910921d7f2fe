#pragma once
// The bit writer and the channel coder of the TLG6 residual coding. Bits go from bit 0 of
// byte 0 upward; an m-bit field is written least significant bit first.
#include <cstddef>
#include <cstdint>

namespace limg {

struct TlgBitWriter {
  uint8_t* data = nullptr;  // zero-filled beyond the written bits
  uint32_t capacity = 0;
  uint32_t byteIndex = 0;
  uint32_t bitIndex = 0;  // 0-7

  TlgBitWriter() = default;
  ~TlgBitWriter();
  TlgBitWriter(const TlgBitWriter&) = delete;
  TlgBitWriter& operator=(const TlgBitWriter&) = delete;

  void putBit(int bit);
  void putBits(uint32_t value, int count);  // count 0-32
  void putGamma(uint32_t length);           // length >= 1
  void putWide(uint64_t value, int count);   // count 0-56, value already within count bits
  uint64_t bitCount() const { return uint64_t(byteIndex) * 8 + bitIndex; }
  uint32_t byteCount() const { return byteIndex + (bitIndex ? 1 : 0); }
  // Starts over for the next channel record, keeping the buffer (cleared again).
  void reset();

 private:
  void grow();  // prints and raises "SaveTLG6: Insufficient memory" when it can't
  void ensure(uint32_t bytes) {
    while (byteIndex + bytes >= capacity) grow();
  }
};

// Codes count signed residual bytes with a fresh adaptive state: start bit, alternating zero
// and non-zero runs (Elias gamma lengths), adaptive Golomb-Rice values with the escape form.
void TlgEncodeChannel(TlgBitWriter& writer, const int8_t* values, std::size_t count);

// The value code's mapping of a non-zero signed byte to t >= 0: 1 -> 1, -1 -> 0, 2 -> 3, -2 -> 2.
inline uint32_t TlgFoldResidual(int e) { return e > 0 ? uint32_t(2 * e - 1) : uint32_t(-2 * e - 2); }

// Raised (after printing it) by the TLG6 writer for its three failures.
void TlgThrowEncodeError(const char* message);

}  // namespace limg
