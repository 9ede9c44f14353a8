#include "core/path_text.h"

#include <gtest/gtest.h>

#include <string>

#include "core/report.h"

namespace quorvale {
namespace {

struct PathCase {
  const char* path;
  const char* folder_part;  // FolderPartOf, and GetAppFolder of a program at `path`
  const char* file_name;
  const char* folder;
  const char* joined;  // JoinPath(folder, file_name)
};

void PrintTo(const PathCase& c, std::ostream* out) { *out << c.path; }

class PathTextTest : public ::testing::TestWithParam<PathCase> {};

TEST_P(PathTextTest, SplitsAtTheLastSeparatorAndJoinsAgain) {
  const PathCase& c = GetParam();
  EXPECT_EQ(FolderPartOf(c.path), c.folder_part);
  EXPECT_EQ(GetAppFolder(c.path), c.folder_part);
  EXPECT_EQ(GetAppFolder(c.path) + std::string(kReportFileName), std::string(c.folder_part) + "Rapport.txt");
  EXPECT_EQ(FileNameOf(c.path), c.file_name);
  EXPECT_EQ(FolderOf(c.path), c.folder);
  EXPECT_EQ(JoinPath(FolderOf(c.path), FileNameOf(c.path)), c.joined);
}

const PathCase kCases[] = {
    {"/quorvale", "/", "quorvale", "/", "/quorvale"},
#ifdef _WIN32
    {"hosts", "", "hosts", ".", ".\\hosts"},
    {"C:\\Program Files\\Quorvale\\quorvale.exe", "C:\\Program Files\\Quorvale\\", "quorvale.exe",
     "C:\\Program Files\\Quorvale", "C:\\Program Files\\Quorvale\\quorvale.exe"},
    {"D:\\quorvale.exe", "D:\\", "quorvale.exe", "D:", "D:\\quorvale.exe"},
    {"C:\\etc/hosts", "C:\\etc/", "hosts", "C:\\etc", "C:\\etc\\hosts"},
#else
    {"/opt/quorvale/bin/quorvale", "/opt/quorvale/bin/", "quorvale", "/opt/quorvale/bin", "/opt/quorvale/bin/quorvale"},
    {"/home/a user/My Apps/quorvale", "/home/a user/My Apps/", "quorvale", "/home/a user/My Apps",
     "/home/a user/My Apps/quorvale"},
    {"hosts", "", "hosts", ".", "./hosts"},
    // A backslash is an ordinary byte of a POSIX name.
    {"/etc\\x/a\\b", "/etc\\x/", "a\\b", "/etc\\x", "/etc\\x/a\\b"},
#endif
};

INSTANTIATE_TEST_SUITE_P(Cases, PathTextTest, ::testing::ValuesIn(kCases));

}  // namespace
}  // namespace quorvale
