// The button action on the Windows calls.
#include "launcher/button_action_win32.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include "launcher/app_state.h"
#include "launcher/button_action.h"

namespace {
const ActionPlatform& win32Platform() {
  static const ActionPlatform platform = {
      [](char* buffer, unsigned capacity) { return unsigned(GetSystemDirectoryA(buffer, capacity)); },
      [](const char* path) { return PathFileExistsA(path) != FALSE; },
      [](const char* file, const char* parameters) {
        ShellExecuteA(nullptr, nullptr, file, parameters, nullptr, SW_SHOWNORMAL);
      },
      [] { PostQuitMessage(0); },
  };
  return platform;
}
}  // namespace

void runButtonAction(uintptr_t rowAddress) {
  runButtonActionWith(*reinterpret_cast<const LayoutRow*>(rowAddress), moduleDirectory, win32Platform());
}
