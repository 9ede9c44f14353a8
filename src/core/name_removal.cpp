#include "name_removal.h"

#include <cstdint>
#include <unordered_set>

#include "sorting.h"
#include "text.h"

namespace quorvale {

namespace {

struct HashIgnoringCase {
  using is_transparent = void;
  size_t operator()(std::string_view text) const {
    // FNV-1a over the lower-cased bytes.
    uint64_t h = 14695981039346656037ull;
    for (char c : text) h = (h ^ static_cast<unsigned char>(AsciiLower(c))) * 1099511628211ull;
    return static_cast<size_t>(h);
  }
};

struct EqualIgnoringCase {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const { return EqualsIgnoreAsciiCase(a, b); }
};

}  // namespace

size_t RemoveNames(Session& session, std::span<const std::string_view> names) {
  if (names.empty()) return 0;
  const std::unordered_set<std::string_view, HashIgnoringCase, EqualIgnoringCase> doomed(names.begin(), names.end());
  auto listed = [&doomed](std::string_view name) { return doomed.contains(name); };
  size_t removed = session.list1.RemoveRowsWhere(listed) + session.list2.RemoveRowsWhere(listed);
  const size_t entries = session.SortArray.size();
  session.SortArray.KeepIf([&listed](std::string_view entry) { return !listed(EntryKey(entry)); });
  return removed + entries - session.SortArray.size();
}

}  // namespace quorvale
