// TLG5: blocks of rows, each colour plane stored or LZSS-coded as row differences.
#include <cstring>

#include "image/aligned_alloc.h"
#include "image/tlg/tlg_decode.h"

namespace limg {

namespace {

template <bool kAlpha>
void composeRow(uint32_t* row, const uint32_t* above, const uint8_t* const* planes, int32_t width) {
  uint8_t s0 = 0, s1 = 0, s2 = 0, s3 = 0;
  for (int32_t x = 0; x < width; ++x) {
    const uint8_t g = planes[1][x];
    s0 = uint8_t(s0 + planes[0][x] + g);
    s1 = uint8_t(s1 + g);
    s2 = uint8_t(s2 + planes[2][x] + g);
    const uint32_t up = above[x];
    const uint32_t b = uint8_t(s0 + up), gg = uint8_t(s1 + (up >> 8)), r = uint8_t(s2 + (up >> 16));
    uint32_t a = 0xFF;
    if (kAlpha) {
      s3 = uint8_t(s3 + planes[3][x]);
      a = uint8_t(s3 + (up >> 24));
    }
    row[x] = b | gg << 8 | r << 16 | a << 24;
  }
}

template <class T>
AlignedPtr<T> allocZeroed(std::size_t count) {
  AlignedPtr<T> p = makeAligned<T>(count);
  if (!p) throw std::bad_alloc();
  std::memset(p.get(), 0, count * sizeof(T));
  return p;
}

}  // namespace

void Tlg5ComposeRow3(uint32_t* row, const uint32_t* above, const uint8_t* const* planes,
                     int32_t width) {
  composeRow<false>(row, above, planes, width);
}

void Tlg5ComposeRow4(uint32_t* row, const uint32_t* above, const uint8_t* const* planes,
                     int32_t width) {
  composeRow<true>(row, above, planes, width);
}

bool Tlg5Decode(const TlgCallbacks& callbacks, void* image, TlgMemoryStream& stream,
                const TlgRoutines& routines) {
  if (stream.remaining() < 13) return false;
  const int32_t colours = stream.read8();
  const int32_t width = int32_t(stream.read32());
  const int32_t height = int32_t(stream.read32());
  const int32_t blockHeight = int32_t(stream.read32());
  if (colours != 3 && colours != 4) return false;
  if (width <= 0 || height <= 0 || blockHeight <= 0) return false;
  const int64_t blockCount = (int64_t(height) - 1) / blockHeight + 1;
  // The block-size table, a 5-byte record head per colour and block, and each plane's
  // differences at the LZSS's best expansion: a header claiming more is refused before the
  // picture is allocated.
  const uint64_t least = uint64_t(blockCount) * (4 + 5 * uint64_t(colours)) +
                         uint64_t(colours) * TlgLzssLeastInput(uint64_t(width) * uint64_t(height));
  if (least > stream.remaining()) return false;
  if (stream.seek(4 * blockCount, 1) != 0) return false;
  if (callbacks.size(image, width, height, colours) == 0) return false;

  // A record holds at most width x blockHeight + 10 bytes. The plane buffers hold one block
  // (the block height cut to the picture's); decoded bytes beyond that are refused.
  const uint64_t recordLimit = uint64_t(width) * uint64_t(blockHeight) + 10;
  const int32_t rowsPerBlock = blockHeight < height ? blockHeight : height;
  const uint64_t capacity64 = uint64_t(width) * uint64_t(rowsPerBlock) + 10;
  if (capacity64 > 0xFFFFFFF0u - kTlgLzssSlack - kTlgLzssHistory) return false;
  const uint32_t capacity = uint32_t(capacity64);
  AlignedPtr<uint8_t> ring = allocZeroed<uint8_t>(4096);
  AlignedPtr<uint8_t> planeBuffer[4];
  uint8_t* planeOutput[4] = {nullptr, nullptr, nullptr, nullptr};
  for (int32_t c = 0; c < colours; ++c) {
    planeBuffer[c] =
        allocZeroed<uint8_t>(kTlgLzssHistory + std::size_t(capacity) + kTlgLzssSlack);
    planeOutput[c] = planeBuffer[c].get() + kTlgLzssHistory;
  }
  AlignedPtr<uint32_t> zeroRow = allocZeroed<uint32_t>(std::size_t(width));
  const Tlg5ComposeFn compose = colours == 4 ? routines.compose4 : routines.compose3;

  uint32_t r = 0;
  const uint32_t* above = zeroRow.get();
  for (int32_t y0 = 0; y0 < height; y0 += blockHeight) {
    const int32_t rows = height - y0 < blockHeight ? height - y0 : blockHeight;
    const uint32_t needed = uint32_t(width) * uint32_t(rows);
    for (int32_t c = 0; c < colours; ++c) {
      if (stream.remaining() < 5) return false;
      const uint8_t mark = stream.read8();
      const uint32_t dataSize = stream.read32();
      if (dataSize > recordLimit || dataSize > stream.remaining()) return false;
      if (mark != 0) {
        if (dataSize < needed) return false;
        stream.read(planeOutput[c], dataSize < capacity ? dataSize : capacity);
        stream.seek(dataSize - (dataSize < capacity ? dataSize : capacity), 1);
      } else {
        // Decoded straight from the caller's bytes.
        const uint8_t* coded = stream.data + stream.position;
        stream.seek(dataSize, 1);
        uint32_t written = 0;
        r = routines.lzssDecode(planeOutput[c], capacity, coded, dataSize, ring.get(), r,
                                &written);
        if (written > capacity || written < needed) return false;
      }
    }
    for (int32_t j = 0; j < rows; ++j) {
      uint32_t* row = callbacks.scanline(image, y0 + j);
      const uint8_t* rowPlanes[4];
      for (int32_t c = 0; c < 4; ++c)
        rowPlanes[c] =
            planeOutput[c] ? planeOutput[c] + std::size_t(j) * std::size_t(width) : nullptr;
      compose(row, above, rowPlanes, width);
      callbacks.scanline(image, -1);
      above = row;
    }
  }
  return true;
}

}  // namespace limg
