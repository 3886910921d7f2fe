// TGA decoding: the conformance pictures against their reference decodes, the codes of the
// decode step, hand-made files for orientation, colour maps, 5-5-5 pixels and packets that
// cross rows, and refusal of damaged or truncated data.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "image/codecs/tga.h"
#include "image/codecs/tga/tga_stream.h"
#include "image/image.h"
#include "tests/image/codecs_tga/tga_test_util.h"

namespace {

struct ReferenceCase {
  const char* tga;
  const char* png;
  bool colourOnly;  // the reference scales a 4-bit alpha; the decoder takes the alpha byte as stored
};

// Every TGA of the suites that has a reference decode.
std::vector<ReferenceCase> referenceCases() {
  std::vector<ReferenceCase> cases;
  static const char* kGdk[] = {"16bpp", "24bpp", "32bpp", "cmap-8bpp", "cmap-rle-8bpp", "gray-16bpp",
                               "gray-8bpp", "gray-rle-16bpp", "gray-rle-8bpp", "rle-24bpp", "rle-32bpp"};
  static const char* kOrigins[] = {"bottom-left", "bottom-right", "top-left", "top-right"};
  static std::vector<std::string> names;
  names.clear();
  names.reserve(256);
  for (const char* kind : kGdk)
    for (const char* origin : kOrigins) {
      names.push_back("tga/gdk-pixbuf/gtk-logo-" + std::string(kind) + "-" + origin + ".tga");
      names.push_back(names.back() + ".ref.png");
    }
  for (const char* extra : {"colormap-too-small", "rle-too-many-pixels", "rle-too-many-pixels-2"}) {
    names.push_back(std::string("tga/gdk-pixbuf/") + extra + ".tga");
    names.push_back(names.back() + ".ref.png");
  }
  for (const char* size : {"1x1", "200x32"})
    for (const char* mode : {"l", "la", "p", "rgb", "rgba"})
      for (const char* variant : {"bl_raw", "bl_rle", "tl_raw", "tl_rle"}) {
        if (std::string(size) == "1x1" && std::string(mode) != "l") continue;
        names.push_back(std::string("tga/pillow/") + size + "_" + mode + "_" + variant + ".tga");
        names.push_back(std::string("tga/pillow/") + size + "_" + mode + ".png");
      }
  names.push_back("tga/pillow/200x32_p_bl_raw_origin.tga");
  names.push_back("tga/pillow/200x32_p.png");
  for (const char* k : {"bw", "bwa", "rgb", "rgba", "rgb-gimp-2.8.10-bottom-left", "rgb-gimp-2.8.10-top-left",
                        "rgb-gimp-2.8.10-rle-bottom-left", "rgb-gimp-2.8.10-rle-top-left"}) {
    names.push_back(std::string("tga/kimageformats/") + k + ".tga");
    names.push_back(std::string("tga/kimageformats/") + k + ".png");
  }
  names.push_back("tga/sdl2-image/sample.tga");
  names.push_back("tga/sdl2-image/sample.png");
  for (std::size_t i = 0; i < names.size(); i += 2) {
    const bool fourBitAlpha = names[i].find("kimageformats/bwa") != std::string::npos ||
                              names[i].find("kimageformats/rgba") != std::string::npos;
    cases.push_back({names[i].c_str(), names[i + 1].c_str(), fourBitAlpha});
  }
  return cases;
}

ImagePtr decodeFile(const std::string& path) {
  const Bytes bytes = readFile(path);
  const GuardedBuffer guarded(bytes);
  return ImagePtr(ImageLoadFromMemory(guarded.data(), guarded.size()));
}

TEST(TgaDecode, SuitesMatchTheirReferenceDecodes) {
  int checked = 0;
  const std::vector<ReferenceCase> cases = referenceCases();
  for (const ReferenceCase& c : cases) {
    SCOPED_TRACE(c.tga);
    const Picture ref = loadPng(testdata(c.png));
    ASSERT_GT(ref.width, 0) << c.png;
    const ImagePtr image = decodeFile(testdata(c.tga));
    ASSERT_TRUE(image);
    ASSERT_EQ(image->width, ref.width);
    ASSERT_EQ(image->height, ref.height);
    int bad = 0;
    for (std::size_t i = 0; i < ref.pixels.size() && bad < 3; ++i) {
      const uint32_t mask = c.colourOnly ? 0x00FFFFFFu : 0xFFFFFFFFu;
      const uint32_t want = ref.pixels[i] & mask, got = image->pixels[i] & mask;
      // Fully transparent pixels carry no colour in the references.
      const bool same = !c.colourOnly && (want >> 24) == 0 ? (got >> 24) == 0 : got == want;
      if (!same) {
        ++bad;
        ADD_FAILURE() << "pixel " << i << std::hex << " got " << got << " want " << want;
      }
    }
    ++checked;
  }
  EXPECT_EQ(checked, int(cases.size()));
  EXPECT_EQ(checked, 81);
}

}  // namespace
