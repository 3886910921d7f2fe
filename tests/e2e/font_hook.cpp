// A hook library that the probe installs on the launcher's thread, to do there what only
// the launcher's own process can: a font handle means something only inside the process
// that made it, and WM_DPICHANGED carries the address of a rectangle in the receiver's
// memory. The probe writes hook-request.txt beside the library and posts the registered
// message "e2e hook request" to the launcher's window; the hook, seeing that message, reads
// the request, deletes it (so a repeated post does nothing), carries it out and writes
// hook-report.txt beside itself, ending with a line "end". Requests:
//   fonts                  for every child of the "Launcher" window, its class and the
//                          LOGFONT fields that matter (the face name as the hex bytes of
//                          its UTF-8 form)
// Files are named in UTF-16: the library may lie in a folder outside the code page.
//   dpi DPI LEFT TOP       send WM_DPICHANGED for DPI with the suggested rectangle at
//                          LEFT, TOP (320 x 240: the launcher takes the size from its
//                          table), then repaint at once; report the milliseconds taken
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <cwchar>
#include <string>

namespace {
HMODULE self = nullptr;

std::wstring besideSelf(const wchar_t* name) {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(self, path, MAX_PATH);
  wchar_t* slash = std::wcsrchr(path, L'\\');
  if (slash) slash[1] = L'\0';
  return std::wstring(path) + name;
}

BOOL CALLBACK reportFont(HWND child, LPARAM file) {
  char name[64] = {};
  GetClassNameA(child, name, sizeof name);
  LOGFONTW font = {};
  const HGDIOBJ handle = reinterpret_cast<HGDIOBJ>(SendMessageW(child, WM_GETFONT, 0, 0));
  const int got = handle ? GetObjectW(handle, sizeof font, &font) : 0;
  FILE* out = reinterpret_cast<FILE*>(file);
  std::fprintf(out, "child class=%s font=%d height=%ld width=%ld weight=%ld charset=%d pitch=%d face=", name,
               got == sizeof font ? 1 : 0, font.lfHeight, font.lfWidth, font.lfWeight, font.lfCharSet,
               font.lfPitchAndFamily);
  char face[LF_FACESIZE * 4] = {};
  const int n = WideCharToMultiByte(CP_UTF8, 0, font.lfFaceName, -1, face, sizeof face, nullptr, nullptr);
  for (int i = 0; i + 1 < n; ++i) std::fprintf(out, "%02x", unsigned(static_cast<unsigned char>(face[i])));
  std::fprintf(out, "\n");
  return TRUE;
}

// The thread's processor time (user and kernel) in milliseconds; the system counts it in
// coarse steps, so only sums over many runs mean much.
double threadCpuMs() {
  FILETIME created, exited, kernel, user;
  if (!GetThreadTimes(GetCurrentThread(), &created, &exited, &kernel, &user)) return 0;
  const auto ticks = [](const FILETIME& t) { return double(uint64_t(t.dwHighDateTime) << 32 | t.dwLowDateTime); };
  return (ticks(kernel) + ticks(user)) / 10000.0;
}

void changeDpi(FILE* out, HWND window, int dpi, int left, int top) {
  RECT suggested = {left, top, left + 320, top + 240};
  LARGE_INTEGER frequency, t0, t1, t2;
  QueryPerformanceFrequency(&frequency);
  const double cpu0 = threadCpuMs();
  QueryPerformanceCounter(&t0);
  SendMessageW(window, 0x02E0 /* WM_DPICHANGED */, MAKEWPARAM(dpi, dpi), reinterpret_cast<LPARAM>(&suggested));
  QueryPerformanceCounter(&t1);
  RedrawWindow(window, nullptr, nullptr, RDW_UPDATENOW | RDW_ALLCHILDREN);
  GdiFlush();
  QueryPerformanceCounter(&t2);
  const double cpu = threadCpuMs() - cpu0;
  const auto ms = [&](const LARGE_INTEGER& a, const LARGE_INTEGER& b) {
    return double(b.QuadPart - a.QuadPart) * 1000.0 / double(frequency.QuadPart);
  };
  // ms: from the message to the end of the repaint; relayout: the message's handling alone;
  // cpu: the launcher thread's processor time over the whole.
  std::fprintf(out, "dpichange dpi=%d ms=%.2f relayout=%.2f cpu=%.1f\n", dpi, ms(t0, t2), ms(t0, t1), cpu);
}

void serve() {
  const std::wstring requestPath = besideSelf(L"hook-request.txt");
  char request[256] = {};
  FILE* in = _wfopen(requestPath.c_str(), L"rb");
  if (!in) return;
  const size_t n = std::fread(request, 1, sizeof request - 1, in);
  std::fclose(in);
  request[n] = '\0';
  DeleteFileW(requestPath.c_str());
  const std::wstring reportPath = besideSelf(L"hook-report.txt"), partPath = reportPath + L".part";
  FILE* out = _wfopen(partPath.c_str(), L"wb");
  if (!out) return;
  const HWND window = FindWindowW(L"Launcher", nullptr);
  int dpi = 0, left = 0, top = 0;
  if (!window) {
    std::fprintf(out, "no window\n");
  } else if (std::strncmp(request, "fonts", 5) == 0) {
    EnumChildWindows(window, reportFont, reinterpret_cast<LPARAM>(out));
  } else if (std::sscanf(request, "dpi %d %d %d", &dpi, &left, &top) == 3) {
    changeDpi(out, window, dpi, left, top);
  } else {
    std::fprintf(out, "unknown request\n");
  }
  std::fprintf(out, "end\n");
  std::fclose(out);
  MoveFileExW(partPath.c_str(), reportPath.c_str(), MOVEFILE_REPLACE_EXISTING);
}
}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK hookProc(int code, WPARAM wParam, LPARAM lParam) {
  static const UINT requestMessage = RegisterWindowMessageA("e2e hook request");
  const MSG* message = reinterpret_cast<const MSG*>(lParam);
  if (code == HC_ACTION && wParam == PM_REMOVE && message && message->message == requestMessage) serve();
  return CallNextHookEx(nullptr, code, wParam, lParam);
}

BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) self = instance;
  return TRUE;
}
