#include "tools/common/files.h"

#include <cerrno>
#include <cstring>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#endif

#include "tools/common/text.h"

namespace fs = std::filesystem;

fs::path pathFromUtf8(const std::string& utf8) { return fs::u8path(utf8); }

std::string utf8FromPath(const fs::path& path) { return path.u8string(); }

FILE* openFileUtf8(const fs::path& path, const char* mode) {
#ifdef _WIN32
  const std::wstring wideMode(mode, mode + std::strlen(mode));
  return _wfopen(path.c_str(), wideMode.c_str());
#else
  return std::fopen(path.c_str(), mode);
#endif
}

FILE* openFileUtf8(const char* utf8, const char* mode) {
#ifdef _WIN32
  try {
    return openFileUtf8(pathFromUtf8(utf8), mode);
  } catch (const std::exception&) {  // not UTF-8: no such file
    errno = ENOENT;
    return nullptr;
  }
#else
  return std::fopen(utf8, mode);
#endif
}

#ifdef _WIN32
namespace {
// The system's text for an error code, in UTF-8.
std::string windowsMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD n = FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                                     FORMAT_MESSAGE_IGNORE_INSERTS,
                                 nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message = n && text ? std::wstring(text, n) : L"error " + std::to_wstring(code);
  if (text) LocalFree(text);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r' || message.back() == L'.'))
    message.pop_back();
  return utf8FromWide(message);
}
}  // namespace
#endif

bool replaceFile(const fs::path& from, const fs::path& to, std::string* error) {
#ifdef _WIN32
  if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return true;
  *error = utf8FromPath(to) + ": cannot replace: " + windowsMessage(GetLastError());
  return false;
#else
  if (std::rename(from.c_str(), to.c_str()) == 0) return true;
  *error = utf8FromPath(to) + ": cannot replace: " + std::strerror(errno);
  return false;
#endif
}

std::string errorText(const std::error_code& error) {
#ifdef _WIN32
  if (error.category() == std::system_category()) return windowsMessage(DWORD(error.value()));
#endif
  return error.message();
}

void removeFile(const fs::path& path) {
  std::error_code ignored;
  fs::remove(path, ignored);
}
