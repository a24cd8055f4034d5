#include <gtest/gtest.h>

#include <string>

#include "common/Md5Checksum.h"

namespace {

std::string Md5Of(const std::string& strInput) {
  return CMD5Checksum::GetMD5(reinterpret_cast<const unsigned char*>(strInput.data()), strInput.size());
}

struct DigestCase {
  std::string strInput;
  const char* pDigest;
};

TEST(Md5Checksum, MatchesKnownDigests) {
  const DigestCase cases[] = {
      {"", "d41d8cd98f00b204e9800998ecf8427e"},
      {"a", "0cc175b9c0f1b6a831c399e269772661"},
      {"abc", "900150983cd24fb0d6963f7d28e17f72"},
      {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
      {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
      {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789", "d174ab98d277d9f5a5611c2c9f419d9f"},
      {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
       "57edf4a22be3c955ac49da2e2107b67a"},
      // The padding boundaries: 56 bytes and more need a second block.
      {std::string(55, 'a'), "ef1772b6dff9a122358552954ad0df65"},
      {std::string(56, 'a'), "3b0c8ac703f828b04c6c197006d17218"},
      {std::string(63, 'a'), "b06521f39153d618550606be297466d5"},
      {std::string(64, 'a'), "014842d480b571495a4a0363793f7367"},
      {std::string(65, 'a'), "c743a45e0d2e6a95cb859adae0248435"},
  };
  for (const auto& c : cases) EXPECT_EQ(Md5Of(c.strInput), c.pDigest) << "input length " << c.strInput.size();
}

TEST(Md5Checksum, PiecewiseUpdatesGiveTheSameDigest) {
  const std::string strInput(1000, 'a');
  for (std::size_t nPiece : {1u, 7u, 63u, 64u, 65u, 999u}) {
    CMD5Checksum md5;
    for (std::size_t i = 0; i < strInput.size(); i += nPiece) {
      const std::size_t n = std::min(nPiece, strInput.size() - i);
      md5.Update(reinterpret_cast<const unsigned char*>(strInput.data() + i), n);
    }
    EXPECT_EQ(md5.Final(), "cabe45dcc9ae5b66ba86600cca6b8ba8") << "pieces of " << nPiece;
  }
}

}  // namespace
