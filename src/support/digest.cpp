#include "support/digest.h"

namespace QuickKit {

std::string ToHex(std::string_view bytes) {
  static const char kHex[] = "0123456789abcdef";
  std::string text;
  text.reserve(bytes.size() * 2);
  for (char c : bytes) {
    const auto b = static_cast<unsigned char>(c);
    text += kHex[b >> 4];
    text += kHex[b & 0xF];
  }
  return text;
}

std::string Sha256Hex(std::string_view data) {
  Digest digest(DigestKind::Sha256);
  digest.Update(data);
  return ToHex(digest.Final());
}

std::string Md5Hex(std::string_view data) {
  Digest digest(DigestKind::Md5);
  digest.Update(data);
  return ToHex(digest.Final());
}

}  // namespace QuickKit
