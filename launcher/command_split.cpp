#include "launcher/command_split.h"

#include <cstdint>

#include "launcher/numbers.h"

CommandSplit splitCommand(const std::string& command) {
  // State n means the last n bytes (lead bytes aside) were the first n of ".exe".
  static const char kPattern[] = ".exe ";
  CommandSplit result{command.size(), false, 0};
  int state = 0;
  for (std::size_t i = 0; i < command.size(); ++i) {
    const uint8_t b = uint8_t(command[i]);
    if (isLeadByte(b)) continue;  // the state stays; the next byte is examined as usual
    if (b == uint8_t(kPattern[state])) {
      if (++state == 5) {
        result.split = i;
        result.hasParameters = true;
        state = 0;
      }
    } else {
      state = 0;
    }
  }
  result.endState = state;
  return result;
}
