// The demo's stand-in for a game: it records how it was started (its command line, each
// argument, the current directory) in started.txt beside itself, in UTF-8, and ends.
// The end-to-end tests read the record.
#include <windows.h>
#include <shellapi.h>

#include <cstdio>
#include <string>

namespace {
std::string utf8(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(n, '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, &out[0], n, nullptr, nullptr);
  out.pop_back();
  return out;
}
}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  std::wstring self(32768, L'\0'), cwd(32768, L'\0');
  self.resize(GetModuleFileNameW(nullptr, &self[0], DWORD(self.size())));
  cwd.resize(GetCurrentDirectoryW(DWORD(cwd.size()), &cwd[0]));
  const std::wstring recordPath = self.substr(0, self.find_last_of(L'\\') + 1) + L"started.txt";
  FILE* out = _wfopen(recordPath.c_str(), L"wb");
  if (!out) return 1;
  const wchar_t* commandLine = GetCommandLineW();
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(commandLine, &argc);
  std::fprintf(out, "cwd=%s\ncmdline=%s\nargc=%d\n", utf8(cwd.c_str()).c_str(), utf8(commandLine).c_str(), argc);
  for (int i = 1; argv && i < argc; ++i) std::fprintf(out, "arg%d=%s\n", i, utf8(argv[i]).c_str());
  if (argv) LocalFree(argv);
  std::fclose(out);
  return 0;
}
