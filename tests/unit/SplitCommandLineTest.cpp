#include <gtest/gtest.h>

#include "platform/System.h"

namespace {

using Args = std::vector<std::string>;

TEST(SplitCommandLineTest, BlanksSeparateAndQuotesGroup) {
  EXPECT_EQ(sys::SplitCommandLine("-killpid 42"), (Args{"-killpid", "42"}));
  EXPECT_EQ(sys::SplitCommandLine("  a\t b  "), (Args{"a", "b"}));
  EXPECT_EQ(sys::SplitCommandLine(""), Args{});
  EXPECT_EQ(sys::SplitCommandLine("-arg \"two words\" x"), (Args{"-arg", "two words", "x"}));
  EXPECT_EQ(sys::SplitCommandLine("a\"b c\"d"), (Args{"ab cd"}));
}

TEST(SplitCommandLineTest, BackslashesEscapeOnlyBeforeQuotes) {
  EXPECT_EQ(sys::SplitCommandLine("C:\\dir\\file"), (Args{"C:\\dir\\file"}));
  EXPECT_EQ(sys::SplitCommandLine("a\\\"b"), (Args{"a\"b"}));
  EXPECT_EQ(sys::SplitCommandLine("\"a\\\\\" b"), (Args{"a\\", "b"}));
  EXPECT_EQ(sys::SplitCommandLine("\"say \"\"hi\"\"\""), (Args{"say \"hi\""}));
}

}  // namespace
