// TLG6: bands of 8 rows cut into 8x8 blocks, each with its own predictor and colour transform.
#include <chrono>
#include <cstdint>
#include <cstring>

#include "image/aligned_alloc.h"
#include "image/tlg/tlg6_transform.h"
#include "image/tlg/tlg_decode.h"

namespace limg {

namespace {

inline uint8_t med(uint8_t a, uint8_t b, uint8_t c) {
  const uint8_t mx = a > b ? a : b, mn = a > b ? b : a;
  if (c >= mx) return mn;
  if (c <= mn) return mx;
  return uint8_t(a + b - c);
}

inline uint32_t predict(uint32_t left, uint32_t above, uint32_t aboveLeft, bool average) {
  uint32_t p = 0;
  for (int s = 0; s < 32; s += 8) {
    const uint8_t a = uint8_t(left >> s), b = uint8_t(above >> s), c = uint8_t(aboveLeft >> s);
    const uint8_t v = average ? uint8_t((a + b + 1) >> 1) : med(a, b, c);
    p |= uint32_t(v) << s;
  }
  return p;
}

inline uint32_t addBytes(uint32_t x, uint32_t y) {
  return ((x & 0x7F7F7F7F) + (y & 0x7F7F7F7F)) ^ ((x ^ y) & 0x80808080);
}

template <class T>
AlignedPtr<T> allocBuffer(std::size_t count) {
  AlignedPtr<T> p = makeAligned<T>(count);
  if (!p) throw std::bad_alloc();
  return p;
}

// The filter-type map, one byte per block, LZSS-coded over a ring pre-filled with every
// (type, type, type, type, j, j, j, j) pattern. False unless it fills the map exactly with
// types 0-31.
bool readFilterTypes(TlgMemoryStream& stream, uint8_t* map, uint32_t mapSize,
                     const TlgRoutines& routines) {
  if (stream.remaining() < 4) return false;
  const uint32_t codedSize = stream.read32();
  if (codedSize > stream.remaining()) return false;
  AlignedPtr<uint8_t> ring = allocBuffer<uint8_t>(4096);
  uint8_t* p = ring.get();
  for (int i = 0; i < 32; ++i)
    for (int j = 0; j < 16; ++j) {
      std::memset(p, i, 4);
      std::memset(p + 4, j, 4);
      p += 8;
    }
  uint32_t written = 0;
  const uint8_t* coded = stream.data + stream.position;  // decoded in place
  stream.seek(codedSize, 1);
  routines.lzssDecode(map, mapSize, coded, codedSize, ring.get(), 0, &written);
  if (written != mapSize) return false;
  for (uint32_t i = 0; i < mapSize; ++i)
    if (map[i] > 31) return false;
  return true;
}

// How the band pairs reach their run ends. Both ways give the same residuals; which is faster
// depends on the picture (short irregular runs favour the mask, long or patterned runs the
// branch; measured on real pictures, each wins by up to a sixth), so both are timed on the
// picture itself: the first two band pairs one way each, then the faster per value, the
// other tried again every eighth pair as the content changes.
class RunEndChooser {
 public:
  static constexpr uint32_t kRetryEvery = 8;
  TlgRunEnds start() {
    ++pairs_;
    if (pairs_ <= 2) {
      pick_ = pairs_ == 1 ? kTlgRunEndsBranch : kTlgRunEndsMasked;
    } else {
      const TlgRunEnds faster =
          nsPerValue_[kTlgRunEndsMasked] < nsPerValue_[kTlgRunEndsBranch] ? kTlgRunEndsMasked
                                                                          : kTlgRunEndsBranch;
      const TlgRunEnds other = faster == kTlgRunEndsMasked ? kTlgRunEndsBranch : kTlgRunEndsMasked;
      pick_ = pairs_ % kRetryEvery != 0 ? faster : other;
    }
    began_ = Clock::now();
    return pick_;
  }
  void finish(uint64_t values) {
    const double ns = std::chrono::duration<double, std::nano>(Clock::now() - began_).count();
    const double rate = ns / double(values ? values : 1);
    double& kept = nsPerValue_[pick_];
    kept = pairs_ <= 2 ? rate : (kept + rate) / 2;
  }

