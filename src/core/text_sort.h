#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "yield.h"

namespace quorvale {

// Sorts `ids` by the byte order of text(id) (a text that is a prefix of another comes
// first); ids with equal texts are ordered by tie(id). An MSD sort on 8-byte digits: each
// level orders fixed-size keys (a radix sort for big ranges, so that the window can be
// offered a yield between passes), then goes on with the runs whose keys are equal, 8 bytes further on.
template <typename TextFn, typename TieFn>
void SortIdsByText(std::vector<uint32_t>& ids, TextFn text, TieFn tie, const YieldFn& yield = {});

namespace text_sort_internal {

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

// LSD radix sort by (key, taken), one byte per pass; passes in which every item has the same
// byte are skipped.
inline void RadixSort(Item* first, Item* last, std::vector<Item>& scratch, YieldTicker& ticker) {
  const size_t n = static_cast<size_t>(last - first);
  scratch.resize(n);
  Item* from = first;
  Item* to = scratch.data();
  for (int pass = 0; pass < 9; ++pass) {
    auto digit = [pass](const Item& item) -> unsigned {
      return pass == 0 ? item.taken : static_cast<unsigned>((item.key >> (8 * (pass - 1))) & 0xff);
    };
    size_t count[256] = {};
    for (size_t i = 0; i < n; ++i) ++count[digit(from[i])];
    if (count[digit(from[0])] == n) continue;
    size_t position = 0;
    for (size_t& c : count) {
      size_t here = c;
      c = position;
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
template <typename TextFn, typename TieFn>
void SortLevels(Item* first, Item* last, TextFn& text, TieFn& tie, std::vector<Item>& scratch, YieldTicker& ticker) {
  struct Range {
    Item* first;
    Item* last;
    size_t depth;
  };
  std::vector<Range> work{{first, last, 0}};
  while (!work.empty()) {
    Range range = work.back();
    work.pop_back();
    const size_t n = static_cast<size_t>(range.last - range.first);
    if (range.depth > 0) {
      for (Item* item = range.first; item != range.last; ++item) SetKey(*item, text(item->id), range.depth);
    }
    if (n >= 4096) {
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

}  // namespace text_sort_internal

template <typename TextFn, typename TieFn>
void SortIdsByText(std::vector<uint32_t>& ids, TextFn text, TieFn tie, const YieldFn& yield) {
  using text_sort_internal::Item;
  std::vector<Item> items(ids.size());
  for (size_t i = 0; i < ids.size(); ++i) {
    items[i].id = ids[i];
    text_sort_internal::SetKey(items[i], text(ids[i]), 0);
  }
  std::vector<Item> scratch;
  YieldTicker ticker(yield, 1024);
  text_sort_internal::SortLevels(items.data(), items.data() + items.size(), text, tie, scratch, ticker);
  for (size_t i = 0; i < ids.size(); ++i) ids[i] = items[i].id;
}

}  // namespace quorvale
