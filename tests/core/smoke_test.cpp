#include <gtest/gtest.h>

#include "core/hosts_parser.h"

namespace quorvale {
namespace {

TEST(HostsParserSmoke, BlockedAndRedirectedLines) {
  Session session;
  session.ResetRejectedLines();
  ParseHostsData("# c\n0.0.0.0 Ads.example.com #Ad\n10.0.0.1\tintra.example\n", session);
  ASSERT_EQ(session.list1.size(), 1u);
  EXPECT_EQ(session.list1.Name(0), "ads.example.com");
  EXPECT_EQ(session.list1.Description(0), "#ad");
  ASSERT_EQ(session.list2.size(), 1u);
  EXPECT_EQ(session.list2.Address(0), "10.0.0.1");
  EXPECT_EQ(session.EntriesLoaded, 2);
  EXPECT_EQ(session.RejectedLines, std::vector<std::string>{"# c"});
}

}  // namespace
}  // namespace quorvale
