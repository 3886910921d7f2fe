#pragma once
// Where a button's command splits into the target path and its parameters: at the space
// after the last ".exe" (case-sensitive) followed by a space.
#include <cstddef>
#include <string>

struct CommandSplit {
  std::size_t split;   // length of the target; the command's length when nothing matched
  bool hasParameters;  // a match: the parameters are the bytes after the space (maybe none)
  int endState;        // the scanner's state after the last byte (2 or 3: it ended in ".e"/".ex")
};

CommandSplit splitCommand(const std::string& command);
