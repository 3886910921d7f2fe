#include "launcher/module_directory.h"

bool moduleDirectoryFromPath(std::u16string& path) {
  const size_t lastSeparator = path.find_last_of(u"\\/");
  if (lastSeparator == std::u16string::npos) return false;
  path.resize(lastSeparator + 1);
  for (char16_t& c : path)
    if (c == u'\\') c = u'/';
  return true;
}
