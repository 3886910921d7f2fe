// LZSS over a 4096-byte ring, as TLG5 planes and the TLG6 filter-type map use it.
#include <cstring>

#include "image/tlg/tlg_routines.h"

namespace limg {

namespace {

constexpr uint32_t kRingMask = 4095;

// A match header at input[i]: source index, length, and the bytes it takes (0 when the data
// end inside it).
struct Match {
  uint32_t source;
  uint32_t length;
  uint32_t bytes;
};

inline Match readMatch(const uint8_t* input, uint32_t i, uint32_t inputLength) {
  if (inputLength - i < 2) return {0, 0, 0};
  const uint32_t v = uint32_t(input[i]) | uint32_t(input[i + 1]) << 8;
  Match m{v & kRingMask, (v >> 12) + 3, 2};
  if (m.length == 18) {
    if (inputLength - i < 3) return {0, 0, 0};
    m.length += input[i + 2];
    m.bytes = 3;
  }
  return m;
}

}  // namespace

uint32_t TlgLzssDecode(uint8_t* output, uint32_t capacity, const uint8_t* input,
                       uint32_t inputLength, uint8_t* ring, uint32_t r, uint32_t* written) {
  uint32_t out = 0, i = 0;
  r &= kRingMask;
  while (i < inputLength) {
    const uint32_t flags = input[i++];
    for (int bit = 0; bit < 8 && i < inputLength; ++bit) {
      if (!((flags >> bit) & 1)) {
        if (out == capacity) {
          *written = capacity + 1;
          return r;
        }
        const uint8_t b = input[i++];
        output[out++] = b;
        ring[r] = b;
        r = (r + 1) & kRingMask;
        continue;
      }
      const Match m = readMatch(input, i, inputLength);
      if (m.bytes == 0) {
        *written = out;
        return r;
      }
      i += m.bytes;
      uint32_t source = m.source;
      for (uint32_t k = 0; k < m.length; ++k) {
        if (out == capacity) {
          *written = capacity + 1;
          return r;
        }
        const uint8_t b = ring[source];
        output[out++] = b;
        ring[r] = b;
        source = (source + 1) & kRingMask;
        r = (r + 1) & kRingMask;
      }
    }
  }
  *written = out;
  return r;
}

// The same decoding with the output buffer as the window: the ring is laid out in the
// kTlgLzssHistory bytes before `output` (oldest first), so a match always copies from `back`
// bytes behind the current output byte, where back = (r - source) mod 4096 (4096 when 0);
// the ring is brought up to date at the end.
namespace {

inline void copy16(uint8_t* dst, const uint8_t* src) { std::memcpy(dst, src, 16); }

// A match of `length` bytes from `back` (1..4096) behind dst. At 16 or more whole 16-byte
// pieces, each read before it is overwritten; the last may run into the slack past the match.
inline void copyMatch(uint8_t* dst, uint32_t back, uint32_t length) {
  const uint8_t* src = dst - back;
  if (back >= 16) {
    for (uint32_t k = 0; k < length; k += 16) copy16(dst + k, src + k);
  } else {
    // The pattern of `back` bytes, one repetition per step through a 16-byte piece.
    for (uint32_t k = 0; k < length; k += back) {
      uint8_t piece[16];
      std::memcpy(piece, src + k, 16);
      std::memcpy(dst + k, piece, 16);
    }
  }
}

// Input bytes a whole group may read in the fast loop: the flag byte, seven items of up to
// 3 bytes, and a 32-byte piece read from the eighth item's start.
constexpr uint32_t kFastGroupInput = 1 + 7 * 3 + 32;

}  // namespace

uint32_t TlgLzssDecodeWindow(uint8_t* output, uint32_t capacity, const uint8_t* input,
                             uint32_t inputLength, uint8_t* ring, uint32_t r, uint32_t* written) {
  const uint32_t r0 = r & kRingMask;
  std::memcpy(output - kTlgLzssHistory, ring + r0, kTlgLzssHistory - r0);
  std::memcpy(output - r0, ring, r0);
  uint32_t out = 0, i = 0;
  bool overflow = false;
  // Whole groups while the input holds one and its reading room: every item, literal or
  // match, is a source, a length and an input step chosen without a branch, copied as two
  // 16-byte pieces (a literal's extra bytes land where the next items write). Only matches
  // longer than 32 bytes, matches closer than 16 bytes and the output's end branch away.
  while (inputLength - i >= kFastGroupInput) {
    uint32_t flags = input[i++] | 0x100;  // the 0x100 marks the end of the group
    do {
      const bool isMatch = flags & 1;
      const uint32_t literals = uint32_t(__builtin_ctz(flags));
      const uint32_t v = uint32_t(input[i]) | uint32_t(input[i + 1]) << 8;
      const bool extended = (v >> 12) == 15;
      const uint32_t matchLength = (v >> 12) + 3 + (extended ? input[i + 2] : 0u);
      const uint32_t back = (((r0 + out) - (v & kRingMask) - 1) & kRingMask) + 1;
      const uint32_t length = isMatch ? matchLength : literals;
      const uint8_t* src = isMatch ? output + out - back : input + i;
      i += isMatch ? 2 + uint32_t(extended) : literals;
      flags >>= isMatch ? 1 : literals;
      if (length > capacity - out) {
        overflow = true;
        goto done;
      }
      uint8_t* dst = output + out;
      out += length;
      if (isMatch && back < 16) {
        copyMatch(dst, back, length);
        continue;
      }
      copy16(dst, src);
      copy16(dst + 16, src + 16);
      for (uint32_t k = 32; k < length; k += 16) copy16(dst + k, src + k);
    } while (flags != 1);
  }
  // The last groups item by item, every bound checked.
  while (i < inputLength) {
    uint32_t flags = input[i++] | 0x100;  // the 0x100 marks the end of the group
    int items = 8;
    while (items > 0 && i < inputLength) {
      if (!(flags & 1)) {
        // A run of literals up to the next match flag.
        uint32_t count = uint32_t(__builtin_ctz(flags));
        if (count > uint32_t(items)) count = uint32_t(items);
        if (count > inputLength - i) count = inputLength - i;
        if (count > capacity - out) {
          overflow = true;
          goto done;
        }
        std::memcpy(output + out, input + i, count);
        out += count;
        i += count;
        flags >>= count;
        items -= int(count);
        continue;
      }
      flags >>= 1;
      --items;
      const Match m = readMatch(input, i, inputLength);
      if (m.bytes == 0) goto done;
      i += m.bytes;
      if (capacity - out < m.length) {
        overflow = true;
        goto done;
      }
      const uint32_t back = (((r0 + out) - m.source - 1) & kRingMask) + 1;
      copyMatch(output + out, back, m.length);
      out += m.length;
    }
  }
done:
  *written = overflow ? capacity + 1 : out;
  // The ring receives the last 4096 bytes of the window.
  const uint8_t* tail = output + out - kTlgLzssHistory;
  const uint32_t start = (r0 + out) & kRingMask;
  std::memcpy(ring + start, tail, kTlgLzssHistory - start);
  std::memcpy(ring, tail + (kTlgLzssHistory - start), start);
  return start;
}

}  // namespace limg
