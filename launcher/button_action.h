#pragma once
// What a layout button does when clicked: an optional system-library check, the target's
// existence check, the start through the shell, and the quit flag.
#include <functional>
#include <string>

#include "launcher/layout_table.h"

// The platform calls the action makes, so that the action itself is plain code.
struct ActionPlatform {
  // Writes the system directory into buffer (capacity bytes) and returns its length; 0 on
  // failure, or capacity or more when it doesn't fit (the GetSystemDirectoryA contract).
  std::function<unsigned(char* buffer, unsigned capacity)> systemDirectory;
  std::function<bool(const char* path)> pathExists;
  // parameters is null for "none", which differs from an empty text.
  std::function<void(const char* file, const char* parameters)> shellExecute;
  std::function<void()> postQuit;
};

extern const char kLibraryMissingMessage[];
extern const char kTargetMissingSuffix[];
extern const char kLauncherParameters[];

// The library check's path: system directory, a backslash, the library name (up to its
// first NUL), in a 256-byte buffer. False when the system directory can't be read or the
// path doesn't fit: such a library counts as missing.
bool libraryCheckPath(const ActionPlatform& platform, const std::string& library, char (&path)[256]);

// The row's action; moduleDirectory ends in "/".
void runButtonActionWith(const LayoutRow& row, const char* moduleDirectory, const ActionPlatform& platform);
