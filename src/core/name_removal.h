#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "session.h"

namespace quorvale {

// Takes every name of `names` out of both lists and out of the sort buffer, comparing names
// ignoring ASCII case; a sort-buffer entry is compared by its name, the text before its
// " #[" comment (EntryKey). Returns how many rows and entries went, in all.
size_t RemoveNames(Session& session, std::span<const std::string_view> names);

}  // namespace quorvale
