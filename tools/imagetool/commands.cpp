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
    {"cut", "IN OUT --rect X,Y,W,H", "the window at (X, Y) of W x H pixels (0: the source's size); outside is transparent",
     runCut},
    {"rotate", "IN OUT --angle DEGREES [--scale S] [--filter nearest|bilinear]",
     "rotate about the centre (counter-clockwise for positive angles) and scale (0 means 1)", runRotate},
    {"compose", "DST SRC OUT [--at X,Y] [--op copy|masked|xor]",
     "put SRC onto DST at (X, Y): copy, copy where SRC isn't transparent, or exclusive-or", runCompose},
    {"blend", "DST SRC OUT --mode N|NAME [--opacity 0-256] [--at X,Y] | --list-modes",
     "blend SRC onto DST in a blend mode (256: full opacity); --list-modes shows the modes", runBlend},
    {"mask", "IN OUT (--mask MASKFILE [--at X,Y] | --split) [--type 0-7]",
     "set IN's alpha from a mask picture, or from its own right half (--split)", runMask},
    {nullptr, nullptr, nullptr, nullptr},
};
