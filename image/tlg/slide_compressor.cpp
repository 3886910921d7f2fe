#include "image/tlg/slide_compressor.h"

#include <cstring>
#include <new>

struct SlideCompressor::State {
  uint8_t ring[kRingSize + kMirror];
  int32_t heads[65536];  // newest position of each two-byte key, or -1
  int32_t next[kRingSize];  // next older position with the same key, or -1
  int32_t prev[kRingSize];  // next newer position with the same key, or -1
  int32_t position;
};

namespace {

constexpr int kRingMask = SlideCompressor::kRingSize - 1;

// Bytes a[i] == b[i] from i = start on, up to limit; returns the first index that differs.
inline int commonLength(const uint8_t* a, const uint8_t* b, int start, int limit) {
  int i = start;
  while (i + 8 <= limit) {
    uint64_t x, y;
    std::memcpy(&x, a + i, 8);
    std::memcpy(&y, b + i, 8);
    if (x != y) {
      const uint64_t diff = x ^ y;  // little-endian: the lowest set byte is the first mismatch
      return i + int(__builtin_ctzll(diff) >> 3);
    }
    i += 8;
  }
  while (i < limit && a[i] == b[i]) ++i;
  return i;
}

}  // namespace

SlideCompressor::SlideCompressor() : state_(new State) {
  State& s = *state_;
  std::memset(s.ring, 0, sizeof s.ring);
  std::memset(s.heads, 0xFF, sizeof s.heads);
  std::memset(s.next, 0xFF, sizeof s.next);
  std::memset(s.prev, 0xFF, sizeof s.prev);
  s.position = 0;
  // Every position starts under key 0; inserting from the top down leaves 0, 1, 2, ... from the head.
  for (int p = kRingSize - 1; p >= 0; --p) linkAtHead(p);
}

SlideCompressor::~SlideCompressor() = default;

int32_t SlideCompressor::position() const { return state_->position; }
const uint8_t* SlideCompressor::ring() const { return state_->ring; }

void SlideCompressor::Store() {
  if (!saved_) saved_.reset(new State);
  std::memcpy(saved_.get(), state_.get(), sizeof(State));
}

void SlideCompressor::Restore() {
  if (saved_) std::memcpy(state_.get(), saved_.get(), sizeof(State));
}

void SlideCompressor::unlink(int p) {
  State& s = *state_;
  const int key = s.ring[p] | s.ring[p + 1] << 8;
  const int32_t older = s.next[p], newer = s.prev[p];
  if (newer != -1) s.next[newer] = older; else s.heads[key] = older;
  if (older != -1) s.prev[older] = newer;
  s.next[p] = s.prev[p] = -1;
}

void SlideCompressor::linkAtHead(int p) {
  State& s = *state_;
  const int key = s.ring[p] | s.ring[p + 1] << 8;
  const int32_t head = s.heads[key];
  s.next[p] = head;
  s.prev[p] = -1;
  if (head != -1) s.prev[head] = p;
  s.heads[key] = p;
}

// Writing ring[r] changes the keys of r - 1 and r, so both move to the heads of their new chains.
void SlideCompressor::put(uint8_t byte) {
  State& s = *state_;
  const int r = s.position;
  const int before = (r - 1) & kRingMask;
  unlink(before);
  unlink(r);
  s.ring[r] = byte;
  if (r < kMirror) s.ring[r + kRingSize] = byte;
  linkAtHead(before);
  linkAtHead(r);
  s.position = (r + 1) & kRingMask;
}

// Longest match for data[0..remaining) among ring positions sharing its first two bytes, newest
// first. A match stops short of the write index and of the last input byte; equal lengths keep
// the newer position.
int SlideCompressor::findMatch(const uint8_t* data, std::size_t remaining, int* matchPosition) const {
  if (remaining < 3) return 0;
  const State& s = *state_;
  const int r = s.position;
  const int limit = remaining - 1 < std::size_t(kMaxMatch) ? int(remaining - 1) : kMaxMatch;
  int best = 0;
  for (int b = s.heads[data[0] | data[1] << 8]; b != -1; b = s.next[b]) {
    if (b == r || ((b + 1) & kRingMask) == r) continue;
    int end = b + limit;
    if (end < kRingSize) {
      if (b <= r && r < end) end = r;
    } else if (b <= r) {
      end = r;
    } else if (r < end - kRingSize) {
      end = r + kRingSize;
    }
    const int room = end - b;
    if (room <= best) continue;
    const uint8_t* candidate = s.ring + b;
    // A strictly longer match must agree at index best as well.
    if (best >= 2 && candidate[best] != data[best]) continue;
    const int length = commonLength(candidate, data, 2, room);
    if (length > best) {
      best = length;
      *matchPosition = b;
      if (best == kMaxMatch) break;
    }
  }
  return best;
}

void SlideCompressor::Encode(const uint8_t* input, std::size_t length, uint8_t* output,
                             std::size_t* outCount) {
  if (length == 0) return;
  std::size_t o = *outCount;
  std::size_t flagIndex = o;
  unsigned flags = 0, mask = 1;
  std::size_t i = 0;
  while (i < length) {
    if (mask == 1) flagIndex = o++;  // a group's flag byte precedes its items
    int source = 0;
    const int found = findMatch(input + i, length - i, &source);
    if (found < 3) {
      output[o++] = input[i];
      put(input[i]);
      ++i;
    } else {
      flags |= mask;
      output[o++] = uint8_t(source);
      if (found < 18) {
        output[o++] = uint8_t(((source >> 8) & 0x0F) | (found - 3) << 4);
      } else {
        output[o++] = uint8_t(((source >> 8) & 0x0F) | 0xF0);
        output[o++] = uint8_t(found - 18);
      }
      for (int k = 0; k < found; ++k) put(input[i + k]);
      i += std::size_t(found);
    }
    mask <<= 1;
    if (mask == 0x100) {
      output[flagIndex] = uint8_t(flags);
      flags = 0;
      mask = 1;
    }
  }
  if (mask != 1) output[flagIndex] = uint8_t(flags);
  *outCount = o;
}
