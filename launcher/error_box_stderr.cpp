// Without a window system the box text goes to standard error, one line a box.
#include <cstdio>

#include "launcher/error_box.h"

void showPlatformErrorBox(const std::string& text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fputc('\n', stderr);
}
