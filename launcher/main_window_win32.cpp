// The main window: single instance, class, centred placement, and its window procedure.
#include "launcher/main_window_win32.h"

#include "launcher/app_state.h"
#include "launcher/controls_win32.h"
#include "launcher/error_box.h"
#include "launcher/window_geometry.h"

HWND createMainWindow(HINSTANCE /*instance*/, int /*showCommand*/) {
  const HWND existing = FindWindowA("Launcher", nullptr);
  if (existing) {
    if (IsIconic(existing))
      OpenIcon(existing);
    else
      SetForegroundWindow(existing);
    return nullptr;
  }
  WNDCLASSA windowClass = {};
  windowClass.style = CS_VREDRAW | CS_HREDRAW;
  windowClass.lpfnWndProc = MainWindowProc;
  windowClass.hInstance = appInstance;
  windowClass.hIcon = LoadIconA(appInstance, MAKEINTRESOURCEA(100));
  windowClass.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = "Launcher";
  if (!RegisterClassA(&windowClass)) {
    ShowErrorBox("RegisterClass");
    return nullptr;
  }
  const WindowSize outer = outerWindowSize(clientWidth, clientHeight, GetSystemMetrics(SM_CXFIXEDFRAME),
                                           GetSystemMetrics(SM_CYFIXEDFRAME), GetSystemMetrics(SM_CYCAPTION));
  mainWindow = CreateWindowExA(0, "Launcher", "Launcher", 0, 0, 0, 0, 0, nullptr, nullptr, appInstance, nullptr);
  if (!mainWindow) {
    ShowErrorBox("CreateWindow");
    return nullptr;
  }
  MONITORINFOEXA monitor;
  ZeroMemory(&monitor, sizeof monitor);
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoA(MonitorFromWindow(mainWindow, MONITOR_DEFAULTTONEAREST), &monitor);
  const RECT& m = monitor.rcMonitor;
  const WindowOrigin at = centreOnMonitor({m.left, m.top, m.right, m.bottom}, outer);
  SetWindowLongA(mainWindow, GWL_STYLE, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
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
  return DefWindowProcA(window, message, wParam, lParam);
}
