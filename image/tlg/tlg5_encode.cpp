// The TLG5 encoder: blocks of 4 rows; per colour, the row-wise and column-wise differences with
// green taken out of blue and red, LZSS-coded with one compressor carried across the whole
// picture, or stored when coding doesn't make the record smaller.
#include <vector>

#include "image/tlg/slide_compressor.h"
#include "image/tlg/tlg_encode.h"

namespace limg {

namespace {

constexpr int kBlockHeight = 4;

// Differences of one block into the colour planes. A one-colour source feeds all three planes.
void blockDifferences(const TlgEncodeSource& source, int sourceColours, int planes, int y0, int rows,
                      std::vector<uint8_t>* plane) {
  const int width = source.width;
  for (int j = 0; j < rows; ++j) {
    const int y = y0 + j;
    const uint8_t* row = source.rows[y];
    const uint8_t* up = y > 0 ? source.rows[y - 1] : nullptr;
    uint8_t previous[4] = {0, 0, 0, 0};
    const std::size_t base = std::size_t(j) * std::size_t(width);
    for (int x = 0; x < width; ++x) {
      uint8_t e[4];
      for (int c = 0; c < planes; ++c) {
        const int at = x * sourceColours + (sourceColours == 1 ? 0 : c);
        const uint8_t m = uint8_t(row[at] - (up ? up[at] : 0));
        e[c] = uint8_t(m - previous[c]);
        previous[c] = m;
      }
      plane[0][base + x] = uint8_t(e[0] - e[1]);
      plane[1][base + x] = e[1];
      plane[2][base + x] = uint8_t(e[2] - e[1]);
      if (planes == 4) plane[3][base + x] = e[3];
    }
  }
}

}  // namespace

void Tlg5Encode(const TlgEncodeSource& source, TlgMemoryWriter& writer) {
  const int sourceColours = TlgColourCount(source.colourType);
  if (!sourceColours || source.width <= 0 || source.height <= 0 || !source.rows) return;
  const int planes = sourceColours == 1 ? 3 : sourceColours;
  const int width = source.width, height = source.height;

  writer.write(kTlg5Magic, 11);
  writer.write8(uint8_t(planes));
  writer.write32(uint32_t(width));
  writer.write32(uint32_t(height));
  writer.write32(kBlockHeight);
  const int blockCount = (height - 1) / kBlockHeight + 1;
  const uint32_t tableAt = writer.position;
  for (int b = 0; b < blockCount; ++b) writer.write("    ", 4);

  const std::size_t planeBytes = std::size_t(width) * kBlockHeight;
  std::vector<uint8_t> plane[4];
  for (int c = 0; c < planes; ++c) plane[c].resize(planeBytes);
  std::vector<uint8_t> packed(SlideCompressor::MaxOutput(planeBytes));
  SlideCompressor compressor;

  for (int b = 0; b < blockCount; ++b) {
    const int y0 = b * kBlockHeight;
    const int rows = height - y0 < kBlockHeight ? height - y0 : kBlockHeight;
    blockDifferences(source, sourceColours, planes, y0, rows, plane);
    const std::size_t n = std::size_t(rows) * std::size_t(width);
    uint32_t blockSize = 0;
    for (int c = 0; c < planes; ++c) {
      compressor.Store();
      std::size_t size = 0;
      compressor.Encode(plane[c].data(), n, packed.data(), &size);
      if (size < n) {
        writer.write8(0);
        writer.write32(uint32_t(size));
        writer.write(packed.data(), uint32_t(size));
      } else {
        compressor.Restore();  // the reader leaves its ring alone for a stored record
        size = n;
        writer.write8(1);
        writer.write32(uint32_t(n));
        writer.write(plane[c].data(), uint32_t(n));
      }
      blockSize += uint32_t(5 + size);
    }
    writer.patch32(tableAt + 4 * uint32_t(b), blockSize);
  }
}

}  // namespace limg
