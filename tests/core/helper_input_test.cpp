// The helper's frame where a run of the helper cannot show it: reads cut anywhere, the limit
// on the whole input, and a channel that stays open after the frame.

#include "core/helper_input.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

namespace quorvale {
namespace {

// A channel that gives `bytes` `step` bytes at a time, then its end, and counts the reads.
struct Channel {
  std::string bytes;
  size_t step;
  size_t at = 0;
  int reads = 0;
  ReadSomeFn Reader() {
    return [this](char* into, size_t room, size_t* got) {
      ++reads;
      *got = std::min({room, step, bytes.size() - at});
      bytes.copy(into, *got, at);
      at += *got;
      return Status::Ok();
    };
  }
};

std::string Framed(const std::string& body) {
  std::string framed;
  FramedContents(WholeContents(body))(AppendTo(&framed));
  return framed;
}

TEST(FrameReader, ReadsCutAnywhereTheLimitAndAnOpenChannel) {
  const std::string body(kLongestFramePiece + 3, 'x');
  Channel one_byte{Framed(body), 1};
  std::string read;
  EXPECT_TRUE(ReadFramedBody(one_byte.Reader(), body.size(), FrameEnd::kChannelEnds, &read).ok());
  EXPECT_EQ(read, body);

  // The piece that would pass the limit is refused on its length line.
  Channel over{Framed(body), 1};
  const Status refused = ReadFramedBody(over.Reader(), body.size() - 1, FrameEnd::kChannelEnds, &read);
  EXPECT_EQ(refused.reason(), "the input is longer than 1048578 bytes");
  EXPECT_EQ(over.at, std::to_string(kLongestFramePiece).size() + 1 + kLongestFramePiece + 2);

  // Left open, the channel is not read past the digest.
  Channel open{Framed("ab") + "more", 4096};
  EXPECT_TRUE(ReadFramedBody(open.Reader(), 2, FrameEnd::kChannelStaysOpen, &read).ok());
  EXPECT_EQ(open.reads, 1);
  EXPECT_EQ(read, "ab");
}

}  // namespace
}  // namespace quorvale
