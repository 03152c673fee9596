// Stepping through narrow strings a character at a time: code page 936 (the Windows product)
// and UTF-8 (Linux).
#include <gtest/gtest.h>

#include <string>

#include "platform/CodePage.h"

namespace {

using sys::DoubleByteCharSize;
using sys::Utf8CharSize;
constexpr auto npos = std::string::npos;

// 乗 and 俓 in code page 936: their second byte is the backslash's. 亅 ends with "|".
const std::string kNori = "\x81\x5C", kJing = "\x82\x5C", kJue = "\x81\x7C";

TEST(CodePageTest, DoubleByteCharactersAreWholeWhateverTheirSecondByte) {
  const std::string text = "a" + kNori + kJing + "\xD6\xD0" + "\x81";
  EXPECT_EQ(DoubleByteCharSize(text, 0), 1u);
  EXPECT_EQ(DoubleByteCharSize(text, 1), 2u);      // 乗
  EXPECT_EQ(DoubleByteCharSize(text, 3), 2u);      // 俓
  EXPECT_EQ(DoubleByteCharSize(text, 5), 2u);      // 中
  EXPECT_EQ(DoubleByteCharSize(text, 7), 1u);      // a lead byte cut off by the end
  EXPECT_EQ(DoubleByteCharSize("\x80\\", 0), 1u);  // 0x80 and 0xFF lead nothing
  EXPECT_EQ(DoubleByteCharSize("\xFF\\", 0), 1u);
}

TEST(CodePageTest, Utf8CharactersAreWholeAndBrokenOnesSingleBytes) {
  const std::string text = "a\xC3\xA9\xE4\xB9\x97\xF0\x9F\x98\x80";  // a é 乗 😀
  EXPECT_EQ(Utf8CharSize(text, 0), 1u);
  EXPECT_EQ(Utf8CharSize(text, 1), 2u);
  EXPECT_EQ(Utf8CharSize(text, 3), 3u);
  EXPECT_EQ(Utf8CharSize(text, 6), 4u);
  EXPECT_EQ(Utf8CharSize("\xE4\xB9", 0), 1u);    // cut off
  EXPECT_EQ(Utf8CharSize("\xE4\\\x97", 0), 1u);  // not a continuation byte
  EXPECT_EQ(Utf8CharSize("\xC0\xAF", 0), 1u);    // over-long "/"
  EXPECT_EQ(Utf8CharSize("\x81\\", 0), 1u);      // the 936 bytes of 乗 are two characters
}

// What the launcher's path and name rules build on: a separator inside a character is none.
TEST(CodePageTest, SeparatorsInsideDoubleByteCharactersAreNotFound) {
  const std::string path = "dir\\" + kNori + "\\" + kJing;
  EXPECT_EQ(sys::FindLastChar(path, "/\\", DoubleByteCharSize), 6u);
  EXPECT_EQ(sys::FindChar(path, "/\\", 4, DoubleByteCharSize), 6u);
  EXPECT_FALSE(sys::EndsWithChar(path, "/\\", DoubleByteCharSize));
  EXPECT_TRUE(sys::EndsWithChar(path + "\\", "/\\", DoubleByteCharSize));
  EXPECT_EQ(sys::FindLastChar(kNori + kJing, "\\", DoubleByteCharSize), npos);
  EXPECT_FALSE(sys::EndsWithChar("", "\\", DoubleByteCharSize));
  // The same bytes read byte by byte (as UTF-8 reads them) have separators everywhere.
  EXPECT_EQ(sys::FindLastChar(path, "/\\", Utf8CharSize), 8u);
  EXPECT_TRUE(sys::EndsWithChar(path, "/\\", Utf8CharSize));
}

TEST(CodePageTest, FieldsAndWordsAreFoundAtCharacterStartsOnly) {
  const std::string request = "startgame|" + kJue + "|x";
  EXPECT_EQ(sys::FindChar(request, "|", 0, DoubleByteCharSize), 9u);
  EXPECT_EQ(sys::FindChar(request, "|", 10, DoubleByteCharSize), 12u);
  EXPECT_EQ(sys::FindChar(request, "|", 10, Utf8CharSize), 11u);
  // "\x81s" is one character in 936, so no "standalone/" starts at its second byte.
  const std::string name = "\x81standalone/a";
  EXPECT_EQ(sys::FindText(name, "standalone/", 0, DoubleByteCharSize), npos);
  EXPECT_EQ(sys::FindText(name, "standalone/", 0, Utf8CharSize), 1u);
  EXPECT_EQ(sys::FindText("a/standalone/b", "standalone/", 0, DoubleByteCharSize), 2u);
  EXPECT_EQ(sys::FindText("ab", "", 1, DoubleByteCharSize), 1u);
}

// On Linux narrow strings are UTF-8, so no byte of a Chinese character is ever an ASCII one.
TEST(CodePageTest, TheSystemRuleHereIsUtf8) {
  const std::string text = "数据/地图 1.pak";
  for (size_t at = 0; at < text.size(); at += sys::CharSize(text, at)) {
    EXPECT_EQ(sys::CharSize(text, at), Utf8CharSize(text, at)) << at;
  }
  EXPECT_EQ(sys::FindLastChar(text, "/"), 6u);
}

// Upper case as Windows compares file names, beyond ASCII too; what has none stays. The
// system's page here is UTF-8.
TEST(CodePageTest, UpperCaseIsWindowsNameCase) {
  const std::pair<std::string, std::string> cases[] = {
      {"a", "A"},   {"Z", "Z"},   {"~", "~"},       {"é", "É"},
      {"ÿ", "Ÿ"},   {"ａ", "Ａ"}, {"σ", "Σ"},       {"ς", "Σ"},
      {"д", "Д"},   {"ё", "Ё"},   {"ⅰ", "Ⅰ"},       {"ß", "ß"},
      {"数", "数"}, {"¹", "¹"},   {"\xC3", "\xC3"}, {"\xF0\x9F\x98\x80", "\xF0\x9F\x98\x80"},
  };
  for (const auto& [lower, upper] : cases) EXPECT_EQ(sys::UpperCaseChar(lower), upper) << lower;
  EXPECT_EQ(sys::UpperCase(U'\u0101'), U'\u0100');  // every other character of a run
  EXPECT_EQ(sys::UpperCase(U'\u0100'), U'\u0100');
  EXPECT_EQ(sys::Utf8CodePoint("\xF0\x9F\x98\x80"), U'\U0001F600');
  EXPECT_EQ(sys::Utf8CodePoint("\xC3"), sys::kNoCodePoint);
  EXPECT_EQ(sys::Utf8Char(U'\U0001F600'), "\xF0\x9F\x98\x80");
}

}  // namespace
