#pragma once
// Running independent jobs on several threads: std::thread where the C++ library has it,
// Win32 threads with the win32-thread-model mingw compilers (which have none).
#include <cstddef>
#include <functional>

// The number of processors, at least 1.
int processorCount();

// Calls work(i) once for every i in [0, count), on up to threads threads (the caller's among
// them). Returns when all calls have returned.
void runParallel(int threads, std::size_t count, const std::function<void(std::size_t)>& work);
