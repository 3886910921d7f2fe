#include "launcher/button_action.h"

#include "launcher/command_split.h"
#include "launcher/cp932.h"
#include "launcher/error_box.h"
#include "launcher/numbers.h"

const char kLibraryMissingMessage[] =
    "DirectX9.0c がインストールされていないので起動出来ません。\n"
    "インストーラーから「DirectX」をのインストールして下さい。";
const char kTargetMissingSuffix[] = " が存在しません。\n再インストールを行って下さい。";
const char kLauncherParameters[] = "Launcher.exe";

bool libraryCheckPath(const ActionPlatform& platform, const std::string& library, std::u16string& path) {
  const std::u16string directory = platform.systemDirectory();
  if (directory.empty()) return false;
  bool valid = false;
  const std::u16string name = cp932ToUtf16(library.c_str(), &valid);
  if (!valid) return false;
  if (directory.size() + 1 + name.size() + 1 > kLibraryPathCapacity) return false;  // directory, "\", name, NUL
  path = directory + u'\\' + name;
  return true;
}

void runButtonActionWith(const LayoutRow& row, std::u16string_view moduleDirectory, const ActionPlatform& platform) {
  if (row.size() >= 7) {
    std::u16string path;
    if (!libraryCheckPath(platform, row[6], path) || !platform.pathExists(path)) {
      ShowErrorBox(kLibraryMissingMessage);
      return;
    }
  }
  const int flags = row.size() >= 6 ? parseDecimal(row[5].c_str()) : 0;
  const std::string command = row.size() >= 5 ? row[4] : std::string();
  if (!command.empty()) {
    const CommandSplit split = splitCommand(command);
    bool valid = false;
    cp932ToUtf16(command, &valid);
    const std::u16string target = cp932ToUtf16(std::string_view(command).substr(0, split.split));
    const std::u16string fullPath = std::u16string(moduleDirectory) + target;
    std::u16string parameters;
    const std::u16string* parametersArg = nullptr;
    if (split.endState == 2 || split.endState == 3) {
      parameters = cp932ToUtf16(kLauncherParameters);  // the scan ended in ".e" or ".ex"
      parametersArg = &parameters;
    } else if (split.hasParameters) {
      parameters = cp932ToUtf16(std::string_view(command).substr(split.split + 1));
      parametersArg = &parameters;
    }
    if (!valid || !platform.pathExists(target)) {
      ShowErrorBox(fullPath + cp932ToUtf16(kTargetMissingSuffix));
      return;
    }
    platform.shellExecute(fullPath, parametersArg);
  }
  if (flags & 1) platform.postQuit();
}
