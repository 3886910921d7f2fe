#pragma once
// Output files that appear complete or not at all: bytes go to a temporary file beside the
// target, which replaces the target on commit; without commit the temporary is removed.
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/common/files.h"

class AtomicFile {
 public:
  explicit AtomicFile(const std::filesystem::path& target);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  FILE* file() const { return file_; }
  const std::string& error() const { return error_; }
  // Flushes, closes and renames onto the target; returns "" or an error message.
  std::string commit();

 private:
  std::filesystem::path target_, temporary_;
  FILE* file_ = nullptr;
  std::string error_;
};

// Writes a whole buffer atomically; returns "" or an error message.
std::string writeFileAtomic(const std::filesystem::path& target, const void* data, std::size_t size);
