#include "tools/launcherdat/layout_report.h"

#include <algorithm>
#include <cstring>

#include "launcher/command_split.h"
#include "launcher/numbers.h"
#include "tools/common/name_codec.h"

namespace {

constexpr std::size_t kButtonSlots = 16, kPanelSlots = 8;

std::string quoted(const std::string& field) { return "\"" + displayCp932(field) + "\""; }

void addIfNew(std::vector<std::string>& list, const std::string& name) {
  if (!name.empty() && std::find(list.begin(), list.end(), name) == list.end()) list.push_back(name);
}

std::string commandTarget(const std::string& command) { return command.substr(0, splitCommand(command).split); }

struct Checker {
  const LayoutTable& table;
  std::vector<LayoutProblem> problems;
  std::size_t row = 0, line = 1;

  void report(const std::string& message) { problems.push_back({row, line, message}); }

  void number(const std::string& what, const std::string& text) {
    // Fields of joined lines are reported once, as joined lines.
    if (readsAsItLooks(text) || text.empty() || text.find('\n') != std::string::npos) return;
    report(what + " " + quoted(text) + " is read as " + formatDecimal(parseDecimal(text.c_str())));
  }

  void joinedLines(const LayoutRow& fields) {
    std::size_t joined = 0;
    for (const std::string& f : fields) joined += std::count(f.begin(), f.end(), '\n');
    if (joined == 0) return;
    report("a quote or a cut double-byte character joins the next " + std::to_string(joined) +
           " line(s) into this row");
  }

  void button(const LayoutRow& r, std::size_t index) {
    if (index == kButtonSlots) report("more than 16 buttons: this and later buttons are not shown");
    static const char* const kNames[2][2] = {{"x", "width"}, {"y", "height"}};
    for (int axis = 0; axis < 2; ++axis) {
      const std::string& field = r[2 + axis];
      const std::vector<std::string> pieces = splitFields(field.data(), field.size(), '|');
      for (std::size_t p = 0; p < pieces.size() && p < 2; ++p) number(kNames[axis][p], pieces[p]);
      if (pieces.size() > 2) report("position " + quoted(field) + " has more than two pieces; the rest is ignored");
    }
    number("flags", r[5]);
    const std::string& command = r[4];
    const std::string target = commandTarget(command);
    if (!target.empty() && (target[0] == '/' || target[0] == '\\' ||
                            (target.size() > 1 && target[1] == ':'))) {
      report("command " + quoted(command) + " has an absolute path; commands are relative to the launcher");
    }
    if (!splitCommand(command).hasParameters) {
      std::string lower = command;
      for (char& c : lower) c = char(std::tolower(uint8_t(c)));
      if (lower.find(".exe ") != std::string::npos)
        report("command " + quoted(command) + " has \".EXE \" in capitals: the launcher splits parameters "
               "only after a lower-case \".exe \", so the whole command is taken as the path");
    }
  }

  void picture(const LayoutRow& r, std::size_t index,
               const std::function<std::optional<std::string>(const std::string&)>& resourceProblem) {
    if (index == kPanelSlots) report("more than 8 pictures: this and later pictures are not shown");
    for (int axis = 0; axis < 2; ++axis) {
      const std::string& field = r[2 + axis];
      if (std::memchr(field.data(), '|', field.size()))
        report(std::string(axis ? "y" : "x") + " " + quoted(field) + " of a picture has a bar, which picture rows " +
               "don't split: it is read as " + formatDecimal(parseDecimal(field.c_str())));
      else
        number(axis ? "y" : "x", field);
    }
    if (r[1].empty()) {
      report("picture row without a resource name");
    } else if (const std::optional<std::string> why = resourceProblem(r[1])) {
      report("picture " + quoted(r[1]) + ": " + *why);
    }
  }
};

}  // namespace

bool readsAsItLooks(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
  if (i == text.size()) return false;
  for (; i < text.size(); ++i)
    if (text[i] < '0' || text[i] > '9') return false;
  return true;
}

LayoutNames namesInLayout(const LayoutTable& table) {
  LayoutNames names;
  for (std::size_t i = 1; i < table.size(); ++i) {
    const LayoutRow& r = table[i];
    if (r[0] == "img") addIfNew(names.pictures, r[1]);
    if (r[0] == "btn") addIfNew(names.targets, commandTarget(r[4]));
  }
  return names;
}

std::vector<LayoutProblem> checkLayout(
    const LayoutTable& table, const std::function<std::optional<std::string>(const std::string&)>& resourceProblem) {
  Checker c{table, {}};
  if (table.empty()) {
    c.report("the layout table is empty: the launcher ends without a window");
    return c.problems;
  }
  std::size_t buttons = 0, pictures = 0;
  for (c.row = 0; c.row < table.size(); ++c.row) {
    const LayoutRow& r = table[c.row];
    c.joinedLines(r);
    if (c.row == 0) {
      c.number("client width", r[1]);
      c.number("client height", r[2]);
      if (parseDecimal(r[1].c_str()) <= 0 || parseDecimal(r[2].c_str()) <= 0)
        c.report("row 0 must give a positive client width and height (fields 1 and 2)");
    } else if (r[0] == "btn") {
      c.button(r, buttons++);
    } else if (r[0] == "img") {
      c.picture(r, pictures++, resourceProblem);
    } else if (!r[0].empty()) {
      c.report("unsupported row kind " + quoted(r[0]) + " (the launcher shows an error box and skips it)");
    }
    for (const std::string& f : r) c.line += std::count(f.begin(), f.end(), '\n');
    ++c.line;
  }
  return c.problems;
}
