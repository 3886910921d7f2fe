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

// The same decoding with the output buffer as the window: a match copies from `back` bytes
// behind the current output byte, where back = (r - source) mod 4096 (4096 when 0), and only
// history from before this call comes from the ring, which is brought up to date at the end.
uint32_t TlgLzssDecodeWindow(uint8_t* output, uint32_t capacity, const uint8_t* input,
                             uint32_t inputLength, uint8_t* ring, uint32_t r, uint32_t* written) {
  const uint32_t r0 = r & kRingMask;
  uint32_t out = 0, i = 0;
  bool overflow = false;
  while (i < inputLength) {
    uint32_t flags = input[i++] | 0x100;  // the 0x100 marks the end of the group
    int items = 8;
    while (items > 0 && i < inputLength) {
      if (!(flags & 1)) {
        // A run of literals up to the next match flag, copied 8 bytes at a time when the
        // input and the output have room for whole pieces.
        uint32_t count = uint32_t(__builtin_ctz(flags));
        if (count > uint32_t(items)) count = uint32_t(items);
        if (count > inputLength - i) count = inputLength - i;
        if (count > capacity - out) {
          overflow = true;
          goto done;
        }
        if (inputLength - i >= 8) {
          std::memcpy(output + out, input + i, 8);
        } else {
          for (uint32_t k = 0; k < count; ++k) output[out + k] = input[i + k];
        }
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
      uint32_t back = ((r0 + out) - m.source) & kRingMask;
      if (back == 0) back = 4096;
      uint8_t* dst = output + out;
      if (back > out) {
        // Starts in the history before this call.
        for (uint32_t k = 0; k < m.length; ++k) {
          const int64_t at = int64_t(out) + k - back;
          dst[k] = at < 0 ? ring[uint32_t(int64_t(r0) + 4096 + at) & kRingMask] : output[at];
        }
      } else if (back >= 16) {
        // Whole 16-byte pieces; the last may run into the slack past the match.
        const uint8_t* src = dst - back;
        for (uint32_t k = 0; k < m.length; k += 16) std::memcpy(dst + k, src + k, 16);
      } else if (back == 1) {
        std::memset(dst, dst[-1], m.length);
      } else {
        const uint8_t* src = dst - back;
        for (uint32_t k = 0; k < m.length; ++k) dst[k] = src[k];
      }
      out += m.length;
    }
  }
done:
  if (overflow) {
    *written = capacity + 1;
  } else {
    *written = out;
  }
  // The ring receives the last (up to 4096) bytes produced.
  const uint32_t keep = out < 4096 ? out : 4096;
  const uint8_t* tail = output + out - keep;
  const uint32_t start = (r0 + out - keep) & kRingMask;
  const uint32_t first = keep < 4096 - start ? keep : 4096 - start;
  std::memcpy(ring + start, tail, first);
  std::memcpy(ring, tail + first, keep - first);
  return (r0 + out) & kRingMask;
}

}  // namespace limg
