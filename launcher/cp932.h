#pragma once
// Code page 932 (Shift-JIS as Windows has it) to and from UTF-16, by the program's own tables,
// so the running system's code page never matters; UTF-8 <-> UTF-16 for Linux file names and
// console output.
#include <cstddef>
#include <string>
#include <string_view>

// One code page 932 character at p (n > 0 bytes left).
struct Cp932Char { char16_t unit; unsigned length; bool valid; };
// A byte that starts no valid character (a lone or last lead byte, a pair the code page does
// not have, 0x80, 0xA0, 0xFD-0xFF) gives {U+30FB, 1, false}: the next byte is read afresh.
Cp932Char cp932Next(const unsigned char* p, size_t n);

// Bytes to UTF-16; each byte that starts no valid character becomes U+30FB.
// *allValid (if given) tells whether every byte was part of a valid character.
std::u16string cp932ToUtf16(std::string_view bytes, bool* allValid = nullptr);

// UTF-16 to bytes; false (out unspecified) when a character has no code page 932 form.
bool utf16ToCp932(std::u16string_view text, std::string& out);

// UTF-8 <-> UTF-16 (for Linux file names and the tools' console output).
// utf8ToUtf16 is false (out unspecified) on malformed UTF-8: a bad or missing continuation,
// an overlong form, a surrogate or a value above U+10FFFF.
bool utf8ToUtf16(std::string_view utf8, std::u16string& out);
// An unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);
