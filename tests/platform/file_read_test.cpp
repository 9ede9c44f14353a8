// Reads of files by name: growth and changes while a file is read, and what an opening refuses.
#include "platform/file_read.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <string>

#include "support/test_files.h"

namespace quorvale {
namespace {

using namespace std::chrono_literals;
using namespace std::string_literals;
using testing::SystemPlatform;

// A file that grows after it was opened is read to its new end.
TEST(FilePieces, FileThatGrowsAfterOpeningIsReadToItsEnd) {
  testing::TempDir dir;
  const std::string path = dir.File("growing");
  testing::WriteBytes(path, "a.example\n");
  FilePieces pieces;
  ASSERT_TRUE(OpenPieces(SystemPlatform(), path, InputKinds::kRegularFiles, &pieces).ok());
  std::string more;
  for (int i = 0; i < 100000; ++i) more += "host" + std::to_string(i) + ".example\n";
  testing::WriteBytes(path, "a.example\n" + more);
  std::string joined;
  std::string_view piece;
  while (pieces.Next(&piece)) joined += piece;
  EXPECT_TRUE(pieces.status().ok());
  EXPECT_EQ(joined, "a.example\n" + more);
  EXPECT_TRUE(pieces.changed_while_read());
}

// A file truncated or only touched between its opening and its end is read as it is then,
// and noticed. Its first line is longer than what the opening reads.
TEST(FilePieces, NoticesAFileChangedWhileItIsRead) {
  testing::TempDir dir;
  const std::filesystem::path path = dir.File("list");
  const std::string first = std::string(1023, 'a') + '\n';
  struct Case {
    const char* what;
    std::function<void()> change;
    std::string read;
    bool changed;
  };
  for (const Case& c : {Case{"left alone", [] {}, first + "b.example\n", false},
                        Case{"truncated", [&] { resize_file(path, first.size()); }, first, true},
                        Case{"touched", [&] { last_write_time(path, last_write_time(path) - 1h); },
                             first + "b.example\n", true}}) {
    testing::WriteBytes(path.string(), first + "b.example\n");
    FilePieces pieces;
    ASSERT_TRUE(OpenPieces(SystemPlatform(), path.string(), InputKinds::kRegularFiles, &pieces).ok());
    c.change();
    std::string joined;
    std::string_view piece;
    while (pieces.Next(&piece)) joined += piece;
    EXPECT_EQ(joined, c.read) << c.what;
    EXPECT_EQ(pieces.changed_while_read(), c.changed) << c.what;
  }
}

TEST(FilePieces, RefusesWhatReadFileBytesRefuses) {
  testing::TempDir dir;
  FilePieces missing;
  EXPECT_EQ(OpenPieces(SystemPlatform(), dir.File("missing"), InputKinds::kRegularFiles, &missing).code(),
            ErrorCode::kNotFound);
  std::string_view piece = "kept";
  EXPECT_FALSE(missing.Next(&piece));
  EXPECT_TRUE(piece.empty());
  FilePieces folder;
  EXPECT_FALSE(OpenPieces(SystemPlatform(), dir.path(), InputKinds::kRegularFiles, &folder).ok());
  EXPECT_FALSE(folder.Next(&piece));
}

TEST(ReadFileBytes, ReadsEveryByteAndReportsMissingFile) {
  testing::TempDir dir;
  const std::string bytes = "a\r\n\0\xFF"s;
  testing::WriteBytes(dir.File("data"), bytes);
  std::string out = "old";
  ASSERT_TRUE(ReadFileBytes(SystemPlatform(), dir.File("data"), &out).ok());
  EXPECT_EQ(out, bytes);

  Status status = ReadFileBytes(SystemPlatform(), dir.File("missing"), &out);
  EXPECT_EQ(status.code(), ErrorCode::kNotFound);
  EXPECT_TRUE(out.empty());
}

}  // namespace
}  // namespace quorvale
