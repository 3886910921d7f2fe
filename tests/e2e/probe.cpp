// Drives and inspects the launcher from outside, as a user would: finds its windows, reads
// their classes, texts, styles and rectangles, reads and closes its message boxes, clicks
// its buttons. Texts are read in UTF-16 and printed as the hex bytes of their UTF-8 form, so
// the report is the same whatever code page the prefix has. Arguments are read in UTF-16 too.
//
//   probe window MS          wait for the "Launcher" window; print it and its children
//   probe gone MS            wait until no "Launcher" window exists (exit 1 if it stays)
//   probe acp                print the system code page (GetACP)
//   probe box MS             wait for an "Error" box; print its text and rectangle; press OK
//   probe nobox MS           exit 1 if an "Error" box appears within MS
//   probe click CAPTION      post BM_CLICK to the launcher's button with that caption
//   probe minimize | iconic  minimise the window | exit 0 when it is minimised
//   probe fonts HOOK.dll     read the fonts of the launcher's controls inside its process
//                            (the hook library reports beside itself, see font_hook.cpp)
//   probe dpi HOOK.dll DPI LEFT TOP   send the launcher WM_DPICHANGED from inside its
//                            process, suggesting LEFT, TOP; print the milliseconds to the repaint
//   probe launch-time DIR N  start DIR\Launcher.exe N times; print the milliseconds from
//                            CreateProcess to the window being visible, each run and median
//   probe expect PICTURE SX SY OUT   decode and resize PICTURE as the launcher does; write
//                            the raw B, G, R, A bytes to OUT and print "width height"
#include <windows.h>
#include <shellapi.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "image/image.h"
#include "image/resize.h"

using namespace limg;

namespace {

std::string hex(const std::string& s) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) out += digits[c >> 4], out += digits[c & 15];
  return out.empty() ? "-" : out;
}

std::string utf8(const wchar_t* text, int n = -1) {
  if (n == 0) return {};
  const int bytes = WideCharToMultiByte(CP_UTF8, 0, text, n, nullptr, 0, nullptr, nullptr);
  std::string out(bytes > 0 ? bytes : 0, '\0');
  if (bytes > 0) WideCharToMultiByte(CP_UTF8, 0, text, n, &out[0], bytes, nullptr, nullptr);
  if (n < 0 && !out.empty()) out.pop_back();  // the NUL
  return out;
}

std::string textOf(HWND w) {
  wchar_t buffer[1024] = {};
  const int n = GetWindowTextW(w, buffer, 1024);
  return utf8(buffer, n > 0 ? n : 0);
}

std::string classOf(HWND w) {
  char buffer[256] = {};
  GetClassNameA(w, buffer, sizeof buffer);
  return buffer;
}

template <class Find>
HWND waitFor(int ms, Find find) {
  for (int waited = 0;; waited += 50) {
    if (HWND w = find()) return w;
    if (waited >= ms) return nullptr;
    Sleep(50);
  }
}

HWND launcherWindow() { return FindWindowW(L"Launcher", nullptr); }

BOOL CALLBACK collect(HWND w, LPARAM list) {
  reinterpret_cast<std::vector<HWND>*>(list)->push_back(w);
  return TRUE;
}

std::vector<HWND> children(HWND parent) {
  std::vector<HWND> list;
  EnumChildWindows(parent, collect, reinterpret_cast<LPARAM>(&list));
  return list;
}

void printRect(const char* name, const RECT& r) { std::printf(" %s=%ld,%ld,%ld,%ld", name, r.left, r.top, r.right, r.bottom); }

int showWindow(int ms) {
  const HWND w = waitFor(ms, launcherWindow);
  if (!w) return std::puts("no window"), 1;
  // Wait until it is shown (start-up makes it hidden first).
  waitFor(ms, [&] { return IsWindowVisible(w) ? w : nullptr; });
  RECT outer, client;
  GetWindowRect(w, &outer);
  GetClientRect(w, &client);
  POINT origin = {0, 0};
  ClientToScreen(w, &origin);
  std::printf("window class=%s title=%s style=%08lX visible=%d", classOf(w).c_str(), hex(textOf(w)).c_str(),
              GetWindowLongA(w, GWL_STYLE), IsWindowVisible(w) ? 1 : 0);
  printRect("rect", outer);
  std::printf(" client=%ld,%ld origin=%ld,%ld\n", client.right, client.bottom, origin.x, origin.y);
  for (HWND c : children(w)) {
    RECT r;
    GetWindowRect(c, &r);
    MapWindowPoints(nullptr, w, reinterpret_cast<POINT*>(&r), 2);
    std::printf("child class=%s text=%s style=%08lX", classOf(c).c_str(), hex(textOf(c)).c_str(),
                GetWindowLongA(c, GWL_STYLE));
    LOGFONTW font = {};
    const HGDIOBJ handle = reinterpret_cast<HGDIOBJ>(SendMessageW(c, WM_GETFONT, 0, 0));
    if (handle && GetObjectW(handle, sizeof font, &font) == sizeof font)
      std::printf(" font=%ld,%s", font.lfHeight, hex(utf8(font.lfFaceName)).c_str());
    printRect("rect", r);
    std::printf("\n");
  }
  HMONITOR monitor = MonitorFromWindow(w, MONITOR_DEFAULTTONEAREST);
  MONITORINFO info = {};
  info.cbSize = sizeof info;
  GetMonitorInfoA(monitor, &info);
  std::printf("monitor");
  printRect("rect", info.rcMonitor);
  std::printf(" frame=%d,%d caption=%d\n", GetSystemMetrics(SM_CXFIXEDFRAME), GetSystemMetrics(SM_CYFIXEDFRAME),
              GetSystemMetrics(SM_CYCAPTION));
  return 0;
}

