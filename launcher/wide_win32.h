#pragma once
// UTF-16 texts at the Win32 "W" calls. wchar_t is 16 bits on Windows, so a std::u16string's
// data is handed over as it is.
#include <string>

static_assert(sizeof(wchar_t) == sizeof(char16_t), "Windows' wchar_t is a UTF-16 code unit");

inline const wchar_t* wide(const std::u16string& text) { return reinterpret_cast<const wchar_t*>(text.c_str()); }
inline wchar_t* wide(std::u16string& buffer) { return reinterpret_cast<wchar_t*>(&buffer[0]); }
