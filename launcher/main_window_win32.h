#pragma once
#include <windows.h>

// The main window, hidden and centred on the nearest monitor; null when the program is to
// end (another instance exists, or the class or window couldn't be made). Sets mainWindow.
HWND createMainWindow(HINSTANCE instance, int showCommand);

LRESULT CALLBACK MainWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