HWND errorBox() {
  HWND w = nullptr;
  while ((w = FindWindowExW(nullptr, w, L"#32770", nullptr)) != nullptr)
    if (textOf(w) == "Error" && IsWindowVisible(w)) return w;
  return nullptr;
}

int showBox(int ms) {
  const HWND box = waitFor(ms, errorBox);
  if (!box) return std::puts("no box"), 1;
  Sleep(100);  // let the hook move it
  RECT r;
  GetWindowRect(box, &r);
  wchar_t text[2048] = {};
  const int n = GetDlgItemTextW(box, 0xFFFF, text, 2048);
  std::printf("box text=%s", hex(utf8(text, n > 0 ? n : 0)).c_str());
  printRect("rect", r);
  std::printf(" topmost=%d\n", (GetWindowLongA(box, GWL_EXSTYLE) & WS_EX_TOPMOST) ? 1 : 0);
  std::fflush(stdout);
  const HWND ok = GetDlgItem(box, IDOK);
  if (ok)
    PostMessageA(ok, BM_CLICK, 0, 0);
  else
    PostMessageA(box, WM_COMMAND, IDOK, 0);
  for (int waited = 0; IsWindow(box) && waited < 5000; waited += 50) Sleep(50);
  return 0;
}

int click(const std::string& caption) {
  const HWND w = waitFor(5000, launcherWindow);
  if (!w) return std::puts("no window"), 1;
  for (HWND c : children(w))
    if (classOf(c) == "Button" && textOf(c) == caption) {
      PostMessageA(c, BM_CLICK, 0, 0);
      return 0;
    }
  std::printf("no button %s\n", caption.c_str());
  return 1;
}

int expectPicture(const std::wstring& in, double sx, double sy, const std::wstring& out) {
  FILE* f = _wfopen(in.c_str(), L"rb");
  if (!f) return 1;
  std::vector<uint8_t> bytes;
  uint8_t chunk[65536];
  for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, f)) > 0;) bytes.insert(bytes.end(), chunk, chunk + n);
  std::fclose(f);
  Image* picture = ImageLoadFromMemory(bytes.data(), int32_t(bytes.size()));
  if (!picture) return 1;
  ImageResizeInPlace(&picture, sx, sy, kResizeFactor, kFilterBilinear, kFilterBilinear);
  FILE* o = _wfopen(out.c_str(), L"wb");
  if (!o) return 1;
  std::fwrite(picture->pixels, 4, size_t(picture->pixelCount), o);
  std::fclose(o);
  std::printf("%d %d\n", picture->width, picture->height);
  ImageDestroy(&picture);
  return 0;
}

