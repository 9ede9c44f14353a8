#pragma once

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

// Removes every "www.", "http://" and "https://" at the start of `text`, as many as there
// are, in any order. The prefixes are compared exactly: "WWW." and "HTTP://" stay.
inline std::string_view StripWebPrefixes(std::string_view text) {
  constexpr std::string_view kPrefixes[] = {"www.", "http://", "https://"};
  for (bool removed = true; removed;) {
    removed = false;
    for (std::string_view prefix : kPrefixes) {
      if (StartsWith(text, prefix)) {
        text.remove_prefix(prefix.size());
        removed = true;
      }
    }
  }
  return text;
}

// The host of a URL pasted as a name: the text before its first "/" (all of it when there is
// none, "" for "/path").
inline std::string_view WithoutPath(std::string_view name) { return name.substr(0, name.find('/')); }

}  // namespace quorvale
