// Digests and Ed25519 signatures of update trees, on libsodium, with SHA-256 from libcrypto on
// Linux: the only place that calls either.
// Keys and signatures travel as lower-case hex text, so operators can read, copy and compare
// them.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "ContentList.h"

// The size and SHA-256 of bytes given in pieces as they pass by, so that content being written
// is known without reading it back. A digest that cannot be taken comes out empty.
class ContentHasher {
 public:
  ContentHasher();
  ~ContentHasher();
  ContentHasher(const ContentHasher&) = delete;
  ContentHasher& operator=(const ContentHasher&) = delete;

  void Update(const void* data, size_t size);
  // The digest of every byte given so far; no more bytes may follow.
  ContentDigest Final();

 private:
  static constexpr size_t kSha256Bytes = 32;
  struct State;

  std::unique_ptr<State> m_state;
  uint64_t m_size = 0;
  bool m_bOk = false;
};

// The size and SHA-256 of a file's bytes, read in pieces; false when it cannot be read.
bool HashFile(const std::string& path, ContentDigest& digest);
// The size and SHA-256 of bytes in memory.
ContentDigest HashBytes(const std::string& bytes);
// True when the file holds exactly `expected`; otherwise false with `why` ("is missing", "has 3
// bytes, not 4", "has other content") for the log.
bool FileHasContent(const std::string& path, const ContentDigest& expected, std::string& why);
// The same judgement on a digest already taken.
bool IsContent(const ContentDigest& actual, const ContentDigest& expected, std::string& why);

// A public key is 64 hex digits, a secret key 128, a signature 128.
bool IsPublicKey(const std::string& hex);
// True only when one line of `signatures` (each hex, blanks around it ignored) is
// `publicKey`'s signature of exactly `message`. A tree signed with an old and a new key carries
// both, so launchers of either key accept it while the key is being replaced.
bool VerifySignature(const std::string& message, const std::string& signatures,
                     const std::string& publicKey);
// The detached signature of `message` with `secretKey` as hex plus a line end; false when the
// key is not a secret key.
bool SignMessage(const std::string& message, const std::string& secretKey, std::string& signature);

struct KeyPair {
  std::string publicKey;  // hex
  std::string secretKey;  // hex
};
bool MakeKeyPair(KeyPair& pair);
