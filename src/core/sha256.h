#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace quorvale {

// SHA-256 of bytes given in pieces; the update's digests of copies, inputs and written files.
class Sha256 {
 public:
  Sha256();
  void Update(std::string_view bytes);
  // The digest as 64 lower-case hexadecimal digits. The object is spent afterwards.
  std::string HexDigest();

 private:
  void Block(const unsigned char* block);
  std::uint32_t state_[8];
  unsigned char buffer_[64];
  std::uint64_t length_ = 0;  // bytes given so far
};

std::string Sha256Hex(std::string_view bytes);

}  // namespace quorvale
