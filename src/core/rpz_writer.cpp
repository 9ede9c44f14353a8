#include "rpz_writer.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <unordered_map>

#include "name_rules.h"
#include "text.h"

namespace quorvale {

namespace {

// A DNS name's limits, in bytes of its text without the final dot.
constexpr size_t kLongestLabel = 63;
constexpr size_t kLongestDnsName = 253;
// A label starting so names a policy trigger (rpz-ip, rpz-nsdname...), not a query name.
constexpr std::string_view kTriggerLabelStart = "rpz-";
constexpr unsigned kLoopbackIpv4FirstByte = 127;
constexpr size_t kIpv6Groups = 8;
// The SOA's timers (refresh, retry, expire, negative answers) and the records'
// TTL, in seconds: a secondary asks for a new copy hourly, and a NOTIFY makes it ask at once.
constexpr std::string_view kTtlLine = "$TTL 300\n";
constexpr std::string_view kSoaStart = "@ IN SOA localhost. hostmaster.localhost. ";
constexpr std::string_view kSoaTimers = " 3600 600 604800 300\n";
constexpr std::string_view kNsLine = "@ IN NS localhost.\n";
constexpr std::string_view kSoaType = "SOA";
constexpr std::string_view kBlockedData = " CNAME .\n";
// The owner in front of a name that stands for every name below it, and the data that lets
// a name through what the zone says of the names above it.
constexpr std::string_view kWildcardPrefix = "*.";
constexpr std::string_view kPassthruData = " CNAME rpz-passthru.\n";
constexpr std::string_view kHeaderComment = "; Zone RPZ generee par Quorvale\n";

enum class AddressKind { kBad, kLoopback, kIpv4, kIpv6 };

// The bytes a label of a written name may hold.
constexpr std::array<bool, 256> kLabelBytes = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c) {
    table[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_';
  }
  return table;
}();

bool StartsAsTrigger(const char* label) {
  for (size_t i = 0; i < kTriggerLabelStart.size(); ++i) {
    if (AsciiLower(label[i]) != kTriggerLabelStart[i]) return false;
  }
  return true;
}

// Whether `name` (no final dot) is made of labels a zone file can hold as they are, none a
// policy trigger's when `triggers_refused`. One pass over the bytes: it runs for every name.
bool HasDnsLabels(std::string_view name, bool triggers_refused) {
  size_t start = 0;
  for (size_t i = 0; i <= name.size(); ++i) {
    if (i < name.size() && name[i] != '.') {
      if (!kLabelBytes[static_cast<unsigned char>(name[i])]) return false;
      continue;
    }
    const size_t length = i - start;
    if (length == 0 || length > kLongestLabel) return false;
    if (triggers_refused && length >= kTriggerLabelStart.size() && StartsAsTrigger(name.data() + start)) return false;
    start = i + 1;
  }
  return true;
}

// A cheap first answer to whether a name is among a few: false for most names that are not,
// so that the names of a big list are not all looked up in a small one's index.
class NameFilter {
 public:
  void Add(std::string_view name) {
    const uint32_t key = Key(name);
    bits_[key / 64] |= uint64_t{1} << (key % 64);
  }
  bool MayHold(std::string_view name) const {
    const uint32_t key = Key(name);
    return (bits_[key / 64] >> (key % 64)) & 1;
  }

