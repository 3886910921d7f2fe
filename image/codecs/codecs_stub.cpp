// Placeholders for decoders not yet written; every decoder of this folder now has its own file.
#include "image/codecs/tga.h"
