#include <gtest/gtest.h>

#include "platform/posix/DesktopEntry.h"

namespace {

TEST(DesktopEntryTest, StartsTheTargetInTheWorkFolder) {
  EXPECT_EQ(sys::DesktopEntryText(
                "WanVellmark", {"/data/wan_tarn/Launcher.exe", "/data/wan_tarn/", "WanVellmark"}),
            "[Desktop Entry]\n"
            "Type=Application\n"
            "Version=1.0\n"
            "Name=WanVellmark\n"
            "Comment=WanVellmark\n"
            "Exec=\"/data/wan_tarn/Launcher.exe\"\n"
            "Path=/data/wan_tarn/\n"
            "Terminal=false\n");
}

TEST(DesktopEntryTest, ReservedCharactersAreQuotedAndLineBreaksCannotAddKeys) {
  std::string text = sys::DesktopEntryText(
      "Wan\nExec=evil", {"/my disk/100%/a\"b$c`d\\e/Launcher.exe", "/x\\y\n", "d"});
  EXPECT_NE(text.find("\nName=Wan\\nExec=evil\n"), std::string::npos) << text;
  // Inside the quotes: \" \$ \` and \\ (written \\\\ because the value is unescaped first), %%.
  EXPECT_NE(text.find("\nExec=\"/my disk/100%%/a\\\\\"b\\\\$c\\\\`d\\\\\\\\e/Launcher.exe\"\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\nPath=/x\\\\y\\n\n"), std::string::npos) << text;
}

}  // namespace
