// TLG6 residual decoding: alternating zero and non-zero runs (Elias-gamma lengths) and
// adaptive Golomb-Rice value codes with an escape form at 4-byte windows.
#include <cstring>

#include "image/tlg/tlg_routines.h"
#include "image/tlg/tlg_tables.h"

namespace limg {

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the bit readers load little-endian words");

namespace {

constexpr uint32_t kMaxGammaZeros = 31;  // a run never exceeds 2^31 values

// The signed byte a code value t stands for: 1 -> 1, 0 -> -1, 3 -> 2, 2 -> -2, ...
inline uint8_t residualByte(uint32_t t) {
  return (t & 1) ? uint8_t((t >> 1) + 1) : uint8_t(~(t >> 1));
}

// Adaptive state after a value; false when the sum leaves the k table.
inline bool updateState(uint32_t t, uint32_t& a, int& n) {
  a += t >> 1;
  if (--n < 0) {
    n = 3;
    a >>= 1;
  }
  return a < 1024;
}

template <bool kWords>
inline void storeValue(uint8_t* out, uint32_t index, uint8_t value) {
  if (kWords) {
    const uint32_t word = value;
    std::memcpy(out + std::size_t(index) * 4, &word, 4);
  } else {
    out[std::size_t(index) * 4] = value;
  }
}

template <bool kWords>
inline void storeZeros(uint8_t* out, uint32_t index, uint32_t length) {
  if (kWords) {
    std::memset(out + std::size_t(index) * 4, 0, std::size_t(length) * 4);
  } else {
    uint8_t* p = out + std::size_t(index) * 4;
    for (uint32_t k = 0; k < length; ++k) p[std::size_t(k) * 4] = 0;
  }
}

// ---- Portable form: bytes assembled one by one, the next 1 bit found 12 bits at a time.

inline uint64_t loadBytes(const uint8_t* p, int count) {
  uint64_t v = 0;
  for (int i = 0; i < count; ++i) v |= uint64_t(p[i]) << (8 * i);
  return v;
}

inline uint32_t peekBits(const uint8_t* bits, uint32_t pos, uint32_t m) {  // m <= 32
  const uint64_t v = loadBytes(bits + (pos >> 3), 5) >> (pos & 7);
  return uint32_t(v & ((uint64_t(1) << m) - 1));
}

// Index of the lowest set bit of a non-zero value.
inline uint32_t lowestBit(uint32_t v) {
  uint32_t index = 0;
  while (!(v & 0xFFF)) {
    v >>= 12;
    index += 12;
  }
  return index + kTlgBitScan[v & 0xFFF] - 1;
}

template <bool kWords>
bool decodePortable(void* outVoid, uint32_t count, const uint8_t* bits, uint32_t bitCount) {
  uint8_t* out = static_cast<uint8_t*>(outVoid);
  if (count == 0) return true;
  if (bitCount == 0) return false;
  bool zeroRun = !(bits[0] & 1);
  uint32_t pos = 1, a = 0, done = 0;
  int n = 3;
  while (done < count) {
    uint32_t m = 0;
    for (;;) {
      const uint32_t window = peekBits(bits, pos, 12);
      if (window) {
        const uint32_t z = kTlgBitScan[window] - 1;
        m += z;
        pos += z + 1;
        break;
      }
      m += 12;
      pos += 12;
      if (m > kMaxGammaZeros) return false;
    }
    if (m > kMaxGammaZeros) return false;
    const uint64_t length = (uint64_t(1) << m) | peekBits(bits, pos, m);
    pos += m;
    if (pos > bitCount || length > count - done) return false;
    const uint32_t run = uint32_t(length);
    if (zeroRun) {
      storeZeros<kWords>(out, done, run);
    } else {
      for (uint32_t v = 0; v < run; ++v) {
        const uint32_t k = kTlgGolombBitLength[a][n];
        const uint32_t byte = pos >> 3;
        const uint32_t window = uint32_t(loadBytes(bits + byte, 4) >> (pos & 7));
        uint32_t q;
        if (window == 0) {
          q = bits[byte + 4];
          pos = (byte + 5) * 8;
        } else {
          q = lowestBit(window);
          pos += q + 1;
        }
        const uint32_t t = (q << k) + peekBits(bits, pos, k);
        pos += k;
        if (pos > bitCount || !updateState(t, a, n)) return false;
        storeValue<kWords>(out, done + v, residualByte(t));
      }
    }
    done += run;
    zeroRun = !zeroRun;
  }
  return true;
}

// ---- Register form.

inline uint64_t load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// The bits ahead live in a 64-bit register that is topped up with whole bytes without a
// branch, and the adaptive step is one load from kTlgGolombNextK. The four phases of n are
// unrolled, so a run goes on at the phase where the last one stopped without a branch on it.

// Codes with more zero bits than this take the exact (slow) path. With 9, a fast run length
// takes at most 19 bits and a fast value code 18, so a full register (56 bits or more) holds
// a zero run's length, the next run's length and one value, or two values: the register is
// topped up once per pair of runs and before every second value (phases 3 and 1).
constexpr uint32_t kFastZeros = 9;
constexpr uint32_t kValueBits = kFastZeros + 1 + 8;
constexpr uint32_t kGammaBits = 2 * kFastZeros + 1;
static_assert(2 * kGammaBits + kValueBits <= 56 && 2 * kValueBits <= 56,
              "the codes between two top-ups fit in a full register");
constexpr uint64_t kFastMask = (uint64_t(1) << (kFastZeros + 1)) - 1;

// Byte of a code value's low 9 bits: residualByte over the table.
struct ByteTable {
  uint8_t b[512];
};
constexpr ByteTable buildByteTable() {
  ByteTable t{};
  for (uint32_t v = 0; v < 512; ++v) t.b[v] = (v & 1) ? uint8_t((v >> 1) + 1) : uint8_t(~(v >> 1));
  return t;
}
constexpr ByteTable kByteOf = buildByteTable();

struct SlowCode {
  uint32_t pos;    // position after the code
  uint32_t value;  // t, or the run length
  bool ok;
};

// One value code at pos, escape form included (pos <= bitCount, so the reads stay in the
// 16 readable bytes past the coded ones).
__attribute__((noinline)) SlowCode slowValue(const uint8_t* bits, uint32_t pos, uint32_t k) {
  const uint64_t buf = load64(bits + (pos >> 3)) >> (pos & 7);
  const uint32_t mask = (uint32_t(1) << k) - 1;
  if ((buf & (0xFFFFFFFFull >> (pos & 7))) == 0) {
    const uint32_t byte = pos >> 3;
    const uint32_t q = bits[byte + 4];
    pos = (byte + 5) * 8;
    const uint32_t rest = uint32_t(load64(bits + (pos >> 3)));
    return {pos + k, (q << k) + (rest & mask), true};
  }
  const uint32_t q = uint32_t(__builtin_ctzll(buf));
  return {pos + q + 1 + k, (q << k) + (uint32_t(buf >> (q + 1)) & mask), true};
}

// One run length at pos; not ok for 32 or more zeros.
__attribute__((noinline)) SlowCode slowGamma(const uint8_t* bits, uint32_t pos) {
  uint64_t buf = load64(bits + (pos >> 3)) >> (pos & 7);
  if (uint32_t(buf) == 0) return {pos, 0, false};
  const uint32_t m = uint32_t(__builtin_ctzll(buf));
  pos += m + 1;
  buf = load64(bits + (pos >> 3)) >> (pos & 7);
  const uint64_t length = (uint64_t(1) << m) | (uint32_t(buf) & ((uint64_t(1) << m) - 1));
  return {pos + m, uint32_t(length), true};
}

#define TLG_INLINE inline __attribute__((always_inline))

// One channel's reader and output. Values go to byte 0 of every 4 bytes of out; the words are
// cleared beforehand, so zero runs are skipped.
struct Lane {
  uint64_t buf;    // the bits ahead
  uint32_t avail;  // valid bits in buf (at most 63 between codes)
  uint32_t next;   // byte offset just past them
  uint32_t a2;     // 2a
  uint32_t k;      // k of the next value
  uint8_t* out;
  uint8_t* stop;   // end of the current non-zero run
  uint8_t* last;   // end of the channel
  const uint8_t* bits;
  uint32_t bitCount;
  uint32_t limit;  // the largest `next` whose loads stay in the readable bytes

