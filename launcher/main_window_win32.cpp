// The main window: single instance, class, centred placement, and its window procedure.
#include "launcher/main_window_win32.h"

#include "launcher/app_state.h"
#include "launcher/controls_win32.h"
#include "launcher/dpi_scale.h"
#include "launcher/error_box.h"
#include "launcher/wide_win32.h"
#include "launcher/window_geometry.h"

namespace {

// WM_DPICHANGED, which the headers of older target versions don't name.
constexpr UINT kDpiChangedMessage = 0x02E0;

void setClientSizeFromLayout() {
  clientWidth = scaleX(layoutClientWidth);
  clientHeight = scaleY(layoutClientHeight);
}

// The outer size that gives the main window its client size, when outer doesn't: the frame
// metrics of the system DPI differ from the ones the window is drawn with on a monitor of
// another DPI. False when outer is right (or the window is minimised and has no client area).
bool correctedOuterSize(WindowSize& outer) {
  RECT client;
  if (IsIconic(mainWindow) || !GetClientRect(mainWindow, &client)) return false;
  if (client.right == clientWidth && client.bottom == clientHeight) return false;
  outer = outerForClient(outer, {client.right, client.bottom}, {clientWidth, clientHeight});
  return true;
}

// The window to the suggested place (or where it is) with the client size of the table at the
// current scale. The system moves no minimised window between monitors.
void moveForNewScale(const RECT* suggested) {
  if (IsIconic(mainWindow)) return;
  RECT now = {0, 0, 0, 0};
  GetWindowRect(mainWindow, &now);
  const int x = suggested ? suggested->left : now.left, y = suggested ? suggested->top : now.top;
  RECT client = {0, 0, 0, 0};
  GetClientRect(mainWindow, &client);
  WindowSize outer = outerForClient({now.right - now.left, now.bottom - now.top}, {client.right, client.bottom},
                                    {clientWidth, clientHeight});
  // All repainted afterwards, the frame included.
  const UINT flags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS | SWP_NOREDRAW;
  SetWindowPos(mainWindow, nullptr, x, y, outer.width, outer.height, flags);
  if (correctedOuterSize(outer)) SetWindowPos(mainWindow, nullptr, x, y, outer.width, outer.height, flags);
}

// A new DPI for the window (wParam of WM_DPICHANGED), and the place the system suggests for it:
// everything laid out again as a fresh start at that DPI, the window moved to the suggested
// position with the client size of the table at the new scale (while the pictures are drawn).
void followDpiChange(WPARAM dpiWord, const RECT* suggested) {
  const DpiPair dpi = dpiFromMessageWord(dpiWord);
  if (!setDpiScale(dpi.x, dpi.y)) return;
  setClientSizeFromLayout();
  const HFONT previousFont = uiFont;
  if (previousFont) {  // before the font exists, start-up makes it at the new scale itself
    if (const HFONT font = createUiFont()) uiFont = font;
  }
  relayoutControls([suggested] { moveForNewScale(suggested); });
  if (previousFont && previousFont != uiFont) DeleteObject(previousFont);
  RedrawWindow(mainWindow, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_FRAME | RDW_ALLCHILDREN);
}

}  // namespace

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
  mainWindow = CreateWindowExW(0, L"Launcher", L"Launcher", 0, 0, 0, 0, 0, nullptr, nullptr, appInstance, nullptr);
  if (!mainWindow) {
    ShowErrorBox("CreateWindow");
    return nullptr;
  }
  // The monitor the window opens on gives the DPI, and with it the client size.
  const HMONITOR monitorHandle = MonitorFromWindow(mainWindow, MONITOR_DEFAULTTONEAREST);
  takeMonitorDpi(monitorHandle);
  setClientSizeFromLayout();
  WindowSize outer = outerWindowSize(clientWidth, clientHeight, GetSystemMetrics(SM_CXFIXEDFRAME),
                                     GetSystemMetrics(SM_CYFIXEDFRAME), GetSystemMetrics(SM_CYCAPTION));
  MONITORINFOEXW monitor;
  ZeroMemory(&monitor, sizeof monitor);
  monitor.cbSize = sizeof monitor;
  GetMonitorInfoW(monitorHandle, &monitor);
  const RECT& m = monitor.rcMonitor;
  const ScreenRect monitorRect = {m.left, m.top, m.right, m.bottom};
  WindowOrigin at = centreOnMonitor(monitorRect, outer);
  SetWindowLongW(mainWindow, GWL_STYLE, WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX);
  SetWindowPos(mainWindow, HWND_NOTOPMOST, at.x, at.y, outer.width, outer.height, SWP_FRAMECHANGED);
  if (correctedOuterSize(outer)) {
    at = centreOnMonitor(monitorRect, outer);
    SetWindowPos(mainWindow, nullptr, at.x, at.y, outer.width, outer.height, SWP_NOZORDER | SWP_NOACTIVATE);
  }
  return mainWindow;
}

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    case kDpiChangedMessage:
      // Only the main window has a DPI of its own; panels pass their messages here too.
      if (window != mainWindow) break;
      runShowingMemoryBox([&] { followDpiChange(wParam, reinterpret_cast<const RECT*>(lParam)); return 0; }, 0);
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
