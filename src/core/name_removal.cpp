#include "name_removal.h"

#include "sorting.h"

namespace quorvale {

size_t RemoveNames(Session& session, const EntryList& names) {
  if (names.empty()) return 0;
  auto listed = [&names](std::string_view name) { return names.Contains(name); };
  size_t removed = session.blocked.RemoveRowsWhere(listed) + session.redirected.RemoveRowsWhere(listed);
  const size_t entries = session.SortArray.size();
  session.SortArray.KeepIf([&listed](std::string_view entry) { return !listed(EntryKey(entry)); });
  return removed + entries - session.SortArray.size();
}

}  // namespace quorvale
