// Runs a program in a console of its own and writes what the console shows, as UTF-8, to a
// file: the end-to-end tests read a tool's console output this way (a console, unlike a file
// or a pipe, gets the tool's UTF-16 writes and its progress bar).
//   console_run OUT.txt PROGRAM [ARGS...]      exit status: the program's
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>
#include <vector>

namespace {

std::string utf8(const std::wstring& w) {
  if (w.empty()) return std::string();
  const int n = WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), nullptr, 0, nullptr, nullptr);
  std::string s(std::size_t(n > 0 ? n : 0), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w.data(), int(w.size()), &s[0], n, nullptr, nullptr);
  return s;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 3) {
    std::fprintf(stderr, "usage: console_run OUT.txt PROGRAM [ARGS...]\n");
    return 2;
  }
  std::wstring command;
  for (int i = 2; i < argc; ++i) command += (i > 2 ? L" \"" : L"\"") + std::wstring(argv[i]) + L"\"";
  FreeConsole();
  if (!AllocConsole()) {
    std::fprintf(stderr, "console_run: no console\n");
    return 2;
  }
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &process))
    return 3;
  WaitForSingleObject(process.hProcess, 60000);
  DWORD status = 1;
  GetExitCodeProcess(process.hProcess, &status);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);

  HANDLE screen = CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  CONSOLE_SCREEN_BUFFER_INFO info;
  if (screen == INVALID_HANDLE_VALUE || !GetConsoleScreenBufferInfo(screen, &info)) return 4;
  std::string text;
  std::vector<wchar_t> row(std::size_t(info.dwSize.X));
  for (SHORT y = 0; y <= info.dwCursorPosition.Y; ++y) {
    DWORD n = 0;
    ReadConsoleOutputCharacterW(screen, row.data(), DWORD(row.size()), COORD{0, y}, &n);
    std::wstring line(row.data(), n);
    while (!line.empty() && line.back() == L' ') line.pop_back();
    text += utf8(line) + "\n";
  }
  FILE* out = _wfopen(argv[1], L"wb");
  if (!out) return 5;
  std::fwrite(text.data(), 1, text.size(), out);
  std::fclose(out);
  return int(status);
}
