#pragma once

#include <cstdint>
#include <string_view>

#include "sort_buffer.h"
#include "yield.h"

namespace quorvale {

// The key of a sort-buffer entry: its text before the first " #[" (the whole entry when it
// has none).
std::string_view EntryKey(std::string_view entry);

// Sorts the entries first..last of the buffer in place, ascending by byte order (unsigned
// bytes; a text that is a prefix of another comes first), which is also std::string's order.
// Indexes outside the buffer are clamped to it; a range of fewer than two entries is left as
// it is.
void SortRange(SortBuffer& buffer, int32_t first, int32_t last, const YieldFn& yield = {});

// "Trier": SortRange over the whole buffer, then drops every entry whose key equals the key
// of the last kept entry (so of equal keys the first in sorted order survives; empty keys
// before the first kept entry are dropped). An empty buffer stays empty.
void SortAndDeduplicate(SortBuffer& buffer, const YieldFn& yield = {});

}  // namespace quorvale
