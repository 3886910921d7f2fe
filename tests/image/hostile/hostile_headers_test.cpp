// Headers that claim huge pictures from a few bytes, per format, each read under a 64 MB
// allocation limit: the reader must refuse them, and must do so before allocating for them
// (a refused request fails the case even when the reader copes with the refusal).
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>
#include <vector>

#include "image/aligned_alloc.h"
#include "image/codecs/jpeg.h"
#include "image/codecs/png.h"
#include "image/image.h"
#include "pack/packed_data_file.h"
#include "tests/image/hostile/allocation_limit.h"
#include "tests/image/test_support.h"
#include "tests/pack/dat_builder.h"
#include "tests/support/temp_dir.h"

using namespace limg;

namespace {

using Bytes = std::vector<uint8_t>;
constexpr std::size_t kLimit = 64u << 20;

struct Case {
  const char* label;
  Bytes bytes;
};

// Runs one read under the limit; the read returns whether it refused the input.
template <class Read>
void expectRefusedWithinLimit(const char* label, Read read) {
  setAllocationLimit(kLimit);
  bool refused = false;
  try {
    refused = read();
  } catch (const std::exception& e) {
    setAllocationLimit(0);
    ADD_FAILURE() << label << ": raised " << e.what();
    return;
  }
  const std::size_t overLimit = largestRefusedAllocation();
  setAllocationLimit(0);
  EXPECT_TRUE(refused) << label;
  EXPECT_EQ(overLimit, 0u) << label << ": asked for " << overLimit << " bytes before refusing";
}

// Refused by the loader: null, or (TLG) a record without pixels.
void expectLoaderRefuses(const std::vector<Case>& cases) {
  for (const Case& c : cases) {
    const GuardedBuffer data(c.bytes);
    expectRefusedWithinLimit(c.label, [&] {
      Image* image = ImageLoadFromMemory(data.data(), data.size());
      const bool refused = !image || !image->pixels;
      ImageDestroy(&image);
      return refused;
    });
  }
}

void put8(Bytes& b, uint32_t v) { b.push_back(uint8_t(v)); }
void putLe16(Bytes& b, uint32_t v) { put8(b, v), put8(b, v >> 8); }
void putLe32(Bytes& b, uint32_t v) { putLe16(b, v), putLe16(b, v >> 16); }
void putBe16(Bytes& b, uint32_t v) { put8(b, v >> 8), put8(b, v); }
void putBe32(Bytes& b, uint32_t v) { putBe16(b, v >> 16), putBe16(b, v); }
void putText(Bytes& b, const char* s, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) b.push_back(uint8_t(s[i]));
}
Bytes padded(Bytes b, std::size_t to) {
  if (b.size() < to) b.resize(to, 0);
  return b;
}

// ---- TLG -------------------------------------------------------------------------------

Bytes tlg5(uint8_t colours, uint32_t width, uint32_t height, uint32_t blockHeight, Bytes records = {}) {
  Bytes b;
  putText(b, "TLG5.0\0raw\x1a", 11);
  put8(b, colours);
  putLe32(b, width);
  putLe32(b, height);
  putLe32(b, blockHeight);
  putLe32(b, 0);  // the one entry of the block-size table
  b.insert(b.end(), records.begin(), records.end());
  return padded(b, 48);
}

Bytes tlg6(uint8_t colours, uint32_t width, uint32_t height, Bytes rest = {}) {
  Bytes b;
  putText(b, "TLG6.0\0raw\x1a", 11);
  put8(b, colours), put8(b, 0), put8(b, 0), put8(b, 0);
  putLe32(b, width);
  putLe32(b, height);
  putLe32(b, 64);  // maxBitLength
  b.insert(b.end(), rest.begin(), rest.end());
  return padded(b, 48);
}

