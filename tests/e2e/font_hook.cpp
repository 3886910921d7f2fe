// A hook library that the probe installs on the launcher's thread: a font handle means
// something only inside the process that made it, so the font of the launcher's controls
// is read there. On its first call the hook writes, for every child of the "Launcher"
// window, the class and the LOGFONT fields that matter to font-report.txt beside itself
// (the face name as the hex bytes of its UTF-8 form).
#include <windows.h>

#include <cstdio>
#include <cwchar>

namespace {
HMODULE self = nullptr;
bool done = false;

BOOL CALLBACK report(HWND child, LPARAM file) {
  char name[64] = {};
  GetClassNameA(child, name, sizeof name);
  LOGFONTW font = {};
  const HGDIOBJ handle = reinterpret_cast<HGDIOBJ>(SendMessageW(child, WM_GETFONT, 0, 0));
  const int got = handle ? GetObjectW(handle, sizeof font, &font) : 0;
  std::fprintf(reinterpret_cast<FILE*>(file), "child class=%s font=%d height=%ld width=%ld weight=%ld charset=%d pitch=%d face=",
               name, got == sizeof font ? 1 : 0, font.lfHeight, font.lfWidth, font.lfWeight, font.lfCharSet,
               font.lfPitchAndFamily);
  char face[LF_FACESIZE * 4] = {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, font.lfFaceName, -1, face, sizeof face, nullptr, nullptr);
  for (int i = 0; i + 1 < n; ++i) std::fprintf(reinterpret_cast<FILE*>(file), "%02x", unsigned(static_cast<unsigned char>(face[i])));
  std::fprintf(reinterpret_cast<FILE*>(file), "\n");
  return TRUE;
}
}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK fontHookProc(int code, WPARAM wParam, LPARAM lParam) {
  if (!done) {
    done = true;
    wchar_t path[MAX_PATH + 32] = {};
    GetModuleFileNameW(self, path, MAX_PATH);
    wchar_t* slash = std::wcsrchr(path, L'\\');
    if (slash) std::wcscpy(slash + 1, L"font-report.txt");
    if (FILE* file = _wfopen(path, L"wb")) {
      if (HWND w = FindWindowW(L"Launcher", nullptr)) EnumChildWindows(w, report, reinterpret_cast<LPARAM>(file));
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
