// imagetool cut, rotate, compose, blend and mask: the image operations on files.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "image/ops/ops.h"
#include "tools/imagetool/image_io.h"
#include "tools/imagetool/tool.h"
#include "tools/common/console.h"

using namespace limg;

namespace {

// Owns one decoded picture for the length of a command.
struct Picture {
  Image* image = nullptr;
  Picture() = default;
  Picture(const Picture&) = delete;
  Picture& operator=(const Picture&) = delete;
  ~Picture() { ImageDestroy(&image); }
  bool load(const std::string& path, std::string* error) {
    image = loadImageFile(path, error);
    return image != nullptr;
  }
};

// "X,Y" or "X,Y,W,H": exactly `count` whole numbers separated by commas.
bool parseInts(const std::string& text, int count, int32_t* out) {
  std::size_t start = 0;
  for (int i = 0; i < count; ++i) {
    const std::size_t comma = text.find(',', start);
    const bool last = i == count - 1;
    if (last != (comma == std::string::npos)) return false;
    const std::string piece = text.substr(start, last ? std::string::npos : comma - start);
    if (!parseWhole(piece, INT32_MIN, INT32_MAX, &out[i])) return false;
    start = comma + 1;
  }
  return true;
}

bool takePosition(const std::string& text, int32_t* x, int32_t* y, std::string* error) {
  if (text.empty()) return true;
  int32_t xy[2];
  if (!parseInts(text, 2, xy)) {
    *error = "--at must be X,Y in whole pixels: " + text;
    return false;
  }
  *x = xy[0];
  *y = xy[1];
  return true;
}

// Checks the output's format before any work, so a bad name costs nothing.
bool outputKnown(const std::string& path, std::string* error) { return formatForPath(path, error) != nullptr; }

int finish(Image& result, const std::string& out) {
  std::string error;
  return writeImageFile(result, out, &error) ? 0 : fail(error);
}

int refused(const char* command, const std::string& why) {
  return fail(std::string(command) + ": " + why + " (see the library's message above)");
}

}  // namespace

int runCut(const Args& input) {
  Args args = input;
  std::string rect, error;
  if (!takeOptions(&args, {{"--rect", &rect}}, &error)) return fail("cut: " + error);
  int32_t r[4];
  if (args.size() != 2 || rect.empty()) return fail("cut: expected IN OUT --rect X,Y,W,H");
  if (!parseInts(rect, 4, r)) return fail("cut: --rect must be X,Y,W,H in whole pixels: " + rect);
  if (!outputKnown(args[1], &error)) return fail(error);
  Picture in, out;
  if (!in.load(args[0], &error)) return fail(error);
  if (!ImageCut(&out.image, in.image, r[0], r[1], r[2], r[3])) return refused("cut", "the window can't be cut");
  return finish(*out.image, args[1]);
}

int runRotate(const Args& input) {
  Args args = input;
  std::string angleText, scaleText = "0", filter = "bilinear", error;
  if (!takeOptions(&args, {{"--angle", &angleText}, {"--scale", &scaleText}, {"--filter", &filter}}, &error))
    return fail("rotate: " + error);
  if (args.size() != 2 || angleText.empty()) return fail("rotate: expected IN OUT --angle DEGREES");
  double angle = 0, scale = 0;
  if (!parseNumber(angleText, &angle)) return fail("rotate: --angle is not a number: " + angleText);
  if (!parseNumber(scaleText, &scale)) return fail("rotate: --scale is not a number: " + scaleText);
  int index = -1;
  if (filter == "nearest") index = 0;
  if (filter == "bilinear") index = 1;
  if (index < 0) return fail("rotate: --filter must be nearest|bilinear");
  if (!outputKnown(args[1], &error)) return fail(error);
  Picture in, out;
  if (!in.load(args[0], &error)) return fail(error);
  if (!ImageRotateFunctions[index](&out.image, in.image, angle, scale))
    return refused("rotate", "the rotated picture can't be made");
  return finish(*out.image, args[1]);
}

