// A hook library that the probe installs on the launcher's thread: a font handle means
// something only inside the process that made it, so the font of the launcher's controls
// is read there. On its first call the hook writes, for every child of the "Launcher"
// window, the class and the LOGFONT fields that matter to font-report.txt beside itself.
#include <windows.h>

#include <cstdio>
#include <cstring>

namespace {
HMODULE self = nullptr;
bool done = false;

BOOL CALLBACK report(HWND child, LPARAM file) {
  char name[64] = {};
  GetClassNameA(child, name, sizeof name);
  LOGFONTA font = {};
  const HGDIOBJ handle = reinterpret_cast<HGDIOBJ>(SendMessageA(child, WM_GETFONT, 0, 0));
  const int got = handle ? GetObjectA(handle, sizeof font, &font) : 0;
  std::fprintf(reinterpret_cast<FILE*>(file), "child class=%s font=%d height=%ld width=%ld weight=%ld charset=%d pitch=%d face=",
               name, got == sizeof font ? 1 : 0, font.lfHeight, font.lfWidth, font.lfWeight, font.lfCharSet,
               font.lfPitchAndFamily);
  for (const char* p = font.lfFaceName; *p; ++p) std::fprintf(reinterpret_cast<FILE*>(file), "%02x", unsigned(static_cast<unsigned char>(*p)));
  std::fprintf(reinterpret_cast<FILE*>(file), "\n");
  return TRUE;
}
}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK fontHookProc(int code, WPARAM wParam, LPARAM lParam) {
  if (!done) {
    done = true;
    char path[MAX_PATH] = {};
    GetModuleFileNameA(self, path, MAX_PATH);
    char* slash = std::strrchr(path, '\\');
    if (slash) std::strcpy(slash + 1, "font-report.txt");
    if (FILE* file = std::fopen(path, "wb")) {
      if (HWND w = FindWindowA("Launcher", nullptr)) EnumChildWindows(w, report, reinterpret_cast<LPARAM>(file));
      std::fprintf(file, "end\n");
      std::fclose(file);
    }
  }
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) self = instance;
  return TRUE;
}
