// The program's entry point and its process-wide handles.
#include <windows.h>

#include <cerrno>
#include <cstdio>

#include "launcher/app_state.h"
#include "launcher/control_rows.h"
#include "launcher/controls_win32.h"
#include "launcher/cp932.h"
#include "launcher/dpi_scale.h"
#include "launcher/error_box.h"
#include "launcher/layout_table.h"
#include "launcher/main_window_win32.h"
#include "launcher/module_directory.h"
#include "launcher/wide_win32.h"
#include "pack/packed_data_file.h"

HWND mainWindow = nullptr;
HINSTANCE appInstance = nullptr;
HFONT uiFont = nullptr;
std::u16string moduleDirectory;
int clientWidth = 0, clientHeight = 0;
int layoutClientWidth = 0, layoutClientHeight = 0;

// The program's directory with "/" separators and a trailing "/", or empty. The buffer
// grows until the whole name fits (paths may be longer than MAX_PATH).
std::u16string getModuleDirectory() {
  std::u16string path(MAX_PATH, u'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, wide(path), DWORD(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    if (path.size() >= 32768) return {};  // longer than any Windows path
    path.resize(path.size() * 2);
  }
  return moduleDirectoryFromPath(path) ? path : std::u16string();
}

HFONT createUiFont() {
  return CreateFontW(scaleX(12), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, SHIFTJIS_CHARSET, 0, 0, 0, FIXED_PITCH,
                     L"ＭＳ ゴシック");
}

namespace {

// Launcher.dat and the plain resource files, opened by the UTF-16 form of their names so
// that neither the system code page nor the folder's name matters. A name with a byte that
// starts no Shift-JIS character names no file.
FILE* openByWideName(const char* name) {
  bool valid = false;
  const std::u16string path = cp932ToUtf16(name, &valid);
  if (!valid) {
    errno = ENOENT;
    return nullptr;
  }
  return _wfopen(wide(path), L"rb");
}

// Polls: never blocks, sleeps 1 ms whenever the queue is empty. Returns WM_QUIT's wParam.
int runMessageLoop() {
  MSG message;
  for (;;) {
    if (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) return int(message.wParam);
      TranslateMessage(&message);
      DispatchMessageW(&message);
    } else {
      Sleep(1);
    }
  }
}

int runLauncher(HINSTANCE instance, int showCommand) {
  computeDpiScale();
  moduleDirectory = getModuleDirectory();
  SetCurrentDirectoryW(wide(moduleDirectory));
  setFileOpener(openByWideName);
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
  setWideErrorBoxSink(showMessageBoxError);
  return runShowingMemoryBox([&] { return runLauncher(instance, showCommand); }, 0);
}
