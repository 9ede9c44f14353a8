#pragma once

#include <array>
#include <cstddef>
#include <string_view>

#include "text.h"

namespace quorvale {

// The names the HOSTS-format and plain-list parsers accept are 4 to 128 bytes long.
inline constexpr size_t kShortestName = 4;
inline constexpr size_t kLongestName = 128;

inline bool HasNameLength(std::string_view name) {
  return name.size() >= kShortestName && name.size() <= kLongestName;
}

// The bytes a name of a HOSTS line or of a plain list may hold: ASCII letters and digits,
// "-", "_", "." and every byte from 0x80 up (the bytes of UTF-8 letters). A line whose name
// holds another byte (a tag, a port, a wildcard, a quote, a control byte) gives no entry.
inline constexpr std::array<bool, 256> kNameBytes = [] {
  std::array<bool, 256> table{};
  for (int c = 0; c < 256; ++c) {
    table[c] = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '_' ||
               c == '.' || c >= 0x80;
  }
  return table;
}();

inline bool HasOnlyNameBytes(std::string_view name) {
  for (char c : name) {
    if (!kNameBytes[static_cast<unsigned char>(c)]) return false;
  }
  return true;
}

// The "www." at the start of a name, which the loads take off (example.com and
// www.example.com are one row).
inline constexpr std::string_view kWwwPrefix = "www.";

// Whether a load flags the rows whose name one of its lines listed with "www." (see
// EntryList), so that the HOSTS writer gives them their "www." twin back. Only an update's
// loads flag them; every other load leaves the rows as they were.
enum class WwwListing { kIgnore, kFlag };

// Removes every "www.", "http://" and "https://" at the start of `text`, as many as there
// are, in any order. The prefixes are compared exactly: "WWW." and "HTTP://" stay.
// `*had_www`, when given, is set to whether a "www." was among them.
inline std::string_view StripWebPrefixes(std::string_view text, bool* had_www = nullptr) {
  constexpr std::string_view kSchemes[] = {"http://", "https://"};
  bool www = false;
  for (bool removed = true; removed;) {
    removed = false;
    if (StartsWith(text, kWwwPrefix)) {
      text.remove_prefix(kWwwPrefix.size());
      removed = www = true;
    }
    for (std::string_view scheme : kSchemes) {
      if (StartsWith(text, scheme)) {
        text.remove_prefix(scheme.size());
        removed = true;
      }
    }
  }
  if (had_www != nullptr) *had_www = www;
  return text;
}

// A name as allow.txt compares it: without one trailing "." (a fully qualified name and the
// same name without its root dot are one name). Case is ignored by the list's keys.
inline std::string_view WithoutTrailingDot(std::string_view name) {
  if (!name.empty() && name.back() == '.') name.remove_suffix(1);
  return name;
}

// The host of a URL pasted as a name: the text before its first "/" (all of it when there is
// none, "" for "/path").
inline std::string_view WithoutPath(std::string_view name) { return name.substr(0, name.find('/')); }

}  // namespace quorvale
