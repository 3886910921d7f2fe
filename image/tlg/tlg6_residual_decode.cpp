// TLG6 residual decoding: alternating zero and non-zero runs (Elias-gamma lengths) and
// adaptive Golomb-Rice value codes with an escape form at 4-byte windows.
#include <cstring>

#include "image/tlg/tlg_routines.h"
#include "image/tlg/tlg_tables.h"

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

template <bool kWords>
inline __attribute__((always_inline)) bool decodeScan(void* outVoid, uint32_t count,
                                                      const uint8_t* bits, uint32_t bitCount) {
  uint8_t* out = static_cast<uint8_t*>(outVoid);
  if (count == 0) return true;
  if (bitCount == 0) return false;
  BitBuffer in{bits, 0, 0, 0};
  in.refill();
  bool zeroRun = !(in.buf & 1);
  in.consume(1);
  uint32_t a = 0, done = 0;
  int n = 3;
  while (done < count) {
    in.refill();
    if (uint32_t(in.buf) == 0) return false;  // 32 or more gamma zeros
    const uint32_t m = uint32_t(__builtin_ctzll(in.buf));
    in.consume(m + 1);
    if (in.avail < m) in.refill();
    const uint64_t length = (uint64_t(1) << m) | (uint32_t(in.buf) & ((uint32_t(1) << m) - 1));
    in.consume(m);
    if (in.pos > bitCount || length > count - done) return false;
    const uint32_t run = uint32_t(length);
    if (zeroRun) {
      storeZeros<kWords>(out, done, run);
    } else {
      const uint32_t end = done + run;
      for (uint32_t index = done; index < end; ++index) {
        if (in.avail < 41) in.refill();  // a normal code takes at most 32 + 1 + 8 bits
        const uint32_t k = kTlgGolombBitLength[a][n];
        uint32_t t;
        if ((in.buf & (0xFFFFFFFFull >> (in.pos & 7))) == 0) {
          // Escape: q is the byte after the four that start at the current byte.
          const uint32_t byte = in.pos >> 3;
          const uint32_t q = bits[byte + 4];
          in.pos = (byte + 5) * 8;
          in.refill();
          t = (q << k) + (uint32_t(in.buf) & ((uint32_t(1) << k) - 1));
          in.consume(k);
        } else {
          const uint32_t q = uint32_t(__builtin_ctzll(in.buf));
          t = (q << k) + (uint32_t(in.buf >> (q + 1)) & ((uint32_t(1) << k) - 1));
          in.consume(q + 1 + k);
        }
        if (in.pos > bitCount || !updateState(t, a, n)) return false;
        storeValue<kWords>(out, index, residualByte(t));
      }
    }
    done += run;
    zeroRun = !zeroRun;
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

bool TlgDecodeFirstChannelScan(void* words, uint32_t count, const uint8_t* bits, uint32_t bitCount) {
  return decodeScan<true>(words, count, bits, bitCount);
}

bool TlgDecodeOtherChannelScan(void* bytes, uint32_t count, const uint8_t* bits, uint32_t bitCount) {
  return decodeScan<false>(bytes, count, bits, bitCount);
}

#ifdef TLG_HAVE_X86_FORMS
// The scan form compiled for BMI1/BMI2 (tzcnt, shrx, bzhi); chosen only when probed.
__attribute__((target("bmi,bmi2"))) bool TlgDecodeFirstChannelBmi2(void* words, uint32_t count,
                                                                    const uint8_t* bits,
                                                                    uint32_t bitCount) {
  return decodeScan<true>(words, count, bits, bitCount);
}

__attribute__((target("bmi,bmi2"))) bool TlgDecodeOtherChannelBmi2(void* bytes, uint32_t count,
                                                                    const uint8_t* bits,
                                                                    uint32_t bitCount) {
  return decodeScan<false>(bytes, count, bits, bitCount);
}
#endif
