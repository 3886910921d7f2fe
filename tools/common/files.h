#pragma once
// The tools' file system: every path the tools take or print is UTF-8 text. On Windows the
// paths are opened, listed and replaced through the wide (UTF-16) functions, so any file
// name works whatever the system code page; elsewhere they are bytes as the system has them.
#include <cstdio>
#include <filesystem>
#include <string>
#include <system_error>

// The path a UTF-8 text names, and back.
std::filesystem::path pathFromUtf8(const std::string& utf8);
std::string utf8FromPath(const std::filesystem::path& path);

// fopen with a path given in UTF-8 (text, or a path made by pathFromUtf8).
FILE* openFileUtf8(const std::filesystem::path& path, const char* mode);
FILE* openFileUtf8(const char* utf8, const char* mode);

// Puts `from` in the place of `to`, replacing a file already there (MoveFileExW with
// MOVEFILE_REPLACE_EXISTING on Windows). False with the reason in *error.
bool replaceFile(const std::filesystem::path& from, const std::filesystem::path& to, std::string* error);

// The text of a file-system error in UTF-8 (on Windows the system's own message, which is in
// the user's language).
std::string errorText(const std::error_code& error);

// Removes a file; whether it is gone is not reported.
void removeFile(const std::filesystem::path& path);
