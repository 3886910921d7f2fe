#pragma once
// The image library's diagnostics as the tools show them: the library words its messages in
// code page 932 for standard output; the tools turn each line into UTF-8 and write it with
// their own text on standard error, so it reads right on the terminal and stays out of a
// tool's piped output.
#include <cstddef>
#include <string>

// A library line (code page 932 bytes) as UTF-8; bytes that start no character become U+30FB.
std::string libraryMessageText(const char* bytes, std::size_t length);

// Installs the tools' sink for the library's messages. Call it before the library runs.
void installLibraryMessages();
