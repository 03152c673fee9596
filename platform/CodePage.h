// Narrow strings are in the system's code page: UTF-8 on Linux, the ANSI code page on Windows
// (936 for the product). In code page 936 the second byte of a double-byte character may be any
// byte from 0x40 up, "\" (0x5C), "|" and ASCII letters included (乗 is 0x81 0x5C), so code that
// looks for an ASCII character in a narrow string steps over whole characters, never bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace sys {

// The bytes of the character that starts at `text[at]` (at < text.size()): 1 for a single-byte
// character, and for a lead byte cut off by the end of the text.
using CharRule = size_t (*)(std::string_view text, size_t at);

// The rule of the system's code page.
size_t CharSize(std::string_view text, size_t at);
// The rule of UTF-8: a lead byte followed by its continuation bytes, else one byte.
size_t Utf8CharSize(std::string_view text, size_t at);
// The rule of the double-byte code pages such as 936: a byte from 0x81 to 0xFE leads a
// character of two bytes, whatever the second one is (as the system's lead-byte test goes).
size_t DoubleByteCharSize(std::string_view text, size_t at);

// The position of the first character from `from` (a character's start) that is one of the
// single-byte `chars`; npos when there is none.
size_t FindChar(std::string_view text, std::string_view chars, size_t from = 0,
                CharRule rule = CharSize);
// The position of the last character that is one of the single-byte `chars`; npos when none.
size_t FindLastChar(std::string_view text, std::string_view chars, CharRule rule = CharSize);
// The position of `what` (whole characters) from `from`; npos when it is not there.
size_t FindText(std::string_view text, std::string_view what, size_t from = 0,
                CharRule rule = CharSize);
// Whether the last character is one of the single-byte `chars` (a path's trailing separator).
bool EndsWithChar(std::string_view text, std::string_view chars, CharRule rule = CharSize);

// Returned by CodePoint for bytes that make no character.
inline constexpr char32_t kNoCodePoint = 0xFFFFFFFF;
// The Unicode code point of one character (as CharSize steps) in the system's code page.
char32_t CodePoint(std::string_view character);
// A code point as one character of the system's code page; empty when the page has none.
std::string CharFromCodePoint(char32_t c);
// The same two for UTF-8, on every platform.
char32_t Utf8CodePoint(std::string_view character);
std::string Utf8Char(char32_t c);

// Upper case as Windows compares file names: Unicode's simple upper-case mapping in the Basic
// Multilingual Plane (full-width, Greek and Cyrillic letters too); any other character is its
// own upper case.
char32_t UpperCase(char32_t c);
// One character (as CharSize steps) upper-cased so, in the system's code page: the character
// itself when the page has no upper case for it.
std::string UpperCaseChar(std::string_view character);

}  // namespace sys
