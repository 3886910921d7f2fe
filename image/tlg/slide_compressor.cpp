#include "image/tlg/slide_compressor.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace limg {

struct SlideCompressor::State {
  uint8_t ring[kRingSize + kMirror];
  int32_t heads[65536];  // newest position of each two-byte key, or -1
  int32_t next[kRingSize];  // next older position with the same key, or -1
  int32_t prev[kRingSize];  // next newer position with the same key, or -1
  int32_t position;
  int32_t written;  // bytes put since construction, counted up to kRingSize
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

inline bool sameWord(const uint8_t* a, const uint8_t* b) {
  uint64_t x, y;
  std::memcpy(&x, a, 8);
  std::memcpy(&y, b, 8);
  return x == y;
}

}  // namespace

SlideCompressor::SlideCompressor() : state_(new State) {
  State& s = *state_;
  std::memset(s.ring, 0, sizeof s.ring);
  std::memset(s.heads, 0xFF, sizeof s.heads);
  std::memset(s.next, 0xFF, sizeof s.next);
  std::memset(s.prev, 0xFF, sizeof s.prev);
  s.position = 0;
  s.written = 0;
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
//
// Once every position has been written (the first lap), chains are kept more cheaply: each write
// only puts r - 1, whose key is now final, at the head of its chain, without unlinking anything.
// An entry of a chain is then current while the distances behind the write index keep growing
// along it: a position written again since it was linked sits nearer than the entry before it,
// and everything past it is older than one lap. Position r - 1 heads no chain yet. The walk
// (chainHead, walkChain) applies those rules, so it meets the same positions in the same
// order as the fully relinked chains, bar r - 1 and r, which a search never takes.
void SlideCompressor::put(uint8_t byte) {
  State& s = *state_;
  const int r = s.position;
  const int before = (r - 1) & kRingMask;
  if (s.written >= kRingSize) {
    s.ring[r] = byte;
    if (r < kMirror) s.ring[r + kRingSize] = byte;
    const int key = s.ring[before] | byte << 8;
    // A head whose key has changed since it was linked is out of date, and so is all behind it.
    const int head = s.heads[key];
    const bool current = head != -1 && head != before && (s.ring[head] | s.ring[head + 1] << 8) == key;
    s.next[before] = current ? head : -1;
    s.heads[key] = before;
    s.position = (r + 1) & kRingMask;
    return;
  }
  // Rewriting the same byte leaves the key of r - 1 alone; when r - 1 already heads its chain,
  // relinking it would change nothing.
  const bool keepBefore = s.ring[r] == byte && s.heads[s.ring[before] | s.ring[before + 1] << 8] == before;
  if (!keepBefore) unlink(before);
  unlink(r);
  s.ring[r] = byte;
  if (r < kMirror) s.ring[r + kRingSize] = byte;
  if (!keepBefore) linkAtHead(before);
  linkAtHead(r);
  s.position = (r + 1) & kRingMask;
  if (++s.written == kRingSize) unlink(r);  // from here on r joins its chain on the next write
}

// Longest match for data[0..remaining) among ring positions sharing its first two bytes, newest
// first. A match stops short of the write index and of the last input byte; equal lengths keep
// the newer position.
//
// Every write relinks the two positions it changes at the heads of their chains, so once each
// position has been written, every chain runs from the newest to the oldest position, which is
// also from the nearest to the farthest behind the write index. A candidate that is to beat a
// match of length best must hold data[j], data[j + 1] at offset j for every j < best; so when the
// chain of the first two bytes keeps failing, the search moves to the chain of a later pair
// (the last one of two different bytes, usually far shorter: runs of zeros make the longest
// chains) and goes on from the distance it had reached. The candidates come in the same order,
// so the result is the same.
namespace {

// One search, as it walks the chains.
struct Search {
  const uint8_t* ring;
  const int32_t* heads;
  const int32_t* next;
  const uint8_t* data;
  int r, limit;
  bool ordered;
  int best = 0, position = 0;
  int p = -1;       // the next chain entry
  int offset = 0;   // the chain followed is that of data[offset], data[offset + 1]
  int reached = 0;  // distance behind r of the last candidate examined
  int misses = 0, switches = 0;
  int resumeP = -1, resumeOffset = 0;  // where the walk before the last switch stood
  // Runs: the data's leading run of v and the capped run of the previous candidate.
  uint8_t v = 0;
  int runAhead = 0, previous = -1, previousRun = 0;
};

constexpr int kMissesBeforeSwitch = 96, kMostSwitches = 3, kMostSkipped = 48;

enum class Walk { kDone, kAnchored, kResume };

inline int distanceBehind(int r, int p) { return ((r - p - 1) & kRingMask) + 1; }  // 1 to 4096

// The first current entry of the chain of key, or -1.
inline int chainHead(const Search& s, int key) {
  const int p = s.heads[key];
  if (!s.ordered || p == -1) return p;
  if (p == ((s.r - 1) & kRingMask) || (s.ring[p] | s.ring[p + 1] << 8) != key) return -1;
  return p;
}

// Walks the chain at s.p. Anchored walks follow the chain of a later pair (offset > 0) and
// skip what an earlier walk examined. Returns kAnchored when the walk should go on anchored on
// the chain now in s.p, and kResume when an anchored walk met only entries examined before (the
// pair's chain is no shorter) and the walk before it goes on from where it stood, unchanged.
template <bool kAnchored, bool kRuns>
Walk walkChain(Search& search) {
  Search s = search;  // a local copy the compiler can keep in registers
  const int r = s.r, limit = s.limit;
  const int offset = kAnchored ? s.offset : 0;
  int skipped = 0;
  bool examined = false;
  while (s.p != -1) {
    const int here = s.p;
    const int hereDistance = distanceBehind(r, here);
    s.p = s.next[here];
    // The lap rule: current entries lie ever farther behind r.
    if (s.ordered && s.p != -1 && distanceBehind(r, s.p) <= hereDistance) s.p = -1;
    const int b = kAnchored ? (here - offset) & kRingMask : here;
    const int distance = kAnchored ? distanceBehind(r, b) : hereDistance;
    if (kAnchored && distance <= s.reached) {  // examined on an earlier chain
      if (!examined && ++skipped > kMostSkipped) {
        s.p = s.resumeP;
        s.offset = s.resumeOffset;
        s.switches = kMostSwitches;
        search = s;
        return Walk::kResume;
      }
      continue;
    }
    examined = true;
    if (distance == 1 || distance == SlideCompressor::kRingSize) continue;  // b + 1 == r, b == r
    // The match stops short of r: cutting its end at r comes to this.
    const int end = b + std::min(limit, distance);
    s.reached = distance;
    const int room = end - b, best = s.best;
    const uint8_t* candidate = s.ring + b;
    const uint8_t* data = s.data;
    int length = 0;
    if (kRuns) {
      // The run only matters up to cap: from there on the match is min(room, runAhead) long.
      // A neighbour's capped run gives this one's, since cap grows by at most one per step.
      const int cap = std::min(room, s.runAhead + 1);
      int run;
      if (s.previous >= 0 && b == ((s.previous - 1) & kRingMask)) {
        run = std::min(s.previousRun + 1, cap);
      } else {
        run = std::min(2, cap);  // the key
        while (run < cap && candidate[run] == s.v) ++run;
      }
      s.previous = b;
      s.previousRun = run;
      if (room > best) {
        if (run == cap) length = std::min(room, s.runAhead);
        else if (run != s.runAhead) length = std::min(run, s.runAhead);
        else length = commonLength(candidate, data, s.runAhead, room);
      }
    } else if (room > best && (best < 8 ? best < 2 || candidate[best] == data[best]
                                         : sameWord(candidate + best - 7, data + best - 7))) {
      // (a strictly longer match must agree up to index best, so its last 8 bytes are tried first)
      length = commonLength(candidate, data, kAnchored ? 0 : 2, room);
    }
    if (length > best) {
      s.best = length;
      s.position = b;
      s.misses = 0;
      if (length == limit) break;  // nothing can be longer
      continue;
    }
    // Only chains of runs are long enough for a switch to pay (a run of zeros above all).
    if ((kRuns || kAnchored) && ++s.misses >= kMissesBeforeSwitch && s.ordered && best >= 2 && s.switches < kMostSwitches) {
      // The last pair of two different bytes is usually the rarest (runs make long chains).
      int pair = best - 1;
      while (pair > 0 && data[pair] == data[pair + 1]) --pair;
      if (data[pair] == data[pair + 1]) pair = best - 1;
      s.misses = 0;
      if (pair != offset) {
        s.resumeP = s.p;
        s.resumeOffset = offset;
        s.offset = pair;
        s.p = chainHead(s, data[pair] | data[pair + 1] << 8);
        ++s.switches;
        search = s;
        return Walk::kAnchored;
      }
    }
  }
  search = s;
  return Walk::kDone;
}

}  // namespace

int SlideCompressor::findMatch(const uint8_t* data, std::size_t remaining, int* matchPosition) const {
  if (remaining < 3) return 0;
  const State& st = *state_;
  Search s{st.ring, st.heads, st.next, data, st.position,
           remaining - 1 < std::size_t(kMaxMatch) ? int(remaining - 1) : kMaxMatch,
           st.written >= kRingSize};
  s.p = chainHead(s, data[0] | data[1] << 8);
  // Runs (zeros above all): when data starts with two equal bytes v, every candidate of the
  // first chain starts with v, v, and its match length follows from the length of its run of v
  // against data's. Consecutive candidates (nearest first) are usually neighbours in the ring,
  // whose runs differ by one, so few runs are scanned.
  const bool runs = data[1] == data[0];
  if (runs) {
    s.v = data[0];
    while (s.runAhead < s.limit && data[s.runAhead] == s.v) ++s.runAhead;
  }
  auto plainWalk = [&]() { return runs ? walkChain<false, true>(s) : walkChain<false, false>(s); };
  Walk next = plainWalk();
  while (next != Walk::kDone)
    next = (next == Walk::kResume && s.offset == 0) ? plainWalk() : walkChain<true, false>(s);
  if (s.best) *matchPosition = s.position;
  return s.best;
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

}  // namespace limg
