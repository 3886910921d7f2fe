#pragma once
// UTF-8 and the UTF-16 of the Windows wide functions.
#include <string>

#ifdef _WIN32
// Bytes that are not UTF-8 become U+FFFD.
std::wstring wideFromUtf8(const std::string& utf8);
std::string utf8FromWide(const std::wstring& wide);
#endif
