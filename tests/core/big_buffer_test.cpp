#include "core/big_buffer.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

namespace quorvale {
namespace {

// Blocks just under, at and over a huge page, and one above the allocator's heap limit:
// each keeps what is written to its two ends, those of a huge page or more start on one, and
// the advice given for one never disturbs what its neighbours in the heap hold.
TEST(BigBufferTest, BlocksAndTheirNeighboursKeepTheirBytes) {
  constexpr size_t kMegabyte = size_t{1} << 20;
  std::vector<std::string> neighbours;
  std::vector<std::pair<char*, size_t>> blocks;
  for (size_t bytes : {2 * kMegabyte - 1, 2 * kMegabyte, 3 * kMegabyte + 5, 40 * kMegabyte}) {
    neighbours.push_back(std::string(100, static_cast<char>('a' + blocks.size())));
    char* block = static_cast<char*>(AllocateBigBuffer(bytes));
    const bool on_huge_page = reinterpret_cast<uintptr_t>(block) % (2 * kMegabyte) == 0;
    EXPECT_TRUE(bytes < 2 * kMegabyte || on_huge_page) << bytes;
    std::memset(block, 'x', 64);
    std::memset(block + bytes - 64, 'y', 64);
    blocks.emplace_back(block, bytes);
  }
  for (size_t i = 0; i < blocks.size(); ++i) {
    const auto [block, bytes] = blocks[i];
    EXPECT_EQ(std::string(block, 64), std::string(64, 'x'));
    EXPECT_EQ(std::string(block + bytes - 64, 64), std::string(64, 'y'));
    EXPECT_EQ(neighbours[i], std::string(100, static_cast<char>('a' + i)));
    FreeBigBuffer(block, bytes);
  }
}

}  // namespace
}  // namespace quorvale
