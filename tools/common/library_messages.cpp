#include "tools/common/library_messages.h"

#include <cstdio>
#include <string_view>

#include "image/message.h"
#include "launcher/cp932.h"
#include "tools/common/console.h"

namespace {

// Every line goes to stderr, whichever stream the library meant it for: a tool's standard
// output carries its results only. writeText puts UTF-8 on a terminal, a pipe or a file, and
// UTF-16 on a Windows console.
void writeLibraryLine(limg::ImageMessageStream, const char* text, std::size_t length, void*) {
  writeText(stderr, libraryMessageText(text, length));
}

}  // namespace

std::string libraryMessageText(const char* bytes, std::size_t length) {
  return utf16ToUtf8(cp932ToUtf16(std::string_view(bytes, length)));
}

void installLibraryMessages() { limg::ImageSetMessageSink(writeLibraryLine, nullptr); }
