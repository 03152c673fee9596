#include <gtest/gtest.h>

#include "platform/posix/DesktopEntry.h"

namespace {

TEST(DesktopEntryTest, StartsTheTargetInTheWorkFolderWithItsPictureAndWindowClass) {
  const sys::Shortcut shortcut{"/data/wan_tarn/Launcher.exe", "/data/wan_tarn/", "WanVellmark",
                               "png bytes", "DODuzoDizuzide"};
  const std::string head =
      "[Desktop Entry]\n"
      "Type=Application\n"
      "Version=1.0\n"
      "Name=WanVellmark\n"
      "Comment=WanVellmark\n"
      "Exec=\"/data/wan_tarn/Launcher.exe\"\n"
      "Path=/data/wan_tarn/\n";
  EXPECT_EQ(sys::DesktopEntryText("WanVellmark", shortcut, "/data/wan_tarn/Launcher.png"),
            head +
                "Icon=/data/wan_tarn/Launcher.png\n"
                "StartupWMClass=DODuzoDizuzide\n"
                "Terminal=false\n");
  // No picture file and no class: neither line.
  EXPECT_EQ(
      sys::DesktopEntryText(
          "WanVellmark",
          {.target = shortcut.target, .workDir = shortcut.workDir, .description = "WanVellmark"},
          ""),
      head + "Terminal=false\n");
}

TEST(DesktopEntryTest, ThePictureLiesBesideTheTargetUnderItsName) {
  const std::pair<const char*, const char*> cases[] = {
      {"/data/wan_tarn/Launcher.exe", "/data/wan_tarn/Launcher.png"},
      {"/data/wan.tarn/Launcher", "/data/wan.tarn/Launcher.png"},
      {"/data/.Launcher", "/data/.Launcher.png"},
      {"Launcher.exe", "Launcher.png"},
  };
  for (const auto& [target, icon] : cases) EXPECT_EQ(sys::DesktopIconPath(target), icon) << target;
}

TEST(DesktopEntryTest, ReservedCharactersAreQuotedAndLineBreaksCannotAddKeys) {
  std::string text = sys::DesktopEntryText(
      "Wan\nExec=evil", {"/my disk/100%/a\"b$c`d\\e/Launcher.exe", "/x\\y\n", "d", "", "C\nX=y"},
      "/p\n.png");
  EXPECT_NE(text.find("\nName=Wan\\nExec=evil\n"), std::string::npos) << text;
  // Inside the quotes: \" \$ \` and \\ (written \\\\ because the value is unescaped first), %%.
  EXPECT_NE(text.find("\nExec=\"/my disk/100%%/a\\\\\"b\\\\$c\\\\`d\\\\\\\\e/Launcher.exe\"\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\nPath=/x\\\\y\\n\n"), std::string::npos) << text;
  EXPECT_NE(text.find("\nIcon=/p\\n.png\nStartupWMClass=C\\nX=y\n"), std::string::npos) << text;
}

}  // namespace
