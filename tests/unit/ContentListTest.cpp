#include <gtest/gtest.h>

#include <algorithm>

#include "TempDir.h"
#include "update/ContentList.h"
#include "update/Signature.h"
#include "update/SignedTree.h"

namespace {

const std::string kHashA(64, 'a');
const std::string kHashB = std::string(63, '0') + "f";

ContentList SampleList() {
  ContentList list;
  list.sequence = 18446744073709551615u;
  list.tree = "prod-1.cn_east";
  list.expires = 1796598460;
  list.manifests["versions.txt"] = {120, kHashA};
  list.manifests["standalone/launcher/gamefiles.txt"] = {0, kHashB};
  list.launcherName = "Launcher.exe.1.0.0.2";
  list.launcher = {4096, kHashB};
  list.files["数据/地图 1.pak"] = {7, {300000, kHashA}};
  list.files["my dir\\c d.txt"] = {-1, {1, kHashB}};
  list.mirrors = {"http://mirror.example/game/", "https://cdn.example:8443/",
                  "http://m/" + std::string(1014, 'a') + "/"};  // the longest, 1024 bytes
  list.payloads["数据/地图 1.pak"] = {7, 120000};
  list.patches["数据/地图 1.pak"] = {{6, 7, 900, kHashB, kHashA}, {4, 7, 1200, kHashA, kHashA}};
  return list;
}

TEST(ContentListTest, FormattedListReadsBackAsWritten) {
  const ContentList list = SampleList();
  const std::string text = FormatContentList(list);
  EXPECT_EQ(text.substr(0, text.find('\n', text.find('\n') + 1) + 1),
            "wan content list 1\nsequence\t18446744073709551615\n");
  ContentList read;
  std::string error;
  ASSERT_TRUE(ParseContentList(text, read, error)) << error;
  EXPECT_EQ(read, list);
  EXPECT_EQ(FormatContentList(read), text);
}

// Only what wan-publish writes is read: one spelling of every value, nothing left out or added.
TEST(ContentListTest, AnythingButTheWrittenFormIsUnreadable) {
  const std::string head = "wan content list 1\nsequence\t3\n";
  const std::string file = "file\ta\t1\t5\t" + kHashA + "\n";
  std::string many17Mirrors;
  for (int i = 0; i <= 16; ++i) many17Mirrors += "mirror\thttp://m" + std::to_string(i) + "/\n";
  const std::string bad[] = {
      "",
      "wan content list 2\nsequence\t3\n",
      "wan content list 1\n",                                  // no sequence
      head + "sequence\t4\n",                                  // two sequences
      "wan content list 1\nsequence\t-3\n",                    // negative
      "wan content list 1\nsequence\t03\n",                    // another spelling
      "wan content list 1\nsequence\t 3\n",                    //
      "wan content list 1\nsequence\t18446744073709551616\n",  // too large
      head + file + file,                                      // a name twice
      head + "file\ta\t1\t5\t" + std::string(64, 'A') + "\n",  // upper-case digest
      head + "file\ta\t1\t5\t" + std::string(63, 'a') + "\n",  // short digest
      head + "file\ta\t1\t5\t" + kHashA + "\textra\n",         // extra field
      head + "payload\ta\t1\n",                                // no size
      head + "payload\ta\t1\t5\n" + "payload\ta\t1\t5\n",      // given twice
      head + "file\t\t1\t5\t" + kHashA + "\n",                 // empty name
      head + "file\ta\t+1\t5\t" + kHashA + "\n",               //
      head + "file\ta\t1\t5\t" + kHashA,                       // no line end
      head + "file\ta\t1\t5\t" + kHashA + "\r\n",              // CR
      head + "manifest\tversions.txt\t1\t" + kHashA + "\nmanifest\tversions.txt\t1\t" + kHashA +
          "\n",
      head + "launcher\tL\t1\t" + kHashA + "\nlauncher\tM\t1\t" + kHashA + "\n",
      head + "comment\tx\n",
      head + "patch\ta\t1\t2\t9\t" + kHashA + "\t" + kHashB + "\npatch\ta\t1\t2\t9\t" + kHashA +
          "\t" + kHashB + "\n",                                       // a base twice
      head + "patch\ta\t1\t2\t9\t" + kHashA + "\n",                   // no result digest
      head + "patch\ta\t1\t2\t-9\t" + kHashA + "\t" + kHashB + "\n",  // negative size
      head + "\n",
      head + "mirror\thttp://m/\nmirror\thttp://m/\n",  // a mirror twice
      head + many17Mirrors,
      head + "mirror\thttp://m/\textra\n",
      // Mirrors reach libcurl and the log: plain http(s) folder URLs only.
      head + "mirror\tftp://m/\n",
      head + "mirror\tHTTP://m/\n",
      head + "mirror\thttp:///\n",
      head + "mirror\thttp://m\n",  // no folder
      head + "mirror\thttp://m/a b/\n",
      head + "mirror\thttp://m/a\\b/\n",
      head + "mirror\thttp://m/\x7f/\n",
      head + "mirror\thttp://m/\xc3\xa9/\n",
      head + "mirror\thttp://m/" + std::string(1015, 'a') + "/\n",  // 1025 bytes
      head + "tree\tprod\ntree\tprod\n",                            // a tree twice
      head + "tree\tpr od\n",                                       // no tree id
      head + "tree\t" + std::string(65, 't') + "\n",
      head + "tree\t\n",
      head + "expires\t0\n",  // 0 is no time
      head + "expires\t5\nexpires\t6\n",
      head + "expires\t-5\n",
  };
  for (const std::string& text : bad) {
    ContentList list;
    list.sequence = 99;
    std::string error;
    EXPECT_FALSE(ParseContentList(text, list, error)) << text;
    EXPECT_FALSE(error.empty());
    EXPECT_EQ(list, ContentList()) << "a refused list leaves nothing half read";
  }
  ContentList list;
  std::string error;
  EXPECT_FALSE(ParseContentList(head + "bogus\n", list, error));
  EXPECT_EQ(error, "line 3 is not a line of a content list");
}

TEST(ContentListTest, SignedListFilesAreComparedAsFileNames) {
  EXPECT_EQ(GameTreeListFiles("/w/").list, "/w/contentlist.txt");
  EXPECT_EQ(GameTreeListFiles("/w/").accepted, "/w/contentlist.seq");
  EXPECT_EQ(LauncherListFiles("/w/").signature, "/w/launcher-contentlist.sig");
  EXPECT_EQ(ContentListUrl("http://h/d/", 5), "http://h/d/contentlist.txt?t=5");
  EXPECT_EQ(SignatureUrl("http://h/d/", 5), "http://h/d/contentlist.sig?t=5");
  for (const char* name :
       {"contentlist.txt", "ContentList.SIG", "./contentlist.seq.", "launcher-contentlist.txt"}) {
    EXPECT_TRUE(IsSignedListFile(name)) << name;
  }
  for (const char* name : {"sub/contentlist.txt", "contentlist.txt.1", "contentlist"}) {
    EXPECT_FALSE(IsSignedListFile(name)) << name;
  }
}

TEST(SignatureTest, DigestsAreSha256OfTheBytes) {
  const ContentDigest abc = HashBytes("abc");
  EXPECT_EQ(abc.size, 3u);
  EXPECT_EQ(abc.sha256, "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  TempDir dir;
  // Larger than one read, so the pieces are hashed in order.
  const std::string big(200000, 'x');
  WriteFile(dir / "big", big);
  ContentDigest digest;
  ASSERT_TRUE(HashFile(dir / "big", digest));
  EXPECT_EQ(digest, HashBytes(big));
  EXPECT_FALSE(HashFile(dir / "none", digest));

  std::string why;
  EXPECT_TRUE(FileHasContent(dir / "big", HashBytes(big), why));
  EXPECT_FALSE(FileHasContent(dir / "big", HashBytes(big + "y"), why));
  EXPECT_EQ(why, "has 200000 bytes, not 200001");
  EXPECT_FALSE(FileHasContent(dir / "big", HashBytes(std::string(200000, 'y')), why));
  EXPECT_EQ(why, "has other content");
  EXPECT_FALSE(FileHasContent(dir / "none", HashBytes(""), why));
  EXPECT_EQ(why, "cannot be read");
}

TEST(SignatureTest, DigestTakenInPiecesIsTheDigestOfTheWhole) {
  const std::string text = "a text hashed in pieces of every size, empty ones too";
  for (size_t piece : {1, 3, 64}) {
    ContentHasher hasher;
    for (size_t at = 0; at < text.size(); at += piece) {
      hasher.Update(text.data() + at, std::min(piece, text.size() - at));
      hasher.Update(text.data(), 0);
    }
    EXPECT_EQ(hasher.Final(), HashBytes(text)) << piece;
  }
  EXPECT_EQ(ContentHasher().Final(), HashBytes(""));
}

TEST(SignatureTest, OnlyTheKeysOwnSignatureOfTheExactBytesVerifies) {
  KeyPair pair, other;
  ASSERT_TRUE(MakeKeyPair(pair));
  ASSERT_TRUE(MakeKeyPair(other));
  EXPECT_TRUE(IsPublicKey(pair.publicKey));
  EXPECT_FALSE(IsPublicKey(pair.secretKey));
  std::string signature;
  ASSERT_TRUE(SignMessage("the list", pair.secretKey, signature));
  EXPECT_EQ(signature.size(), 129u);
  EXPECT_EQ(signature.back(), '\n');

  EXPECT_TRUE(VerifySignature("the list", signature, pair.publicKey));
  EXPECT_TRUE(VerifySignature("the list", " " + signature + "\r\n", pair.publicKey));
  EXPECT_FALSE(VerifySignature("the list ", signature, pair.publicKey));
  EXPECT_FALSE(VerifySignature("the list", signature, other.publicKey));
  std::string flipped = signature;
  flipped[10] = flipped[10] == '0' ? '1' : '0';
  EXPECT_FALSE(VerifySignature("the list", flipped, pair.publicKey));
  EXPECT_FALSE(VerifySignature("the list", signature.substr(0, 128) + signature, pair.publicKey));
  EXPECT_FALSE(VerifySignature("the list", "", pair.publicKey));
  EXPECT_FALSE(VerifySignature("the list", signature, ""));
  EXPECT_FALSE(SignMessage("the list", pair.publicKey, signature));
}

// While a key is replaced, trees carry a signature line for each key, and launchers of either
// key accept them; a line of another key, or no line at all within the first few, is not enough.
TEST(SignatureTest, AnyLineMadeWithTheKeyVerifies) {
  KeyPair oldKey, newKey, third;
  ASSERT_TRUE(MakeKeyPair(oldKey) && MakeKeyPair(newKey) && MakeKeyPair(third));
  std::string byOld, byNew;
  ASSERT_TRUE(SignMessage("the list", oldKey.secretKey, byOld));
  ASSERT_TRUE(SignMessage("the list", newKey.secretKey, byNew));
  EXPECT_TRUE(VerifySignature("the list", byOld + byNew, oldKey.publicKey));
  EXPECT_TRUE(VerifySignature("the list", byOld + "\r\n" + byNew, newKey.publicKey));
  EXPECT_FALSE(VerifySignature("the list", byOld + byNew, third.publicKey));
  std::string many;
  for (int i = 0; i < 8; ++i) many += byOld;
  EXPECT_FALSE(VerifySignature("the list", many + byNew, newKey.publicKey));
}

}  // namespace
