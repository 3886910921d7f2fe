#include "launcher/module_directory.h"

#include <cstdint>

#include "launcher/numbers.h"

bool moduleDirectoryFromPath(char* path) {
  std::ptrdiff_t lastSeparator = -1;
  for (std::ptrdiff_t i = 0; path[i]; ++i) {
    const uint8_t b = uint8_t(path[i]);
    if (isLeadByte(b)) {
      if (!path[i + 1]) break;
      ++i;
    } else if (b == '\\' || b == '/') {
      lastSeparator = i;
    }
  }
  if (lastSeparator < 0) return false;
  path[lastSeparator + 1] = '\0';
  for (std::ptrdiff_t i = 0; path[i]; ++i) {
    const uint8_t b = uint8_t(path[i]);
    if (isLeadByte(b)) {
      if (!path[i + 1]) break;
      ++i;
    } else if (b == '\\') {
      path[i] = '/';
    }
  }
  return true;
}
