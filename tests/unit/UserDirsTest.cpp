#include <gtest/gtest.h>

#include "platform/posix/PosixSystem.h"

namespace {

std::string Desktop(const std::string& text) {
  return sys::DesktopFolderFromUserDirs(text, "/home/wan");
}

TEST(UserDirsTest, DesktopFolderIsReadAsTheDesktopReadsIt) {
  EXPECT_EQ(Desktop("XDG_DESKTOP_DIR=\"$HOME/桌面\"\n"), "/home/wan/桌面");
  EXPECT_EQ(Desktop("# comment\nXDG_DOCUMENTS_DIR=\"$HOME/Docs\"\n"
                    "  XDG_DESKTOP_DIR = \"/data/desk top/\"\n"),
            "/data/desk top");
  EXPECT_EQ(Desktop("XDG_DESKTOP_DIR=\"$HOME/\"\n"), "/home/wan");
  EXPECT_EQ(Desktop("XDG_DESKTOP_DIR=\"$HOME/a \\\"b\\\"\"\n"), "/home/wan/a \"b\"");
  // The last line for the key counts.
  EXPECT_EQ(Desktop("XDG_DESKTOP_DIR=\"$HOME/One\"\nXDG_DESKTOP_DIR=\"$HOME/Two\"\n"),
            "/home/wan/Two");
}

TEST(UserDirsTest, LinesTheDesktopIgnoresNameNoFolder) {
  EXPECT_EQ(Desktop(""), "");
  EXPECT_EQ(Desktop("XDG_DESKTOP_DIR=\"Desktop\"\n"), "");    // neither absolute nor in $HOME
  EXPECT_EQ(Desktop("XDG_DESKTOP_DIR=$HOME/Desktop\n"), "");  // not quoted
  EXPECT_EQ(Desktop("XDG_DESKTOP_DIR=\"$HOMEX/Desktop\"\n"), "");
  EXPECT_EQ(Desktop("# XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"), "");
  EXPECT_EQ(Desktop("XDG_DESKTOP_DIRS=\"$HOME/Desktop\"\n"), "");
  EXPECT_EQ(sys::DesktopFolderFromUserDirs("XDG_DESKTOP_DIR=\"$HOME/Desktop\"\n", ""), "");
}

}  // namespace
