#include <gtest/gtest.h>

#include <string>
#include <utility>
#include <vector>

#include "core/source_copy.h"
#include "core/update_record.h"
#include "core/update_status.h"

namespace quorvale {
namespace {

TEST(CopyHeader, WritesAndReadsBackTheValidatorsAndNamesTheFile) {
  const CopyHeader header{"https://a.example/l", "\"v1\"\r\n", "Tue, 01 Dec 2026", -1, -1, 1796000000, 5, "ab12"};
  const std::string file = FormatCopyHeader(header) + "body!";
  EXPECT_EQ(file,
            "quorvale-copy 1\naddress: https://a.example/l\netag: \"v1\"\nlast-modified: Tue, 01 Dec 2026\n"
            "source-size: -1\nsource-modified: -1\nfetched: 1796000000\nbytes: 5\ndigest: ab12\n\nbody!");
  CopyHeader read;
  std::size_t body_offset = 0;
  ASSERT_TRUE(ParseCopyHeader(file, &read, &body_offset));
  EXPECT_EQ(file.substr(body_offset), "body!");
  EXPECT_EQ(FormatCopyHeader(read), FormatCopyHeader(header));

  // Cut anywhere before its empty line, the header is refused.
  for (std::size_t size = 0; size < body_offset; ++size) {
    EXPECT_FALSE(ParseCopyHeader(file.substr(0, size), &read, &body_offset)) << size;
  }
  const std::pair<std::string, std::string> changes[] = {
      {"copy 1", "copy 2"}, {"bytes: 5", "bytes: 5x"}, {"fetched", "fetch"}, {"source-size: -1", "source-size: "}};
  for (const auto& [from, to] : changes) {
    std::string changed = file;
    changed.replace(changed.find(from), from.size(), to);
    EXPECT_FALSE(ParseCopyHeader(changed, &read, &body_offset)) << to;
  }
  // The empty line must come within the header's room.
  std::string long_address = file;
  EXPECT_FALSE(ParseCopyHeader(long_address.insert(file.find("https"), kCopyHeaderMaxBytes, 'a'), &read, &body_offset));
  // The entries line follows the digest; validators that would not fit are left out.
  CopyHeader counted = header;
  counted.etag.assign(kCopyHeaderMaxBytes, 'e');
  counted.entries = 7;
  const std::string head = FormatCopyHeader(counted);
  EXPECT_EQ(head.substr(head.find("etag")), "etag: \nlast-modified: \nsource-size: -1\nsource-modified: -1\n"
                                            "fetched: 1796000000\nbytes: 5\ndigest: ab12\nentries: 7\n\n");
  ASSERT_TRUE(ParseCopyHeader(head, &read, &body_offset));
  EXPECT_EQ(read.entries, 7);
  // The copy's file name stays the same from one version to the next.
  EXPECT_EQ(CopyFileName("https://a.example/hosts.txt", "hosts"), "f00c9f5e05e71b7a.copy");
  EXPECT_EQ(CopyFileName("https://a.example/hosts.txt", "domains"), "3bed1198765a4b2e.copy");
}

TEST(UpdateRecord, KeepsOneRecordPerTargetAndSkipsBrokenLines) {
  std::vector<WrittenFile> files = ParseWrittenFiles(
      "/etc/hosts\ti1\tf1\t7\r\nbroken\ti\t1\n\tiX\tfX\t1\n/a\t\tf\t1\n/a\ti\tf\tmore\n/b\ti\tf\t1\t2\n"
      "/out/x.txt\ti2\tf2\t-1");
  RecordWrittenFile(&files, {"/out/x.txt", "i3", "f3", 3});
  RecordWrittenFile(&files, {"/out/X.txt", "i4", "f4", 4});
  EXPECT_EQ(FormatWrittenFiles(files), "/etc/hosts\ti1\tf1\t7\n/out/x.txt\ti3\tf3\t3\n/out/X.txt\ti4\tf4\t4\n");
}

TEST(UpdateStatus, KeepsNoCredentialsAndReadsBackWhatItWrote) {
  const std::pair<std::string, std::string> addresses[] = {
      {"https://user:p@ss@lists.example:8443/x?a=b@c", "https://lists.example:8443/x?a=b@c"},
      {"file://me@host/x", "file://host/x"}, {"C:\\Jean Dupont\\a@b.txt", "C:\\Jean Dupont\\a@b.txt"},
  };
  for (const auto& [address, shown] : addresses) EXPECT_EQ(AddressWithoutCredentials(address), shown);
  const std::string text = FormatUpdateStatus({{"https://u:p@a.example/l", 1700000000, "echec:\ta\r\nb", -1},
                                               {"lists/Jean Dupont.txt", 1700000001, "non modifiee", 12}});
  EXPECT_EQ(text, "1700000000\t-\thttps://a.example/l\techec: a  b\n1700000001\t12\tlists/Jean Dupont.txt\tnon modifiee\n");
  std::vector<SourceStatus> read = ParseUpdateStatus("x\t1\ta\tb\n1\t-2\ta\tb\n1\t1\t\tb\n" + text);
  KeepLatestStatuses(&read, ParseUpdateStatus("1699999999\t5\thttps://a.example/l\told\n1700000002\t13\tlists/Jean Dupont.txt\tnew"));
  EXPECT_EQ(FormatUpdateStatus(read),
            "1700000000\t-\thttps://a.example/l\techec: a  b\n1700000002\t13\tlists/Jean Dupont.txt\tnew\n");
  EXPECT_EQ(FindSourceStatus(read, "https://x:y@a.example/l"), &read[0]);
}

TEST(UpdateRecord, LogKeepsTheLastLines) {
  EXPECT_EQ(AppendLogLine("", "a", 2), "a\n");
  EXPECT_EQ(AppendLogLine("a", "b", 2), "a\nb\n");
  EXPECT_EQ(AppendLogLine("a\nb\n", "c", 2), "b\nc\n");
  EXPECT_EQ(AppendLogLine("a\n\nb\n", "c", 3), "\nb\nc\n");
}

}  // namespace
}  // namespace quorvale
