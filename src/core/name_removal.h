#pragma once

#include <cstddef>

#include "session.h"

namespace quorvale {

// Takes every name of `names` (its rows' names) out of both lists and out of the sort buffer;
// a sort-buffer entry is compared by its name, the text before its " #[" comment (EntryKey).
// Names are compared ignoring ASCII case and one trailing "." on either side
// (WithoutTrailingDot). Returns how many rows and entries went, in all.
size_t RemoveNames(Session& session, const EntryList& names);
// As RemoveNames, and adds the names to session.allowed.
size_t RemoveAllowedNames(Session& session, const EntryList& names);

}  // namespace quorvale
