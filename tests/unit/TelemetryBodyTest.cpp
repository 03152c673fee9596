#include <gtest/gtest.h>

#include "Telemetry.h"

namespace {

// Login-state and plain bodies are checked as they arrive at a server (integration tests).
TEST(TelemetryBodyTest, EmptyAccountGivesEmptyWhoAndDevice) {
  EXPECT_EQ(ComposeEventBody("", "orca_dev_login", "", ""),
            "{\"appid\":\"5c0e1a9b7d2f48e3a6b1c9d07e2f4a18\",\"who\":\"\","
            "\"context\":{\"deviceid\":\"\",\"channelid\":\"orca_dev_login\"}}");
}

TEST(JsonEscapeTest, EscapesQuotesBackslashesAndControlCharacters) {
  EXPECT_EQ(JsonEscape("a\"b\\c"), "a\\\"b\\\\c");
  EXPECT_EQ(JsonEscape("\n\r\t\b\f"), "\\n\\r\\t\\b\\f");
  EXPECT_EQ(JsonEscape(std::string("\x01\x1f", 2)), "\\u0001\\u001f");
  EXPECT_EQ(JsonEscape(std::string(1, '\0')), "\\u0000");
}

TEST(JsonEscapeTest, OtherBytesPassUnchanged) {
  const std::string chinese = "\xe5\xbc\x80\xe5\xa7\x8b";  // UTF-8 text
  const std::string gbk = "\xbf\xaa\xca\xbc";              // the same in code page 936
  EXPECT_EQ(JsonEscape(chinese), chinese);
  EXPECT_EQ(JsonEscape(gbk), gbk);
  EXPECT_EQ(JsonEscape("orca_dev_login 1.0/x'\x7f"), "orca_dev_login 1.0/x'\x7f");
}

TEST(TelemetryBodyTest, ValuesCannotInjectMembers) {
  std::string body = ComposeEventBody("a\",\"who\":\"b", "p\\", "loginstate", "");
  EXPECT_EQ(body,
            "{\"appid\":\"5c0e1a9b7d2f48e3a6b1c9d07e2f4a18\",\"what\":\"loginstate\","
            "\"who\":\"a\\\",\\\"who\\\":\\\"b\",\"context\":{\"deviceid\":\"a\\\",\\\"who\\\":"
            "\\\"b\",\"channelid\":\"p\\\\\"}}");
}

}  // namespace
