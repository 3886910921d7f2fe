// The button action on the Windows calls, all in their UTF-16 forms.
#include "launcher/button_action_win32.h"

#include <windows.h>
#include <shellapi.h>
#include <shlwapi.h>

#include "launcher/app_state.h"
#include "launcher/button_action.h"
#include "launcher/wide_win32.h"

namespace {
const ActionPlatform& win32Platform() {
  static const ActionPlatform platform = {
      [] {
        std::u16string directory(kLibraryPathCapacity, u'\0');
        const UINT length = GetSystemDirectoryW(wide(directory), UINT(directory.size()));
        directory.resize(length < directory.size() ? length : 0);  // 0: failed or too long
        return directory;
      },
      [](const std::u16string& path) { return PathFileExistsW(wide(path)) != FALSE; },
      [](const std::u16string& file, const std::u16string* parameters) {
        ShellExecuteW(nullptr, nullptr, wide(file), parameters ? wide(*parameters) : nullptr, nullptr, SW_SHOWNORMAL);
      },
      [] { PostQuitMessage(0); },
  };
  return platform;
}
}  // namespace

void runButtonAction(uintptr_t rowAddress) {
  runButtonActionWith(*reinterpret_cast<const LayoutRow*>(rowAddress), moduleDirectory, win32Platform());
}
