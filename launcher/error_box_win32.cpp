// The message box with its short-lived CBT hook that centres it on the main window.
#include <windows.h>

#include "launcher/app_state.h"
#include "launcher/error_box.h"
#include "launcher/wide_win32.h"

namespace {
HHOOK boxHook = nullptr;
}

LRESULT CALLBACK centreBoxHook(int code, WPARAM wParam, LPARAM /*lParam*/) {
  if (code == HCBT_ACTIVATE) {
    const HWND box = reinterpret_cast<HWND>(wParam);
    RECT mainRect = {0, 0, 0, 0};
    GetWindowRect(mainWindow, &mainRect);
    const ScreenRect main = {mainRect.left, mainRect.top, mainRect.right, mainRect.bottom};
    if (centreBoxPlacement(main, main).move) {  // the main window is larger than 320 x 240
      RECT boxRect = {0, 0, 0, 0};
      GetWindowRect(box, &boxRect);
      const BoxPlacement place =
          centreBoxPlacement(main, {boxRect.left, boxRect.top, boxRect.right, boxRect.bottom});
      SetWindowPos(box, nullptr, place.x, place.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    }
    UnhookWindowsHookEx(boxHook);
    boxHook = nullptr;
  }
  return 0;
}

void showMessageBoxError(const std::u16string& text) {
  while (ShowCursor(TRUE) < 0) {
  }
  if (mainWindow)
    boxHook = SetWindowsHookExW(WH_CBT, centreBoxHook, appInstance, GetCurrentThreadId());
  MessageBoxW(nullptr, wide(text), L"Error", MB_OK | MB_ICONERROR | MB_TOPMOST);
}
