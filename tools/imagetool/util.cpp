#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "tools/common/console.h"
#include "tools/imagetool/tool.h"

int fail(const std::string& message) {
  std::fflush(stdout);
  printText(stderr, "imagetool: %s\n", message.c_str());
  return 1;
}

void printUsage(const Command& command) { printText(stdout, "  imagetool %s %s\n", command.name, command.usage); }

bool takeOptions(Args* args, const std::vector<OptionSpec>& specs, std::string* error) {
  Args rest;
  for (std::size_t i = 0; i < args->size(); ++i) {
    const std::string& a = (*args)[i];
    const bool isShort = a.size() == 2 && a[0] == '-' && ((a[1] >= 'a' && a[1] <= 'z') || (a[1] >= 'A' && a[1] <= 'Z'));
    if (!isShort && (a.size() < 3 || a.compare(0, 2, "--") != 0)) {
      rest.push_back(a);
      continue;
    }
    const OptionSpec* option = nullptr;
    for (const OptionSpec& s : specs)
      if (a == s.name) option = &s;
    if (!option) {
      *error = "unknown option " + a;
      return false;
    }
    if (option->flag) {
      *option->flag = true;
      continue;
    }
    if (i + 1 >= args->size()) {
      *error = "option " + a + " needs a value";
      return false;
    }
    *option->value = (*args)[++i];
  }
  *args = rest;
  return true;
}

bool parseNumber(const std::string& text, double* value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (errno != 0 || end != text.c_str() + text.size() || !std::isfinite(v)) return false;
  *value = v;
  return true;
}

bool parseWhole(const std::string& text, int64_t low, int64_t high, int32_t* value) {
  double v = 0;
  if (!parseNumber(text, &v) || !(v >= double(low) && v <= double(high)) || v != std::floor(v)) return false;
  *value = int32_t(v);
  return true;
}
