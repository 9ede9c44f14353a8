#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "big_buffer.h"
#include "yield.h"

namespace quorvale {

// Sorts `ids` by the byte order of text(id) (a text that is a prefix of another comes
// first); ids with equal texts are ordered by tie(id). `yield` is offered now and then while
// it works.
template <typename TextFn, typename TieFn>
void SortIdsByText(std::span<uint32_t> ids, TextFn text, TieFn tie, const YieldFn& yield = {});

// The same for the ids 0 .. count - 1, returned in order.
template <typename TextFn, typename TieFn>
BigVector<uint32_t> SortIndexesByText(size_t count, TextFn text, TieFn tie, const YieldFn& yield = {});

// How: an MSD sort on 8-byte digits. Each level orders fixed-size keys (a radix sort for big
// ranges, so that the window can be offered a yield between passes), then goes on with the
// runs whose keys are equal, 8 bytes further on. Many ids are first dealt into buckets by
// their first two bytes, and each bucket is sorted on its own: the keys then take room for
// one bucket at a time, not for all ids at once, which keeps the peak memory of a
// million-name sort a fifth lower.
namespace text_sort_internal {

// From this many ids on, the ids are dealt into buckets first.
inline constexpr size_t kBucketedSortFrom = 65536;
// From this many items on, a range is ordered by a radix sort rather than std::sort.
inline constexpr size_t kRadixSortFrom = 4096;
// A radix pass sorts on 16 bits of the key at a time.
inline constexpr size_t kRadixDigits = size_t{1} << 16;

struct Item {
  uint64_t key;    // the 8 bytes at the current depth, big-endian, zero-padded
  uint32_t id;
  uint32_t taken;  // how many of those 8 bytes the text really has
};

inline bool KeyLess(const Item& a, const Item& b) {
  return a.key != b.key ? a.key < b.key : a.taken < b.taken;
}

inline void SetKey(Item& item, std::string_view text, size_t depth) {
  uint64_t key = 0;
  uint32_t taken = 0;
  if (depth < text.size()) {
    taken = static_cast<uint32_t>(std::min<size_t>(8, text.size() - depth));
    const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data() + depth);
    for (uint32_t i = 0; i < taken; ++i) key |= static_cast<uint64_t>(bytes[i]) << (56 - 8 * i);
  }
  item.key = key;
  item.taken = taken;
}

// LSD radix sort by (key, taken): a pass over `taken`, then four passes of 16 bits of the
// key, lowest first; passes in which every item has the same digit are skipped.
inline void RadixSort(Item* first, Item* last, std::vector<Item>& scratch, YieldTicker& ticker) {
  const size_t n = static_cast<size_t>(last - first);
  scratch.resize(n);
  Item* from = first;
  Item* to = scratch.data();
  std::vector<size_t> count(kRadixDigits);
  for (int pass = 0; pass < 5; ++pass) {
    auto digit = [pass](const Item& item) -> unsigned {
      return pass == 0 ? item.taken : static_cast<unsigned>((item.key >> (16 * (pass - 1))) & 0xffff);
    };
    const size_t buckets = pass == 0 ? 9 : count.size();
    std::fill(count.begin(), count.begin() + static_cast<std::ptrdiff_t>(buckets), 0);
    for (size_t i = 0; i < n; ++i) ++count[digit(from[i])];
    if (count[digit(from[0])] == n) continue;
    size_t position = 0;
    for (size_t b = 0; b < buckets; ++b) {
      size_t here = count[b];
      count[b] = position;
      position += here;
    }
    for (size_t i = 0; i < n; ++i) to[count[digit(from[i])]++] = from[i];
    std::swap(from, to);
    ticker.Now();
  }
  if (from != first) std::copy(from, from + n, first);
}

// Orders [first, last) level by level with a work list instead of recursion, so that texts
// sharing very long prefixes cannot exhaust the stack.
// The keys of [first, last) at `depth` are set by the caller.
template <typename TextFn, typename TieFn>
void SortLevels(Item* first, Item* last, size_t depth, TextFn& text, TieFn& tie, std::vector<Item>& scratch,
                YieldTicker& ticker) {
  struct Range {
    Item* first;
    Item* last;
    size_t depth;
  };
  std::vector<Range> work{{first, last, depth}};
  bool keys_set = true;
  while (!work.empty()) {
    Range range = work.back();
    work.pop_back();
    const size_t n = static_cast<size_t>(range.last - range.first);
    if (!keys_set) {
      for (Item* item = range.first; item != range.last; ++item) SetKey(*item, text(item->id), range.depth);
    }
    keys_set = false;
    if (n >= kRadixSortFrom) {
      RadixSort(range.first, range.last, scratch, ticker);
    } else {
      std::sort(range.first, range.last, KeyLess);
    }
    for (Item* run = range.first; run != range.last;) {
      Item* end = run + 1;
      while (end != range.last && end->key == run->key && end->taken == run->taken) ++end;
      if (end - run > 1) {
        if (run->taken == 8) {
          work.push_back({run, end, range.depth + 8});
        } else {
          // The texts are equal.
          std::sort(run, end, [&tie](const Item& a, const Item& b) { return tie(a.id) < tie(b.id); });
        }
      }
      ticker.Tick();
      run = end;
    }
  }
}

// The bucket of a text: its first two bytes, then how many of them it has (0 to 2), so that
// bucket order is byte order as far as two bytes go.
inline size_t BucketOf(std::string_view text) {
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(text.data());
  if (text.size() >= 2) return ((size_t{bytes[0]} << 8 | bytes[1]) * 3) + 2;
  if (text.size() == 1) return (size_t{bytes[0]} << 8) * 3 + 1;
  return 0;
}

}  // namespace text_sort_internal

