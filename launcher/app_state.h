#pragma once
// Process-wide handles of the Windows program, defined with the start-up code.
#ifdef _WIN32
#include <windows.h>

extern HWND mainWindow;        // null until the main window exists
extern HINSTANCE appInstance;  // the instance handle given to WinMain
#endif