int runCompose(const Args& input) {
  Args args = input;
  std::string at, op = "copy", error;
  if (!takeOptions(&args, {{"--at", &at}, {"--op", &op}}, &error)) return fail("compose: " + error);
  if (args.size() != 3) return fail("compose: expected DST SRC OUT [--at X,Y] [--op copy|masked|xor]");
  int32_t x = 0, y = 0;
  if (!takePosition(at, &x, &y, &error)) return fail("compose: " + error);
  int index = -1;
  if (op == "copy") index = 0;
  if (op == "masked") index = 1;
  if (op == "xor") index = 2;
  if (index < 0) return fail("compose: --op must be copy|masked|xor");
  if (!outputKnown(args[2], &error)) return fail(error);
  Picture dst, src;
  if (!dst.load(args[0], &error) || !src.load(args[1], &error)) return fail(error);
  if (!ImageComposeFunctions[index](dst.image, src.image, x, y))
    return refused("compose", "the source doesn't overlap the destination at that position");
  return finish(*dst.image, args[2]);
}

void listBlendModes() {
  for (const BlendModeInfo& m : kBlendModes) printText(stdout, "%d\t%s\n", m.mode, m.name);
}

int runBlend(const Args& input) {
  Args args = input;
  std::string mode, opacityText = "256", at, error;
  bool list = false;
  if (!takeOptions(&args, {{"--mode", &mode}, {"--opacity", &opacityText}, {"--at", &at},
                           {"--list-modes", nullptr, &list}},
                   &error))
    return fail("blend: " + error);
  if (list) {
    listBlendModes();
    return 0;
  }
  if (args.size() != 3 || mode.empty())
    return fail("blend: expected DST SRC OUT --mode N|NAME [--opacity 0-256] [--at X,Y]");
  double number = 0;
  int32_t modeIndex = -1;
  if (!parseNumber(mode, &number))
    modeIndex = ImageBlendModeFromName(mode.c_str());
  else if (!parseWhole(mode, 0, kBlendModeCount - 1, &modeIndex))
    modeIndex = -1;
  if (modeIndex < 0 || modeIndex >= kBlendModeCount)
    return fail("blend: unknown mode " + mode + " (imagetool blend --list-modes)");
  int32_t opacity = 0;
  if (!parseWhole(opacityText, 0, 256, &opacity))
    return fail("blend: --opacity must be a whole number 0-256: " + opacityText);
  int32_t x = 0, y = 0;
  if (!takePosition(at, &x, &y, &error)) return fail("blend: " + error);
  if (!outputKnown(args[2], &error)) return fail(error);
  Picture dst, src;
  if (!dst.load(args[0], &error) || !src.load(args[1], &error)) return fail(error);
  if (!ImageBlendFunctions[modeIndex](dst.image, src.image, x, y, uint32_t(opacity)))
    return refused("blend", "the source doesn't overlap the destination at that position");
  return finish(*dst.image, args[2]);
}

int runMask(const Args& input) {
  Args args = input;
  std::string maskPath, at, typeText = "0", error;
  bool split = false;
  if (!takeOptions(&args, {{"--mask", &maskPath}, {"--at", &at}, {"--type", &typeText}, {"--split", nullptr, &split}},
                   &error))
    return fail("mask: " + error);
  if (args.size() != 2 || maskPath.empty() == !split)
    return fail("mask: expected IN OUT (--mask MASKFILE [--at X,Y] | --split) [--type 0-7]");
  int32_t type = 0;
  if (!parseWhole(typeText, 0, 7, &type)) return fail("mask: --type must be 0-7: " + typeText);
  int32_t x = 0, y = 0;
  if (!takePosition(at, &x, &y, &error)) return fail("mask: " + error);
  if (!outputKnown(args[1], &error)) return fail(error);
  Picture in, mask;
  if (!in.load(args[0], &error)) return fail(error);
  if (!split && !mask.load(maskPath, &error)) return fail(error);
  if (!ImageMaskToAlphaFunctions[split ? 1 : 0](&in.image, mask.image, type, x, y))
    return refused("mask", split ? "the picture can't be split" : "the mask doesn't overlap the picture");
  return finish(*in.image, args[1]);
}
