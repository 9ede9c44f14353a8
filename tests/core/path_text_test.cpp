#include "core/path_text.h"

#include <gtest/gtest.h>

#include <string>

#include "core/report.h"

namespace quorvale {
namespace {

struct PathCase {
  const char *path, *folder_part, *file_name, *folder, *joined;  // joined: JoinPath(folder, file_name)
};

const PathCase kCases[] = {
    {"/quorvale", "/", "quorvale", "/", "/quorvale"},
#ifdef _WIN32
    {"hosts", "", "hosts", ".", ".\\hosts"},
    {"C:\\Program Files\\Quorvale\\quorvale.exe", "C:\\Program Files\\Quorvale\\", "quorvale.exe",
     "C:\\Program Files\\Quorvale", "C:\\Program Files\\Quorvale\\quorvale.exe"},
    {"D:\\quorvale.exe", "D:\\", "quorvale.exe", "D:", "D:\\quorvale.exe"},
    {"C:\\etc/hosts", "C:\\etc/", "hosts", "C:\\etc", "C:\\etc\\hosts"},
#else
    {"/home/a user/My Apps/quorvale", "/home/a user/My Apps/", "quorvale", "/home/a user/My Apps",
     "/home/a user/My Apps/quorvale"},
    {"hosts", "", "hosts", ".", "./hosts"},
    {"/etc\\x/a\\b", "/etc\\x/", "a\\b", "/etc\\x", "/etc\\x/a\\b"},  // "\" is a byte of a POSIX name
#endif
};

TEST(PathText, SplitsAtTheLastSeparatorAndJoinsAgain) {
  for (const PathCase& c : kCases) {
    SCOPED_TRACE(c.path);
    EXPECT_EQ(FolderPartOf(c.path), c.folder_part);
    EXPECT_EQ(GetAppFolder(c.path) + std::string(kReportFileName), std::string(c.folder_part) + "Rapport.txt");
    EXPECT_EQ(FileNameOf(c.path), c.file_name);
    EXPECT_EQ(FolderOf(c.path), c.folder);
    EXPECT_EQ(JoinPath(FolderOf(c.path), FileNameOf(c.path)), c.joined);
  }
}

}  // namespace
}  // namespace quorvale
