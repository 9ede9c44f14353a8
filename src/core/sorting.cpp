#include "sorting.h"

#include <algorithm>
#include <utility>

#include "text_sort.h"

namespace quorvale {

namespace {

constexpr std::string_view kCommentMarker = " #[";

}  // namespace

std::string_view EntryKey(std::string_view entry) {
  size_t marker = entry.find(kCommentMarker);
  return marker == std::string_view::npos ? entry : entry.substr(0, marker);
}

void SortRange(std::vector<std::string>& items, int32_t first, int32_t last, const YieldFn& yield) {
  if (first < 0) first = 0;
  const int64_t size = static_cast<int64_t>(items.size());
  if (last >= size) last = static_cast<int32_t>(size - 1);
  if (first >= last) return;

  // Byte order (unsigned, a prefix before every longer string that starts with it), which is
  // also std::string's own order. The positions are ordered first, without moving a string;
  // equal strings are identical, so the result is the one any correct sort gives.
  const size_t count = static_cast<size_t>(last - first) + 1;
  std::vector<uint32_t> order(count);
  for (size_t i = 0; i < count; ++i) order[i] = static_cast<uint32_t>(static_cast<size_t>(first) + i);
  SortIdsByText(
      order, [&items](uint32_t index) { return std::string_view(items[index]); },
      [](uint32_t index) { return index; }, yield);
  // Put the strings in place by following the cycles of the permutation; a position
  // whose string has been placed is marked by pointing at its own slot.
  for (size_t start = 0; start < count; ++start) {
    const size_t home = static_cast<size_t>(first) + start;
    if (order[start] == home) continue;
    std::string carried = std::move(items[home]);
    size_t slot = start;
    while (true) {
      const size_t source = order[slot];
      order[slot] = static_cast<uint32_t>(static_cast<size_t>(first) + slot);
      if (source == home) {
        items[static_cast<size_t>(first) + slot] = std::move(carried);
        break;
      }
      items[static_cast<size_t>(first) + slot] = std::move(items[source]);
      slot = source - static_cast<size_t>(first);
    }
  }
}

void SortAndDeduplicate(SortBuffer& buffer, const YieldFn& yield) {
  if (buffer.empty()) return;
  // The sort's keys are freed before the buffer is arranged, which reuses their memory.
  BigVector<uint32_t> order = SortIndexesByText(
      buffer.size(), [&buffer](uint32_t index) { return buffer[index]; }, [](uint32_t index) { return index; },
      yield);
  if (yield) yield();

  // Each entry is compared with the last kept entry only. Until something is kept the
  // previous key is "", so leading entries with an empty key are dropped.
  size_t kept = 0;
  std::string_view previous_key;
  YieldTicker ticker(yield, 4096);
  for (uint32_t index : order) {
    ticker.Tick();
    std::string_view key = EntryKey(buffer[index]);
    if (key == previous_key) continue;
    order[kept++] = index;
    previous_key = key;
  }
  order.resize(kept);
  buffer.Arrange(order);
  if (yield) yield();
}

}  // namespace quorvale
