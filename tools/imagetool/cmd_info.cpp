// imagetool info FILE...: one line per file; a file that can't be read gets an error line
// on stderr and the others are still shown.
#include <cstdio>

#include "image/image_load.h"
#include "tools/imagetool/image_io.h"
#include "tools/imagetool/tool.h"
#include "tools/common/console.h"

using namespace limg;

int runInfo(const Args& args) {
  if (args.empty()) return fail("info: no file given (usage: imagetool info FILE...)");
  int status = 0;
  for (const std::string& path : args) {
    std::string error;
    std::vector<uint8_t> bytes;
    if (!readFileBytes(path, &bytes, &error)) {
      status = fail(error);
      continue;
    }
    const char* format = ImageFormatOf(bytes.data(), int32_t(bytes.size()));
    Image* image = ImageLoadFromMemory(bytes.data(), int32_t(bytes.size()));
    if (!format || !image || !image->pixels) {
      ImageDestroy(&image);
      status = fail(path + ": not a picture any decoder accepts");
      continue;
    }
    printText(stdout, "%s: %s width=%d height=%d bitDepth=%d name=\"%s\" left=%d top=%d mode=%d\n", path.c_str(),
                format, int(image->width), int(image->height), int(image->bitDepth), image->name,
                int(image->left), int(image->top), int(image->mode));
    ImageDestroy(&image);
  }
  return status;
}
