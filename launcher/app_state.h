#pragma once
// Process-wide handles of the Windows program, defined with the start-up code.
#ifdef _WIN32
#include <windows.h>

#include <string>

extern HWND mainWindow;        // null until the main window exists
extern HINSTANCE appInstance;  // the instance handle given to WinMain
extern HFONT uiFont;           // the font of every control
extern std::u16string moduleDirectory;  // the program's directory, "/" separators, trailing "/"
extern int clientWidth, clientHeight;  // the main window's client size in device pixels
extern int layoutClientWidth, layoutClientHeight;  // the same in logical units (row 0)

// uiFont's kind at the current DPI scale (null when it can't be made).
HFONT createUiFont();
#endif
