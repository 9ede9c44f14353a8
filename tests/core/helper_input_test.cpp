// The helper's frame where a run of the helper cannot show it.

#include "core/helper_input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace quorvale {
namespace {

// A channel that gives the frame of `body` (and `after` it) `step` bytes at a time.
ReadSomeFn Channel(const std::string& body, std::string after, size_t step, size_t* at) {
  std::string bytes;
  FramedContents(WholeContents(body))(AppendTo(&bytes));
  return [bytes = bytes + after, step, at](char* into, size_t room, size_t* got) {
    *got = bytes.copy(into, std::min(room, step), *at);
    *at += *got;
    return Status::Ok();
  };
}

TEST(FrameReader, ReadsCutAnywhereTheLimitAndAnOpenChannel) {
  const std::string body(kLongestFramePiece + 3, 'x');
  std::string read;
  size_t at = 0;
  EXPECT_TRUE(ReadFramedBody(Channel(body, "", 1, &at), body.size(), FrameEnd::kChannelEnds, &read).ok());
  EXPECT_EQ(read, body);
  // The piece that would pass the limit is refused on its length line.
  at = 0;
  const Status over = ReadFramedBody(Channel(body, "", 1, &at), body.size() - 1, FrameEnd::kChannelEnds, &read);
  EXPECT_EQ(over.reason(), "the input is longer than 1048578 bytes");
  EXPECT_EQ(at, std::string("1048576\n").size() + kLongestFramePiece + std::string("3\n").size());
  // Left open, the channel is not read past the digest.
  at = 0;
  EXPECT_TRUE(ReadFramedBody(Channel("ab", "more", 1, &at), 2, FrameEnd::kChannelStaysOpen, &read).ok());
  EXPECT_EQ(read, "ab");
  EXPECT_EQ(at, std::string("2\nab0\n").size() + 65);
}

}  // namespace
}  // namespace quorvale
