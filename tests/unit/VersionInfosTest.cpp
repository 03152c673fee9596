#include <gtest/gtest.h>

#include "TempDir.h"
#include "platform/headless/FakeSystem.h"
#include "update/FileUtil.h"
#include "update/Log.h"
#include "update/VersionInfos.h"

namespace {

class VersionInfosTest : public ::testing::Test {
 protected:
  VersionInfos Parse(const std::string& content) {
    WriteFile(m_dir / "versions.txt", content);
    VersionInfos infos;
    EXPECT_TRUE(GetVersionInfo(m_dir / "versions.txt", infos));
    return infos;
  }
  std::vector<std::string> Files(const std::string& content) {
    WriteFile(m_dir / "gamefiles.txt", content);
    std::vector<std::string> files;
    EXPECT_TRUE(GetGameFiles(m_dir / "gamefiles.txt", files));
    return files;
  }
  static std::map<std::string, int> Versions(const VersionInfos& infos) {
    std::map<std::string, int> result;
    for (const auto& [name, info] : infos.Entries()) result[name] = info.version;
    return result;
  }

  sys::FakeSystem m_system;
  TempDir m_dir;
};

using Map = std::map<std::string, int>;

TEST_F(VersionInfosTest, ReadsRecordsAfterTheHeader) {
  VersionInfos infos = Parse("any header\tx\ty\nclientVersion\t1024\t0\ndata/map.pak\t7\t3\n");
  EXPECT_EQ(Versions(infos), (Map{{"clientVersion", 1024}, {"data/map.pak", 7}}));
  VersionInfo info{99, 99};
  ASSERT_TRUE(infos.GetInfo("data/map.pak", info));
  EXPECT_EQ(info.extra, 3);
  VersionInfo untouched{5, 6};
  EXPECT_FALSE(infos.GetInfo("data\\map.pak", untouched));
  EXPECT_EQ(untouched.version, 5);
}

TEST_F(VersionInfosTest, HeaderOnlyGivesNoEntries) {
  EXPECT_TRUE(Parse("header only\n").Entries().empty());
  EXPECT_TRUE(Parse("").Entries().empty());
}

TEST_F(VersionInfosTest, LastRecordWithoutLineEndCountsUnlessItsExtraIsMissing) {
  VersionInfos infos = Parse("h\na\t5\t9");
  VersionInfo info;
  ASSERT_TRUE(infos.GetInfo("a", info));
  EXPECT_EQ(info.extra, 9);
  EXPECT_EQ(Versions(Parse("h\na\t5\t9\nb\t5")), (Map{{"a", 5}}));
}

TEST_F(VersionInfosTest, FirstOccurrenceWinsAndNamesAreByteStrings) {
  EXPECT_EQ(Versions(Parse("h\na\t5\t0\na\t6\t0\ndata/x.pak\t1\t0\ndata\\x.pak\t2\t0\n")),
            (Map{{"a", 5}, {"data/x.pak", 1}, {"data\\x.pak", 2}}));
}

TEST_F(VersionInfosTest, NumbersAreReadLeniently) {
  EXPECT_EQ(Versions(Parse("h\na\t 12abc\t0\nb\tabc\t0\nc\t-3\t0\nd\t\t\n")),
            (Map{{"a", 12}, {"b", 0}, {"c", -3}, {"d", 0}}));
}

TEST_F(VersionInfosTest, NameWithBlanksAndNameRunningOverALineEnd) {
  // A line without a TAB runs on into the next one: its LF belongs to the name.
  EXPECT_EQ(Versions(Parse("h\nmy dir/c d.txt\t2\t0\nbroken\nnext\t3\t0\n")),
            (Map{{"my dir/c d.txt", 2}, {"broken\nnext", 3}}));
}

TEST_F(VersionInfosTest, CrLfReadsLikeLf) {
  EXPECT_EQ(Versions(Parse("header\r\nclientVersion\t4\t0\r\na b\t7\t1\r\n")),
            Versions(Parse("header\nclientVersion\t4\t0\na b\t7\t1\n")));
  EXPECT_EQ(Files("a\r\nb\r\n"), (std::vector<std::string>{"a", "b"}));
}

// A cut-off manifest is not a shorter one: the entries after the long line were never read.
TEST_F(VersionInfosTest, OverLongFieldMakesTheManifestUnreadable) {
  const std::string longName(260, 'n');
  VersionInfos infos;
  WriteFile(m_dir / "versions.txt", "h\na\t1\t0\n" + longName + "\t2\t0\nb\t3\t0\n");
  EXPECT_FALSE(GetVersionInfo(m_dir / "versions.txt", infos));
  WriteFile(m_dir / "versions.txt", std::string(300, 'h') + "\na\t1\t0\n");
  EXPECT_FALSE(GetVersionInfo(m_dir / "versions.txt", infos));
  std::vector<std::string> files;
  WriteFile(m_dir / "gamefiles.txt", "a\n" + longName + "\nb\n");
  EXPECT_FALSE(GetGameFiles(m_dir / "gamefiles.txt", files));
  const auto debug = m_system.DebugOutput();
  ASSERT_FALSE(debug.empty());
  EXPECT_EQ(debug.back(), m_dir / "gamefiles.txt" +
                              ": a field is longer than 259 characters, the file is unreadable");
  // 259 characters still fit.
  EXPECT_EQ(Versions(Parse("h\n" + std::string(259, 'n') + "\t2\t0\n")),
            (Map{{std::string(259, 'n'), 2}}));
  EXPECT_EQ(Files(std::string(259, 'f') + "\n"), std::vector<std::string>{std::string(259, 'f')});
}

// Only a CR right before an LF is dropped; any other CR is part of the name.
TEST_F(VersionInfosTest, LoneCarriageReturnStaysInTheName) {
  EXPECT_EQ(Versions(Parse("h\r\na\rb\t1\t0\r\nc\r\t2\t0\n")), (Map{{"a\rb", 1}, {"c\r", 2}}));
  EXPECT_EQ(Files("a\rb\r\nc\r"), (std::vector<std::string>{"a\rb", "c\r"}));
}

TEST_F(VersionInfosTest, GameFileListKeepsEmptyLinesAndDuplicates) {
  EXPECT_EQ(Files("a\nb\n"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(Files("a\n\nb"), (std::vector<std::string>{"a", "", "b"}));
  EXPECT_EQ(Files("a\na\n"), (std::vector<std::string>{"a", "a"}));
  EXPECT_TRUE(Files("").empty());
}

TEST_F(VersionInfosTest, MissingFilesFailWithTheirCheckLines) {
  VersionInfos infos;
  std::vector<std::string> files;
  EXPECT_FALSE(GetVersionInfo(m_dir / "none.txt", infos));
  EXPECT_FALSE(GetGameFiles(m_dir / "none.txt", files));
  EXPECT_EQ(m_system.DebugOutput(), (std::vector<std::string>{"UpgradeDlg(246) : file.is_open()",
                                                              "UpgradeDlg(287) : file.is_open()"}));
}

TEST_F(VersionInfosTest, MarkerHoldsTheTextAfterTheUrlsLastDot) {
  std::string file = m_dir / "data/map.pak";
  WriteFile(file, "content");
  EXPECT_TRUE(WriteVersionFile("http://h/data/map.pak.7", file));
  EXPECT_EQ(ReadFile(file + ".version"), "7");
  EXPECT_EQ(ReadLocalVersion(file), 7);
  EXPECT_TRUE(WriteVersionFile("http://h/x.17", file));
  EXPECT_EQ(ReadFile(file + ".version"), "17");
  EXPECT_TRUE(WriteVersionFile("no-dot-here", m_dir / "other"));
  EXPECT_FALSE(IsPathExist(m_dir / "other.version"));
}

TEST_F(VersionInfosTest, MissingOrEmptyMarkerReadsAsZero) {
  EXPECT_EQ(ReadLocalVersion(m_dir / "absent"), 0);
  WriteFile(m_dir / "empty.version", "");
  EXPECT_EQ(ReadLocalVersion(m_dir / "empty"), 0);
  WriteFile(m_dir / "spaced.version", "  42 junk");
  EXPECT_EQ(ReadLocalVersion(m_dir / "spaced"), 42);
}

TEST_F(VersionInfosTest, MarkerThatCannotBeWrittenIsReported) {
  // A file name that fits the file system while its marker's name does not.
  std::string file = m_dir / std::string(250, 'n');
  EXPECT_FALSE(WriteVersionFile("http://h/f.3", file));
  auto debug = m_system.DebugOutput();
  ASSERT_FALSE(debug.empty());
  EXPECT_EQ(debug.back().rfind("write version file " + file + ".version failed!(", 0), 0u);
}

}  // namespace
