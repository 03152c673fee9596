// The stand-in game's rules: its parameter string, the launcher window it trusts, and the
// pop-up it asks for.
#include <gtest/gtest.h>

#include "OrcaRules.h"
#include "platform/System.h"

namespace {

using Options = std::vector<std::pair<std::string, std::string>>;

Options Parse(const std::string& params) {
  Options out;
  for (const GameOption& o : ParseGameArgs(sys::SplitCommandLine(params)))
    out.emplace_back(o.name, o.value);
  return out;
}

TEST(OrcaRulesTest, EveryOptionOfTheLaunchersStringInItsOrder) {
  EXPECT_EQ(Parse("-host s1 -port 7000 -datahost http://127.0.0.1:18080/ -launcher 2 -hwnd 4660 "
                  "-newbie 0 -clientVersion 1 -groupid 12 -account a1 -token t -pfkey k -pf p "
                  "-platform qqgame -adid 9 -arg x"),
            (Options{{"host", "s1"},
                     {"port", "7000"},
                     {"datahost", "http://127.0.0.1:18080/"},
                     {"launcher", "2"},
                     {"hwnd", "4660"},
                     {"newbie", "0"},
                     {"clientVersion", "1"},
                     {"groupid", "12"},
                     {"account", "a1"},
                     {"token", "t"},
                     {"pfkey", "k"},
                     {"pf", "p"},
                     {"platform", "qqgame"},
                     {"adid", "9"},
                     {"arg", "x"}}));
}

TEST(OrcaRulesTest, EmptyValuesStayEmptyAndUnquotedBlanksAreJoined) {
  const std::vector<GameOption> options =
      ParseGameArgs(sys::SplitCommandLine("-host  -port  -datahost  -launcher 2 -arg two  words"));
  EXPECT_EQ(GameOptionValue(options, "host"), "");
  EXPECT_EQ(GameOptionValue(options, "port"), "");
  EXPECT_EQ(GameOptionValue(options, "datahost"), "");
  EXPECT_EQ(GameOptionValue(options, "launcher"), "2");
  EXPECT_EQ(GameOptionValue(options, "arg"), "two words");
  EXPECT_EQ(GameOptionValue(options, "hwnd"), "");  // absent
  // A word that only looks like an option is part of a value; stray words come first unnamed.
  EXPECT_EQ(Parse("stray -pf -x -HOST y"), (Options{{"", "stray"}, {"pf", "-x -HOST y"}}));
  EXPECT_EQ(ArgsLogLine({"-host", "a b", "-port"}), "args: -host a b -port");
  EXPECT_EQ(ArgsLogLine({}), "args:");
}

TEST(OrcaRulesTest, OnlyAPlainDecimalWindowIdIsTrusted) {
  uint32_t window = 7;
  EXPECT_TRUE(ParseLauncherWindow("4660", &window));
  EXPECT_EQ(window, 4660u);
  EXPECT_TRUE(ParseLauncherWindow("4294967295", &window));
  EXPECT_EQ(window, 4294967295u);
  window = 7;
  for (const char* bad : {"", "0", "abc", "4660abc", "12 ", " 12", "+12", "-12", "0x1234", "012",
                          "4294967296", "8589939252", "99999999999999999999"}) {
    EXPECT_FALSE(ParseLauncherWindow(bad, &window)) << bad;
    EXPECT_EQ(window, 7u) << bad;
  }
}

TEST(OrcaRulesTest, PopupAddressIsTheDataHostsOriginAndPopupPage) {
  EXPECT_EQ(PopupCommand("http://127.0.0.1:18080/"), "480,360,http://127.0.0.1:18080/popup.html");
  EXPECT_EQ(PopupCommand("http://127.0.0.1:18080/game/data/"),
            "480,360,http://127.0.0.1:18080/popup.html");
  EXPECT_EQ(PopupCommand("https://cdn.example:8443?x=1"),
            "480,360,https://cdn.example:8443/popup.html");
  EXPECT_EQ(PopupCommand("http://h#frag"), "480,360,http://h/popup.html");
  EXPECT_EQ(PopupCommand("http://user:pw@h:80/x"), "480,360,http://h:80/popup.html");
  for (const char* bad : {"", "127.0.0.1:18080/", "://h/", "1http://h/", "ht tp://h/", "http:///x",
                          "http://", "http://:80/", "http://a b/", "http://u@/"}) {
    EXPECT_EQ(PopupCommand(bad), "") << bad;
  }
}

TEST(OrcaRulesTest, PopupCommandStaysWithinTheLaunchersLimit) {
  const std::string fits = "http://" + std::string(1023 - 19 - 7, 'h');  // 1023 bytes in all
  EXPECT_EQ(PopupCommand(fits).size(), 1023u);
  EXPECT_EQ(PopupCommand(fits + "h"), "");
}

}  // namespace
