// The TLG writers on arbitrary input: the LZSS compressor (fresh or primed ring, in pieces) and
// both pixel encoders must give data that the reference reader decodes back to the input.
#include <cstdint>
#include <cstring>
#include <vector>

#include "image/tlg/slide_compressor.h"
#include "image/tlg/tlg_encode.h"
#include "tests/image/tlg_write/tlg_reference_compressor.h"
#include "tests/image/tlg_write/tlg_reference_decoder.h"

using namespace limg;

namespace {

void check(bool ok) {
  if (!ok) __builtin_trap();
}

void compressorRoundTrip(const uint8_t* data, std::size_t size, bool primed, unsigned pieces) {
  SlideCompressor c;
  static tlgref::PlainCompressor plain;  // large; the oracle for the exact bytes
  plain = tlgref::PlainCompressor();
  uint8_t ring[4096] = {};
  if (primed) {
    uint8_t pattern[4096];
    TlgFilterRingPattern(pattern);
    std::vector<uint8_t> discard(SlideCompressor::MaxOutput(4096)), ignored;
    std::size_t n = 0;
    c.Encode(pattern, 4096, discard.data(), &n);
    plain.encode(pattern, 4096, ignored);
    tlgref::filterRing(ring);
  }
  std::vector<uint8_t> decoded;
  int r = 0;
  std::size_t done = 0;
  const std::size_t step = size / (pieces + 1) + 1;
  while (done < size) {
    const std::size_t piece = size - done < step ? size - done : step;
    std::vector<uint8_t> out(SlideCompressor::MaxOutput(piece));
    std::size_t n = 0;
    c.Encode(data + done, piece, out.data(), &n);
    check(n <= out.size());
    std::vector<uint8_t> want;
    plain.encode(data + done, piece, want);
    check(want.size() == n && std::memcmp(want.data(), out.data(), n) == 0);
    r = tlgref::lzssDecode(decoded, out.data(), n, ring, r);
    check(r == c.position());
    done += piece;
  }
  check(decoded.size() == size && (size == 0 || std::memcmp(decoded.data(), data, size) == 0));
}

void pictureRoundTrip(const uint8_t* data, std::size_t size, int width, int colours) {
  const int height = int(size / (std::size_t(width) * colours));
  if (height == 0) return;
  std::vector<const uint8_t*> rows;
  for (int y = 0; y < height; ++y) rows.push_back(data + std::size_t(y) * width * colours);
  const TlgEncodeSource source{width, height, rows.data(), colours == 1 ? 3 : colours == 4 ? 7 : 6};
  for (int tlg6 = 0; tlg6 < 2; ++tlg6) {
    TlgMemoryWriter w(64);
    if (tlg6) SaveTLG6(source, w, 1);
    else Tlg5Encode(source, w);
    const tlgref::Picture pic = tlgref::decode(std::vector<uint8_t>(w.data, w.data + w.size()));
    check(pic.ok && pic.width == width && pic.height == height);
    for (int y = 0; y < height; ++y)
      for (int x = 0; x < width; ++x) {
        const uint8_t* px = rows[y] + x * colours;
        const uint32_t got = pic.pixels[std::size_t(y) * width + x];
        if (colours == 1) {
          check((got & 0xFF) == px[0]);
        } else {
          const uint32_t want = px[0] | px[1] << 8 | px[2] << 16 | uint32_t(colours == 4 ? px[3] : 0xFF) << 24;
          check(got == want);
        }
      }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  if (size < 2 || size > 20000) return 0;
  const uint8_t mode = data[0], arg = data[1];
  data += 2;
  size -= 2;
  if (mode & 1) {
    compressorRoundTrip(data, size, mode & 2, arg % 8);
  } else {
    static const int kColours[3] = {1, 3, 4};
    pictureRoundTrip(data, size, 1 + arg % 40, kColours[(mode >> 1) % 3]);
  }
  return 0;
}
