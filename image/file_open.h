#pragma once
// How the library's writers and file streams open a file by the path their caller gave.
// std::fopen unless the program sets another opener: a program whose paths are UTF-8 on
// Windows sets one that opens them by their wide name. Set it before any writer runs.
#include <cstdio>

namespace limg {

using ImageFileOpener = std::FILE* (*)(const char* path, const char* mode);

// Null brings back std::fopen.
void ImageSetFileOpener(ImageFileOpener opener);
std::FILE* ImageOpenFile(const char* path, const char* mode);

}  // namespace limg