namespace text_sort_internal {

// The items of ids id_at(0) .. id_at(n - 1), sorted. The items are the sort's biggest block
// of memory and are taken first, so that they can reuse a block just freed; they are not
// cleared ahead (fresh memory may be slow to come, and it comes here between the yields).
template <typename IdAt, typename TextFn, typename TieFn>
BigArray<Item> SortedItems(size_t n, IdAt id_at, TextFn& text, TieFn& tie, YieldTicker& ticker) {
  BigArray<Item> items(n);
  std::vector<Item> scratch;
  if (n < kBucketedSortFrom) {
    for (size_t i = 0; i < n; ++i) {
      items[i].id = id_at(i);
      SetKey(items[i], text(items[i].id), 0);
    }
    SortLevels(items.get(), items.get() + n, 0, text, tie, scratch, ticker);
    return items;
  }

  // Deal the ids into buckets (keeping their order within a bucket), each with the key of its
  // next 8 bytes: the texts are read in the callers' order, mostly the order they are stored in.
  constexpr size_t kBuckets = 65536 * 3;
  std::vector<uint32_t> start(kBuckets + 1, 0);
  for (size_t i = 0; i < n; ++i) {
    ++start[BucketOf(text(id_at(i))) + 1];
    ticker.Tick();
  }
  for (size_t b = 0; b < kBuckets; ++b) start[b + 1] += start[b];
  {
    std::vector<uint32_t> next(start.begin(), start.end() - 1);
    for (size_t i = 0; i < n; ++i) {
      const uint32_t id = id_at(i);
      const std::string_view id_text = text(id);
      Item& item = items[next[BucketOf(id_text)]++];
      item.id = id;
      SetKey(item, id_text, 2);
      ticker.Tick();
    }
  }
  ticker.Now();

  for (size_t b = 0; b < kBuckets; ++b) {
    Item* first = items.get() + start[b];
    Item* last = items.get() + start[b + 1];
    if (last - first < 2) continue;
    if (b % 3 != 2) {
      // Texts shorter than two bytes: the bucket's texts are all equal.
      std::sort(first, last, [&tie](const Item& x, const Item& y) { return tie(x.id) < tie(y.id); });
      continue;
    }
    SortLevels(first, last, 2, text, tie, scratch, ticker);
    ticker.Tick();
  }
  return items;
}

}  // namespace text_sort_internal

template <typename TextFn, typename TieFn>
void SortIdsByText(std::span<uint32_t> ids, TextFn text, TieFn tie, const YieldFn& yield) {
  YieldTicker ticker(yield, kYieldEverySortSteps);
  const BigArray<text_sort_internal::Item> items =
      text_sort_internal::SortedItems(ids.size(), [&ids](size_t i) { return ids[i]; }, text, tie, ticker);
  for (size_t i = 0; i < ids.size(); ++i) ids[i] = items[i].id;
}

template <typename TextFn, typename TieFn>
BigVector<uint32_t> SortIndexesByText(size_t count, TextFn text, TieFn tie, const YieldFn& yield) {
  YieldTicker ticker(yield, kYieldEverySortSteps);
  const BigArray<text_sort_internal::Item> items = text_sort_internal::SortedItems(
      count, [](size_t i) { return static_cast<uint32_t>(i); }, text, tie, ticker);
  BigVector<uint32_t> ids;
  ids.reserve(count);
  for (size_t i = 0; i < count; ++i) {
    ids.push_back(items[i].id);
    ticker.Tick();
  }
  return ids;
}

}  // namespace quorvale
