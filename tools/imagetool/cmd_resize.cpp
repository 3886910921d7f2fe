// imagetool resize IN OUT --mode percent|pixels|factor A B [--shrink F] [--enlarge F]
#include <cstring>

#include "image/resize.h"
#include "tools/imagetool/image_io.h"
#include "tools/imagetool/tool.h"

using namespace limg;

namespace {

struct Named {
  const char* name;
  int value;
};

const Named kModes[] = {{"percent", kResizePercent}, {"pixels", kResizePixels}, {"factor", kResizeFactor}};
const Named kShrinkFilters[] = {{"nearest", kFilterNearest}, {"bilinear", kFilterBilinear}, {"area", kFilterAreaAverage}};
const Named kEnlargeFilters[] = {{"nearest", kFilterNearest}, {"bilinear", kFilterBilinear}};

template <std::size_t N>
bool lookUp(const Named (&table)[N], const std::string& text, int* value) {
  for (const Named& n : table) {
    if (text == n.name) {
      *value = n.value;
      return true;
    }
  }
  return false;
}

template <std::size_t N>
std::string choices(const Named (&table)[N]) {
  std::string s;
  for (const Named& n : table) s += (s.empty() ? "" : "|") + std::string(n.name);
  return s;
}

}  // namespace

int runResize(const Args& input) {
  Args args = input;
  std::string mode, shrink = "bilinear", enlarge = "bilinear", error;
  if (!takeOptions(&args, {{"--mode", &mode}, {"--shrink", &shrink}, {"--enlarge", &enlarge}}, &error))
    return fail("resize: " + error);
  if (args.size() != 4 || mode.empty())
    return fail("resize: expected IN OUT --mode " + choices(kModes) + " A B");
  int modeValue = 0, shrinkValue = 0, enlargeValue = 0;
  if (!lookUp(kModes, mode, &modeValue)) return fail("resize: --mode must be " + choices(kModes));
  if (!lookUp(kShrinkFilters, shrink, &shrinkValue))
    return fail("resize: --shrink must be " + choices(kShrinkFilters));
  if (!lookUp(kEnlargeFilters, enlarge, &enlargeValue))
    return fail("resize: --enlarge must be " + choices(kEnlargeFilters));
  double a = 0, b = 0;
  if (!parseNumber(args[2], &a)) return fail("resize: A is not a number: " + args[2]);
  if (!parseNumber(args[3], &b)) return fail("resize: B is not a number: " + args[3]);
  if (!formatForPath(args[1], &error)) return fail(error);  // before any work

  Image* image = loadImageFile(args[0], &error);
  if (!image) return fail(error);
  if (!ImageResizeInPlace(&image, a, b, modeValue, shrinkValue, enlargeValue)) {
    ImageDestroy(&image);
    // The library's one rule on A and B, the same in every mode.
    if (a < 1 && b < 1)
      return fail("resize: A and B are both below 1 (" + args[2] + ", " + args[3] +
                  "): at least one of them must be 1 or more (to halve a picture: --mode percent 50 50)");
    return fail("resize: " + args[0] + ": the sizes can't be made (see the message above)");
  }
  const bool ok = writeImageFile(*image, args[1], &error);
  ImageDestroy(&image);
  return ok ? 0 : fail(error);
}
