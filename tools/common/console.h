#pragma once
// The tools' console: UTF-8 text out, and the entry that gives a tool its arguments as UTF-8.
// A Windows console is written in UTF-16 (WriteConsoleW), so names read right whatever its
// code page; files and pipes get the UTF-8 bytes, the same as on Linux.
#include <cstdio>
#include <string>

// Writes UTF-8 text to stdout or stderr (after what is buffered in the stream).
void writeText(FILE* stream, const std::string& utf8);
// printf into writeText (the C99 formats, %zu and %llu included, on every platform).
#ifdef __MINGW32__
#define TOOL_PRINTF_FORMAT gnu_printf
#else
#define TOOL_PRINTF_FORMAT printf
#endif
void printText(FILE* stream, const char* format, ...) __attribute__((format(TOOL_PRINTF_FORMAT, 2, 3)));

// Whether stream is a terminal or a console window (where a progress bar makes sense).
bool isInteractive(FILE* stream);

// Windows: whether the console window was made for this process alone (a program started
// from Explorer, or something dropped onto it), so that it closes when the process ends.
// False elsewhere and when the process has no console.
bool consoleIsOwnOnly();
// Prints the prompt on stderr and waits until Enter is pressed (or the input ends).
void waitForEnter(const char* prompt);

// The tool's main with its arguments in UTF-8: on Windows they are read from the wide command
// line (GetCommandLineW, CommandLineToArgvW), not from the ANSI argv.
int runTool(int argc, char** argv, int (*toolMain)(int argc, char** argv));
