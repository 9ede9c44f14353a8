#include "core/name_origin.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <vector>

namespace quorvale {
namespace {

// Hands `data` out a line at a time, as pieces of a file end after an LF.
struct LineByLine : LinePieces {
  explicit LineByLine(std::string_view data) : rest(data) {}
  bool Next(std::string_view* piece) override {
    *piece = rest.substr(0, std::min(rest.find('\n'), rest.size() - 1) + 1);
    rest.remove_prefix(piece->size());
    return !piece->empty();
  }
  uint64_t size_hint() const override { return 0; }
  std::string_view rest;
};

// The lines of a list of `kind`, or of an allow list, read a line a piece.
std::vector<std::string> Found(std::string_view data, std::optional<SourceKind> kind,
                               std::string_view name = "ads.example.com") {
  LineByLine pieces(data);
  NameTrace trace(name);
  std::vector<NameLine> lines;
  EXPECT_TRUE((kind ? trace.FindNameLines(pieces, *kind, {}, &lines) : trace.FindAllowLines(pieces, {}, &lines)).ok());
  std::vector<std::string> found;
  for (const NameLine& line : lines) found.push_back(std::to_string(line.line_number) + ": " + line.line);
  return found;
}

TEST(NameOrigin, FindsTheLinesThatGiveTheNameAsTheLoadsReadThem) {
  EXPECT_EQ(Found("\xEF\xBB\xBF" "127.0.0.1 ADS.Example.com\r\n# 127.0.0.1 ads.example.com\r"
                  "0.0.0.0 notads.example.com\r127.0.0.1 x.test,127.0.0.1 ads.example.com,a.test\n"
                  "10.0.0.1\twww.ads.example.com # redirected\n127.0.0.1 ads.example.com.evil\n"
                  "127.0.0.1 a.test ads.example.com\n127.0.0.1 other.test # ads.example.com\n"
                  "\xEF\xBB\xBF" "127.0.0.1 ads.example.com\nads.example.com",
                  SourceKind::kHosts),
            (std::vector<std::string>{"1: 127.0.0.1 ADS.Example.com",
                                      "4: 127.0.0.1 x.test,127.0.0.1 ads.example.com,a.test",
                                      "5: 10.0.0.1\twww.ads.example.com # redirected"}));
  // A plain list needs a lower-case letter in a name, and splits its lines at commas too.
  EXPECT_EQ(Found("a.test\rb.test\nads.example.com\nADS.EXAMPLE.COM\n# ads.example.com\nsub.ads.example.com\r\n"
                  "Ads.Example.com # note\nwww.ads.example.com/page\nx.test,ads.example.com\n127.0.0.1 ads.example.com",
                  SourceKind::kDomains),
            (std::vector<std::string>{"3: ads.example.com", "7: Ads.Example.com # note", "8: www.ads.example.com/page",
                                      "9: x.test,ads.example.com"}));
  // The "www." twin of a name: the lines that listed it so.
  EXPECT_EQ(Found("ads.example.com\nhttp://www.ads.example.com/x\n", SourceKind::kDomains, "WWW.ads.example.com"),
            std::vector<std::string>{"2: http://www.ads.example.com/x"});
  EXPECT_EQ(Found("ADS.EXAMPLE.COM.\nads.example.co\nwww.ads.example.com\nx.ads.example.com", {}, "www.ads.example.com."),
            (std::vector<std::string>{"1: ADS.EXAMPLE.COM.", "3: www.ads.example.com"}));
}

}  // namespace
}  // namespace quorvale