  uint32_t pos() const { return next * 8 - avail; }
  // The bits from pos on (after a slow code): whole bytes only, so `next` stays a byte offset.
  TLG_INLINE void seek(uint32_t pos) {
    buf = load64(bits + (pos >> 3)) >> (pos & 7);
    avail = 56 - (pos & 7);
    next = (pos >> 3) + 7;
  }
};

// Tops the register up to 56-63 bits without a branch: the whole bytes that fit go in from
// `next`. The load's address is known a code ahead, so it stays off the dependency chain.
// False once the reader is past the coded bits (it would read past the readable bytes); a
// position there fails the stream anyway.
TLG_INLINE bool refill(Lane& l) {
  if (l.next > l.limit) return false;
  l.buf |= load64(l.bits + l.next) << l.avail;
  l.next += (63 - l.avail) >> 3;
  l.avail |= 56;
  return true;
}

// The next run length; 0 for an invalid stream.
TLG_INLINE uint32_t gamma(Lane& l) {
  if (__builtin_expect((l.buf & kFastMask) != 0, 1)) {
    const uint32_t m = uint32_t(__builtin_ctzll(l.buf));
    const uint64_t rest = l.buf >> (m + 1);
    l.buf = rest >> m;
    l.avail -= 2 * m + 1;
    return uint32_t(rest & ((uint64_t(1) << m) - 1)) | (uint32_t(1) << m);
  }
  const uint32_t pos = l.pos();
  if (pos > l.bitCount) return 0;
  const SlowCode c = slowGamma(l.bits, pos);
  if (!c.ok || c.pos > l.bitCount) return 0;
  l.seek(c.pos);
  return refill(l) ? c.value : 0;
}

// One value at phase n (kRefill: the register is topped up first, at phases 3 and 1).
template <int n, bool kRefill = true>
TLG_INLINE bool value(Lane& l) {
  if (kRefill && (n == 3 || n == 1) && !refill(l)) return false;
  uint32_t t;
  if (__builtin_expect((l.buf & kFastMask) != 0, 1)) {
    const uint32_t q = uint32_t(__builtin_ctzll(l.buf));
    const uint64_t rest = l.buf >> (q + 1);
    t = (q << l.k) + (uint32_t(rest) & ((uint32_t(1) << l.k) - 1));
    l.buf = rest >> l.k;
    l.avail -= q + 1 + l.k;
  } else {
    const uint32_t pos = l.pos();
    if (pos > l.bitCount) return false;
    const SlowCode c = slowValue(l.bits, pos, l.k);
    if (c.pos > l.bitCount) return false;
    t = c.value;
    l.seek(c.pos);
    if (!refill(l)) return false;
  }
  const uint32_t index = l.a2 + t;
  if (index >= kTlgNextKLimit[n]) return false;
  l.k = kTlgGolombNextK[kTlgNextKOffset[n] + index];
  l.a2 = n ? index & ~1u : (index >> 1) & ~1u;
  *l.out = kByteOf.b[t & 0x1FF];
  l.out += 4;
  return true;
}

// A run's length into the lane: zeros skipped, or the end of a non-zero run set.
enum RunResult { kRunBad, kRunOk, kRunFinished };
template <bool kZero>
TLG_INLINE RunResult run(Lane& l) {
  if (l.out == l.last) return kRunFinished;
  const uint32_t length = gamma(l);
  if (length == 0 || length > uint32_t(l.last - l.out) / 4) return kRunBad;
  if (kZero)
    l.out += std::size_t(length) * 4;
  else
    l.stop = l.out + std::size_t(length) * 4;
  return kRunOk;
}

// Two short run lengths from the next 10 bits in one lookup: bits 0-3 the first code's bits,
// 4-7 both codes' bits, 8-15 the first length, 16-23 the second; 0 when they don't both fit.
constexpr uint32_t kPairBits = 10;
struct RunPairTable {
  uint32_t entry[1u << kPairBits];
};
constexpr RunPairTable buildRunPairs() {
  RunPairTable t{};
  for (uint32_t v = 0; v < (1u << kPairBits); ++v) {
    uint32_t used = 0, lengths[2] = {0, 0}, first = 0;
    bool fits = true;
    for (int c = 0; c < 2 && fits; ++c) {
      uint32_t m = 0;
      while (used + m < kPairBits && !((v >> (used + m)) & 1)) ++m;
      if (used + 2 * m + 1 > kPairBits) {
        fits = false;
        break;
      }
      lengths[c] = (1u << m) | ((v >> (used + m + 1)) & ((1u << m) - 1));
      used += 2 * m + 1;
      if (c == 0) first = used;
    }
    if (fits) t.entry[v] = first | used << 4 | lengths[0] << 8 | lengths[1] << 16;
  }
  return t;
}
constexpr RunPairTable kRunPairs = buildRunPairs();

// After a non-zero run: the zero run and the next non-zero run.
TLG_INLINE RunResult nextRuns(Lane& l) {
  if (!refill(l)) return kRunBad;
  const uint32_t e = kRunPairs.entry[l.buf & ((1u << kPairBits) - 1)];
  if (e != 0 && l.out != l.last) {
    const uint32_t zeros = (e >> 8) & 0xFF, left = uint32_t(l.last - l.out) / 4;
    if (zeros > left) return kRunBad;
    if (zeros == left) {  // the zero run ends the channel: the second code is not part of it
      l.buf >>= e & 15;
      l.avail -= e & 15;
      l.out = l.last;
      return kRunFinished;
    }
    const uint32_t length = e >> 16;
    if (length > left - zeros) return kRunBad;
    const uint32_t used = (e >> 4) & 15;
    l.buf >>= used;
    l.avail -= used;
    l.out += std::size_t(zeros) * 4;
    l.stop = l.out + std::size_t(length) * 4;
    return kRunOk;
  }
  const RunResult zero = run<true>(l);
  return zero == kRunOk ? run<false>(l) : zero;
}

// The rest of one channel, the next value at phase `phase`. The four phases are unrolled, so
// a run goes on where the last one stopped without a branch on the phase.
TLG_INLINE bool finishLane(Lane l, int phase) {
#define TLG_STEP(n, next)                          \
  step##n : if (l.out == l.stop) {                 \
    const RunResult r = nextRuns(l);               \
    if (r != kRunOk) return r == kRunFinished &&   \
                            l.pos() <= l.bitCount; \
  }                                                \
  if (!value<n>(l)) return false;                  \
  goto step##next;
  switch (phase) {
    case 3: goto step3;
    case 2: goto step2;
    case 1: goto step1;
    default: goto step0;
  }
  TLG_STEP(3, 2)
  TLG_STEP(2, 1)
  TLG_STEP(1, 0)
  TLG_STEP(0, 3)
#undef TLG_STEP
}

// The step before a value in the paired loop: at a run end the pair table's zero run and next
// run are applied under a mask instead of behind a branch (run ends come at random in short
// runs, and a mispredicted branch costs more than the masked work). Only a run end the table
// can't serve (a code pair over 10 bits, a run reaching the channel's end) takes the full
// run decoding. Phases 3 and 1 top the register up first: two steps take at most 2 x 28 bits,
// and the full run decoding tops it up again after itself.
template <int n>
TLG_INLINE RunResult maskedStep(Lane& l) {
  if ((n == 3 || n == 1) && !refill(l)) return kRunBad;
  const uint32_t e = kRunPairs.entry[l.buf & ((1u << kPairBits) - 1)];
  const bool end = l.out == l.stop;
  // Addresses as integers: off a run end they come from an entry that doesn't apply.
  const uintptr_t out = reinterpret_cast<uintptr_t>(l.out);
  const uintptr_t runStart = out + uintptr_t((e >> 8) & 0xFF) * 4;
  const uintptr_t runStop = runStart + uintptr_t(e >> 16) * 4;
  if (__builtin_expect(end & ((e == 0) | (runStop >= reinterpret_cast<uintptr_t>(l.last))), 0)) {
    // Up to 38 bits taken since its top-up: top up again for this value and the next step.
    const RunResult r = nextRuns(l);
    return r == kRunOk && !refill(l) ? kRunBad : r;
  }
  const uintptr_t mask = uintptr_t(0) - uintptr_t(end);
  const uint32_t used = ((e >> 4) & 15) & uint32_t(mask);
  l.buf >>= used;
  l.avail -= used;
  const uintptr_t stop = reinterpret_cast<uintptr_t>(l.stop);
  l.out = reinterpret_cast<uint8_t*>(out + ((runStart - out) & mask));
  l.stop = reinterpret_cast<uint8_t*>(stop + ((runStop - stop) & mask));
  return kRunOk;
}

// The step before a value in the branching loop: the value tops the register up itself.
TLG_INLINE RunResult branchStep(Lane& l) { return l.out == l.stop ? nextRuns(l) : kRunOk; }

// Two channels value by value in turn. Each lockstep round takes one value from each lane, so
// their phases stay equal and one unrolled loop serves both; their dependency chains are
// independent, so the processor overlaps them. When one lane ends the other finishes alone.
// kMasked: run ends by the masked step rather than a branch.
template <bool kMasked>
TLG_INLINE bool decodePair(Lane a, Lane b) {
#define TLG_PAIR(n, next)                                                    \
  {                                                                          \
    const RunResult r = kMasked ? maskedStep<n>(a) : branchStep(a);         \
    if (r != kRunOk) return r == kRunFinished && a.pos() <= a.bitCount &&    \
                            finishLane(b, n);                                \
  }                                                                          \
  if (!value<n, !kMasked>(a)) return false;                                  \
  {                                                                          \
    const RunResult r = kMasked ? maskedStep<n>(b) : branchStep(b);         \
    if (r != kRunOk) return r == kRunFinished && b.pos() <= b.bitCount &&    \
                            finishLane(a, next);                             \
  }                                                                          \
  if (!value<n, !kMasked>(b)) return false;
  for (;;) {
    TLG_PAIR(3, 2)
    TLG_PAIR(2, 1)
    TLG_PAIR(1, 0)
    TLG_PAIR(0, 3)
  }
#undef TLG_PAIR
}

// A lane after its start bit and its first run (or two, when the first is a zero run); false
// for an invalid stream. A lane that ends there has out == stop == last.
TLG_INLINE bool startLane(Lane& l, uint8_t* out, uint32_t count, const uint8_t* bits,
                          uint32_t bitCount) {
  l.bits = bits;
  l.bitCount = bitCount;
  l.limit = (bitCount + 7) / 8 + 8;
  l.seek(0);
  const bool zeroFirst = !(l.buf & 1);
  l.buf >>= 1;
  l.avail -= 1;
  l.a2 = 0;
  l.k = kTlgGolombBitLength[0][3];
  l.out = l.stop = out;
  l.last = out + std::size_t(count) * 4;
  const RunResult r = zeroFirst ? nextRuns(l) : run<false>(l);
  if (r == kRunFinished) l.stop = l.out;
  return r != kRunBad;
}

// Every stream of the bands as lanes, decoded two by two: with 3 channels the third of one
// band pairs with the first of the next, so no stream runs alone while another is left.
inline __attribute__((always_inline)) bool decodeScanned(uint32_t* words, const uint32_t* counts,
                                                         int bands, int channels,
                                                         const uint8_t* const* bits,
                                                         const uint32_t* bitCounts,
                                                         TlgRunEnds runEnds) {
  if (bands > kTlgMaxBands || channels > 4) return false;
  Lane lanes[4 * kTlgMaxBands];
  int used = 0;
  for (int band = 0; band < bands; ++band) {
    const uint32_t count = counts[band];
    std::memset(words, 0, std::size_t(count) * 4);
    for (int c = 0; c < channels && count > 0; ++c) {
      const int s = band * channels + c;
      if (!bits[s]) continue;  // a skipped channel stays zero
      if (bitCounts[s] == 0) return false;
      if (!startLane(lanes[used++], reinterpret_cast<uint8_t*>(words) + c, count, bits[s],
                     bitCounts[s]))
        return false;
    }
    words += count;
  }
  int c = 0;
  for (; c + 2 <= used; c += 2)
    if (!(runEnds == kTlgRunEndsMasked ? decodePair<true>(lanes[c], lanes[c + 1])
                                       : decodePair<false>(lanes[c], lanes[c + 1])))
      return false;
  return c == used || finishLane(lanes[c], 3);
}

}  // namespace

