#include "support/digest.h"

#include <gtest/gtest.h>

namespace QuickKit {
namespace {

TEST(Digest, KnownVectors) {
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(Md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(Md5Hex("abc"), "900150983cd24fb0d6963f7d28e17f72");
}

TEST(Digest, PiecesGiveTheSameDigestAsTheWhole) {
  std::string data;
  for (int i = 0; i < 100000; ++i) data += static_cast<char>(i * 31);
  Digest digest(DigestKind::Sha256);
  ASSERT_TRUE(digest.IsReady());
  for (std::size_t at = 0; at < data.size(); at += 512)
    digest.Update(std::string_view(data).substr(at, 512));
  EXPECT_EQ(ToHex(digest.Final()), Sha256Hex(data));
  EXPECT_EQ(digest.Final(), "");  // used up
}

}  // namespace
}  // namespace QuickKit
