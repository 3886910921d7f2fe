// The main window: single instance, class, centred placement, and its window procedure.
#include "launcher/main_window_win32.h"

#include "launcher/app_state.h"
#include "launcher/controls_win32.h"
#include "launcher/error_box.h"
#include "launcher/wide_win32.h"
#include "launcher/window_geometry.h"

HWND createMainWindow(HINSTANCE /*instance*/, int /*showCommand*/) {
  const HWND existing = FindWindowW(L"Launcher", nullptr);
  if (existing) {
    if (IsIconic(existing))
      OpenIcon(existing);
    else
      SetForegroundWindow(existing);
    return nullptr;
  }
  WNDCLASSW windowClass = {};
  windowClass.style = CS_VREDRAW | CS_HREDRAW;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = appInstance;
  windowClass.hIcon = LoadIconW(appInstance, MAKEINTRESOURCEW(100));
  windowClass.hCursor = LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = L"Launcher";
  if (!RegisterClassW(&windowClass)) {
    ShowErrorBox("RegisterClass");
    return nullptr;
  }
  const WindowSize outer = outerWindowSize(clientWidth, clientHeight, GetSystemMetrics(SM_CXFIXEDFRAME),
                                           GetSystemMetrics(SM_CYFIXEDFRAME), GetSystemMetrics(SM_CYCAPTION));
  mainWindow = CreateWindowExW(0, L"Launcher", L"Launcher", 0, 0, 0, 0, 0, nullptr, nullptr, appInstance, nullptr);
  if (!mainWindow) {
    ShowErrorBox("CreateWindow");
    return nullptr;
  }
  MONITORINFOEXW monitor;
  ZeroMemory(&monitor, sizeof monitor);
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(MonitorFromWindow(mainWindow, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& m = monitor.rcMonitor;
  const WindowOrigin at = centreOnMonitor({m.left, m.top, m.right, m.bottom}, outer);
  SetWindowLongW(mainWindow, GWL_STYLE, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
  SetWindowPos(mainWindow, HWND_NOTOPMOST, at.x, at.y, outer.width, outer.height, SWP_FRAMECHANGED);
  return mainWindow;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case WM_PAINT:
      paintAllPanels();
      break;
    case WM_COMMAND: {
      const auto found = buttonByHandle.find(uintptr_t(lParam));
      if (found != buttonByHandle.end())
        runShowingMemoryBox([&] { click(*found->second); return 0; }, 0);
      break;
    }
    default:
      break;
  }
  return DefWindowProcW(window, message, wParam, lParam);
}
