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

// ---- Register form: the bits ahead live in a 64-bit register that is refilled only when
// fewer bits are left than the next code can take, and the adaptive step is one load from
// kTlgGolombNextK. The four phases of n are unrolled, so a run goes on at the phase where the
// last one stopped without a branch on it.

// Codes whose zero bits reach past these bits take the exact (slow) path.
constexpr uint32_t kFastZeros = 24;
constexpr uint32_t kValueBits = kFastZeros + 1 + 8;   // the longest fast value code
constexpr uint32_t kGammaBits = 2 * kFastZeros + 1;   // the longest fast run length
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

// One channel into byte 0 of every 4 bytes of out (the words are cleared beforehand, so zero
// runs are skipped).
inline __attribute__((always_inline)) bool decodeLane(uint8_t* out, uint32_t count,
                                                      const uint8_t* bits, uint32_t bitCount) {
  const uint8_t* const nextK = kTlgGolombNextK.data();
  uint8_t* const last = out + std::size_t(count) * 4;
  uint64_t buf = load64(bits);
  uint32_t avail = 64, end = 64;  // valid bits in buf; position just past them
  const bool zeroFirst = !(buf & 1);
  buf >>= 1;
  avail -= 1;
  uint32_t a2 = 0;  // 2a
  uint32_t k = kTlgGolombBitLength[0][3];
  uint8_t* stop = out;
  uint32_t pos;

#define TLG_REFILL(need)                                \
  if (avail < (need)) {                                 \
    pos = end - avail;                                  \
    if (pos > bitCount) return false;                   \
    buf = load64(bits + (pos >> 3)) >> (pos & 7);       \
    avail = 64 - (pos & 7);                             \
    end = pos + avail;                                  \
  }

// The next run length into `length`.
#define TLG_GAMMA(length)                                        \
  TLG_REFILL(kGammaBits)                                         \
  if (__builtin_expect((buf & kFastMask) != 0, 1)) {             \
    const uint32_t m = uint32_t(__builtin_ctzll(buf));           \
    const uint64_t rest = buf >> (m + 1);                        \
    length = uint32_t(rest & ((uint64_t(1) << m) - 1)) | (uint32_t(1) << m); \
    buf = rest >> m;                                             \
    avail -= 2 * m + 1;                                          \
  } else {                                                       \
    pos = end - avail;                                           \
    if (pos > bitCount) return false;                            \
    const SlowCode c = slowGamma(bits, pos);                     \
    if (!c.ok) return false;                                     \
    length = c.value;                                            \
    pos = c.pos;                                                 \
    avail = 0;                                                   \
    end = pos;                                                   \
  }

// One value at phase n, then on to label `next` (or `done` at the end of the run).
#define TLG_VALUE(n, next, runEnd)                                         \
  {                                                                        \
    TLG_REFILL(kValueBits)                                                 \
    uint32_t t;                                                            \
    if (__builtin_expect((buf & kFastMask) != 0, 1)) {                     \
      const uint32_t q = uint32_t(__builtin_ctzll(buf));                   \
      const uint64_t rest = buf >> (q + 1);                                \
      t = (q << k) + (uint32_t(rest) & ((uint32_t(1) << k) - 1));          \
      buf = rest >> k;                                                     \
      avail -= q + 1 + k;                                                  \
    } else {                                                               \
      pos = end - avail;                                                   \
      if (pos > bitCount) return false;                                    \
      const SlowCode c = slowValue(bits, pos, k);                          \
      t = c.value;                                                         \
      pos = c.pos;                                                         \
      avail = 0;                                                           \
      end = pos;                                                           \
    }                                                                      \
    const uint32_t index = a2 + t;                                         \
    if (index >= kTlgNextKLimit[n]) return false;                          \
    k = nextK[kTlgNextKOffset[n] + index];                                 \
    a2 = (n) ? index & ~1u : (index >> 1) & ~1u;                           \
    *out = kByteOf.b[t & 0x1FF];                                           \
    out += 4;                                                              \
    if (out == stop) goto runEnd;                                          \
    goto next;                                                             \
  }

// A non-zero run that starts at phase n: its length, then its values.
#define TLG_RUN(n, value)                                                  \
  {                                                                        \
    if (out == last) goto finished;                                        \
    uint32_t length;                                                       \
    TLG_GAMMA(length)                                                      \
    if (length > uint32_t(last - out) / 4) return false;                   \
    stop = out + std::size_t(length) * 4;                                  \
    goto value;                                                            \
  }

// A zero run before the non-zero run at phase n.
#define TLG_ZEROS(n, run)                                                  \
  {                                                                        \
    if (out == last) goto finished;                                        \
    uint32_t length;                                                       \
    TLG_GAMMA(length)                                                      \
    if (length > uint32_t(last - out) / 4) return false;                   \
    out += std::size_t(length) * 4;                                        \
    goto run;                                                              \
  }

  if (zeroFirst) goto zeros3;
  goto run3;
zeros3: TLG_ZEROS(3, run3)
zeros2: TLG_ZEROS(2, run2)
zeros1: TLG_ZEROS(1, run1)
zeros0: TLG_ZEROS(0, run0)
run3: TLG_RUN(3, value3)
run2: TLG_RUN(2, value2)
run1: TLG_RUN(1, value1)
run0: TLG_RUN(0, value0)
value3: TLG_VALUE(3, value2, zeros2)
value2: TLG_VALUE(2, value1, zeros1)
value1: TLG_VALUE(1, value0, zeros0)
value0: TLG_VALUE(0, value3, zeros3)
finished:
#undef TLG_REFILL
#undef TLG_GAMMA
#undef TLG_VALUE
#undef TLG_RUN
#undef TLG_ZEROS
  return end - avail <= bitCount;
}

inline __attribute__((always_inline)) bool decodeScanned(uint32_t* words, uint32_t count,
                                                         int channels,
                                                         const uint8_t* const* bits,
                                                         const uint32_t* bitCounts) {
  std::memset(words, 0, std::size_t(count) * 4);
  if (count == 0) return true;
  for (int c = 0; c < channels; ++c) {
    if (!bits[c]) continue;  // a skipped channel stays zero
    if (bitCounts[c] == 0) return false;
    if (!decodeLane(reinterpret_cast<uint8_t*>(words) + c, count, bits[c], bitCounts[c]))
      return false;
  }
  return true;
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
