// The demo's stand-in for a game: it records how it was started (its command line, each
// argument, the current directory) in started.txt beside itself and ends.
// The end-to-end tests read the record.
#include <windows.h>

#include <cstdio>
#include <cstdlib>  // __argc, __argv
#include <cstring>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  char self[MAX_PATH] = {}, cwd[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  GetCurrentDirectoryA(MAX_PATH, cwd);
  char* slash = std::strrchr(self, '\\');
  if (slash) slash[1] = '\0';
  char recordPath[MAX_PATH + 16];
  std::snprintf(recordPath, sizeof recordPath, "%sstarted.txt", self);
  FILE* out = std::fopen(recordPath, "wb");
  if (!out) return 1;
  std::fprintf(out, "cwd=%s\ncmdline=%s\nargc=%d\n", cwd, GetCommandLineA(), __argc);
  for (int i = 1; i < __argc; ++i) std::fprintf(out, "arg%d=%s\n", i, __argv[i]);
  std::fclose(out);
  return 0;
}
