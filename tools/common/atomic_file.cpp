#include "tools/common/atomic_file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <system_error>

#ifdef _WIN32
#include <process.h>
#define getpid _getpid
#else
#include <unistd.h>
#endif

AtomicFile::AtomicFile(const std::filesystem::path& target) : target_(target) {
  static std::atomic<unsigned> counter{0};
  temporary_ = target;
  temporary_ += ".tmp-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
  file_ = openFileUtf8(temporary_, "wb");
  if (!file_) error_ = std::strerror(errno);
}

AtomicFile::~AtomicFile() {
  if (file_) {
    std::fclose(file_);
    removeFile(temporary_);
  }
}

std::string AtomicFile::commit() {
  if (!file_) return error_;
  const bool written = std::fflush(file_) == 0 && !std::ferror(file_);
  const int saved = errno;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!written || !closed) {
    removeFile(temporary_);
    return std::string("write failed: ") + std::strerror(written ? errno : saved);
  }
  std::string error;
  if (!replaceFile(temporary_, target_, &error)) {
    removeFile(temporary_);
    return error;
  }
  return "";
}

std::string writeFileAtomic(const std::filesystem::path& target, const void* data, std::size_t size) {
  AtomicFile out(target);
  if (!out.file()) return utf8FromPath(target) + ": " + out.error();
  if (size && std::fwrite(data, 1, size, out.file()) != size) return std::string("write failed: ") + std::strerror(errno);
  return out.commit();
}
