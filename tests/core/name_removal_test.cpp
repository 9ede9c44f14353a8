#include "core/name_removal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/list_rows.h"

namespace quorvale {
namespace {

using testing::Entries;
using testing::Row;
using testing::Rows;

TEST(RemoveNames, TakesTheNamesOutOfBothListsAndTheSortBufferIgnoringCase) {
  Session session;
  session.list1.Add("Ads.example", "0.0.0.0", "#x");
  session.list1.Add("keep.example", "0.0.0.0", "");
  session.list2.Add("intra.EXAMPLE", "10.0.0.1", "");
  for (const char* entry : {"ads.example #[c]", "ads.example", "keep.example", "ads.example.com",
                            "intra.example #[ #[", "xads.example", "ads.example#[d]"}) {
    session.SortArray.Append(entry);
  }
  const std::vector<std::string_view> names = {"ADS.example", "intra.example", "absent.example"};
  EXPECT_EQ(RemoveNames(session, names), 5u);
  EXPECT_EQ(Rows(session.list1), (std::vector<Row>{{"keep.example", "", "0.0.0.0"}}));
  EXPECT_TRUE(session.list2.empty());
  EXPECT_EQ(Entries(session.SortArray),
            (std::vector<std::string>{"keep.example", "ads.example.com", "xads.example", "ads.example#[d]"}));
  EXPECT_EQ(RemoveNames(session, names), 0u);
}

}  // namespace
}  // namespace quorvale
