#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sort_buffer.h"
#include "yield.h"

namespace quorvale {

// The key of a sort-buffer entry: its text before the first " #[" (the whole entry when it
// has none).
std::string_view EntryKey(std::string_view entry);

// Sorts items[first..last] in place, ascending by byte order (shorter prefix first).
// Indexes outside the vector are clamped to it; a range of fewer than two items is left as it is.
void SortRange(std::vector<std::string>& items, int32_t first, int32_t last, const YieldFn& yield = {});

// "Trier": sorts the buffer and drops every entry whose key equals the key of the last kept
// entry (so of equal keys the first in sorted order survives; empty keys before the first
// kept entry are dropped). An empty buffer stays empty.
void SortAndDeduplicate(SortBuffer& buffer, const YieldFn& yield = {});

}  // namespace quorvale
