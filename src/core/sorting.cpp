#include "sorting.h"

#include <numeric>
#include <string_view>
#include <vector>

#include "text_sort.h"

namespace quorvale {

namespace {

constexpr std::string_view kCommentMarker = " #[";

}  // namespace

std::string_view EntryKey(std::string_view entry) {
  size_t marker = entry.find(kCommentMarker);
  return marker == std::string_view::npos ? entry : entry.substr(0, marker);
}

void SortRange(SortBuffer& buffer, int32_t first, int32_t last, const YieldFn& yield) {
  if (first < 0) first = 0;
  const int64_t size = static_cast<int64_t>(buffer.size());
  if (last >= size) last = static_cast<int32_t>(size - 1);
  if (first >= last) return;

  // The places are ordered first and the entries moved once; equal entries are identical,
  // so the result is the one any correct sort gives.
  const uint32_t start = static_cast<uint32_t>(first);
  const size_t count = static_cast<size_t>(last - first) + 1;
  BigVector<uint32_t> order = SortIndexesByText(
      count, [&buffer, start](uint32_t index) { return buffer[start + index]; },
      [](uint32_t index) { return index; }, yield);
  if (count == buffer.size()) {
    buffer.Arrange(order);
    return;
  }
  // The entries outside the range keep their places.
  std::vector<uint32_t> whole(buffer.size());
  std::iota(whole.begin(), whole.end(), 0u);
  for (size_t i = 0; i < count; ++i) whole[start + i] = start + order[i];
  buffer.Arrange(whole);
}

void SortAndDeduplicate(SortBuffer& buffer, const YieldFn& yield) {
  if (buffer.empty()) return;
  SortRange(buffer, 0, static_cast<int32_t>(buffer.size() - 1), yield);
  if (yield) yield();

  // Each entry is compared with the last kept entry only. Until something is kept the
  // previous key is "", so leading entries with an empty key are dropped.
  std::string_view previous_key;
  YieldTicker ticker(yield, kYieldEveryRows);
  buffer.KeepIf([&](std::string_view entry) {
    ticker.Tick();
    const std::string_view key = EntryKey(entry);
    if (key == previous_key) return false;
    previous_key = key;
    return true;
  });
  if (yield) yield();
}

}  // namespace quorvale
