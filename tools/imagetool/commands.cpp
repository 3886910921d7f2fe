#include "tools/imagetool/tool.h"

const Command kCommands[] = {
    {"info", "FILE...", "format, size, bit depth and layer fields of each file, one a line", runInfo},
    {"convert",
     "IN OUT | --to FORMAT IN... OUTDIR | --to FORMAT IN... -o OUTDIR\n"
     "      [--format FORMAT] [--depth 8|24|32] [-j N]\n"
     "      PNG: [--png-level 0-9] [--interlace]   JPEG: [--quality 1-100] [--progressive] [--optimize]\n"
     "      [--sampling 420|422|444]   TLG: [--tlg5|--tlg6]   TGA: [--rle]",
     "decode IN and write OUT in the format of its extension (or --format); with --to or -o,\n"
     "           every picture of the inputs (folders recursively) into OUTDIR on N threads",
     runConvert},
    {"resize", "IN OUT --mode percent|pixels|factor A B [--shrink nearest|bilinear|area] "
               "[--enlarge nearest|bilinear]",
     "resize IN by A and B (width, height; 0 follows the other) and write OUT; filters default to bilinear",
     runResize},
    {nullptr, nullptr, nullptr, nullptr},
};
