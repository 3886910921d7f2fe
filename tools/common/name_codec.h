#pragma once
// Conversions between the local file-name encoding (UTF-8) and the system code page of the
// launcher's texts (Shift-JIS, code page 932).
#include <optional>
#include <string>

// UTF-8 to code page 932; nullopt when the text isn't valid UTF-8 or has a character that
// code page 932 lacks. Plain ASCII passes unchanged.
std::optional<std::string> utf8ToCp932(const std::string& utf8);
// Code page 932 to UTF-8; nullopt when the bytes aren't valid code page 932.
std::optional<std::string> cp932ToUtf8(const std::string& cp932);
// A code-page-932 text for a terminal: UTF-8 where it converts, with any byte that doesn't
// (and every control byte) written as \xNN.
std::string displayCp932(const std::string& cp932);
