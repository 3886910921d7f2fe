#pragma once
// What a layout button does when clicked: an optional system-library check, the target's
// existence check, the start through the shell, and the quit flag.
#include <functional>
#include <string>
#include <string_view>

#include "launcher/layout_table.h"

// The platform calls the action makes, so that the action itself is plain code. Paths and
// parameters are UTF-16: the table's bytes are converted by the code page 932 table, so the
// running system's code page plays no part.
struct ActionPlatform {
  // The system directory; empty when it can't be read.
  std::function<std::u16string()> systemDirectory;
  std::function<bool(const std::u16string& path)> pathExists;
  // parameters is null for "none", which differs from an empty text.
  std::function<void(const std::u16string& file, const std::u16string* parameters)> shellExecute;
  std::function<void()> postQuit;
};

// Characters the library check's path may hold, its terminating NUL included.
constexpr size_t kLibraryPathCapacity = 256;

extern const char kLibraryMissingMessage[];
extern const char kTargetMissingSuffix[];
extern const char kLauncherParameters[];

// The library check's path: system directory, a backslash, the library name (up to its
// first NUL). False when the system directory can't be read, the name is not valid
// Shift-JIS, or the path doesn't fit kLibraryPathCapacity: such a library counts as missing.
bool libraryCheckPath(const ActionPlatform& platform, const std::string& library, std::u16string& path);

// The row's action; moduleDirectory ends in "/". A command with a byte that starts no
// Shift-JIS character names no file: it gets the missing-target box.
void runButtonActionWith(const LayoutRow& row, std::u16string_view moduleDirectory, const ActionPlatform& platform);
