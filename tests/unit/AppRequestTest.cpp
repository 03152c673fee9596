#include <gtest/gtest.h>

#include "AppRequest.h"

namespace {

using Fields = std::vector<std::string>;

TEST(AppRequestTest, RequestIsAppPrefixOfWholeAddressOrOfTextAfterFirstQuestionMark) {
  std::string request;
  EXPECT_TRUE(FindAppRequest("app:startgame|a", request));
  EXPECT_EQ(request, "startgame|a");
  EXPECT_TRUE(FindAppRequest("APP:close", request));
  EXPECT_EQ(request, "close");
  EXPECT_TRUE(FindAppRequest("http://h/list.html?app:close", request));
  EXPECT_EQ(request, "close");
  EXPECT_TRUE(FindAppRequest("http://h/list.html?app:", request));
  EXPECT_EQ(request, "");
  EXPECT_TRUE(FindAppRequest("app:", request));
  EXPECT_FALSE(FindAppRequest("http://h/login?x=1", request));
  EXPECT_FALSE(FindAppRequest("http://h/p?x=1&app:close", request));
  // Only the first "?" counts: a later one is part of the request, or hides it.
  EXPECT_TRUE(FindAppRequest("http://h/list.html?app:close?x=1", request));
  EXPECT_EQ(request, "close?x=1");
  EXPECT_FALSE(FindAppRequest("http://h/p?x=1?app:close", request));
  // Its own "?" hides an app: address: the text after it is the candidate.
  EXPECT_FALSE(FindAppRequest("app:startgame|a?b", request));
  EXPECT_FALSE(FindAppRequest("ap", request));
}

TEST(AppRequestTest, FieldsSplitAtEveryBarKeepingEmptyOnes) {
  EXPECT_EQ(SplitAppRequest(""), Fields{});
  EXPECT_EQ(SplitAppRequest("startgame"), Fields{"startgame"});
  EXPECT_EQ(SplitAppRequest("|"), (Fields{"", ""}));
  EXPECT_EQ(SplitAppRequest("a||b|"), (Fields{"a", "", "b", ""}));
}

TEST(AppRequestTest, TenArgumentsFillEveryField) {
  AppConfig config;
  ApplyStartGame(config, SplitAppRequest("startgame|acc|tok|g1|h1|7000|http://d/|pl|pf|TRUE|x y"));
  EXPECT_EQ(config.strAccount, "acc");
  EXPECT_EQ(config.strToken, "tok");
  EXPECT_EQ(config.strGroupId, "g1");
  EXPECT_EQ(config.strHost, "h1");
  EXPECT_EQ(config.strPort, "7000");
  EXPECT_EQ(config.strDataHost, "http://d/");
  EXPECT_EQ(config.strPlatform, "pl");
  EXPECT_EQ(config.strPf, "pf");
  EXPECT_TRUE(config.bNewbie);
  EXPECT_EQ(config.strArg, "x y");
}

TEST(AppRequestTest, EightArgumentsLeaveNewbieAndArgumentAlone) {
  AppConfig config;
  config.bNewbie = true;
  config.strArg = "kept";
  ApplyStartGame(config, SplitAppRequest("startgame|a|||h|p|d|pl|"));
  EXPECT_EQ(config.strAccount, "a");
  EXPECT_EQ(config.strToken, "");  // an empty field empties the value
  EXPECT_EQ(config.strPf, "");
  EXPECT_TRUE(config.bNewbie);
  EXPECT_EQ(config.strArg, "kept");

  ApplyStartGame(config, SplitAppRequest("startgame|a|t|g|h|p|d|pl|pf|no"));
  EXPECT_FALSE(config.bNewbie);
}

TEST(AppRequestTest, SevenArgumentsStoreNothing) {
  AppConfig config;
  ApplyStartGame(config, SplitAppRequest("startgame|a|t|g|h|p|d|pl"));
  EXPECT_EQ(config.strAccount, "");
  EXPECT_EQ(config.strToken, "kelp_mist_rune_wisps");
}

// The page may name the tree it expects at the end of the data host; the launcher takes it off
// before the data host makes a URL or the game's command line, and a hostile id is no tree.
TEST(AppRequestTest, TheDataHostsTreeIsTakenOffAndOnlyATreeIdCounts) {
  const struct {
    std::string field, dataHost, tree;
  } cases[] = {
      {"http://d/", "http://d/", ""},
      {"http://d/#tree=prod", "http://d/", "prod"},
      {"http://d/#tree=cn-east_2.beta", "http://d/", "cn-east_2.beta"},
      {"http://d/#tree=", "http://d/", ""},
      {"http://d/#tree=a b", "http://d/", ""},
      {"http://d/#tree=a/../b", "http://d/", ""},
      {"http://d/#tree=" + std::string(65, 't'), "http://d/", ""},
      {"http://d/#other", "http://d/#other", ""},
  };
  for (const auto& c : cases) {
    AppConfig config;
    config.strDataHostTree = "from an earlier request";
    ApplyStartGame(config, SplitAppRequest("startgame|a|t|g|h|p|" + c.field + "|pl|pf"));
    EXPECT_EQ(config.strDataHost, c.dataHost) << c.field;
    EXPECT_EQ(config.strDataHostTree, c.tree) << c.field;
    EXPECT_EQ(config.GetUpdateTree(), c.tree) << c.field;
    config.strUpdateTree = "built";  // the build's tree is not the page's to change
    EXPECT_EQ(config.GetUpdateTree(), "built");
  }
}

}  // namespace