 private:
  static constexpr uint32_t kKeyBits = 18;
  // The name 8 bytes at a time, with the bit that tells ASCII capitals from small letters
  // set in every byte. The last word is the name's last 8 bytes, which may overlap the word
  // before: one copy instead of a loop over the bytes left.
  static uint32_t Key(std::string_view name) {
    constexpr uint64_t kCaseBits = 0x2020202020202020;
    constexpr uint64_t kMixer = 0x9E3779B97F4A7C15;
    uint64_t mixed = name.size();
    uint64_t word = 0;
    if (name.size() < sizeof word) {
      std::memcpy(&word, name.data(), name.size());
      return Fold((mixed ^ (word | kCaseBits)) * kMixer);
    }
    for (size_t at = 0; at + sizeof word < name.size(); at += sizeof word) {
      std::memcpy(&word, name.data() + at, sizeof word);
      mixed = (mixed ^ (word | kCaseBits)) * kMixer;
    }
    std::memcpy(&word, name.data() + name.size() - sizeof word, sizeof word);
    return Fold((mixed ^ (word | kCaseBits)) * kMixer);
  }
  static uint32_t Fold(uint64_t mixed) { return static_cast<uint32_t>(mixed >> (64 - kKeyBits)); }
  std::vector<uint64_t> bits_ = std::vector<uint64_t>((size_t{1} << kKeyBits) / 64);
};

// A dotted quad without leading zeros; `*first` its first byte.
bool ParseIpv4(std::string_view text, unsigned* first) {
  int parts = 0;
  size_t start = 0;
  while (true) {
    const size_t end = std::min(text.find('.', start), text.size());
    const std::string_view part = text.substr(start, end - start);
    if (part.empty() || part.size() > 3 || (part.size() > 1 && part[0] == '0')) return false;
    unsigned value = 0;
    for (char c : part) {
      if (c < '0' || c > '9') return false;
      value = value * 10 + static_cast<unsigned>(c - '0');
    }
    if (value > 255) return false;
    if (parts == 0) *first = value;
    ++parts;
    if (end == text.size()) return parts == 4;
    if (parts == 4) return false;
    start = end + 1;
  }
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Groups of 1 to 4 hex digits between ":", one "::" for one or more zero
// groups, a dotted quad for the last two: eight groups in all. `*loopback`
// tells whether it is ::1.
bool ParseIpv6(std::string_view text, bool* loopback) {
  std::array<unsigned, kIpv6Groups> groups{};
  size_t count = 0;
  size_t gap = kIpv6Groups + 1;  // where "::" stands, in groups; none yet
  if (StartsWith(text, "::")) {
    gap = 0;
    text.remove_prefix(2);
  }
  while (!text.empty()) {
    const size_t end = std::min(text.find(':'), text.size());
    const std::string_view group = text.substr(0, end);
    unsigned first = 0;
    if (end == text.size() && group.find('.') != std::string_view::npos) {
      if (count + 2 > kIpv6Groups || !ParseIpv4(group, &first)) return false;
      groups[count++] = 1;  // not zero: an embedded IPv4 address is never ::1
      groups[count++] = 1;
      break;
    }
    if (group.empty() || group.size() > 4 || count == kIpv6Groups) return false;
    unsigned value = 0;
    for (char c : group) {
      const int digit = HexValue(c);
      if (digit < 0) return false;
      value = value * 16 + static_cast<unsigned>(digit);
    }
    groups[count++] = value;
    text.remove_prefix(end);
    if (StartsWith(text, "::")) {
      if (gap <= kIpv6Groups) return false;
      gap = count;
      text.remove_prefix(2);
    } else if (!text.empty()) {
      text.remove_prefix(1);
      if (text.empty()) return false;  // a final single ":"
    }
  }
  const bool has_gap = gap <= kIpv6Groups;
  if (has_gap ? count >= kIpv6Groups : count != kIpv6Groups) return false;
  // ::1 is every group zero but the last, which is 1, in the last place.
  const bool last_is_one = count > 0 && groups[count - 1] == 1 && (!has_gap || gap < count);
  *loopback = last_is_one && std::all_of(groups.begin(), groups.begin() + count - 1, [](unsigned g) { return g == 0; });
  return true;
}

AddressKind KindOf(std::string_view address) {
  unsigned first = 0;
  if (address.find(':') == std::string_view::npos) {
    if (!ParseIpv4(address, &first)) return AddressKind::kBad;
    return first == kLoopbackIpv4FirstByte ? AddressKind::kLoopback : AddressKind::kIpv4;
  }
  bool loopback = false;
  if (!ParseIpv6(address, &loopback)) return AddressKind::kBad;
  return loopback ? AddressKind::kLoopback : AddressKind::kIpv6;
}

// The allowed names and their ancestors, lower case and without a final dot, with what the
// zone wrote for each: whether a name needs a passthru line is known once every line is out.
class AllowedNames {
 public:
  explicit AllowedNames(const EntryList& allowed) {
    allowed.ForEachRow([this](const EntryList::RowTexts& row) {
      const std::string name = AsciiLower(WithoutTrailingDot(row.name));
      auto mark = [this](std::string_view one) {
        filter_.Add(one);
        marks_.try_emplace(std::string(one));
        return false;
      };
      mark(name);
      AnyNameAbove(name, mark);
      names_.emplace_back(WithoutTrailingDot(row.name));
      return true;
    });
  }
  // A written line's owner (without its "*.").
  void Written(std::string_view name, bool wildcard) {
    if (!filter_.MayHold(name)) return;
    const auto found = marks_.find(AsciiLower(name));
    if (found == marks_.end()) return;
    found->second.exact = true;
    found->second.wildcard = found->second.wildcard || wildcard;
  }
  // Calls `let_through` once for each allowed name (as given, without its final dot) that the
  // zone did not write, below a name whose "*." line it did.
  template <typename Fn>
  void ForEachCaught(const Fn& let_through) {
    for (const std::string& given : names_) {
      const std::string name = AsciiLower(given);
      Marks& own = marks_.at(name);
      if (own.exact || own.passthru) continue;
      if (!AnyNameAbove(name, [this](std::string_view above) { return marks_.at(std::string(above)).wildcard; })) {
        continue;
      }
      own.passthru = true;
      let_through(given);
    }
  }

 private:
  // Whether `is` holds for a name above `name` ("b.c" or "c" for "a.b.c"), nearest first.
  template <typename Fn>
  static bool AnyNameAbove(std::string_view name, const Fn& is) {
    for (size_t dot = name.find('.'); dot != std::string_view::npos; dot = name.find('.', dot + 1)) {
      if (is(name.substr(dot + 1))) return true;
    }
    return false;
  }
  struct Marks {
    bool exact = false;
    bool wildcard = false;
    bool passthru = false;
  };
  NameFilter filter_;
  std::unordered_map<std::string, Marks> marks_;
  std::vector<std::string> names_;
};

void Put(char*& cursor, std::string_view text) {
  std::memcpy(cursor, text.data(), text.size());
  cursor += text.size();
}

// After the line from `line` up to `end`, whose owner is its first `owner_size` bytes, the
// same line for "*." and the owner when that is a name of at most `longest_name` bytes; tells
// `allowed` (when there is one) what was written. Returns the end of what it wrote.
char* AppendWildcard(char* line, char* end, size_t owner_size, size_t longest_name, AllowedNames* allowed) {
  const bool fits = kWildcardPrefix.size() + owner_size <= longest_name;
  if (allowed != nullptr) allowed->Written({line, owner_size}, fits);
  if (!fits) return end;
  const size_t written = static_cast<size_t>(end - line);
  Put(end, kWildcardPrefix);
  std::memcpy(end, line, written);
  return end + written;
}

}  // namespace

std::string RpzZoneName(std::string_view zone) {
  const std::string_view name = WithoutTrailingDot(zone);
  if (name.empty() || name.size() > kLongestDnsName || !HasDnsLabels(name, false)) return {};
  return std::string(name) + ".";
}

uint32_t RpzSerialIn(std::string_view zone_head) {
  // The words of the SOA line: [owner] [class] [ttl] SOA mname rname serial.
  constexpr std::string_view kBlanks = " \t";
  constexpr size_t kWordsToSerial = 3;
  while (!zone_head.empty()) {
    const size_t line_end = std::min(zone_head.find('\n'), zone_head.size());
    std::string_view line = zone_head.substr(0, line_end);
    zone_head.remove_prefix(std::min(line_end + 1, zone_head.size()));
    size_t after_soa = 0;
    while (!line.empty()) {
      line.remove_prefix(std::min(line.size(), line.find_first_not_of(kBlanks)));
      const size_t word_end = std::min(line.find_first_of(kBlanks), line.size());
      const std::string_view word = line.substr(0, word_end);
      line.remove_prefix(word_end);
      if (after_soa > 0 && ++after_soa == kWordsToSerial + 1) {
        uint64_t serial = 0;
        for (char c : word) {
          if (c < '0' || c > '9' || serial > UINT32_MAX) return 0;
          serial = serial * 10 + static_cast<unsigned>(c - '0');
        }
        return serial <= UINT32_MAX ? static_cast<uint32_t>(serial) : 0;
      }
      if (after_soa == 0 && EqualsIgnoreAsciiCase(word, kSoaType)) after_soa = 1;
    }
  }
  return 0;
}

uint32_t NextRpzSerial(uint32_t previous, int year, int month, int day) {
  constexpr uint32_t kChangesPerDay = 100;
  const uint32_t today = static_cast<uint32_t>((year * 10000 + month * 100 + day)) * kChangesPerDay;
  return std::max(previous + 1, today);
}

bool FormatRpzZone(const Session& session, const WriteOptions& options, const RpzZone& zone, const ByteSink& sink,
                   std::vector<std::string>* rejected, const YieldFn& yield) {
  const EntryList& redirected = session.redirected;
  // The owner's text and the origin's, without its final dot, are one name of at most 253.
  const size_t longest_name = kLongestDnsName - std::min(kLongestDnsName, zone.origin.size());
  ChunkedOutput out(sink);
  out.Append(kHeaderComment);
  out.Append("$ORIGIN ");
  out.Append(zone.origin);
  out.Append("\n");
  out.Append(kTtlLine);
  out.Append(kSoaStart);
  out.Append(std::to_string(zone.serial));
  out.Append(kSoaTimers);
  out.Append(kNsLine);

  YieldTicker ticker(yield, kYieldEveryRows);
  // The line as the HOSTS file holds it goes to the rejected lines.
  auto reject = [&](std::string_view address, std::string_view prefix, std::string_view name) {
    std::string line(address);
    line += '\t';
    line += prefix;
    line += name;
    rejected->push_back(std::move(line));
  };
  std::unique_ptr<AllowedNames> allowed;
  if (zone.wildcards && !session.allowed.empty()) allowed = std::make_unique<AllowedNames>(session.allowed);
  // One line, or its rejection; `data` follows the name (" CNAME .\n", " A ", " AAAA "). With
  // wildcards, its "*." line follows it.
  auto append_line = [&](std::string_view prefix, std::string_view name, std::string_view data,
                         std::string_view address, std::string_view row_address) {
    name = WithoutTrailingDot(name);
    const size_t owner_size = prefix.size() + name.size();
    if (owner_size > longest_name || !HasDnsLabels(name, true)) {
      reject(row_address, prefix, name);
      return;
    }
    const size_t line_size = owner_size + data.size() + address.size() + 1;
    char* cursor = out.Room(zone.wildcards ? 2 * line_size + kWildcardPrefix.size() : line_size);
    char* const line = cursor;
    Put(cursor, prefix);
    Put(cursor, name);
    Put(cursor, data);
    if (!address.empty()) {
      Put(cursor, address);
      *cursor++ = '\n';
    }
    if (zone.wildcards) cursor = AppendWildcard(line, cursor, owner_size, longest_name, allowed.get());
    out.Commit(cursor);
  };
  // The lines of the HOSTS file of the lists, in its order. A blocked name is looked up in
  // the redirections with and without its final dot: both are one name in the zone.
  NameFilter redirected_names;
  redirected.ForEachRow([&](const EntryList::RowTexts& row) {
    redirected_names.Add(WithoutTrailingDot(row.name));
    return true;
  });
  auto redirected_holds = [&](std::string_view name, bool listed_with_www) {
    name = WithoutTrailingDot(name);
    if (redirected.empty() || !redirected_names.MayHold(name)) return false;
    auto holds = [&](std::string_view key) {
      return listed_with_www ? redirected.ContainsListedWithWww(key) : redirected.Contains(key);
    };
    return holds(name) || holds(std::string(name) + ".");
  };
  ForEachWrittenRow(redirected, options.add_www, ticker, [&](const EntryList::RowTexts& row, std::string_view prefix) {
    switch (KindOf(row.address)) {
      case AddressKind::kLoopback:
        break;
      case AddressKind::kBad:
        reject(row.address, prefix, row.name);
        break;
      case AddressKind::kIpv4:
        append_line(prefix, row.name, " A ", row.address, row.address);
        break;
      case AddressKind::kIpv6:
        append_line(prefix, row.name, " AAAA ", row.address, row.address);
        break;
    }
    return !out.failed();
  });
  ForEachWrittenRow(session.blocked, options.add_www, ticker,
                    [&](const EntryList::RowTexts& row, std::string_view prefix) {
                      // A redirected name's twin is its redirection's when that one is written.
                      if (redirected_holds(row.name, !prefix.empty() && !options.add_www)) return true;
                      append_line(prefix, row.name, kBlockedData, {}, options.redirect_address);
                      return !out.failed();
                    });
  if (allowed) {
    allowed->ForEachCaught([&](std::string_view name) {
      if (name.size() > longest_name || !HasDnsLabels(name, true)) return;
      out.Append(name);
      out.Append(kPassthruData);
    });
  }
  return out.Finish();
}

}  // namespace quorvale
