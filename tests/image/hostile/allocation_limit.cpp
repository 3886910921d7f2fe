// Replaces glibc's malloc family with counting wrappers around its own allocator.
#include "tests/image/hostile/allocation_limit.h"

#include <malloc.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>

extern "C" {
void* __libc_malloc(size_t);
void* __libc_calloc(size_t, size_t);
void* __libc_realloc(void*, size_t);
void* __libc_memalign(size_t, size_t);
void __libc_free(void*);
}

namespace {

std::atomic<std::size_t> limit{0};
std::atomic<int64_t> live{0};  // bytes taken since the limit was set, less those given back
std::atomic<std::size_t> refused{0};

// Whether a request of n more bytes may go ahead; remembers it when not.
bool admit(std::size_t n) {
  const std::size_t cap = limit.load(std::memory_order_relaxed);
  if (cap == 0) return true;
  if (n <= cap && live.load(std::memory_order_relaxed) + int64_t(n) <= int64_t(cap)) return true;
  std::size_t seen = refused.load(std::memory_order_relaxed);
  while (n > seen && !refused.compare_exchange_weak(seen, n)) {
  }
  return false;
}

void* taken(void* p) {
  if (p) live.fetch_add(int64_t(malloc_usable_size(p)), std::memory_order_relaxed);
  return p;
}

void given(void* p) {
  if (p) live.fetch_sub(int64_t(malloc_usable_size(p)), std::memory_order_relaxed);
}

}  // namespace

void setAllocationLimit(std::size_t bytes) {
  live.store(0);
  refused.store(0);
  limit.store(bytes);
}

std::size_t largestRefusedAllocation() { return refused.load(); }

extern "C" {

void* malloc(size_t n) { return admit(n) ? taken(__libc_malloc(n)) : nullptr; }

void free(void* p) {
  given(p);
  __libc_free(p);
}

void* calloc(size_t count, size_t size) {
  if (size && count > SIZE_MAX / size) return nullptr;
  return admit(count * size) ? taken(__libc_calloc(count, size)) : nullptr;
}

void* realloc(void* p, size_t n) {
  if (!p) return malloc(n);
  const std::size_t old = malloc_usable_size(p);
  if (n > old && !admit(n - old)) return nullptr;
  given(p);
  void* q = __libc_realloc(p, n);
  taken(q ? q : (n ? p : nullptr));  // a failed realloc keeps the old block
  return q;
}

void* memalign(size_t alignment, size_t n) { return admit(n) ? taken(__libc_memalign(alignment, n)) : nullptr; }

void* aligned_alloc(size_t alignment, size_t n) { return memalign(alignment, n); }

int posix_memalign(void** out, size_t alignment, size_t n) {
  if (alignment < sizeof(void*) || (alignment & (alignment - 1))) return EINVAL;
  void* p = memalign(alignment, n);
  if (!p) return ENOMEM;
  *out = p;
  return 0;
}

}  // extern "C"
