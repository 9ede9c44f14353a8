#include "core/helper_outcome.h"

#include <gtest/gtest.h>

#include <string>

namespace quorvale {
namespace {

TEST(HelperOutcome, FormatsOneEscapedLineAndReadsItBack) {
  HelperOutcome outcome;
  outcome.exit_code = kHelperExitBusy;
  outcome.failed_step = "lock";
  outcome.failure = Status(ErrorCode::kBusy, "C:\\a\tb", "line\r\nend");
  outcome.dns = DnsCacheResult::kNotDone;
  outcome.dns_why = Status(ErrorCode::kNotSupported, "", "none");
  const std::string line = FormatHelperOutcome(outcome);
  EXPECT_EQ(line, "3\tlock\t9\tC:\\\\a\\tb\tline\\r\\nend\tnot-done\t6\t\tnone\n");
  HelperOutcome read;
  ASSERT_TRUE(ParseHelperOutcome(line, &read));
  EXPECT_EQ(FormatHelperOutcome(read), line);
  EXPECT_EQ(read.failure.subject(), "C:\\a\tb");
  EXPECT_EQ(read.failure.reason(), "line\r\nend");
  EXPECT_EQ(read.dns, DnsCacheResult::kNotDone);
}

TEST(HelperOutcome, RefusesOtherLines) {
  HelperOutcome read;
  for (const char* line : {"", "0\t\t0\t\t\tnone\t0\t\t\t", "0\t\t0\t\t\tnone\t0\t", "x\t\t0\t\t\tnone\t0\t\t",
                           "0\t\t10\t\t\tnone\t0\t\t", "0\t\t0\t\t\tgone\t0\t\t", "0\t\t0\t\\q\t\tnone\t0\t\t",
                           "Error executing command as another user: Not authorized"}) {
    EXPECT_FALSE(ParseHelperOutcome(line, &read)) << line;
  }
  EXPECT_TRUE(ParseHelperOutcome("0\t\t0\t\t\tflushed\t0\t\t", &read));
  EXPECT_EQ(read.dns, DnsCacheResult::kFlushed);
}

}  // namespace
}  // namespace quorvale