// Runs one request of the hook library inside the launcher's process (see font_hook.cpp)
// and prints its report without the closing "end" line.
int hookRequest(const std::wstring& dll, const std::string& request) {
  const HWND w = waitFor(10000, launcherWindow);
  if (!w) return std::puts("no window"), 1;
  const std::wstring folder = dll.substr(0, dll.find_last_of(L"\\/") + 1);
  const std::wstring report = folder + L"hook-report.txt", requestFile = folder + L"hook-request.txt";
  DeleteFileW(report.c_str());
  FILE* out = _wfopen(requestFile.c_str(), L"wb");
  if (!out) return std::puts("no request file"), 1;
  std::fputs(request.c_str(), out);
  std::fclose(out);
  HMODULE module = LoadLibraryW(dll.c_str());
  const HOOKPROC proc = module ? reinterpret_cast<HOOKPROC>(reinterpret_cast<void*>(GetProcAddress(module, "hookProc"))) : nullptr;
  if (!proc) return std::puts("no hook library"), 1;
  const HHOOK hook = SetWindowsHookExA(WH_GETMESSAGE, proc, module, GetWindowThreadProcessId(w, nullptr));
  if (!hook) return std::puts("no hook"), 1;
  const UINT requestMessage = RegisterWindowMessageA("e2e hook request");
  // Posted again until the report is there: the hook may not be in place for the first
  // posts, and it serves a request once (it deletes the request file).
  for (int waited = 0; waited < 20000; waited += 50) {
    PostMessageA(w, requestMessage, 0, 0);
    Sleep(50);
    if (FILE* file = _wfopen(report.c_str(), L"rb")) {
      char all[8192];
      all[std::fread(all, 1, sizeof all - 1, file)] = '\0';
      std::fclose(file);
      UnhookWindowsHookEx(hook);
      char* end = std::strstr(all, "end\n");
      if (!end) return std::puts("incomplete hook report"), 1;
      std::fwrite(all, 1, size_t(end - all), stdout);
      return 0;
    }
  }
  UnhookWindowsHookEx(hook);
  DeleteFileW(requestFile.c_str());
  return std::puts("no hook report"), 1;
}

int launchTime(const char* dir, int runs) {
  std::vector<double> times;
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);
  const std::string exe = std::string(dir) + "\\Launcher.exe";
  for (int i = 0; i < runs; ++i) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process = {};
    LARGE_INTEGER t0, t1;
    QueryPerformanceCounter(&t0);
    if (!CreateProcessA(exe.c_str(), nullptr, nullptr, nullptr, FALSE, 0, nullptr, dir, &startup, &process))
      return std::puts("CreateProcess failed"), 1;
    HWND w = nullptr;
    for (int waited = 0; waited < 60000; ++waited) {
      w = FindWindowA("Launcher", nullptr);
      if (w && IsWindowVisible(w)) break;
      if (WaitForSingleObject(process.hProcess, 0) == WAIT_OBJECT_0) break;
      Sleep(1);
    }
    QueryPerformanceCounter(&t1);
    const double ms = double(t1.QuadPart - t0.QuadPart) * 1000.0 / double(frequency.QuadPart);
    if (!w || !IsWindowVisible(w)) return std::puts("no window"), 1;
    times.push_back(ms);
    std::printf("run %d: %.1f ms\n", i + 1, ms);
    PostMessageA(w, WM_CLOSE, 0, 0);
    WaitForSingleObject(process.hProcess, 10000);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
  }
  std::sort(times.begin(), times.end());
  std::printf("median %.1f ms\n", times[times.size() / 2]);
  return 0;
}

}  // namespace

int main() {
  setvbuf(stdout, nullptr, _IONBF, 0);
  int argc = 0;
  wchar_t** wideArgv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!wideArgv) return 2;
  std::vector<std::wstring> wideArgs(wideArgv, wideArgv + argc);
  LocalFree(wideArgv);
  std::vector<std::string> args;
  for (const std::wstring& a : wideArgs) args.push_back(utf8(a.c_str()));
  std::vector<const char*> argvList;
  for (const std::string& a : args) argvList.push_back(a.c_str());
  const char* const* argv = argvList.data();
  if (argc < 2) return 2;
  const std::string command = argv[1];
  const int ms = argc > 2 ? std::atoi(argv[2]) : 0;
  if (command == "window") return showWindow(ms);
  if (command == "acp") return std::printf("%u\n", GetACP()) > 0 ? 0 : 1;
  if (command == "gone") return waitFor(ms, [] { return launcherWindow() ? nullptr : HWND(1); }) ? 0 : 1;
  if (command == "box") return showBox(ms);
  if (command == "nobox") return waitFor(ms, errorBox) ? (std::puts("unexpected box"), 1) : 0;
  if (command == "click" && argc > 2) return click(argv[2]);
  if (command == "expect" && argc > 5) return expectPicture(wideArgs[2], std::atof(argv[3]), std::atof(argv[4]), wideArgs[5]);
  if (command == "fonts" && argc > 2) return hookRequest(wideArgs[2], "fonts");
  if (command == "dpi" && argc > 5)
    return hookRequest(wideArgs[2], std::string("dpi ") + argv[3] + " " + argv[4] + " " + argv[5]);
  if (command == "launch-time" && argc > 3) return launchTime(argv[2], std::atoi(argv[3]));
  if (command == "minimize") {
    const HWND w = launcherWindow();
    return w && ShowWindow(w, SW_MINIMIZE) >= 0 ? (Sleep(300), 0) : 1;
  }
  if (command == "iconic") {
    const HWND w = launcherWindow();
    return w && IsIconic(w) ? 0 : 1;
  }
  return 2;
}
