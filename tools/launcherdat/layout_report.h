#pragma once
// What a layout table names, and the problems a game maker would want to hear about before
// shipping it: rows the launcher rejects or reads differently from how they look.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "launcher/layout_table.h"

struct LayoutNames {
  std::vector<std::string> pictures;  // field 1 of "img" rows
  std::vector<std::string> targets;   // the target path of "btn" commands
};
LayoutNames namesInLayout(const LayoutTable& table);

struct LayoutProblem {
  std::size_t row;      // index in the table (row 0 is the first line)
  std::size_t line;     // 1-based line of the text where the row starts
  std::string message;  // for a terminal: names shown through displayCp932
};

// `resourceProblem` is asked about every picture; it returns why it can't be used, if so.
std::vector<LayoutProblem> checkLayout(
    const LayoutTable& table, const std::function<std::optional<std::string>(const std::string&)>& resourceProblem);

// True when parseDecimal reads `text` as the number it looks like: optional TAB/space, an
// optional sign, then one or more digits and nothing else.
bool readsAsItLooks(const std::string& text);
