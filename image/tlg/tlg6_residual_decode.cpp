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

// ---- Scan form: one unaligned 64-bit load per code and a count of trailing zeros.

inline uint64_t load64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

template <bool kWords>
inline __attribute__((always_inline)) bool decodeScan(void* outVoid, uint32_t count,
                                                      const uint8_t* bits, uint32_t bitCount) {
  uint8_t* out = static_cast<uint8_t*>(outVoid);
  if (count == 0) return true;
  if (bitCount == 0) return false;
  bool zeroRun = !(bits[0] & 1);
  uint32_t pos = 1, a = 0, done = 0;
  int n = 3;
  while (done < count) {
    uint64_t w = load64(bits + (pos >> 3)) >> (pos & 7);  // at least 57 valid bits
    if (uint32_t(w) == 0) return false;                    // 32 or more gamma zeros
    const uint32_t m = uint32_t(__builtin_ctzll(w));
    uint32_t low;
    if (2 * m + 1 <= 57) {
      low = uint32_t(w >> (m + 1)) & ((uint32_t(1) << m) - 1);
      pos += 2 * m + 1;
    } else {
      pos += m + 1;
      w = load64(bits + (pos >> 3)) >> (pos & 7);
      low = uint32_t(w) & ((uint32_t(1) << m) - 1);
      pos += m;
    }
    const uint64_t length = (uint64_t(1) << m) | low;
    if (pos > bitCount || length > count - done) return false;
    const uint32_t run = uint32_t(length);
    if (zeroRun) {
      storeZeros<kWords>(out, done, run);
    } else {
      const uint32_t end = done + run;
      for (uint32_t index = done; index < end; ++index) {
        const uint32_t k = kTlgGolombBitLength[a][n];
        const uint32_t byte = pos >> 3, shift = pos & 7;
        const uint64_t v = load64(bits + byte) >> shift;
        uint32_t t;
        if ((v & (0xFFFFFFFFull >> shift)) == 0) {
          const uint32_t q = bits[byte + 4];
          t = (q << k) + (uint32_t(load64(bits + byte + 5)) & ((uint32_t(1) << k) - 1));
          pos = (byte + 5) * 8 + k;
        } else {
          const uint32_t q = uint32_t(__builtin_ctzll(v));
          t = (q << k) + (uint32_t(v >> (q + 1)) & ((uint32_t(1) << k) - 1));
          pos += q + 1 + k;
        }
        if (pos > bitCount || !updateState(t, a, n)) return false;
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
