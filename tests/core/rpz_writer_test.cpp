#include "core/rpz_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/text.h"

namespace quorvale {
namespace {

std::string Head(const std::string& origin, uint32_t serial) {
  return "; Zone RPZ generee par Quorvale\n$ORIGIN " + origin +
         "\n$TTL 300\n@ IN SOA localhost. hostmaster.localhost. " +
         std::to_string(serial) + " 3600 600 604800 300\n@ IN NS localhost.\n";
}

struct ZoneCase {
  const char* label;
  std::vector<std::pair<std::string, std::string>> redirected;  // address, name
  std::vector<std::string> blocked;
  bool add_www;
  std::string body;
  std::vector<std::string> rejected = {};
  std::string origin = "rpz.quorvale.";
  bool wildcards = false;
  std::vector<std::string> allowed = {};
};

class FormatRpzZoneTest : public ::testing::TestWithParam<ZoneCase> {};

TEST_P(FormatRpzZoneTest, Bytes) {
  const ZoneCase& c = GetParam();
  Session session;
  // A name written with "www." in front is added without it, listed with "www.".
  auto add = [](EntryList& list, std::string_view name, std::string_view address) {
    const bool www = StartsWith(name, "www.");
    list.Add(www ? name.substr(4) : name, address, "", www);
  };
  for (const auto& [address, name] : c.redirected) add(session.redirected, name, address);
  for (const std::string& name : c.blocked) add(session.blocked, name, "0.0.0.0");
  for (const std::string& name : c.allowed) session.allowed.Add(name, "", "");
  std::string out;
  std::vector<std::string> rejected;
  FormatRpzZone(session, {"0.0.0.0", c.add_www}, {c.origin, 2026121003, c.wildcards}, &out, &rejected);
  EXPECT_EQ(out, Head(c.origin, 2026121003) + c.body);
  EXPECT_EQ(rejected, c.rejected);
}

const std::string kLong45 = std::string(45, 'n') + ".com", kLong46 = std::string(46, 'm') + ".com";
const std::string kOrigin204 = std::string(50, 'z') + "." + std::string(50, 'y') + "." + std::string(50, 'x') + "." +
                               std::string(50, 'w') + ".";
const std::vector<std::string> kAllowed = {"Ad.B.example.", "x.other.example", "deep.sub.r.example", "t.example",
                                           "a.www.t.example", "ad.b.example", "bad_.x..b.example"};

INSTANTIATE_TEST_SUITE_P(
    Cases, FormatRpzZoneTest,
    ::testing::Values(
        ZoneCase{"both lists, a name in both (one with a final dot), loopback left out",
                 {{"10.0.0.1", "intra.lan"}, {"2001:DB8::1", "v6.lan"}, {"127.0.1.1", "ubuntu-pc"}, {"::1", "me.lan"},
                  {"0:0:0:0:0:0:0:1", "me2.lan"}, {"10.0.0.2", "both.example"}, {"1::", "one.lan"},
                  {"::ffff:1.2.3.4", "mapped.lan"}, {"10.0.0.4", "trail.example"}},
                 {"b.example", "BOTH.example", "trail.example."}, false,
                 "both.example A 10.0.0.2\nintra.lan A 10.0.0.1\nmapped.lan AAAA ::ffff:1.2.3.4\n"
                 "one.lan AAAA 1::\ntrail.example A 10.0.0.4\nv6.lan AAAA 2001:DB8::1\nb.example CNAME .\n"},
        ZoneCase{"every row's twin", {{"10.0.0.2", "both.example"}}, {"both.example", "b.example"}, true,
                 "both.example A 10.0.0.2\nwww.both.example A 10.0.0.2\nb.example CNAME .\nwww.b.example CNAME .\n"},
        ZoneCase{"twins of the rows listed with www. only",
                 {{"10.0.0.2", "both.example"}, {"10.0.0.3", "www.r.example"}},
                 {"www.both.example", "www.r.example", "c.example"}, false,
                 "both.example A 10.0.0.2\nr.example A 10.0.0.3\nwww.r.example A 10.0.0.3\nc.example CNAME .\n"
                 "www.both.example CNAME .\n"},
        ZoneCase{"what DNS cannot carry",
                 {{"127.000.000.001", "a.lan"}, {"1.2.3.4.5", "b.lan"}, {"1:2:3:4", "c.lan"}, {"010.0.0.1", "d.lan"},
                  {"fe80::1%eth0", "e.lan"}, {"1::2::3", "f.lan"}, {"10.0.0.9", "rpz-ip.lan"}},
                 {"a..b.example", std::string(63, 'a') + ".com", std::string(64, 'b') + ".com", "caf\xc3\xa9.example",
                  "x.rpz-nsdname.example", "under_score.example"},
                 false, std::string(63, 'a') + ".com CNAME .\nunder_score.example CNAME .\n",
                 {"127.000.000.001\ta.lan", "1.2.3.4.5\tb.lan", "1:2:3:4\tc.lan", "010.0.0.1\td.lan",
                  "fe80::1%eth0\te.lan", "1::2::3\tf.lan", "10.0.0.9\trpz-ip.lan", "0.0.0.0\ta..b.example",
                  "0.0.0.0\t" + std::string(64, 'b') + ".com", "0.0.0.0\tcaf\xc3\xa9.example",
                  "0.0.0.0\tx.rpz-nsdname.example"}},
        // A zone of 204 bytes leaves room for names of 49.
        ZoneCase{"names too long once the zone follows", {}, {kLong45, kLong46}, true, kLong45 + " CNAME .\n",
                 {"0.0.0.0\t" + kLong46, "0.0.0.0\twww." + kLong46, "0.0.0.0\twww." + kLong45}, kOrigin204},
        ZoneCase{"a wildcard over 49 bytes left out", {}, {kLong45.substr(2), kLong45.substr(1)}, false,
                 kLong45.substr(2) + " CNAME .\n*." + kLong45.substr(2) + " CNAME .\n" + kLong45.substr(1) +
                     " CNAME .\n", {}, kOrigin204, true, {"a." + kLong45.substr(1)}},
        ZoneCase{"wildcards after both lists' lines and twins, passthru below them",
                 {{"10.0.0.2", "r.example"}, {"2001:db8::1", "v6.example"}}, {"b.example", "www.t.example"}, false,
                 "r.example A 10.0.0.2\n*.r.example A 10.0.0.2\nv6.example AAAA 2001:db8::1\n"
                 "*.v6.example AAAA 2001:db8::1\nb.example CNAME .\n*.b.example CNAME .\nt.example CNAME .\n"
                 "*.t.example CNAME .\nwww.t.example CNAME .\n*.www.t.example CNAME .\n"
                 "Ad.B.example CNAME rpz-passthru.\na.www.t.example CNAME rpz-passthru.\n"
                 "deep.sub.r.example CNAME rpz-passthru.\n", {}, "rpz.quorvale.", true, kAllowed},
        ZoneCase{"allowed names without wildcards", {{"10.0.0.2", "r.example"}}, {"b.example"}, false,
                 "r.example A 10.0.0.2\nb.example CNAME .\n", {}, "rpz.quorvale.", false, kAllowed}));

TEST(RpzSerial, NeverGoesBackAndIsReadBack) {
  struct {
    uint32_t previous;
    int year, month, day;
    uint32_t next;
  } const cases[] = {{0, 2026, 12, 10, 2026121000}, {2026121000, 2026, 12, 10, 2026121001},
                     {2026121099, 2026, 12, 10, 2026121100}, {2026121005, 2025, 1, 1, 2026121006},
                     {2026121005, 2026, 12, 11, 2026121100}};
  for (const auto& c : cases) {
    const uint32_t next = NextRpzSerial(c.previous, c.year, c.month, c.day);
    EXPECT_EQ(next, c.next) << c.previous;
    EXPECT_EQ(RpzSerialIn(Head("rpz.quorvale.", next)), next);
  }
  EXPECT_EQ(RpzSerialIn("example. 3600 in soa ns. host. 42 1 2 3 4\n"), 42u);
  for (const char* head : {"", "@ IN NS localhost.\n", "@ SOA a. b. 12x 1 2 3 4", "@ SOA a. b. 4294967296 1"}) {
    EXPECT_EQ(RpzSerialIn(head), 0u) << head;
  }
  EXPECT_EQ(RpzZoneName("rpz.quorvale"), "rpz.quorvale.");
  EXPECT_EQ(RpzZoneName(std::string(64, 'z') + ".lan"), "");
}

}  // namespace
}  // namespace quorvale
