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

// ---- Scan form: the bits ahead are kept in a 64-bit register, refilled by one unaligned
// load, and the next 1 bit is found with a count of trailing zeros.

inline uint64_t load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// buf holds the bits from pos on (bit 0 = pos); `avail` of them are valid (>= 57 after refill).
struct BitBuffer {
  const uint8_t* bits;
  uint64_t buf;
  uint32_t pos;
  uint32_t avail;
  inline __attribute__((always_inline)) void refill() {
    buf = load64(bits + (pos >> 3)) >> (pos & 7);
    avail = 64 - (pos & 7);
  }
  inline __attribute__((always_inline)) void consume(uint32_t n) {
    buf >>= n;
    avail -= n;
    pos += n;
  }
};

// The adaptive state as one word, a * 4 + n (the index of K[a][n]), which keeps a register
// free per lane. Same rule as updateState.
static_assert(sizeof(kTlgGolombBitLength) == 4096, "the k table is one run of 1024 x 4 bytes");
inline __attribute__((always_inline)) bool updatePackedState(uint32_t t, uint32_t& state) {
  const uint32_t sum = state + ((t >> 1) << 2);
  state = (state & 3) ? sum - 1 : ((sum >> 3) << 2) | 3;
  return state < 4096;
}

// One channel's decoder state.
struct Lane {
  BitBuffer in;
  uint32_t bitCount;
  uint8_t* out;      // byte c of the first word
  uint32_t done;     // values produced
  uint32_t runEnd;   // end of the current non-zero run
  bool nextZero;     // kind of the next run
};

// Reads run lengths until a non-zero run starts (zero runs need no stores: the words are
// cleared beforehand). False for an invalid stream.
inline __attribute__((always_inline)) bool nextRun(Lane& lane, uint32_t count) {
  while (lane.done < count) {
    BitBuffer& in = lane.in;
    in.refill();
    if (uint32_t(in.buf) == 0) return false;  // 32 or more gamma zeros
    const uint32_t m = uint32_t(__builtin_ctzll(in.buf));
    in.consume(m + 1);
    if (in.avail < m) in.refill();
    const uint64_t length = (uint64_t(1) << m) | (uint32_t(in.buf) & ((uint32_t(1) << m) - 1));
    in.consume(m);
    if (in.pos > lane.bitCount || length > count - lane.done) return false;
    const bool zero = lane.nextZero;
    lane.nextZero = !zero;
    if (!zero) {
      lane.runEnd = lane.done + uint32_t(length);
      return true;
    }
    lane.done += uint32_t(length);
  }
  return true;
}

// One value code. kChecked: compare the position with the coded bits after the value (runs
// that can't reach the end skip it: a code takes at most 56 bits).
template <bool kChecked>
inline __attribute__((always_inline)) bool nextValue(Lane& lane, uint32_t& state,
                                                     uint8_t* out) {
  BitBuffer& in = lane.in;
  // Reloaded for every value: a normal code takes at most 32 + 1 + 8 bits, and the reload
  // costs less than a branch on the bits left, which no predictor learns.
  in.refill();
  const uint32_t k = reinterpret_cast<const uint8_t*>(kTlgGolombBitLength.data())[state];
  uint32_t t;
  // The window reaches from the position to the end of its byte + 3: at least 25 bits.
  if (__builtin_expect((in.buf & 0x1FFFFFF) == 0, 0) &&
      (in.buf & (0xFFFFFFFFull >> (in.pos & 7))) == 0) {
    // Escape: q is the byte after the four that start at the current byte.
    const uint32_t byte = in.pos >> 3;
    const uint32_t q = in.bits[byte + 4];
    in.pos = (byte + 5) * 8;
    in.refill();
    t = (q << k) + (uint32_t(in.buf) & ((uint32_t(1) << k) - 1));
    in.consume(k);
  } else {
    const uint32_t q = uint32_t(__builtin_ctzll(in.buf));
    t = (q << k) + (uint32_t(in.buf >> (q + 1)) & ((uint32_t(1) << k) - 1));
    in.consume(q + 1 + k);
  }
  if (kChecked && in.pos > lane.bitCount) return false;
  if (!updatePackedState(t, state)) return false;
  *out = residualByte(t);
  return true;
}

// The values of lane.done .. end - 1 of a non-zero run.
inline __attribute__((always_inline)) bool runValues(Lane& lane, uint32_t& state,
                                                     uint32_t end) {
  uint8_t* out = lane.out + std::size_t(lane.done) * 4;
  uint8_t* const stop = lane.out + std::size_t(end) * 4;
  const uint64_t worst = uint64_t(end - lane.done) * 56;
  if (lane.in.pos + worst <= lane.bitCount) {
    for (; out != stop; out += 4)
      if (!nextValue<false>(lane, state, out)) return false;
  } else {
    for (; out != stop; out += 4)
      if (!nextValue<true>(lane, state, out)) return false;
  }
  lane.done = end;
  return true;
}

