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

struct FolderCase {
  const char* executable;
  const char* folder;
};

void PrintTo(const FolderCase& c, std::ostream* out) { *out << c.executable; }

class GetAppFolderTest : public ::testing::TestWithParam<FolderCase> {};

TEST_P(GetAppFolderTest, KeepsTheTrailingSeparator) {
  EXPECT_EQ(GetAppFolder(GetParam().executable), GetParam().folder);
  EXPECT_EQ(GetAppFolder(GetParam().executable) + std::string(kReportFileName),
            std::string(GetParam().folder) + "Rapport.txt");
}

INSTANTIATE_TEST_SUITE_P(Cases, GetAppFolderTest,
                         ::testing::Values(FolderCase{"/opt/quorvale/bin/quorvale", "/opt/quorvale/bin/"},
                                           FolderCase{"/quorvale", "/"},
                                           FolderCase{"/home/a user/My Apps/quorvale", "/home/a user/My Apps/"},
                                           FolderCase{"C:\\Program Files\\Quorvale\\quorvale.exe",
                                                      "C:\\Program Files\\Quorvale\\"},
                                           FolderCase{"D:\\quorvale.exe", "D:\\"}));

}  // namespace
}  // namespace quorvale
