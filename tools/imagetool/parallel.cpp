#include "tools/imagetool/parallel.h"

#include <atomic>
#include <vector>

#if defined(__GLIBCXX__) && !defined(_GLIBCXX_HAS_GTHREADS)
#define IMAGETOOL_STD_THREADS 0
#else
#define IMAGETOOL_STD_THREADS 1
#endif

#if IMAGETOOL_STD_THREADS
#include <thread>
#elif defined(_WIN32)
#include <windows.h>
#endif

namespace {

struct Queue {
  std::atomic<std::size_t> next{0};
  std::size_t count = 0;
  const std::function<void(std::size_t)>* work = nullptr;
  void drain() {
    for (std::size_t i; (i = next.fetch_add(1)) < count;) (*work)(i);
  }
};

#if !IMAGETOOL_STD_THREADS && defined(_WIN32)
DWORD WINAPI drainQueue(LPVOID queue) {
  static_cast<Queue*>(queue)->drain();
  return 0;
}
#endif

}  // namespace

int processorCount() {
#if IMAGETOOL_STD_THREADS
  const unsigned n = std::thread::hardware_concurrency();
  return n ? int(n) : 1;
#elif defined(_WIN32)
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors ? int(info.dwNumberOfProcessors) : 1;
#else
  return 1;
#endif
}

void runParallel(int threads, std::size_t count, const std::function<void(std::size_t)>& work) {
  Queue queue;
  queue.count = count;
  queue.work = &work;
  std::size_t helpers = threads > 1 ? std::size_t(threads - 1) : 0;
  if (helpers + 1 > count) helpers = count ? count - 1 : 0;
#if IMAGETOOL_STD_THREADS
  std::vector<std::thread> pool;
  for (std::size_t i = 0; i < helpers; ++i) {
    try {
      pool.emplace_back([&queue] { queue.drain(); });
    } catch (...) {
      break;  // fewer threads than asked for; the rest still gets done
    }
  }
  queue.drain();
  for (std::thread& t : pool) t.join();
#elif defined(_WIN32)
  std::vector<HANDLE> pool;
  for (std::size_t i = 0; i < helpers; ++i) {
    HANDLE h = CreateThread(nullptr, 0, drainQueue, &queue, 0, nullptr);
    if (!h) break;
    pool.push_back(h);
  }
  queue.drain();
  for (HANDLE h : pool) {
    WaitForSingleObject(h, INFINITE);
    CloseHandle(h);
  }
#else
  (void)helpers;
  queue.drain();
#endif
}
