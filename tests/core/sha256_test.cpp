#include "core/sha256.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace quorvale {
namespace {

TEST(Sha256, GivesTheStandardDigests) {
  EXPECT_EQ(Sha256Hex(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(Sha256Hex("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  // 56 bytes: the padding takes a block of its own.
  EXPECT_EQ(Sha256Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  // A million "a" in pieces of 1 to 150 bytes, which fall across the blocks every way.
  const std::string a(150, 'a');
  Sha256 hash;
  for (std::size_t given = 0, piece = 1; given < 1'000'000; given += piece, piece = piece % a.size() + 1) {
    piece = std::min(piece, 1'000'000 - given);
    hash.Update(std::string_view(a).substr(0, piece));
  }
  EXPECT_EQ(hash.HexDigest(), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

}  // namespace
}  // namespace quorvale
