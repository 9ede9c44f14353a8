// "Trier" and SortRange over arbitrary entries (one per LF-ended piece of the input), checked
// against the standard library's sort and the duplicate rule written out plainly.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "support/list_rows.h"
#include "core/sort_buffer.h"
#include "core/sorting.h"
#include "fuzz_check.h"

namespace {

std::vector<std::string> Split(std::string_view data) {
  std::vector<std::string> items;
  while (!data.empty()) {
    size_t cut = data.find('\n');
    items.emplace_back(data.substr(0, cut));
    if (cut == std::string_view::npos) break;
    data.remove_prefix(cut + 1);
  }
  return items;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
  if (size < 2) return 0;
  // The first two bytes choose the range of SortRange, reaching past both ends now and then.
  const int32_t first = static_cast<int32_t>(bytes[0]) - 8;
  const int32_t last = static_cast<int32_t>(bytes[1]) - 8;
  const std::vector<std::string> input = Split(std::string_view(reinterpret_cast<const char*>(bytes) + 2, size - 2));

  quorvale::SortBuffer ranged;
  for (const std::string& item : input) ranged.Append(item);
  quorvale::SortRange(ranged, first, last);
  std::vector<std::string> expected_range = input;
  const int32_t count = static_cast<int32_t>(input.size());
  const int32_t from = std::max(first, 0);
  const int32_t to = std::min(last, count - 1);
  if (from < to) std::sort(expected_range.begin() + from, expected_range.begin() + to + 1);
  FUZZ_CHECK(quorvale::testing::Entries(ranged) == expected_range);

  quorvale::SortBuffer buffer;
  for (const std::string& item : input) buffer.Append(item);
  quorvale::SortAndDeduplicate(buffer);

  std::vector<std::string> sorted = input;
  std::sort(sorted.begin(), sorted.end());
  std::vector<std::string> expected;
  std::string previous_key;
  for (const std::string& item : sorted) {
    const std::string key(quorvale::EntryKey(item));
    if (key == previous_key) continue;
    expected.push_back(item);
    previous_key = key;
  }
  FUZZ_CHECK(quorvale::testing::Entries(buffer) == expected);
  return 0;
}
