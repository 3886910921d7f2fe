#pragma once
// 16-byte-aligned blocks, as every pixel, row and scratch buffer of the system uses.
#include <cstddef>
#include <cstdlib>
#include <memory>
#ifdef _WIN32
#include <malloc.h>
#endif

namespace limg {

constexpr std::size_t kBufferAlignment = 16;

// Returns null on failure (or for a size that can't be represented).
inline void* alignedAlloc(std::size_t bytes) {
  if (bytes == 0) bytes = 1;
  if (bytes > (std::size_t)-1 - kBufferAlignment) return nullptr;
#ifdef _WIN32
  return _aligned_malloc(bytes, kBufferAlignment);
#else
  void* p = nullptr;
  return posix_memalign(&p, kBufferAlignment, bytes) == 0 ? p : nullptr;
#endif
}

inline void alignedFree(void* p) {
#ifdef _WIN32
  _aligned_free(p);
#else
  std::free(p);
#endif
}

struct AlignedDeleter {
  void operator()(void* p) const { alignedFree(p); }
};
template <class T>
using AlignedPtr = std::unique_ptr<T[], AlignedDeleter>;

template <class T>
inline AlignedPtr<T> makeAligned(std::size_t count) {
  if (count > ((std::size_t)-1) / sizeof(T)) return AlignedPtr<T>();
  return AlignedPtr<T>(static_cast<T*>(alignedAlloc(count * sizeof(T))));
}

}  // namespace limg
