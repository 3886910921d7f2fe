// imagetool convert IN OUT: decode IN, write OUT in the format its extension names.
#include "tools/imagetool/image_io.h"
#include "tools/imagetool/tool.h"

int runConvert(const Args& args) {
  if (args.size() != 2) return fail("convert: expected IN OUT (usage: imagetool convert IN OUT)");
  std::string error;
  if (!writerFor(args[1], &error)) return fail(error);  // before any work
  Image* image = loadImageFile(args[0], &error);
  if (!image) return fail(error);
  const bool ok = writeImageFile(*image, args[1], &error);
  ImageDestroy(&image);
  return ok ? 0 : fail(error);
}
