// TLG reader: container, tags, TLG5 and TLG6. Every input is decoded with every routine
// form this processor runs; any difference from the portable form aborts.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "image/image.h"
#include "image/tlg/tlg.h"
#include "image/tlg/tlg_decode.h"

using namespace limg;

namespace {

uint32_t le32(const uint8_t* p) {
  return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

// Pictures whose header asks for more pixels than this are skipped, to keep the runs within
// the fuzzer's memory limit (their pixel block alone would exceed it).
bool tooLarge(const uint8_t* data, size_t size) {
  size_t at = 0;
  if (size >= 15 && std::memcmp(data, "TLG0.0", 6) == 0) at = 15;
  if (size < at + 23) return false;
  const uint8_t* p = data + at;
  uint32_t width = 0, height = 0;
  if (std::memcmp(p, "TLG5.0", 6) == 0) {
    width = le32(p + 12);
    height = le32(p + 16);
  } else if (std::memcmp(p, "TLG6.0", 6) == 0) {
    width = le32(p + 15);
    height = le32(p + 19);
  }
  return uint64_t(width) * height > (uint64_t(1) << 22);
}

struct Result {
  bool present = false;
  Image header{};
  std::vector<uint32_t> pixels;
};

Result run(const uint8_t* data, size_t size, const TlgRoutines& routines) {
  Result result;
  Image* image = TlgLoadFromMemoryWith(data, int32_t(size), routines);
  if (!image) return result;
  result.present = true;
  result.header = *image;
  result.header.pixels = nullptr;
  if (image->pixels) {
    result.pixels.assign(image->pixels, image->pixels + image->pixelCount + image->width);
  }
  ImageDestroy(&image);
  return result;
}

bool same(const Result& a, const Result& b) {
  return a.present == b.present && std::memcmp(&a.header, &b.header, sizeof(Image)) == 0 &&
         a.pixels == b.pixels;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 24) || tooLarge(data, size)) return 0;
  static const std::vector<TlgRoutines> forms = TlgAvailableRoutines(TlgProbeCpu());
  const Result reference = run(data, size, forms[0]);
  for (size_t k = 1; k < forms.size(); ++k) {
    if (!same(run(data, size, forms[k]), reference)) {
      std::fprintf(stderr, "routine form %s differs from %s\n", forms[k].name, forms[0].name);
      std::abort();
    }
  }
  // The public entry too (first use runs the selection).
  Image* image = TlgLoadFromMemory(data, int32_t(size));
  ImageDestroy(&image);
  return 0;
}
