#include "Signature.h"

#include <sodium.h>

#include <cstdio>
#include <vector>

#ifndef _WIN32
#include <openssl/evp.h>
#endif

namespace {

constexpr size_t kReadSize = 1 << 16;
// Keys in use at once: the current one and the next; a few more cost little, a long file of
// lines is no signature file.
constexpr int kMaxSignatures = 8;

// sodium_init is safe to call from any thread, any number of times; below zero it failed and
// nothing may be trusted.
bool Ready() {
  return sodium_init() >= 0;
}

std::string ToHex(const unsigned char* bytes, size_t size) {
  std::string hex(size * 2 + 1, '\0');
  sodium_bin2hex(hex.data(), hex.size(), bytes, size);
  hex.pop_back();
  return hex;
}

// Exactly `size` bytes from lower-case hex digits, nothing before or after them.
bool FromHex(const std::string& hex, unsigned char* bytes, size_t size) {
  if (hex.size() != size * 2 || hex.find_first_not_of("0123456789abcdef") != std::string::npos) {
    return false;
  }
  size_t written = 0;
  return sodium_hex2bin(bytes, size, hex.data(), hex.size(), nullptr, &written, nullptr) == 0 &&
         written == size;
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return "";
  return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

}  // namespace

#ifdef _WIN32
// The Windows build links libsodium statically and has no libcrypto.
struct ContentHasher::State {
  crypto_hash_sha256_state sha;

  bool Init() { return crypto_hash_sha256_init(&sha) == 0; }
  bool Update(const void* data, size_t size) {
    return crypto_hash_sha256_update(&sha, static_cast<const unsigned char*>(data), size) == 0;
  }
  bool Final(unsigned char (&hash)[kSha256Bytes]) {
    return crypto_hash_sha256_final(&sha, hash) == 0;
  }
};
#else
// libcrypto (in the process already, through libcurl) hashes with the CPU's SHA instructions
// where it has them, some five times as fast as libsodium's portable SHA-256, which took a
// fifth of the decoding time of a large update.
struct ContentHasher::State {
  EVP_MD_CTX* ctx = EVP_MD_CTX_new();

  State() = default;
  State(const State&) = delete;
  State& operator=(const State&) = delete;
  ~State() { EVP_MD_CTX_free(ctx); }
  bool Init() { return ctx && EVP_DigestInit_ex(ctx, EVP_sha256(), nullptr) == 1; }
  bool Update(const void* data, size_t size) { return EVP_DigestUpdate(ctx, data, size) == 1; }
  bool Final(unsigned char (&hash)[kSha256Bytes]) {
    unsigned int size = 0;
    return EVP_DigestFinal_ex(ctx, hash, &size) == 1 && size == kSha256Bytes;
  }
};
#endif

ContentHasher::ContentHasher() : m_state(std::make_unique<State>()) {
  m_bOk = m_state->Init();
}

ContentHasher::~ContentHasher() = default;

void ContentHasher::Update(const void* data, size_t size) {
  m_bOk = m_bOk && m_state->Update(data, size);
  m_size += size;
}

ContentDigest ContentHasher::Final() {
  unsigned char hash[kSha256Bytes];
  // A digest that could not be taken is empty, which no signed digest equals.
  if (!m_bOk || !m_state->Final(hash)) return {m_size, ""};
  return {m_size, ToHex(hash, sizeof hash)};
}

bool HashFile(const std::string& path, ContentDigest& digest) {
  FILE* file = Ready() ? std::fopen(path.c_str(), "rb") : nullptr;
  if (!file) return false;
  ContentHasher hasher;
  std::vector<unsigned char> buffer(kReadSize);
  size_t read;
  while ((read = std::fread(buffer.data(), 1, buffer.size(), file)) > 0) {
    hasher.Update(buffer.data(), read);
  }
  const bool ok = !std::ferror(file);
  std::fclose(file);
  digest = hasher.Final();
  return ok;
}

ContentDigest HashBytes(const std::string& bytes) {
  ContentHasher hasher;
  hasher.Update(bytes.data(), bytes.size());
  return hasher.Final();
}

bool FileHasContent(const std::string& path, const ContentDigest& expected, std::string& why) {
  ContentDigest actual;
  if (!HashFile(path, actual)) {
    why = "cannot be read";
    return false;
  }
  return IsContent(actual, expected, why);
}

bool IsContent(const ContentDigest& actual, const ContentDigest& expected, std::string& why) {
  if (actual.size != expected.size) {
    why = "has " + std::to_string(actual.size) + " bytes, not " + std::to_string(expected.size);
  } else if (actual.sha256 != expected.sha256) {
    why = "has other content";
  } else {
    return true;
  }
  return false;
}

bool IsPublicKey(const std::string& hex) {
  unsigned char key[crypto_sign_PUBLICKEYBYTES];
  return FromHex(hex, key, sizeof key);
}

bool VerifySignature(const std::string& message, const std::string& signatures,
                     const std::string& publicKey) {
  unsigned char key[crypto_sign_PUBLICKEYBYTES];
  if (!Ready() || !FromHex(publicKey, key, sizeof key)) return false;
  size_t start = 0;
  for (int line = 0; line < kMaxSignatures && start < signatures.size(); ++line) {
    size_t end = signatures.find('\n', start);
    if (end == std::string::npos) end = signatures.size();
    unsigned char sig[crypto_sign_BYTES];
    if (FromHex(Trimmed(signatures.substr(start, end - start)), sig, sizeof sig) &&
        crypto_sign_verify_detached(sig, reinterpret_cast<const unsigned char*>(message.data()),
                                    message.size(), key) == 0) {
      return true;
    }
    start = end + 1;
  }
  return false;
}

bool SignMessage(const std::string& message, const std::string& secretKey, std::string& signature) {
  unsigned char key[crypto_sign_SECRETKEYBYTES];
  unsigned char sig[crypto_sign_BYTES];
  const bool ok =
      Ready() && FromHex(Trimmed(secretKey), key, sizeof key) &&
      crypto_sign_detached(sig, nullptr, reinterpret_cast<const unsigned char*>(message.data()),
                           message.size(), key) == 0;
  sodium_memzero(key, sizeof key);
  if (ok) signature = ToHex(sig, sizeof sig) + "\n";
  return ok;
}

bool MakeKeyPair(KeyPair& pair) {
  unsigned char publicKey[crypto_sign_PUBLICKEYBYTES];
  unsigned char secretKey[crypto_sign_SECRETKEYBYTES];
  if (!Ready() || crypto_sign_keypair(publicKey, secretKey) != 0) return false;
  pair.publicKey = ToHex(publicKey, sizeof publicKey);
  pair.secretKey = ToHex(secretKey, sizeof secretKey);
  sodium_memzero(secretKey, sizeof secretKey);
  return true;
}
