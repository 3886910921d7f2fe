#pragma once
// The LZSS compressor of the TLG codec. Its output is what TlgLzssDecode reads: a 4096-byte
// ring, groups of one flag byte (bit 0 first) and up to eight items, a literal being one byte
// and a match two bytes (12-bit ring position, length - 3 in the top nibble) or three bytes
// (top nibble 0xF, then length - 18) for lengths 3 to 273.
#include <cstddef>
#include <cstdint>
#include <memory>

namespace limg {

class SlideCompressor {
 public:
  static constexpr int kRingSize = 4096;
  static constexpr int kMaxMatch = 273;
  static constexpr int kMirror = kMaxMatch - 1;  // ring bytes 0..271 repeated after 4095

  // The state equals the decoder's zero ring with write index 0. Raises std::bad_alloc.
  SlideCompressor();
  virtual ~SlideCompressor();
  SlideCompressor(const SlideCompressor&) = delete;
  SlideCompressor& operator=(const SlideCompressor&) = delete;

  // Compresses length bytes, continuing from the current ring state. The bytes go to
  // output + *outCount and *outCount grows by their number, which is never more than
  // MaxOutput(length).
  void Encode(const uint8_t* input, std::size_t length, uint8_t* output, std::size_t* outCount);
  // Snapshot of the whole state for a trial compression, and its return.
  void Store();
  void Restore();

  // Worst case of the group format: every item a literal, one flag byte per eight.
  static constexpr std::size_t MaxOutput(std::size_t length) { return length + (length + 7) / 8; }

  int32_t position() const;
  const uint8_t* ring() const;  // kRingSize bytes (the mirror follows)

 private:
  struct State;
  std::unique_ptr<State> state_;
  std::unique_ptr<State> saved_;

  int findMatch(const uint8_t* data, std::size_t remaining, int* matchPosition) const;
  void put(uint8_t byte);
  void unlink(int position);
  void linkAtHead(int position);
};

}  // namespace limg
