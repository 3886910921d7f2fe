#pragma once
// Where the library's diagnostics go. Every message is one line: the library's own words
// (code page 932 bytes for the Japanese texts, ASCII for the rest) with the caller's values,
// such as a path, substituted as given, ending with a line feed. Without a sink of the
// program's own, each line is written unchanged to the stream it names.
#include <cstddef>

namespace limg {

// The stream a line is meant for: the image library's messages go to standard output; the
// TGA stream layer and libjpeg report on standard error.
enum ImageMessageStream : int { kImageMessageOut = 0, kImageMessageError = 1 };

// Receives each line: text holds length bytes (the line feed included), NUL-terminated.
// context is the pointer given with the sink. The TLG6 writer's threads may call it, one
// line at a time.
using ImageMessageSink = void (*)(ImageMessageStream stream, const char* text, std::size_t length,
                                  void* context);

// Installs sink for every later message; null restores the default. Set it before other
// threads use the library.
void ImageSetMessageSink(ImageMessageSink sink, void* context);

// printf-style: formats one message and hands it to the sink. A line longer than 4095 bytes
// is cut there (its line feed kept).
#ifdef __MINGW32__
#define LIMG_PRINTF_FORMAT gnu_printf
#else
#define LIMG_PRINTF_FORMAT printf
#endif
void ImageMessage(ImageMessageStream stream, const char* format, ...)
    __attribute__((format(LIMG_PRINTF_FORMAT, 2, 3)));

}  // namespace limg
