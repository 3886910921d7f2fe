// The program's entry point and its process-wide handles.
#include <windows.h>

#include "launcher/app_state.h"
#include "launcher/control_rows.h"
#include "launcher/controls_win32.h"
#include "launcher/dpi_scale.h"
#include "launcher/error_box.h"
#include "launcher/layout_table.h"
#include "launcher/main_window_win32.h"
#include "launcher/module_directory.h"
#include "pack/packed_data_file.h"

HWND mainWindow = nullptr;
HINSTANCE appInstance = nullptr;
HFONT uiFont = nullptr;
char moduleDirectory[256];
int clientWidth = 0, clientHeight = 0;
int layoutClientWidth = 0, layoutClientHeight = 0;

// The program's directory with "/" separators and a trailing "/", or null.
char* getModuleDirectory(char* buffer) {
  const DWORD length = GetModuleFileNameA(nullptr, buffer, 256);
  if (length == 0 || length >= 256) return nullptr;  // none, or cut short
  return moduleDirectoryFromPath(buffer) ? buffer : nullptr;
}

HFONT createUiFont() {
  return CreateFontA(scaleX(12), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, 0, 0, 0, FIXED_PITCH,
                     "ＭＳ ゴシック");
}

namespace {

// Polls: never blocks, sleeps 1 ms whenever the queue is empty. Returns WM_QUIT's wParam.
int runMessageLoop() {
  MSG message;
  for (;;) {
    if (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) return int(message.wParam);
      TranslateMessage(&message);
      DispatchMessageA(&message);
    } else {
      Sleep(1);
    }
  }
}

int runLauncher(HINSTANCE instance, int showCommand) {
  computeDpiScale();
  if (!getModuleDirectory(moduleDirectory)) moduleDirectory[0] = '\0';
  SetCurrentDirectoryA(moduleDirectory);
  openIndex();
  if (!loadLayoutTable("Launcher/Launcher.csv", ',', 6, layoutTable)) return 0;
  if (layoutTable.empty()) return 0;  // an empty table has no row 0: nothing to show
  const ClientSize client = clientSizeFromRow(layoutTable[0]);
  layoutClientWidth = client.width;
  layoutClientHeight = client.height;
  appInstance = instance;
  if (!createMainWindow(instance, showCommand)) return 0;  // sets the scale and the client size
  uiFont = createUiFont();
  if (!buildControlsFromRows(layoutTable, {addButtonFromRow, addPanelFromRow})) return 0;
  ShowWindow(mainWindow, SW_SHOW);
  const int exitCode = runMessageLoop();
  if (!packedData.index.empty()) clearIndex();
  return exitCode;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int showCommand) {
  setErrorBoxSink(showMessageBoxError);
  return runShowingMemoryBox([&] { return runLauncher(instance, showCommand); }, 0);
}
