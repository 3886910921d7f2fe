#include "launcher/command_split.h"

#include <gtest/gtest.h>

namespace {
struct Parsed {
  std::string target;
  bool hasParameters;
  std::string parameters;
};
Parsed parse(const std::string& command) {
  const CommandSplit s = splitCommand(command);
  return {command.substr(0, s.split), s.hasParameters, s.hasParameters ? command.substr(s.split + 1) : ""};
}
}  // namespace

TEST(CommandSplit, PlainProgramHasNoParameters) {
  const Parsed p = parse("game.exe");
  EXPECT_EQ(p.target, "game.exe");
  EXPECT_FALSE(p.hasParameters);
}

TEST(CommandSplit, ParametersAfterTheSpace) {
  const Parsed p = parse("bin/game.exe -window");
  EXPECT_EQ(p.target, "bin/game.exe");
  EXPECT_TRUE(p.hasParameters);
  EXPECT_EQ(p.parameters, "-window");
  const Parsed empty = parse("game.exe ");
  EXPECT_EQ(empty.target, "game.exe");
  EXPECT_TRUE(empty.hasParameters);  // an empty string, not none
  EXPECT_EQ(empty.parameters, "");
}

TEST(CommandSplit, LastMatchWinsAndCaseMatters) {
  const Parsed p = parse("a.exe b.exe c");
  EXPECT_EQ(p.target, "a.exe b.exe");
  EXPECT_EQ(p.parameters, "c");
  EXPECT_FALSE(parse("game.EXE -x").hasParameters);
  EXPECT_FALSE(parse("manual.html").hasParameters);
}

TEST(CommandSplit, MismatchRestartsWithoutRescanningTheByte) {
  // "..exe " : the second "." breaks the first attempt and is not looked at again as a start.
  EXPECT_FALSE(parse("a..exe x").hasParameters);
  // The "." that breaks ".exe" + space is not a new start either, so this has no match.
  EXPECT_FALSE(parse("a.exe.exe x").hasParameters);
  EXPECT_TRUE(parse("a.exe..exe x").hasParameters);
}

TEST(CommandSplit, LeadBytesLeaveTheStateAndTheirSecondByteIsExamined) {
  // A lead byte in the middle of ".exe " does not break the match...
  EXPECT_TRUE(parse(".e\x81xe x").hasParameters);
  // ...and the byte after a lead byte is examined like any other: 0x81 "." starts a match.
  const Parsed p = parse("\x81.exe y");
  EXPECT_TRUE(p.hasParameters);
  EXPECT_EQ(p.parameters, "y");
}

TEST(CommandSplit, EndStateTellsAnEndingInDotEOrDotEx) {
  EXPECT_EQ(splitCommand("run.e").endState, 2);
  EXPECT_EQ(splitCommand("run.ex").endState, 3);
  EXPECT_EQ(splitCommand("run.exe").endState, 4);
  EXPECT_EQ(splitCommand("run").endState, 0);
}
