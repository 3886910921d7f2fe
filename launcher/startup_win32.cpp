// The program's entry point and its process-wide handles.
#include <windows.h>

#include "launcher/app_state.h"
#include "launcher/error_box.h"
#include "launcher/layout_table.h"
#include "launcher/module_directory.h"
#include "pack/packed_data_file.h"

HWND mainWindow = nullptr;
HINSTANCE appInstance = nullptr;
char moduleDirectory[256];

// The program's directory with "/" separators and a trailing "/", or null.
char* getModuleDirectory(char* buffer) {
  if (GetModuleFileNameA(nullptr, buffer, 256) == 0) return nullptr;
  buffer[255] = '\0';
  return moduleDirectoryFromPath(buffer) ? buffer : nullptr;
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  setErrorBoxSink(showMessageBoxError);
  getModuleDirectory(moduleDirectory);
  SetCurrentDirectoryA(moduleDirectory);
  openIndex();
  if (!loadLayoutTable("Launcher/Launcher.csv", ',', 6, layoutTable)) return 0;
  appInstance = instance;
  if (!packedData.index.empty()) clearIndex();
  return 0;
}