Bytes container(const Bytes& stream) {
  Bytes b;
  putText(b, "TLG0.0\0sds\x1a", 11);
  putLe32(b, uint32_t(stream.size()));
  b.insert(b.end(), stream.begin(), stream.end());
  return b;
}

// An LZSS record: mark 0 and a few bytes of long matches.
Bytes lzssRecords(int count) {
  Bytes b;
  for (int i = 0; i < count; ++i) {
    put8(b, 0);
    putLe32(b, 7);
    const uint8_t matches[7] = {0x03, 0x00, 0xF0, 0xFF, 0x00, 0xF0, 0xFF};
    b.insert(b.end(), matches, matches + 7);
  }
  return b;
}

TEST(HostileHeaders, Tlg) {
  Bytes map;  // a filter-type map size word and two long matches
  putLe32(map, 7);
  const uint8_t coded[7] = {0x03, 0x00, 0xF0, 0xFF, 0x00, 0xF0, 0xFF};
  map.insert(map.end(), coded, coded + 7);
  expectLoaderRefuses({
      {"TLG5 3 colours 46340 x 46340 in one block", tlg5(3, 46340, 46340, 46340)},
      {"TLG5 4 colours 1 x 2^30", tlg5(4, 1, 1u << 30, 1u << 30)},
      {"TLG5 8192 x 8192 with LZSS records of 7 bytes", tlg5(3, 8192, 8192, 8192, lzssRecords(3))},
      {"TLG5 in a container", container(tlg5(3, 20000, 20000, 20000))},
      {"TLG6 4 colours 40000 x 40000", tlg6(4, 40000, 40000)},
      {"TLG6 1 colour 65536 x 32767", tlg6(1, 65536, 32767)},
      {"TLG6 3 colours 2^31 - 8 x 1", tlg6(3, 0x7FFFFFF8u, 1)},
      {"TLG6 with a few bytes of filter types", tlg6(3, 16384, 16384, map)},
      {"TLG6 in a container", container(tlg6(3, 30000, 30000))},
  });
}

// ---- PNG -------------------------------------------------------------------------------

void putChunk(Bytes& b, const char* type, const Bytes& data) {
  putBe32(b, uint32_t(data.size()));
  const std::size_t start = b.size();
  putText(b, type, 4);
  b.insert(b.end(), data.begin(), data.end());
  putBe32(b, uint32_t(crc32(0, b.data() + start, uInt(b.size() - start))));
}

Bytes png(uint32_t width, uint32_t height, uint8_t bitDepth, uint8_t colourType, uint8_t interlace,
          std::size_t idatBytes = 16) {
  Bytes b;
  putText(b, "\x89PNG\r\n\x1a\n", 8);
  Bytes ihdr;
  putBe32(ihdr, width);
  putBe32(ihdr, height);
  put8(ihdr, bitDepth), put8(ihdr, colourType), put8(ihdr, 0), put8(ihdr, 0), put8(ihdr, interlace);
  putChunk(b, "IHDR", ihdr);
  if (colourType == 3) putChunk(b, "PLTE", Bytes(6, 0));
  if (idatBytes) {
    // A real deflate stream of zeros, as long as asked.
    Bytes zeros(idatBytes * 800, 0), packed(compressBound(uLong(zeros.size())));
    uLongf length = uLongf(packed.size());
    compress2(packed.data(), &length, zeros.data(), uLong(zeros.size()), 9);
    packed.resize(length);
    putChunk(b, "IDAT", packed);
  }
  putChunk(b, "IEND", {});
  return b;
}