 private:
  using Clock = std::chrono::steady_clock;
  uint32_t pairs_ = 0;
  TlgRunEnds pick_ = kTlgRunEndsBranch;
  double nsPerValue_[2] = {0, 0};
  Clock::time_point began_;
};

void expandGrey(uint32_t* row, int32_t width) {
  for (int32_t x = 0; x < width; ++x) row[x] = 0xFF000000u | (row[x] & 0xFF) * 0x010101u;
}

}  // namespace

uint32_t Tlg6DecodeRow(const uint32_t* above, uint32_t* row, int32_t width, int32_t firstBlock,
                       int32_t blockLimit, const uint8_t* filterTypes, int32_t blockStride,
                       const uint32_t* residuals, uint32_t initialPixel, int32_t oddSkip,
                       int forward) {
  uint32_t left = initialPixel, aboveLeft = initialPixel;
  if (firstBlock > 0) {
    left = row[8 * firstBlock - 1];
    aboveLeft = above[8 * firstBlock - 1];
    residuals += std::ptrdiff_t(firstBlock) * blockStride;
  }
  for (int32_t i = firstBlock; i < blockLimit; ++i, residuals += blockStride) {
    const int32_t w = width - 8 * i < 8 ? width - 8 * i : 8;
    const uint32_t* p = residuals + (forward ? 0 : w - 1);
    const std::ptrdiff_t step = forward ? 1 : -1;
    if (i & 1) p += std::ptrdiff_t(oddSkip) * w;
    const uint32_t type = filterTypes[i];
    if (type > 31) break;
    const bool average = type & 1;
    for (int32_t t = 0; t < w; ++t, p += step) {
      const int32_t x = 8 * i + t;
      const uint32_t b = above[x];
      const uint32_t pixel = addBytes(predict(left, b, aboveLeft, average),
                                      Tlg6ApplyTransform(*p, type >> 1));
      row[x] = pixel;
      aboveLeft = b;
      left = pixel;
    }
  }
  return left;
}

void Tlg6DecodeRowPair(const uint32_t* above, uint32_t* rowA, uint32_t* rowB, int32_t width,
                       int32_t blockLimit, const uint8_t* filterTypes, int32_t blockStride,
                       const uint32_t* residualsA, const uint32_t* residualsB,
                       uint32_t initialPixel, int32_t oddSkipA, int forwardA) {
  Tlg6DecodeRow(above, rowA, width, 0, blockLimit, filterTypes, blockStride, residualsA,
                initialPixel, oddSkipA, forwardA);
  Tlg6DecodeRow(rowA, rowB, width, 0, blockLimit, filterTypes, blockStride, residualsB,
                initialPixel, oddSkipA - 2, !forwardA);
}

bool Tlg6Decode(const TlgCallbacks& callbacks, void* image, TlgMemoryStream& stream,
                const TlgRoutines& routines) {
  uint8_t head[4];
  if (stream.read(head, 4) != 4) return false;
  const int32_t colours = head[0];
  if ((colours != 1 && colours != 3 && colours != 4) || head[1] || head[2] || head[3]) return false;
  if (stream.remaining() < 12) return false;
  const int32_t width = int32_t(stream.read32());
  const int32_t height = int32_t(stream.read32());
  const int32_t maxBitLength = int32_t(stream.read32());
  if (width <= 0 || height <= 0 || maxBitLength < 0) return false;
  const int32_t xBlockCount = (width - 1) / 8 + 1, yBlockCount = (height - 1) / 8 + 1;
  const int32_t wholeBlocks = width / 8, lastBlockWidth = width % 8;
  const uint64_t mapSize64 = uint64_t(xBlockCount) * uint64_t(yBlockCount);
  // The map's size word and its bytes at the LZSS's best expansion, and a bit-length word
  // per channel and band: a header claiming more is refused before the picture is allocated.
  const uint64_t least =
      4 + TlgLzssLeastInput(mapSize64) + uint64_t(yBlockCount) * uint64_t(colours) * 4;
  if (least > stream.remaining()) return false;
  if (callbacks.size(image, width, height, colours) == 0) return false;
  const uint32_t mapSize = uint32_t(mapSize64);
  AlignedPtr<uint8_t> filterBuffer =
      allocBuffer<uint8_t>(kTlgLzssHistory + std::size_t(mapSize) + kTlgLzssSlack);
  uint8_t* const filterTypes = filterBuffer.get() + kTlgLzssHistory;
  if (!readFilterTypes(stream, filterTypes, mapSize, routines)) return false;

  // Channel bits are read in place when 16 bytes of the data follow them (the bit readers
  // load whole words); otherwise from a zero-padded copy. The residuals of two bands are
  // decoded together (their streams are independent), then their rows are made.
  const uint32_t bitCapacity = uint32_t(maxBitLength) / 8 + 5;
  AlignedPtr<uint8_t> copies[4 * kTlgMaxBands];
  const uint64_t residualWords = uint64_t(width) * 8 * kTlgMaxBands + 1;
  if (residualWords > SIZE_MAX / 4) throw std::bad_alloc();
  AlignedPtr<uint32_t> residuals = allocBuffer<uint32_t>(std::size_t(residualWords));
  std::memset(residuals.get(), 0, std::size_t(residualWords) * 4);
  const uint32_t initialPixel = colours == 3 ? 0xFF000000u : 0;
  AlignedPtr<uint32_t> zeroRow = allocBuffer<uint32_t>(std::size_t(width));
  for (int32_t x = 0; x < width; ++x) zeroRow[x] = initialPixel;

  // A band's row count, and where row j of a band of h rows reads its residuals: odd blocks
  // from slot h - 1 - 2j on, odd rows backwards.
  const auto bandRows = [height](int32_t band) {
    return height - band * 8 < 8 ? height - band * 8 : 8;
  };
  const auto oddSkip = [](int32_t h, int32_t j) { return h - 1 - 2 * j; };
  const auto forward = [](int32_t j) { return (j & 1) ? 0 : 1; };
  const uint32_t* above = zeroRow.get();
  RunEndChooser chooser;
  for (int32_t firstBand = 0; firstBand < yBlockCount; firstBand += kTlgMaxBands) {
    const int32_t bands =
        yBlockCount - firstBand < kTlgMaxBands ? yBlockCount - firstBand : kTlgMaxBands;
    const uint8_t* bits[4 * kTlgMaxBands] = {};
    uint32_t bitCounts[4 * kTlgMaxBands] = {};
    uint32_t counts[kTlgMaxBands] = {};
    for (int32_t b = 0; b < bands; ++b) {
      counts[b] = uint32_t(bandRows(firstBand + b)) * uint32_t(width);
      for (int32_t c = 0; c < colours; ++c) {
        const int32_t s = b * colours + c;
        if (stream.remaining() < 4) return false;
        const uint32_t bitLength = stream.read32();
        bitCounts[s] = bitLength & 0x3FFFFFFF;
        const uint32_t byteCount = (bitCounts[s] + 7) / 8;
        if (byteCount > bitCapacity || byteCount > stream.remaining()) return false;
        const uint8_t* coded = stream.data + stream.position;
        stream.seek(byteCount, 1);
        if ((bitLength >> 30) != 0) continue;  // unknown coding method: the channel stays zero
        if (stream.remaining() >= 16) {
          bits[s] = coded;
        } else {
          copies[s] = allocBuffer<uint8_t>(std::size_t(byteCount) + 16);
          std::memcpy(copies[s].get(), coded, byteCount);
          std::memset(copies[s].get() + byteCount, 0, 16);
          bits[s] = copies[s].get();
        }
      }
    }
    const TlgRunEnds runEnds = chooser.start();
    if (!routines.decodeChannels(residuals.get(), counts, bands, colours, bits, bitCounts,
                                 runEnds))
      return false;
    chooser.finish((uint64_t(counts[0]) + counts[1]) * uint32_t(colours));
    const uint32_t* bandResiduals = residuals.get();
    for (int32_t b = 0; b < bands; ++b) {
      const int32_t y0 = (firstBand + b) * 8;
      const int32_t h = bandRows(firstBand + b);
      const uint8_t* bandTypes = filterTypes + std::size_t(firstBand + b) * xBlockCount;
      // Rows two at a time where the band has them: the whole blocks of both first, then
      // each row's last, narrower block.
      for (int32_t j = 0; j < h;) {
        const int32_t rows = j + 1 < h ? 2 : 1;
        uint32_t* row[2] = {callbacks.scanline(image, y0 + j), nullptr};
        if (rows == 2) row[1] = callbacks.scanline(image, y0 + j + 1);
        if (wholeBlocks > 0) {
          if (rows == 2)
            routines.decodeRowPairWholeBlocks(above, row[0], row[1], width, wholeBlocks,
                                              bandTypes, 8 * h, bandResiduals + j * 8,
                                              bandResiduals + (j + 1) * 8, initialPixel,
                                              oddSkip(h, j), forward(j));
          else
            routines.decodeRowWholeBlocks(above, row[0], width, 0, wholeBlocks, bandTypes,
                                          8 * h, bandResiduals + j * 8, initialPixel,
                                          oddSkip(h, j), forward(j));
        }
        for (int32_t r = 0; r < rows; ++r, ++j) {
          if (lastBlockWidth > 0)
            Tlg6DecodeRow(above, row[r], width, wholeBlocks, xBlockCount, bandTypes, 8 * h,
                          bandResiduals + j * lastBlockWidth, initialPixel, oddSkip(h, j),
                          forward(j));
          above = row[r];
        }
        // Grey rows are widened only now: the second row predicted from the first's byte 0,
        // which widening keeps.
        for (int32_t r = 0; r < rows; ++r) {
          if (colours == 1) expandGrey(row[r], width);
          callbacks.scanline(image, -1);
        }
      }
      bandResiduals += counts[b];
    }
  }
  return true;
}

}  // namespace limg
