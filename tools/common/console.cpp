#include "tools/common/console.h"

#include <algorithm>
#include <cstdarg>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#include <shellapi.h>
#else
#include <unistd.h>
#endif

#include "tools/common/text.h"

namespace {

#ifdef _WIN32
// The console handle behind stream, or null when it is a file, a pipe or nothing.
HANDLE consoleOf(FILE* stream) {
  const intptr_t os = _get_osfhandle(_fileno(stream));
  if (os == -1) return nullptr;
  const HANDLE h = reinterpret_cast<HANDLE>(os);
  DWORD mode;
  return GetConsoleMode(h, &mode) ? h : nullptr;
}
#endif

}  // namespace

void writeText(FILE* stream, const std::string& utf8) {
#ifdef _WIN32
  if (const HANDLE console = consoleOf(stream)) {
    std::fflush(stream);
    const std::wstring wide = wideFromUtf8(utf8);
    // Large writes are refused by some consoles: a few thousand characters at a time.
    for (std::size_t at = 0; at < wide.size();) {
      const DWORD n = DWORD(std::min<std::size_t>(wide.size() - at, 4096));
      DWORD written = 0;
      if (!WriteConsoleW(console, wide.data() + at, n, &written, nullptr) || written == 0) break;
      at += written;
    }
    return;
  }
#endif
  std::fwrite(utf8.data(), 1, utf8.size(), stream);
}

void printText(FILE* stream, const char* format, ...) {
  va_list args;
  va_start(args, format);
  va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(nullptr, 0, format, args);
  va_end(args);
  if (n > 0) {
    std::vector<char> text(std::size_t(n) + 1);
    std::vsnprintf(text.data(), text.size(), format, again);
    writeText(stream, std::string(text.data(), std::size_t(n)));
  }
  va_end(again);
}

bool isInteractive(FILE* stream) {
#ifdef _WIN32
  return consoleOf(stream) != nullptr;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

bool consoleIsOwnOnly() {
#ifdef _WIN32
  DWORD processes[2];
  // 1: only this process is attached, so nobody else will show what is left in the window.
  return GetConsoleProcessList(processes, 2) == 1;
#else
  return false;
#endif
}

void waitForEnter(const char* prompt) {
  writeText(stderr, prompt);
  std::fflush(stderr);
  for (int c; (c = std::getchar()) != EOF && c != '\n';) {
  }
}

int runTool(int argc, char** argv, int (*toolMain)(int argc, char** argv)) {
#ifdef _WIN32
  (void)argc;
  (void)argv;
  // Files and pipes get the same bytes as on Linux: line feeds, not CR LF.
  if (!consoleOf(stdout)) _setmode(_fileno(stdout), _O_BINARY);
  if (!consoleOf(stderr)) _setmode(_fileno(stderr), _O_BINARY);
  int count = 0;
  LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &count);
  if (!wide) {
    writeText(stderr, "cannot read the command line\n");
    return 2;
  }
  std::vector<std::string> args;
  for (int i = 0; i < count; ++i) args.push_back(utf8FromWide(wide[i]));
  LocalFree(wide);
  std::vector<char*> pointers;
  for (std::string& a : args) pointers.push_back(&a[0]);
  pointers.push_back(nullptr);
  const int status = toolMain(count, pointers.data());
#else
  const int status = toolMain(argc, argv);
#endif
  std::fflush(stdout);
  std::fflush(stderr);
  return status;
}
