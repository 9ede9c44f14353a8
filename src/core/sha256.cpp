#include "sha256.h"

#include <cstring>

namespace quorvale {

namespace {

constexpr std::uint32_t kInitialState[8] = {0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a,
                                            0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19};

constexpr std::uint32_t kRoundConstants[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2};

constexpr std::size_t kBlockBytes = 64;

inline std::uint32_t RotateRight(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

inline std::uint32_t LoadBigEndian(const unsigned char* p) {
  return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

}  // namespace

Sha256::Sha256() { std::memcpy(state_, kInitialState, sizeof(state_)); }

void Sha256::Block(const unsigned char* block) {
  std::uint32_t w[64];
  for (int i = 0; i < 16; ++i) w[i] = LoadBigEndian(block + 4 * i);
  for (int i = 16; i < 64; ++i) {
    const std::uint32_t s0 = RotateRight(w[i - 15], 7) ^ RotateRight(w[i - 15], 18) ^ (w[i - 15] >> 3);
    const std::uint32_t s1 = RotateRight(w[i - 2], 17) ^ RotateRight(w[i - 2], 19) ^ (w[i - 2] >> 10);
    w[i] = w[i - 16] + s0 + w[i - 7] + s1;
  }
  std::uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];
  std::uint32_t e = state_[4], f = state_[5], g = state_[6], h = state_[7];
  // Eight rounds a turn with the working variables renamed rather than moved: each round
  // changes only `d` and `h` of its own names.
  auto round = [&w](std::uint32_t a_, std::uint32_t b_, std::uint32_t c_, std::uint32_t& d_, std::uint32_t e_,
                    std::uint32_t f_, std::uint32_t g_, std::uint32_t& h_, int i) {
    const std::uint32_t t1 = h_ + (RotateRight(e_, 6) ^ RotateRight(e_, 11) ^ RotateRight(e_, 25)) +
                             (g_ ^ (e_ & (f_ ^ g_))) + kRoundConstants[i] + w[i];
    const std::uint32_t t2 =
        (RotateRight(a_, 2) ^ RotateRight(a_, 13) ^ RotateRight(a_, 22)) + ((a_ & b_) | (c_ & (a_ | b_)));
    d_ += t1;
    h_ = t1 + t2;
  };
  for (int i = 0; i < 64; i += 8) {
    round(a, b, c, d, e, f, g, h, i);
    round(h, a, b, c, d, e, f, g, i + 1);
    round(g, h, a, b, c, d, e, f, i + 2);
    round(f, g, h, a, b, c, d, e, i + 3);
    round(e, f, g, h, a, b, c, d, i + 4);
    round(d, e, f, g, h, a, b, c, i + 5);
    round(c, d, e, f, g, h, a, b, i + 6);
    round(b, c, d, e, f, g, h, a, i + 7);
  }
  state_[0] += a;
  state_[1] += b;
  state_[2] += c;
  state_[3] += d;
  state_[4] += e;
  state_[5] += f;
  state_[6] += g;
  state_[7] += h;
}

void Sha256::Update(std::string_view bytes) {
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  std::size_t left = bytes.size();
  std::size_t held = static_cast<std::size_t>(length_ % kBlockBytes);
  length_ += left;
  if (held > 0) {
    const std::size_t take = left < kBlockBytes - held ? left : kBlockBytes - held;
    std::memcpy(buffer_ + held, p, take);
    p += take;
    left -= take;
    if (held + take < kBlockBytes) return;
    Block(buffer_);
  }
  for (; left >= kBlockBytes; p += kBlockBytes, left -= kBlockBytes) Block(p);
  if (left > 0) std::memcpy(buffer_, p, left);
}

std::string Sha256::HexDigest() {
  // The padding: one 1 bit, zeros up to 8 bytes short of a block's end, then the length in bits.
  const std::uint64_t bits = length_ * 8;
  unsigned char tail[2 * kBlockBytes] = {0x80};
  const std::size_t held = static_cast<std::size_t>(length_ % kBlockBytes);
  const std::size_t tail_bytes = (held < kBlockBytes - 8 ? kBlockBytes : 2 * kBlockBytes) - held;
  for (int i = 0; i < 8; ++i) tail[tail_bytes - 1 - i] = static_cast<unsigned char>(bits >> (8 * i));
  Update(std::string_view(reinterpret_cast<const char*>(tail), tail_bytes));

  constexpr char kHexDigits[] = "0123456789abcdef";
  std::string hex(64, '0');
  for (int i = 0; i < 8; ++i) {
    for (int nibble = 0; nibble < 8; ++nibble) hex[8 * i + nibble] = kHexDigits[(state_[i] >> (28 - 4 * nibble)) & 0xF];
  }
  return hex;
}

std::string Sha256Hex(std::string_view bytes) {
  Sha256 hash;
  hash.Update(bytes);
  return hash.HexDigest();
}

}  // namespace quorvale
