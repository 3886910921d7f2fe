#pragma once
#include <cstddef>

// Turns a program file name (NUL-terminated, Shift-JIS) into its directory in place: cut
// after the last backslash or "/" (lead bytes take their next byte unexamined), then every
// real backslash becomes "/". Returns false, leaving the text whole, when there is no separator.
bool moduleDirectoryFromPath(char* path);
