#include "tools/imagetool/tool.h"

const Command kCommands[] = {
    {"info", "FILE...", "format, size, bit depth and layer fields of each file, one a line", runInfo},
    {"convert", "IN OUT", "decode IN and write OUT in the format of its extension", runConvert},
    {"resize", "IN OUT --mode percent|pixels|factor A B [--shrink nearest|bilinear|area] "
               "[--enlarge nearest|bilinear]",
     "resize IN by A and B (width, height) and write OUT", runResize},
    {nullptr, nullptr, nullptr, nullptr},
};
