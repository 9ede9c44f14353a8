#include "sorting.h"

#include <algorithm>
#include <utility>

namespace quorvale {

namespace {

constexpr std::string_view kCommentMarker = " #[";

constexpr size_t kWindow = 16;

// One string of the range being sorted, seen through a 16-byte window at the current depth:
// `high` and `low` hold those bytes big-endian (zero-padded past the end of the string) and
// `width` says how many of them are real (0 to 16). Ordering by (high, low, width) is byte
// order on the window: zero padding can only tie a shorter string with a longer one, and
// then the smaller width, the proper prefix, comes first.
struct Record {
  uint64_t high;
  uint64_t low;
  uint32_t index;
  uint32_t width;
};

uint64_t LoadBigEndian(const char* bytes, size_t count) {
  uint64_t value = 0;
  for (size_t b = 0; b < 8; ++b) {
    value <<= 8;
    if (b < count) value |= static_cast<unsigned char>(bytes[b]);
  }
  return value;
}

struct Pending {
  size_t begin;
  size_t end;
  size_t offset;
};

void LoadWindow(const std::vector<std::string>& items, size_t offset, Record* record) {
  const std::string& item = items[record->index];
  const size_t width = item.size() > offset ? std::min(item.size() - offset, kWindow) : 0;
  const char* bytes = item.data() + offset;
  record->high = LoadBigEndian(bytes, std::min<size_t>(width, 8));
  record->low = width > 8 ? LoadBigEndian(bytes + 8, width - 8) : 0;
  record->width = static_cast<uint32_t>(width);
}

}  // namespace

std::string_view EntryKey(std::string_view entry) {
  size_t marker = entry.find(kCommentMarker);
  return marker == std::string_view::npos ? entry : entry.substr(0, marker);
}

void SortRange(std::vector<std::string>& items, int32_t first, int32_t last) {
  if (first < 0) first = 0;
  const int64_t size = static_cast<int64_t>(items.size());
  if (last >= size) last = static_cast<int32_t>(size - 1);
  if (first >= last) return;

  // Byte order (unsigned, a prefix before every longer string that starts with it), which is
  // also std::string's own order. Comparing the strings directly chases a pointer per
  // comparison; instead small records are sorted sixteen bytes at a time, and only the runs
  // that tie on all bytes so far are looked at again, sixteen bytes further on. Strings that
  // compare equal are identical, so the result is the one any correct sort gives. The work
  // list replaces recursion, so no input can exhaust the stack.
  const size_t count = static_cast<size_t>(last - first) + 1;
  std::vector<Record> records(count);
  for (size_t i = 0; i < count; ++i) records[i].index = static_cast<uint32_t>(static_cast<size_t>(first) + i);

  auto less = [](const Record& a, const Record& b) {
    if (a.high != b.high) return a.high < b.high;
    if (a.low != b.low) return a.low < b.low;
    return a.width < b.width;
  };
  std::vector<Pending> pending{{0, count, 0}};
  while (!pending.empty()) {
    const Pending range = pending.back();
    pending.pop_back();
    for (size_t i = range.begin; i < range.end; ++i) LoadWindow(items, range.offset, &records[i]);
    std::sort(records.begin() + static_cast<std::ptrdiff_t>(range.begin),
              records.begin() + static_cast<std::ptrdiff_t>(range.end), less);
    // A run that ties on a full window may still differ further on; a run that ties on a
    // partial window holds identical strings.
    size_t run = range.begin;
    while (run < range.end) {
      size_t next = run + 1;
      while (next < range.end && records[next].high == records[run].high &&
             records[next].low == records[run].low &&
             records[next].width == records[run].width) {
        ++next;
      }
      if (next - run > 1 && records[run].width == kWindow) {
        pending.push_back({run, next, range.offset + kWindow});
      }
      run = next;
    }
  }

  // Put the strings in place by following the cycles of the permutation; a record whose
  // string has been placed is marked by pointing at its own slot.
  for (size_t start = 0; start < count; ++start) {
    const size_t home = static_cast<size_t>(first) + start;
    if (records[start].index == home) continue;
    std::string carried = std::move(items[home]);
    size_t slot = start;
    while (true) {
      const size_t source = records[slot].index;
      records[slot].index = static_cast<uint32_t>(static_cast<size_t>(first) + slot);
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
  std::vector<std::string>& items = buffer.items();
  if (items.empty()) return;
  SortRange(items, 0, static_cast<int32_t>(items.size() - 1));
  if (yield) yield();

  // Each entry is compared with the last kept entry only. Until something is kept the
  // previous key is "", so leading entries with an empty key are dropped.
  size_t kept = 0;
  std::string_view previous_key;
  for (size_t i = 0; i < items.size(); ++i) {
    std::string_view key = EntryKey(items[i]);
    if (key == previous_key) continue;
    if (kept != i) items[kept] = std::move(items[i]);
    previous_key = EntryKey(items[kept]);
    ++kept;
  }
  items.resize(kept);
  if (yield) yield();
}

}  // namespace quorvale
