#include "launcher/button_action.h"

#include <cstring>

#include "launcher/command_split.h"
#include "launcher/error_box.h"
#include "launcher/numbers.h"

const char kLibraryMissingMessage[] =
    "DirectX9.0c がインストールされていないので起動出来ません。\n"
    "インストーラーから「DirectX」をのインストールして下さい。";
const char kTargetMissingSuffix[] = " が存在しません。\n再インストールを行って下さい。";
const char kLauncherParameters[] = "Launcher.exe";

bool libraryCheckPath(const ActionPlatform& platform, const std::string& library, char (&path)[256]) {
  const unsigned capacity = sizeof path;
  const unsigned length = platform.systemDirectory(path, capacity);
  if (length == 0 || length >= capacity) return false;
  const std::size_t name = std::strlen(library.c_str());
  if (length + 1 + name + 1 > capacity) return false;  // directory, "\", name, NUL
  path[length] = '\\';
  std::memcpy(path + length + 1, library.c_str(), name);
  path[length + 1 + name] = '\0';
  return true;
}

void runButtonActionWith(const LayoutRow& row, const char* moduleDirectory, const ActionPlatform& platform) {
  if (row.size() >= 7) {
    char path[256];
    if (!libraryCheckPath(platform, row[6], path) || !platform.pathExists(path)) {
      ShowErrorBox(kLibraryMissingMessage);
      return;
    }
  }
  const int flags = row.size() >= 6 ? parseDecimal(row[5].c_str()) : 0;
  const std::string command = row.size() >= 5 ? row[4] : std::string();
  if (!command.empty()) {
    const CommandSplit split = splitCommand(command);
    const std::string target = command.substr(0, split.split);
    const std::string fullPath = std::string(moduleDirectory) + target;
    std::string parameters;
    const char* parametersArg = nullptr;
    if (split.endState == 2 || split.endState == 3) {
      parametersArg = kLauncherParameters;  // the scan ended in ".e" or ".ex"
    } else if (split.hasParameters) {
      parameters = command.substr(split.split + 1);
      parametersArg = parameters.c_str();
    }
    if (!platform.pathExists(target.c_str())) {
      ShowErrorBox(fullPath + kTargetMissingSuffix);
      return;
    }
    platform.shellExecute(fullPath.c_str(), parametersArg);
  }
  if (flags & 1) platform.postQuit();
}
