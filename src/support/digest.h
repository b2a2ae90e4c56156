// Message digests: SHA-256 (installer checks) and MD5 (the machine
// identifier). libcrypto on Linux, BCrypt on Windows. One object per use,
// on one thread.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace QuickKit {

enum class DigestKind { Md5, Sha256 };

class Digest {
 public:
  explicit Digest(DigestKind kind);
  ~Digest();
  Digest(const Digest&) = delete;
  Digest& operator=(const Digest&) = delete;

  // False when the system could not set the digest up; Update and Final
  // then do nothing and give an empty result.
  bool IsReady() const;
  void Update(const void* data, std::size_t size);
  void Update(std::string_view data) { Update(data.data(), data.size()); }
  // The digest's bytes; the object cannot be used afterwards.
  std::string Final();

 private:
  struct Impl;
  std::unique_ptr<Impl> m_impl;
};

// Lower-case hexadecimal text of bytes.
std::string ToHex(std::string_view bytes);

// One-call helpers, hexadecimal results (empty when the digest failed).
std::string Sha256Hex(std::string_view data);
std::string Md5Hex(std::string_view data);

}  // namespace QuickKit
