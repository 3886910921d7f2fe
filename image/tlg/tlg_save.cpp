// The TLG save entry: packs the pixels, encodes TLG6 or TLG5, wraps the stream in the "TLG0.0"
// container with a tags chunk when the image has a name or a mode, and writes the file.
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "image/file_open.h"
#include "image/tlg/tlg_encode.h"
#include "image/tlg/tlg_routines.h"

namespace limg {

namespace {

void putDecimal(std::vector<uint8_t>& out, uint32_t v) {
  char digits[12];
  const int n = std::snprintf(digits, sizeof digits, "%u", v);
  out.insert(out.end(), digits, digits + n);
}

// One four-byte entry "1:", key, "=4:", value, ",".
void putWordEntry(std::vector<uint8_t>& out, uint8_t key, int32_t value) {
  const uint8_t head[6] = {'1', ':', key, '=', '4', ':'};
  out.insert(out.end(), head, head + 6);
  for (int i = 0; i < 4; ++i) out.push_back(uint8_t(uint32_t(value) >> (8 * i)));
  out.push_back(',');
}

std::size_t boundedLength(const char* text, std::size_t capacity) {
  std::size_t n = 0;
  while (n < capacity && text[n]) ++n;
  return n;
}

}  // namespace

bool TlgRenameForTlg(char* name, std::size_t capacity) {
  const std::size_t n = boundedLength(name, capacity);
  if (n < 3) return false;
  // Only an extension of three or more characters is replaced, so the "." always stays.
  const char* dot = static_cast<const char*>(std::memchr(name, '.', n));
  const char* lastDot = nullptr;
  for (const char* p = dot; p; p = static_cast<const char*>(std::memchr(p + 1, '.', n - (p + 1 - name))))
    lastDot = p;
  if (!lastDot || std::size_t(lastDot - name) + 4 > n) return false;
  std::memcpy(name + n - 3, "tlg", 3);
  return true;
}

uint32_t TlgFormatTags(const Image& image, uint8_t* out, uint32_t capacity) {
  std::vector<uint8_t> text;
  putWordEntry(text, 0x02, image.left);   // value at offset 6
  putWordEntry(text, 0x03, image.top);    // 17
  putWordEntry(text, 0x04, image.mode);   // 28
  const std::size_t nameLength = boundedLength(image.name, sizeof image.name - 1);
  const uint8_t head[4] = {'1', ':', 0x01, '='};
  text.insert(text.end(), head, head + 4);
  putDecimal(text, uint32_t(nameLength));
  text.push_back(':');
  text.insert(text.end(), image.name, image.name + nameLength);
  if (text.size() > capacity) return 0;
  std::memcpy(out, text.data(), text.size());
  return uint32_t(text.size());
}

int TlgSave(const char* path, Image* image, int32_t bitDepth, int useTlg6) {
  TlgInitRoutines();  // once per process; both entries of the codec start it
  const char* shownPath = path ? path : "";
  if (!image || !image->pixels || image->width <= 0 || image->height <= 0) {
    std::printf("TLG: \"%s\" 画像データが空です\n", shownPath);
    return 0;
  }
  if (bitDepth == 0) bitDepth = image->bitDepth;
  if (bitDepth != 8 && bitDepth != 24 && bitDepth != 32) {
    std::printf("TLG: \"%s\" unsupported bit depth %d\n", shownPath, int(bitDepth));
    return 0;
  }
  const int colours = bitDepth >> 3;
  const int32_t width = image->width, height = image->height;
  const uint64_t pixels64 = uint64_t(width) * uint64_t(height);
  if (pixels64 * 4 + 256 > uint64_t(std::numeric_limits<std::size_t>::max() / 2)) throw std::bad_alloc();
  const std::size_t pixelCount = std::size_t(pixels64);

  std::vector<uint8_t> packed(pixelCount * std::size_t(colours));
  std::vector<const uint8_t*> rows(static_cast<std::size_t>(height));
  const uint8_t* from = reinterpret_cast<const uint8_t*>(image->pixels);
  uint8_t* to = packed.data();
  for (std::size_t i = 0; i < pixelCount; ++i, from += 4, to += colours) std::memcpy(to, from, colours);
  for (int32_t y = 0; y < height; ++y)
    rows[std::size_t(y)] = packed.data() + std::size_t(y) * std::size_t(width) * std::size_t(colours);
  const TlgEncodeSource source{width, height, rows.data(), colours == 1 ? 3 : colours == 4 ? 7 : 6};

  const uint64_t guess = uint64_t(pixelCount) * 4 + 256;
  TlgMemoryWriter writer(uint32_t(guess < (64u << 20) ? guess : (64u << 20)));
  auto encode = [&]() {
    if (useTlg6) SaveTLG6(source, writer);
    else Tlg5Encode(source, writer);
  };
  if (image->name[0] || image->mode != 0) {
    writer.write(kTlgContainerMagic, 11);
    writer.write("0000", 4);
    encode();
    writer.patch32(11, writer.position - 15);
    writer.write("tags", 4);
    TlgRenameForTlg(image->name, sizeof image->name);
    uint8_t tags[64 + sizeof image->name];
    const uint32_t n = TlgFormatTags(*image, tags, sizeof tags);
    writer.write32(n);
    writer.write(tags, n);
  } else {
    encode();
  }

  std::FILE* file = ImageOpenFile(shownPath, "wb");
  if (!file) {
    std::printf("TLG: \"%s\" can't be opened for writing\n", shownPath);
    return 0;
  }
  const bool written = std::fwrite(writer.data, 1, writer.size(), file) == writer.size();
  const bool closed = std::fclose(file) == 0;
  if (!written || !closed) {
    std::printf("TLG: \"%s\" couldn't be written\n", shownPath);
    return 0;
  }
  return 1;
}

}  // namespace limg