bool TlgDecodeFirstChannel(void* words, uint32_t count, const uint8_t* bits, uint32_t bitCount) {
  return decodePortable<true>(words, count, bits, bitCount);
}

bool TlgDecodeOtherChannel(void* bytes, uint32_t count, const uint8_t* bits, uint32_t bitCount) {
  return decodePortable<false>(bytes, count, bits, bitCount);
}

// The portable definition of a band: the single-channel routines one after another.
static bool decodeBand(uint32_t* words, uint32_t count, int channels, const uint8_t* const* bits,
                       const uint32_t* bitCounts) {
  const bool whole = channels != 1;
  if (!whole || !bits[0]) std::memset(words, 0, std::size_t(count) * 4);
  for (int c = 0; c < channels; ++c) {
    if (!bits[c]) {
      if (c > 0)
        for (uint32_t i = 0; i < count; ++i) reinterpret_cast<uint8_t*>(words)[std::size_t(i) * 4 + c] = 0;
      continue;
    }
    uint8_t* target = reinterpret_cast<uint8_t*>(words) + c;
    const bool ok = (c == 0 && whole) ? TlgDecodeFirstChannel(words, count, bits[c], bitCounts[c])
                                      : TlgDecodeOtherChannel(target, count, bits[c], bitCounts[c]);
    if (!ok) return false;
  }
  return true;
}