TEST(HostileHeaders, Png) {
  expectLoaderRefuses({
      {"1-bit grey 65536 x 32767", png(65536, 32767, 1, 0, 0)},
      {"16-bit RGBA 20000 x 20000", png(20000, 20000, 16, 6, 0)},
      {"interlaced palette 40000 x 40000", png(40000, 40000, 8, 3, 1)},
      {"8-bit RGB 30000 x 30000 without image data", png(30000, 30000, 8, 2, 0, 0)},
      {"1-bit grey 2^31 - 1 x 1 with 64 KB of zeros", png(0x7FFFFFFFu, 1, 1, 0, 0, 4096)},
      // A bit depth of 0 must not count as rows of no bytes (a fuzzing finding).
      {"0-bit grey 553648130 x 2", png(553648130, 2, 0, 0, 0)},
  });
  // The grey plane of the JPEG alpha segment; libpng itself takes up to a million pixels a side.
  const Bytes plane = png(1000000, 1000, 8, 0, 0);
  const GuardedBuffer data(plane);
  expectRefusedWithinLimit("grey plane 1000000 x 1000", [&] {
    int32_t w = 0, h = 0;
    uint8_t* decoded = PngDecodeGreyPlane(data.data(), data.size(), &w, &h, 0, 0);
    alignedFree(decoded);
    return decoded == nullptr;
  });
}

// ---- JPEG ------------------------------------------------------------------------------

// SOI, a quantisation table, a frame header of the given kind, a scan header and a few
// bytes of scan data.
Bytes jpeg(uint8_t frame, uint32_t width, uint32_t height, const std::vector<uint8_t>& sampling,
           std::size_t scanBytes = 8) {
  Bytes b = {0xFF, 0xD8, 0xFF, 0xDB};
  putBe16(b, 67);
  put8(b, 0);
  b.insert(b.end(), 64, 1);
  b.push_back(0xFF), b.push_back(frame);
  putBe16(b, uint32_t(8 + 3 * sampling.size()));
  put8(b, 8);
  putBe16(b, height);
  putBe16(b, width);
  put8(b, uint32_t(sampling.size()));
  for (std::size_t c = 0; c < sampling.size(); ++c) put8(b, uint32_t(c + 1)), put8(b, sampling[c]), put8(b, 0);
  b.push_back(0xFF), b.push_back(0xDA);
  putBe16(b, uint32_t(6 + 2 * sampling.size()));
  put8(b, uint32_t(sampling.size()));
  for (std::size_t c = 0; c < sampling.size(); ++c) put8(b, uint32_t(c + 1)), put8(b, 0);
  put8(b, 0), put8(b, 63), put8(b, 0);
  b.insert(b.end(), scanBytes, 0);
  b.push_back(0xFF), b.push_back(0xD9);
  return b;
}

TEST(HostileHeaders, Jpeg) {
  expectLoaderRefuses({
      {"baseline grey 46000 x 46000", jpeg(0xC0, 46000, 46000, {0x11})},
      {"baseline 4:2:0 colour 40000 x 40000", jpeg(0xC0, 40000, 40000, {0x22, 0x11, 0x11})},
      {"progressive 65535 x 30000", jpeg(0xC2, 65535, 30000, {0x11, 0x11, 0x11})},
      {"extended 30000 x 30000 with 64 KB of scan", jpeg(0xC1, 30000, 30000, {0x11}, 65536)},
      {"lossless 40000 x 40000", jpeg(0xC3, 40000, 40000, {0x11})},
      // Found by fuzzing: sampling factors of 0 count no blocks.
      {"lossless 23551 x 65471 sampled 0 x 0",
       {0xFF, 0xD8, 0xFF, 0xFF, 0xC3, 0xFF, 0xFF, 0xFF, 0xFF, 0xBF, 0x5B, 0xFF, 0x01, 0x00, 0x00, 0x00, 0x0F,
        0x00, 0x00, 0x00, 0xFF, 0x01, 0x00, 0x00, 0x40, 0x0F, 0x00, 0x08, 0x81, 0x00, 0x0F, 0x81}},
  });
  const Bytes plane = jpeg(0xC0, 40000, 40000, {0x11});
  const GuardedBuffer data(plane);
  expectRefusedWithinLimit("grey plane 40000 x 40000", [&] {
    uint8_t* decoded = JpegDecodeGreyPlane(data.data(), data.size(), nullptr, nullptr, 0, 0);
    alignedFree(decoded);
    return decoded == nullptr;
  });
}

