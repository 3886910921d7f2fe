#include "image/message.h"

#include <atomic>
#include <cstdarg>
#include <cstdio>

namespace limg {

namespace {

void writeToStream(ImageMessageStream stream, const char* text, std::size_t length, void*) {
  std::FILE* to = stream == kImageMessageError ? stderr : stdout;
  std::fwrite(text, 1, length, to);
  std::fflush(to);
}

std::atomic<ImageMessageSink> sinkFunction{writeToStream};
std::atomic<void*> sinkContext{nullptr};

}  // namespace

void ImageSetMessageSink(ImageMessageSink sink, void* context) {
  sinkContext.store(sink ? context : nullptr);
  sinkFunction.store(sink ? sink : writeToStream);
}

void ImageMessage(ImageMessageStream stream, const char* format, ...) {
  char text[4096];
  std::va_list args;
  va_start(args, format);
  const int n = std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  if (n < 0) return;
  std::size_t length = std::size_t(n);
  if (length >= sizeof text) {
    length = sizeof text - 1;
    text[length - 1] = '\n';
  }
  sinkFunction.load()(stream, text, length, sinkContext.load());
}

}  // namespace limg