bool TlgDecodeChannels(uint32_t* words, const uint32_t* counts, int bands, int channels,
                       const uint8_t* const* bits, const uint32_t* bitCounts, TlgRunEnds) {
  for (int band = 0; band < bands; ++band) {
    if (!decodeBand(words, counts[band], channels, bits + band * channels,
                    bitCounts + band * channels))
      return false;
    words += counts[band];
  }
  return true;
}

bool TlgDecodeChannelsScan(uint32_t* words, const uint32_t* counts, int bands, int channels,
                           const uint8_t* const* bits, const uint32_t* bitCounts,
                           TlgRunEnds runEnds) {
  return decodeScanned(words, counts, bands, channels, bits, bitCounts, runEnds);
}

#ifdef TLG_HAVE_X86_FORMS
// The scan form compiled for BMI1/BMI2 (tzcnt, shrx, bzhi); chosen only when probed.
__attribute__((target("bmi,bmi2"))) bool TlgDecodeChannelsBmi2(uint32_t* words,
                                                                const uint32_t* counts, int bands,
                                                                int channels,
                                                                const uint8_t* const* bits,
                                                                const uint32_t* bitCounts,
                                                                TlgRunEnds runEnds) {
  return decodeScanned(words, counts, bands, channels, bits, bitCounts, runEnds);
}
#endif

}  // namespace limg
