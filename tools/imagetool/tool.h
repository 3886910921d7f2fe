#pragma once
// imagetool: commands over the image library. Each command lives in its own cmd_*.cpp and
// has one row in the table of commands.cpp; pictures are read and written through
// image_io.h, whose writers are chosen by the output file's extension.
#include <cstdint>
#include <string>
#include <vector>

using Args = std::vector<std::string>;

struct Command {
  const char* name;
  const char* usage;    // the arguments after the command name
  const char* summary;  // one line for --help
  int (*run)(const Args& args);  // exit status: 0, or 1 after reporting on stderr
};

// The table of commands, ending with a row whose name is null.
extern const Command kCommands[];

// Prints "imagetool: " and the message as one line on stderr; returns 1, the failure status.
int fail(const std::string& message);

// Prints the usage of one command on stdout.
void printUsage(const Command& command);

// Options of the form "--name value" (or a bare "--name" for a flag) taken out of args; the
// rest stays, in order. "-x value" short forms are taken like long ones.
struct OptionSpec {
  const char* name;      // with the dashes
  std::string* value;    // for an option with a value
  bool* flag = nullptr;  // for a flag (value null)
};
// False (message in *error) for an unknown option or one without its value.
bool takeOptions(Args* args, const std::vector<OptionSpec>& specs, std::string* error);

// A whole decimal number; false for anything else.
bool parseNumber(const std::string& text, double* value);

// A whole number from low to high (within int32_t); false for anything else. The range is
// checked before the number becomes an int, so 4294967297 is refused, not wrapped to 1.
bool parseWhole(const std::string& text, int64_t low, int64_t high, int32_t* value);

// The commands.
int runInfo(const Args& args);
int runConvert(const Args& args);
int runResize(const Args& args);
int runCut(const Args& args);
int runRotate(const Args& args);
int runCompose(const Args& args);
int runBlend(const Args& args);
int runMask(const Args& args);
