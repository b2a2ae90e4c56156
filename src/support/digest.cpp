#include "support/digest.h"

#include "support/ascii.h"

namespace QuickKit {

std::string ToHex(std::string_view bytes) { return HexText(bytes, HexCase::Lower); }

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
