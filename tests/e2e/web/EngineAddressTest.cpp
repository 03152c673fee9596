// Undoing WebKit's escapes: exactly the ones it adds come back, anything else stays as written.
#include <gtest/gtest.h>

#include "platform/gtk/EngineAddress.h"

namespace {

using gtkweb::UndoEngineEscapes;

TEST(EngineAddressTest, WhatWebKitEscapesComesBack) {
  // As WebKit hands them over: a request with blank, quote, angle brackets and back-quote in
  // its fragment and Chinese text, and the same inside an http query.
  EXPECT_EQ(UndoEngineEscapes("app:startgame| \"#%20%22%3C%3E%60|%E4%B8%AD%E6%96%87"),
            "app:startgame| \"# \"<>`|\xE4\xB8\xAD\xE6\x96\x87");
  EXPECT_EQ(UndoEngineEscapes("http://127.0.0.1:8089/page?app:startgame|%20!%22#$%&'|x"),
            "http://127.0.0.1:8089/page?app:startgame| !\"#$%&'|x");
}

TEST(EngineAddressTest, OtherPercentTextStaysAsWritten) {
  EXPECT_EQ(UndoEngineEscapes("app:x|%|%%|%2|%41|%7e|%e4|%2F|100%"),
            "app:x|%|%%|%2|%41|%7e|%e4|%2F|100%");
  // Ambiguous: a page's own "%20" looks like WebKit's and is decoded.
  EXPECT_EQ(UndoEngineEscapes("app:x|a%20b"), "app:x|a b");
}

}  // namespace