// The alpha plane's zlib coding, for a picture that the main stream could hold.
TEST(HostileHeaders, JpegAlphaPlane) {
  const Bytes zeros(4096, 0);
  Bytes packed(compressBound(uLong(zeros.size())));
  uLongf length = uLongf(packed.size());
  compress2(packed.data(), &length, zeros.data(), uLong(zeros.size()), 9);
  packed.resize(length);
  const GuardedBuffer data(packed);
  const struct {
    const char* label;
    int32_t pixels;
  } kPlanes[] = {{"zlib plane of 40000 x 40000", 40000 * 40000}, {"zlib plane of 2^31 - 1", 0x7FFFFFFF}};
  for (const auto& p : kPlanes)
    expectRefusedWithinLimit(p.label, [&] {
      uint8_t* decoded = ZlibDecodePlane(data.data(), data.size(), p.pixels);
      alignedFree(decoded);
      return decoded == nullptr;
    });
}

// ---- BMP and TGA -------------------------------------------------------------------------

// A BMP with its full palette (for 8 bits or fewer) and 64 bytes of pixel data.
Bytes bmp(uint32_t headerBytes, int32_t width, int32_t height, uint16_t bits, uint32_t compression = 0) {
  const uint32_t paletteBytes = bits <= 8 ? (headerBytes == 12 ? 3u : 4u) << bits : 0;
  Bytes b = {'B', 'M'};
  putLe32(b, 0);
  putLe32(b, 0);
  putLe32(b, 14 + headerBytes + paletteBytes);
  putLe32(b, headerBytes);
  if (headerBytes == 12) {
    putLe16(b, uint32_t(width)), putLe16(b, uint32_t(height)), putLe16(b, 1), putLe16(b, bits);
  } else {
    putLe32(b, uint32_t(width)), putLe32(b, uint32_t(height)), putLe16(b, 1), putLe16(b, bits);
    putLe32(b, compression);
    b.resize(14 + headerBytes, 0);
    if (compression == 3) b[54] = 0xFF, b[59] = 0xFF, b[64] = 0xFF;  // 8-bit masks, V4 and V5 place
  }
  b.insert(b.end(), paletteBytes + 64, 0);
  return b;
}

TEST(HostileHeaders, Bmp) {
  expectLoaderRefuses({
      {"32-bit 30000 x 30000", bmp(40, 30000, 30000, 32)},
      {"24-bit 1 x 2^30, top-down", bmp(40, 1, -(1 << 30), 24)},
      {"1-bit 46000 x 46000", bmp(40, 46000, 46000, 1)},
      {"8-bit 20000 x 20000 with a V5 header", bmp(124, 20000, 20000, 8)},
      {"core header 24-bit 65535 x 32767", bmp(12, 65535, 32767, 24)},
      {"run-length 8-bit 30000 x 30000", bmp(40, 30000, 30000, 8, 1)},
      {"run-length 4-bit 46000 x 16", bmp(40, 46000, 16, 4, 2)},
      {"bit fields 32-bit 30000 x 30000 with a V5 header", bmp(124, 30000, 30000, 32, 3)},
  });
}

Bytes tga(uint8_t type, uint16_t width, uint16_t height, uint8_t depth, uint8_t mapType = 0) {
  Bytes b = {0, mapType, type};
  putLe16(b, 0);
  putLe16(b, mapType ? 256 : 0);
  put8(b, mapType ? 24 : 0);
  putLe16(b, 0), putLe16(b, 0);
  putLe16(b, width), putLe16(b, height);
  put8(b, depth), put8(b, depth == 32 ? 8 : 0);
  if (mapType) b.insert(b.end(), 768, 0);
  b.insert(b.end(), 64, 0x7F);  // run-length packets of 128 pixels
  return b;
}

