// The TLG save entry: packs the pixels, encodes TLG6 or TLG5, wraps the stream in the "TLG0.0"
// container with a tags chunk when the image has a name or a mode, and writes the file.
#include <cstdio>
#include <cstring>
#include <limits>
#include <new>
#include <vector>

#include "image/codecs/grey_level.h"
#include "image/codecs/layer_name.h"
#include "image/message.h"
#include "image/save_file_internal.h"
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

namespace {

int tlgEncode(const char* destination, Image* image, int32_t bitDepth, int useTlg6, ImageBytes* out) {
  TlgInitRoutines();  // once per process; both entries of the codec start it
  if (!destination) destination = "";
  if (!image || !image->pixels || image->width <= 0 || image->height <= 0) {
    ImageMessage(kImageMessageOut, "TLG: \"%s\" 画像データが空です\n", destination);
    return 0;
  }
  if (bitDepth == 0) bitDepth = image->bitDepth;
  if (bitDepth != 8 && bitDepth != 24 && bitDepth != 32) {
    ImageMessage(kImageMessageOut, "TLG: \"%s\" unsupported bit depth %d\n", destination, int(bitDepth));
    return 0;
  }
  const int colours = bitDepth >> 3;
  const int32_t width = image->width, height = image->height;
  const uint64_t pixels64 = uint64_t(width) * uint64_t(height);
  if (pixels64 * 4 + 256 > uint64_t(std::numeric_limits<std::size_t>::max() / 2)) throw std::bad_alloc();
  const std::size_t pixelCount = std::size_t(pixels64);

  // One colour is the grey level, as every writer stores 8 bits; three or four are the
  // pixel's B, G, R (and A) bytes.
  std::vector<uint8_t> packed(pixelCount * std::size_t(colours));
  std::vector<const uint8_t*> rows(static_cast<std::size_t>(height));
  const uint8_t* from = reinterpret_cast<const uint8_t*>(image->pixels);
  uint8_t* to = packed.data();
  if (colours == 1) {
    for (std::size_t i = 0; i < pixelCount; ++i) to[i] = greyLevel(image->pixels[i]);
  } else {
    for (std::size_t i = 0; i < pixelCount; ++i, from += 4, to += colours) std::memcpy(to, from, colours);
  }
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
    layerNameExtension(image, "tlg");
    uint8_t tags[64 + sizeof image->name];
    const uint32_t n = TlgFormatTags(*image, tags, sizeof tags);
    writer.write32(n);
    writer.write(tags, n);
  } else {
    encode();
  }
  // The writer's block is an aligned one of its own: it becomes the caller's.
  const std::size_t size = writer.size();
  ImageBytesTake(AlignedPtr<uint8_t>(writer.data), size, out);
  writer.data = nullptr;
  writer.capacity = writer.position = 0;
  writer.owned = false;
  return 1;
}

}  // namespace

int TlgSaveToMemory(Image* image, int32_t bitDepth, int useTlg6, ImageBytes* out) {
  return tlgEncode(kMemoryDestination, image, bitDepth, useTlg6, out);
}

int TlgSave(const char* path, Image* image, int32_t bitDepth, int useTlg6) {
  ImageBytes bytes{};
  if (!tlgEncode(path, image, bitDepth, useTlg6, &bytes)) return 0;
  const int written = ImageWriteFile("TLG", path ? path : "", bytes);
  ImageBytesFree(&bytes);
  return written;
}

}  // namespace limg
