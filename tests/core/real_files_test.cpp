// Loads of real-world lists. The expected counts were worked out from the files with awk,
// independently of this code.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "core/domain_parser.h"
#include "core/helper_input.h"
#include "core/hosts_parser.h"
#include "core/hosts_writer.h"
#include "support/list_rows.h"
#include "core/sorting.h"
#include "core/text.h"
#include "hosts/file_loads.h"
#include "support/test_files.h"

namespace quorvale {
namespace {

using testing::Entries;
using testing::RealFile;
using testing::Row;
using testing::Rows;

constexpr const char* kFadeMind = "FadeMind__hosts.extras__add.2o7Net_hosts";
constexpr const char* kWkway = "wkway__stblack__data_URLHaus_hosts";
constexpr const char* kCrazyMax = "crazy-max__WindowsSpyBlocker__data_hosts_spy_v6.txt";
constexpr const char* kDandelion = "DandelionSprout__adfilt__Alternate-versions-Anti-Malware-List_AntiMalwareHosts.txt";
constexpr const char* kSemi0naut = "semi0naut__dotfiles__windows_hosts";
constexpr const char* kAdAway = "AdAway__adaway.github.io__hosts.txt";
constexpr const char* kDresden = "dresden-elektronik__pi-gen__stage1_02-net-tweaks_files_hosts";
constexpr const char* kPerflyst = "Perflyst__PiHoleBlocklist__SmartTV.txt";
constexpr const char* kBigdargon = "bigdargon__hostsVN__extensions_threat_domain.txt";
constexpr const char* kDrugs = "blocklistproject__Lists__alt-version_drugs-nl.txt";

// Whether the privileged helper takes a window's output; pieces of 1000 bytes cut lines.
::testing::AssertionResult HelperTakes(std::string_view bytes) {
  HostsInputCheck check;
  for (size_t at = 0; at < bytes.size() && check.Take(bytes.substr(at, 1000)); at += 1000) {
  }
  return check.Finish() ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << check.failure().ToString();
}

struct HostsFileCase {
  const char* file;
  int entries_loaded;
  size_t blocked;
  size_t redirected;
  size_t rejected;
};

void PrintTo(const HostsFileCase& c, std::ostream* out) { *out << c.file; }

class RealHostsFileTest : public ::testing::TestWithParam<HostsFileCase> {};

TEST_P(RealHostsFileTest, Counts) {
  const HostsFileCase& c = GetParam();
  Session session;
  session.ResetRejectedLines();
  ASSERT_TRUE(ParseHostsFile(testing::SystemPlatform(), RealFile(c.file), session).ok());
  EXPECT_EQ(session.EntriesLoaded, c.entries_loaded);
  EXPECT_EQ(session.blocked.size(), c.blocked);
  EXPECT_EQ(session.redirected.size(), c.redirected);
  EXPECT_EQ(session.RejectedLines.size(), c.rejected);
}

// A file written from the lists and loaded again puts every entry back in its list with its
// description; the header and the "www." twins add no rows.
TEST_P(RealHostsFileTest, RoundTrip) {
  Session loaded;
  loaded.ResetRejectedLines();
  ASSERT_TRUE(ParseHostsFile(testing::SystemPlatform(), RealFile(GetParam().file), loaded).ok());
  std::string written;
  FormatHostsFile(loaded, {"0.0.0.0", true, true}, "07/12/2026 16:08:57", &written);
  EXPECT_TRUE(HelperTakes(written));

  Session again;
  again.ResetRejectedLines();
  ParseHostsData(written, again);
  std::vector<Row> expected1 = Rows(loaded.blocked);
  for (Row& row : expected1) row.address = "0.0.0.0";
  EXPECT_EQ(Rows(again.blocked), expected1);
  EXPECT_EQ(Rows(again.redirected), Rows(loaded.redirected));
  EXPECT_EQ(again.EntriesLoaded, static_cast<int>(2 * loaded.RowCount()));
  // The 14 header lines (the comma of the second is part of its comment).
  EXPECT_EQ(again.RejectedLines.size(), 14u);
}

INSTANTIATE_TEST_SUITE_P(Files, RealHostsFileTest,
                         ::testing::Values(HostsFileCase{kFadeMind, 2030, 2029, 0, 1},
                                           HostsFileCase{kWkway, 476, 471, 0, 9},
                                           HostsFileCase{kCrazyMax, 0, 0, 0, 353},
                                           HostsFileCase{kDandelion, 11738, 11732, 0, 2501},
                                           HostsFileCase{kSemi0naut, 15750, 8756, 0, 45},
                                           HostsFileCase{kAdAway, 6540, 6535, 0, 4067},
                                           HostsFileCase{kDresden, 1, 0, 1, 4}));

Session LoadHosts(const char* file) {
  Session session;
  session.ResetRejectedLines();
  EXPECT_TRUE(ParseHostsFile(testing::SystemPlatform(), RealFile(file), session).ok());
  return session;
}

TEST(RealHostsFiles, CrLfLinesLeaveNoCarriageReturnInNames) {
  Session session = LoadHosts(kFadeMind);
  EXPECT_EQ(session.RejectedLines, std::vector<std::string>{""});
  EXPECT_TRUE(session.blocked.Contains("sanalytics.spark.co.nz"));
  EXPECT_TRUE(session.blocked.Contains("metrics.cancer.gov"));
  for (size_t i = 0; i < session.blocked.size(); ++i) {
    ASSERT_EQ(session.blocked.Name(i).find('\r'), std::string_view::npos) << session.blocked.Name(i);
    ASSERT_EQ(session.blocked.Address(i), "0.0.0.0");
  }
}

TEST(RealHostsFiles, TabsAndNoFinalNewline) {
  Session session = LoadHosts(kWkway);
  EXPECT_TRUE(session.blocked.Contains("zzz.fhauiehgha.com"));
  // "127.0.0.1<TAB>www.TradeInsights.net": prefix removed, lower-cased.
  EXPECT_TRUE(session.blocked.Contains("tradeinsights.net"));
  EXPECT_EQ(session.RejectedLines.front(), std::string(64, '#'));
  EXPECT_EQ(session.RejectedLines.back(), "# Number of entries: 476");
}

TEST(RealHostsFiles, ByteOrderMarkIsNotPartOfTheFirstLine) {
  Session session = LoadHosts(kDandelion);
  EXPECT_EQ(session.RejectedLines.front().substr(0, 9), "# Title: ");
  EXPECT_TRUE(session.blocked.Contains("jnkms0zfueh.click"));
  EXPECT_EQ(session.blocked.Name(0), "0180info.de") << "first in byte order";
}

TEST(RealHostsFiles, UnspecifiedIpv6AddressIsRejected) {
  Session session = LoadHosts(kCrazyMax);
  EXPECT_EQ(session.RejectedLines[6], ":: 1oavsblobprodcus350.blob.core.windows.net");
  EXPECT_EQ(session.RejectedLines.back(), ":: ztd.dds.microsoft.com");
}

TEST(RealHostsFiles, LinuxHostsFile) {
  Session session = LoadHosts(kDresden);
  EXPECT_EQ(Rows(session.redirected), (std::vector<Row>{{"phoscon", "", "127.0.1.1"}}));
  EXPECT_EQ(session.RejectedLines,
            (std::vector<std::string>{"127.0.0.1    localhost", "::1          localhost ip6-localhost ip6-loopback",
                                      "ff02::1      ip6-allnodes", "ff02::2      ip6-allrouters"}));
}

struct PlainListCase {
  const char* file;
  int entries_loaded;
  size_t rows;
  size_t rejected;
  size_t with_description;
  size_t stored;       // by the domain-only loader
  size_t after_sort;   // after "Trier"
};

void PrintTo(const PlainListCase& c, std::ostream* out) { *out << c.file; }

class RealPlainListTest : public ::testing::TestWithParam<PlainListCase> {};

TEST_P(RealPlainListTest, ParseDomainList) {
  const PlainListCase& c = GetParam();
  Session session;
  session.ResetRejectedLines();
  ASSERT_TRUE(ParseDomainList(testing::SystemPlatform(), RealFile(c.file), session).ok());
  EXPECT_EQ(session.EntriesLoaded, c.entries_loaded);
  EXPECT_EQ(session.blocked.size(), c.rows);
  EXPECT_TRUE(session.redirected.empty());
  size_t with_description = 0;
  for (size_t i = 0; i < session.blocked.size(); ++i) {
    with_description += session.blocked.Description(i).empty() ? 0 : 1;
    ASSERT_EQ(session.blocked.Address(i), "127.0.0.1");
  }
  // With nothing rejected, the one empty element of the reset stays.
  EXPECT_EQ(session.RejectedLines.size(), c.rejected == 0 ? 1 : c.rejected);
  EXPECT_EQ(with_description, c.with_description);
}

TEST_P(RealPlainListTest, LoadDomainOnlyFileAndSort) {
  const PlainListCase& c = GetParam();
  SortBuffer buffer;
  ASSERT_TRUE(LoadDomainOnlyFile(testing::SystemPlatform(), RealFile(c.file), buffer).ok());
  EXPECT_EQ(buffer.size(), c.stored);
  const std::vector<std::string> entries = Entries(buffer);
  for (const std::string& entry : entries) ASSERT_EQ(entry, AsciiLower(entry));
  SortAndDeduplicate(buffer);
  EXPECT_EQ(buffer.size(), c.after_sort);
  const std::vector<std::string> sorted = Entries(buffer);
  for (size_t i = 1; i < sorted.size(); ++i) ASSERT_LT(sorted[i - 1], sorted[i]);
}

// Written as a HOSTS file and loaded again, a plain list comes back whole. The HOSTS reader
// lower-cases, so names and descriptions come back in lower case.
TEST_P(RealPlainListTest, RoundTripThroughHostsFormat) {
  Session loaded;
  loaded.ResetRejectedLines();
  ASSERT_TRUE(ParseDomainList(testing::SystemPlatform(), RealFile(GetParam().file), loaded).ok());
  std::string written;
  FormatHostsFile(loaded, {.redirect_address = "127.0.0.1", .include_comments = true}, "07/12/2026 16:08:57", &written);
  EXPECT_TRUE(HelperTakes(written));
  Session again;
  again.ResetRejectedLines();
  ParseHostsData(written, again);
  EXPECT_EQ(again.blocked.size(), loaded.blocked.size());
  for (size_t i = 0; i < loaded.blocked.size(); ++i) {
    ASSERT_TRUE(again.blocked.Contains(loaded.blocked.Name(i))) << loaded.blocked.Name(i);
  }
  std::vector<Row> expected = Rows(loaded.blocked);
  for (Row& row : expected) {
    AsciiLowerInPlace(row.name);
    AsciiLowerInPlace(row.description);
  }
  std::sort(expected.begin(), expected.end(), [](const Row& a, const Row& b) { return a.name < b.name; });
  EXPECT_EQ(Rows(again.blocked), expected);
}

INSTANTIATE_TEST_SUITE_P(Files, RealPlainListTest,
                         ::testing::Values(PlainListCase{kPerflyst, 245, 245, 129, 4, 241, 241},
                                           PlainListCase{kBigdargon, 4966, 4891, 0, 0, 4966, 4891},
                                           PlainListCase{kDrugs, 26029, 19426, 13, 0, 26029, 19426},
                                           PlainListCase{kFadeMind, 0, 0, 2030, 0, 2030, 2029},
                                           PlainListCase{kWkway, 0, 0, 485, 0, 476, 471},
                                           PlainListCase{kDandelion, 0, 0, 14239, 0, 11742, 11736}));

TEST(RealPlainLists, InlineCommentsAndCaseAreKept) {
  Session session;
  session.ResetRejectedLines();
  ASSERT_TRUE(ParseDomainList(testing::SystemPlatform(), RealFile(kPerflyst), session).ok());
  const EntryList& list = session.blocked;
  EXPECT_EQ(list.Name(0), "0077777700140002.myhomescreen.tv");
  std::vector<Row> rows = Rows(list);
  auto find = [&rows](std::string_view name) {
    for (const Row& row : rows) {
      if (row.name == name) return row;
    }
    return Row{};
  };
  EXPECT_EQ(find("Coordinator-Production-28516768.us-east-1.elb.amazonaws.com").address, "127.0.0.1");
  EXPECT_EQ(find("connecttv.pelmorex.com"), (Row{"connecttv.pelmorex.com", "# weather app tracking", "127.0.0.1"}));
  EXPECT_EQ(find("api.thetake.com"), (Row{"api.thetake.com", "# https://thetake.ai/", "127.0.0.1"}));
  // "# secure, api-global, and appboot break Netflix": a comment keeps its commas.
  EXPECT_EQ(find("api-global"), Row{});
  EXPECT_EQ(session.RejectedLines.front(), "# Title: Smart-TV Blocklist for Pi-hole");
}

TEST(RealPlainLists, RawUtf8AndPunycodeNames) {
  Session session;
  session.ResetRejectedLines();
  ASSERT_TRUE(ParseDomainList(testing::SystemPlatform(), RealFile(kBigdargon), session).ok());
  EXPECT_TRUE(session.blocked.Contains("shopgcaoth\xE1\xBB\xA5.vn"));
  EXPECT_TRUE(session.blocked.Contains("Free-4paid.com"));
  EXPECT_EQ(session.RejectedLines, std::vector<std::string>{""});

  Session drugs;
  drugs.ResetRejectedLines();
  ASSERT_TRUE(ParseDomainList(testing::SystemPlatform(), RealFile(kDrugs), drugs).ok());
  size_t punycode = 0;
  for (size_t i = 0; i < drugs.blocked.size(); ++i) punycode += drugs.blocked.Name(i).starts_with("xn--") ? 1 : 0;
  EXPECT_GT(punycode, 0u);
  EXPECT_EQ(drugs.RejectedLines[6], "# Entries: 26,029");
}

}  // namespace
}  // namespace quorvale
