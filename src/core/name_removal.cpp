#include "name_removal.h"

#include "name_rules.h"
#include "sorting.h"

namespace quorvale {

size_t RemoveNames(Session& session, const EntryList& names) {
  if (names.empty()) return 0;
  // The names as they are compared: without one trailing dot on either side.
  EntryList keys;
  keys.Reserve(names.size(), names.text_bytes(), true);
  for (size_t i = 0; i < names.size(); ++i) keys.Add(WithoutTrailingDot(names.Name(i)), "", "");
  auto listed = [&keys](std::string_view name) { return keys.Contains(WithoutTrailingDot(name)); };
  size_t removed = session.blocked.RemoveRowsWhere(listed) + session.redirected.RemoveRowsWhere(listed);
  const size_t entries = session.SortArray.size();
  session.SortArray.KeepIf([&listed](std::string_view entry) { return !listed(EntryKey(entry)); });
  return removed + entries - session.SortArray.size();
}

size_t RemoveAllowedNames(Session& session, const EntryList& names) {
  names.ForEachRow([&session](const EntryList::RowTexts& row) {
    session.allowed.Add(row.name, "", "");
    return true;
  });
  return RemoveNames(session, names);
}

}  // namespace quorvale
