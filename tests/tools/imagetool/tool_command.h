#pragma once
// The imagetool program the tests run: $IMAGETOOL when it is set (the Windows program under
// Wine, through a wrapper script), else the one built beside the tests.
#include <cstdlib>
#include <string>

inline std::string imagetoolCommand() {
  const char* given = std::getenv("IMAGETOOL");
  return given && *given ? std::string(given) : std::string(IMAGETOOL_PATH);
}