// The rest of one channel: runs read one after another, zero runs skipped (the words are
// cleared).
inline __attribute__((always_inline)) bool finishLane(Lane& lane, uint32_t& state,
                                                      uint32_t count) {
  if (lane.done < lane.runEnd && !runValues(lane, state, lane.runEnd)) return false;
  while (lane.done < count) {
    if (!nextRun(lane, count)) return false;
    if (lane.done >= count) break;
    if (!runValues(lane, state, lane.runEnd)) return false;
  }
  return true;
}

// One value of a lane, reading the next run first when one has ended; `active` drops when
// the lane has all its values.
inline __attribute__((always_inline)) bool stepLane(Lane& lane, uint32_t& state,
                                                    uint32_t count, bool& active) {
  if (lane.done == lane.runEnd) {
    if (lane.done < count && !nextRun(lane, count)) return false;
    if (lane.done >= count) {
      active = false;
      return true;
    }
  }
  if (!nextValue<true>(lane, state, lane.out + std::size_t(lane.done) * 4)) return false;
  ++lane.done;
  return true;
}

// Two channels value by value in turn: their dependency chains (bit position, magnitude sum
// and k) are independent, so the processor overlaps them. The state lives in local copies.
inline __attribute__((always_inline)) bool decodePair(Lane first, Lane second, uint32_t count) {
  uint32_t s0 = 3, s1 = 3;
  bool active0 = true, active1 = true;
  while (active0 && active1) {
    if (!stepLane(first, s0, count, active0)) return false;
    if (!stepLane(second, s1, count, active1)) return false;
  }
  return finishLane(first, s0, count) && finishLane(second, s1, count);
}

inline __attribute__((always_inline)) bool decodeSingle(Lane lane, uint32_t count) {
  uint32_t state = 3;
  return finishLane(lane, state, count);
}

inline __attribute__((always_inline)) bool decodeScanned(uint32_t* words, uint32_t count,
                                                             int channels,
                                                             const uint8_t* const* bits,
                                                             const uint32_t* bitCounts) {
  std::memset(words, 0, std::size_t(count) * 4);
  if (count == 0) return true;
  Lane lanes[4];
  int used = 0;
  for (int c = 0; c < channels; ++c) {
    if (!bits[c]) continue;  // a skipped channel stays zero
    if (bitCounts[c] == 0) return false;
    Lane& lane = lanes[used++];
    lane.in = BitBuffer{bits[c], 0, 0, 0};
    lane.in.refill();
    lane.nextZero = !(lane.in.buf & 1);
    lane.in.consume(1);
    lane.bitCount = bitCounts[c];
    lane.out = reinterpret_cast<uint8_t*>(words) + c;
    lane.done = lane.runEnd = 0;
  }
  int c = 0;
  for (; c + 2 <= used; c += 2)
    if (!decodePair(lanes[c], lanes[c + 1], count)) return false;
  return c == used || decodeSingle(lanes[c], count);
}

}  // namespace

bool TlgDecodeFirstChannel(void* words, uint32_t count, const uint8_t* bits, uint32_t bitCount) {
  return decodePortable<true>(words, count, bits, bitCount);
}

bool TlgDecodeOtherChannel(void* bytes, uint32_t count, const uint8_t* bits, uint32_t bitCount) {
  return decodePortable<false>(bytes, count, bits, bitCount);
}

// The portable definition of a band: the single-channel routines one after another.
bool TlgDecodeChannels(uint32_t* words, uint32_t count, int channels, const uint8_t* const* bits,
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

bool TlgDecodeChannelsScan(uint32_t* words, uint32_t count, int channels,
                                  const uint8_t* const* bits, const uint32_t* bitCounts) {
  return decodeScanned(words, count, channels, bits, bitCounts);
}

#ifdef TLG_HAVE_X86_FORMS
// The scan form compiled for BMI1/BMI2 (tzcnt, shrx, bzhi); chosen only when probed.
__attribute__((target("bmi,bmi2"))) bool TlgDecodeChannelsBmi2(uint32_t* words, uint32_t count,
                                                                int channels,
                                                                const uint8_t* const* bits,
                                                                const uint32_t* bitCounts) {
  return decodeScanned(words, count, channels, bits, bitCounts);
}
#endif

}  // namespace limg
