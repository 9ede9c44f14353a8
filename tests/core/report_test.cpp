#include "core/report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quorvale {
namespace {

const std::string kRules =
    "---------------------------------\r\n"
    "---------------------------------\r\n"
    "\r\n"
    "\r\n";

TEST(BuildReport, NothingRejected) {
  EXPECT_EQ(BuildReport({""}), "Liste des erreurs: \r\n\r\n\r\n" + kRules);
  EXPECT_EQ(BuildReport({}), "Liste des erreurs: \r\n\r\n\r\n" + kRules);
}

TEST(BuildReport, EveryNonEmptyElementAsStored) {
  const std::vector<std::string> rejected = {"# comment", "", "  spaced  out ", "", "caf\xC3\xA9\ttab", ""};
  EXPECT_EQ(BuildReport(rejected),
            "Liste des erreurs: \r\n\r\n\r\n"
            "# comment\r\n"
            "  spaced  out \r\n"
            "caf\xC3\xA9\ttab\r\n" +
                kRules);
}

}  // namespace
}  // namespace quorvale
