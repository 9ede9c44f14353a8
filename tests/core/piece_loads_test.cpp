// Loads of files read a piece at a time: the same lists as the file read whole, and nothing
// added when the reading fails half-way.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/domain_parser.h"
#include "core/hosts_parser.h"
#include "hosts/file_loads.h"
#include "support/list_rows.h"
#include "support/test_files.h"

namespace quorvale {
namespace {

using testing::Entries;
using testing::Rows;

// A file of several megabytes mixing what the loads meet: CR LF and LF, comments, inline
// comments, duplicates in other cases, "www." names, other addresses, junk and commas.
std::string BigMixedFile() {
  std::string data = "\xEF\xBB\xBF# big list\r\n";
  for (int i = 0; i < 120000; ++i) {
    const std::string n = std::to_string(i);
    switch (i % 8) {
      case 0: data += "0.0.0.0 host" + n + ".example\r\n"; break;
      case 1: data += "127.0.0.1\tWWW.Host" + std::to_string(i - 1) + ".EXAMPLE\n"; break;
      case 2: data += "10.0.0." + std::to_string(i % 250) + " intra" + n + ".lan # office " + n + "\n"; break;
      case 3: data += "# comment " + n + "\r\n"; break;
      case 4: data += "0.0.0.0 ads" + n + ".example #[tracker]\r\n"; break;
      case 5: data += "junk line " + n + ",second" + n + ".example\n"; break;
      case 6: data += "\r\n"; break;
      default: data += "127.0.0.1 www.www.deep" + n + ".example\r"; break;
    }
  }
  return data + "0.0.0.0 last.example";
}

TEST(PieceLoads, BigFilesLoadAsWhenReadWhole) {
  testing::TempDir dir;
  const std::string data = BigMixedFile();
  ASSERT_GT(data.size(), 3u << 20);
  const std::string path = dir.File("big.txt");
  testing::WriteBytes(path, data);

  Session from_file;
  Session from_data;
  from_file.ResetRejectedLines();
  from_data.ResetRejectedLines();
  ASSERT_TRUE(ParseHostsFile(testing::SystemPlatform(), path, from_file).ok());
  ParseHostsData(data, from_data);
  EXPECT_EQ(from_file.EntriesLoaded, from_data.EntriesLoaded);
  EXPECT_GT(from_file.blocked.size(), 40000u);
  EXPECT_EQ(Rows(from_file.blocked), Rows(from_data.blocked));
  EXPECT_EQ(Rows(from_file.redirected), Rows(from_data.redirected));
  EXPECT_EQ(from_file.RejectedLines, from_data.RejectedLines);

  Session plain_file;
  Session plain_data;
  plain_file.ResetRejectedLines();
  plain_data.ResetRejectedLines();
  ASSERT_TRUE(ParseDomainList(testing::SystemPlatform(), path, plain_file).ok());
  ParseDomainListData(data, plain_data);
  EXPECT_EQ(plain_file.EntriesLoaded, plain_data.EntriesLoaded);
  EXPECT_EQ(Rows(plain_file.blocked), Rows(plain_data.blocked));
  EXPECT_EQ(plain_file.RejectedLines, plain_data.RejectedLines);

  SortBuffer buffer_file;
  SortBuffer buffer_data;
  ASSERT_TRUE(LoadDomainOnlyFile(testing::SystemPlatform(), path, buffer_file).ok());
  ASSERT_TRUE(LoadDomainOnlyData(data, buffer_data).ok());
  EXPECT_GT(buffer_file.size(), 80000u);
  EXPECT_EQ(Entries(buffer_file), Entries(buffer_data));
}

// Hands out the given pieces, then fails as a disk would.
class FailingPieces : public LinePieces {
 public:
  explicit FailingPieces(std::vector<std::string> pieces) : pieces_(std::move(pieces)) {}
  bool Next(std::string_view* piece) override {
    if (next_ == pieces_.size()) {
      failed_ = true;
      return false;
    }
    *piece = pieces_[next_++];
    return true;
  }
  Status status() const override {
    return failed_ ? Status(ErrorCode::kIoError, "big.txt", "Input/output error") : Status::Ok();
  }
  uint64_t size_hint() const override { return 1 << 20; }

 private:
  std::vector<std::string> pieces_;
  size_t next_ = 0;
  bool failed_ = false;
};

TEST(PieceLoads, HostsFileFailingHalfWayAddsNothing) {
  Session session;
  session.ResetRejectedLines();
  ParseHostsData("0.0.0.0 kept.example\n10.0.0.1 router.lan #home\nnot an entry\n", session);
  const auto blocked = Rows(session.blocked);
  const auto redirected = Rows(session.redirected);
  ASSERT_EQ(blocked.size(), 1u);

  session.ResetRejectedLines();
  FailingPieces pieces({"0.0.0.0 new.example\n127.0.0.1 KEPT.example\njunk\n", "10.0.0.2 other.lan\n"});
  const Status status = ParseHostsPieces(pieces, session);
  EXPECT_EQ(status.code(), ErrorCode::kIoError);
  EXPECT_EQ(status.ToString(), "big.txt: Input/output error");
  EXPECT_EQ(Rows(session.blocked), blocked);
  EXPECT_EQ(Rows(session.redirected), redirected);
  EXPECT_EQ(session.RejectedLines, std::vector<std::string>{""});
  EXPECT_EQ(session.EntriesLoaded, 0u);
  // The index holds the rows left and only them.
  EXPECT_TRUE(session.blocked.Contains("kept.EXAMPLE"));
  EXPECT_FALSE(session.blocked.Contains("new.example"));
  EXPECT_FALSE(session.redirected.Contains("other.lan"));
  EXPECT_TRUE(session.blocked.Add("new.example", "0.0.0.0", ""));
  EXPECT_FALSE(session.blocked.Add("Kept.Example", "0.0.0.0", ""));
  EXPECT_EQ(session.blocked.Name(1), "new.example");
  EXPECT_EQ(session.blocked.Address(1), "0.0.0.0");
}

TEST(PieceLoads, DomainFilesFailingHalfWayAddNothing) {
  Session session;
  session.ResetRejectedLines();
  ParseDomainListData("kept.example\n", session);
  session.ResetRejectedLines();
  FailingPieces plain({"new.example\n#comment\n"});
  EXPECT_EQ(ParseDomainListPieces(plain, session).code(), ErrorCode::kIoError);
  EXPECT_EQ(Rows(session.blocked), (std::vector<testing::Row>{{"kept.example", "", "127.0.0.1"}}));
  EXPECT_EQ(session.RejectedLines, std::vector<std::string>{""});
  EXPECT_EQ(session.EntriesLoaded, 0u);
  EXPECT_FALSE(session.blocked.Contains("new.example"));

  SortBuffer buffer;
  ASSERT_TRUE(LoadDomainOnlyData("kept.example\n", buffer).ok());
  FailingPieces domain_only({"127.0.0.1 new.example\n", "www.third.example\n"});
  EXPECT_EQ(LoadDomainOnlyPieces(domain_only, buffer).code(), ErrorCode::kIoError);
  EXPECT_EQ(Entries(buffer), std::vector<std::string>{"kept.example"});
  buffer.Append("later.example");
  EXPECT_EQ(Entries(buffer), (std::vector<std::string>{"kept.example", "later.example"}));
}

}  // namespace
}  // namespace quorvale