TEST(HostileHeaders, Tga) {
  expectLoaderRefuses({
      {"raw 32-bit 65535 x 32767", tga(2, 65535, 32767, 32)},
      {"run-length 24-bit 65535 x 32767", tga(10, 65535, 32767, 24)},
      {"run-length grey 65535 x 32767", tga(11, 65535, 32767, 8)},
      {"colour-mapped 40000 x 40000", tga(1, 40000, 40000, 8, 1)},
  });
}

// ---- The packed data file's index and entries ----------------------------------------

TEST(HostileHeaders, PackedIndex) {
  TempDir dir;
  std::string dat = buildDat({{"a.png", "tiny"}, {"b.png", "bytes"}}, true);
  // The masked count of a file with 2^32 - 1 entries; the entries stay the two.
  std::string huge = dat;
  for (int i = 0; i < 4; ++i) huge[4 + i] = char(huge[4 + i] ^ uint8_t((0xFFFFFFFFu ^ 2u) >> (8 * i)));
  // The size field of the first entry saying 4 GiB - 16 bytes.
  std::string hugeEntry = dat;
  for (int i = 0; i < 4; ++i)
    hugeEntry[8 + 13 + i] = char(hugeEntry[8 + 13 + i] ^ uint8_t((0xFFFFFFF0u ^ 4u) >> (8 * i)));
  const struct {
    const char* label;
    std::string bytes;
  } kFiles[] = {{"count 2^32 - 1", huge}, {"entry of 4 GiB - 16 bytes", hugeEntry}};
  for (const auto& f : kFiles) {
    dir.write("Launcher.dat", f.bytes);
    resetPackedDataFile();
    expectRefusedWithinLimit(f.label, [&] {
      openIndex("Launcher.dat");
      uint32_t size = 0;
      uint8_t* buffer = nullptr;
      uint32_t capacity = 0;
      const int loaded = loadFile("a.png", &buffer, &size, &capacity);
      alignedFree(buffer);
      // The entry is cut to what the file holds.
      return packedData.index.size() == 2 && loaded == 1 && size <= f.bytes.size();
    });
  }
  resetPackedDataFile();
}

// ---- The limit itself, and pictures that do fit ------------------------------------------

TEST(HostileHeaders, LimitCatchesAReaderThatAllocatesFirst) {
  static void* volatile kept;  // keeps the compiler from leaving the requests out
  setAllocationLimit(kLimit);
  void* big = kept = std::malloc(kLimit + 1);
  bool raised = false;
  try {
    kept = ::operator new(kLimit * 2);
    ::operator delete(kept);
  } catch (const std::bad_alloc&) {
    raised = true;
  }
  const std::size_t refused = largestRefusedAllocation();
  setAllocationLimit(0);
  EXPECT_EQ(big, nullptr);
  std::free(big);
  EXPECT_TRUE(raised);
  EXPECT_EQ(refused, kLimit * 2);
}

TEST(HostileHeaders, RealPicturesStillDecodeWithinTheLimit) {
  const char* kFiles[] = {"png/pngsuite/basn6a16.png", "jpeg/pillow/hopper.jpg", "bmp/bmpsuite/g/rgb24.bmp",
                          "tga/pillow/1x1_l_bl_rle.tga"};
  for (const char* name : kFiles) {
    const Bytes bytes = readFileBytes(std::string(TESTDATA_DIR) + "/" + name);
    ASSERT_FALSE(bytes.empty()) << name;
    setAllocationLimit(kLimit);
    Image* image = ImageLoadFromMemory(bytes.data(), int32_t(bytes.size()));
    const bool decoded = image && image->pixels;
    ImageDestroy(&image);
    const std::size_t refused = largestRefusedAllocation();
    setAllocationLimit(0);
    EXPECT_TRUE(decoded) << name;
    EXPECT_EQ(refused, 0u) << name;
  }
}

}  // namespace
