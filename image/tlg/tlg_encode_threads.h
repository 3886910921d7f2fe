#pragma once
// Whether the encoders may start threads: std::thread needs a threads-capable C++ library
// (the win32-thread-model mingw compilers have none), otherwise everything runs on the caller's.
#include <cstddef>

#if defined(__GLIBCXX__)
#if defined(_GLIBCXX_HAS_GTHREADS)
#define TLG_ENCODE_THREADS 1
#else
#define TLG_ENCODE_THREADS 0
#endif
#elif defined(_LIBCPP_VERSION) && !defined(_LIBCPP_HAS_NO_THREADS)
#define TLG_ENCODE_THREADS 1
#else
#define TLG_ENCODE_THREADS 0
#endif
