#pragma once
#include <string>

// Turns a program file name (UTF-16, as Windows gives it) into its directory: cut after the
// last backslash or "/", then every backslash becomes "/". Returns false, leaving the text
// whole, when there is no separator.
bool moduleDirectoryFromPath(std::u16string& path);
