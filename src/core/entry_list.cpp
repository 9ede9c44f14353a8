#include "entry_list.h"

#include <algorithm>
#include <cstring>

#include "pieces.h"
#include "text.h"
#include "text_sort.h"

namespace quorvale {

namespace {

// Rows without a description share the details of their address, so that a row of a big list
// takes 16 bytes instead of 40: such a list has one or two addresses (0.0.0.0, 127.0.0.1) in
// any mix. The last few such details are kept at hand.
constexpr size_t kPlainDetailsKept = 8;

// The key index of an empty list; it doubles as the rows grow (a power of two).
constexpr size_t kFirstIndexSlots = 1024;

// A sorted count that matches no row count: the order must be made again.
constexpr size_t kStale = static_cast<size_t>(-1);

// A row that a removal takes away, in the renumbering of the rows left.
constexpr uint32_t kGone = static_cast<uint32_t>(-1);

// The row reads of a big list miss the processor's caches: as a row is read in display order,
// the row this many rows on is asked for, so that the misses overlap.
constexpr size_t kLookAhead = 16;

// Asks the memory system for the cache line at `address` ahead of its use.
inline void PrefetchLine(const void* address) {
#if defined(__GNUC__) || defined(__clang__)
  __builtin_prefetch(address);
#else
  (void)address;
#endif
}

// Lower-cases the ASCII letters of eight bytes at once (every other byte is kept).
uint64_t LowerEightBytes(uint64_t x) {
  constexpr uint64_t kHigh = 0x8080808080808080ull;
  const uint64_t seven_bits = x & ~kHigh;
  const uint64_t above_z = seven_bits + 0x2525252525252525ull;  // bytes > 'Z' get bit 7
  const uint64_t from_a = seven_bits + 0x3f3f3f3f3f3f3f3full;   // bytes >= 'A' get bit 7
  const uint64_t upper = (from_a ^ above_z) & ~x & kHigh;        // 'A'..'Z', ASCII only
  return x | (upper >> 2);
}

uint32_t HashIgnoreAsciiCase(std::string_view text) {
  // Eight lower-cased bytes at a time, multiplied in, then a final mix so that the low bits
  // (the slot) spread well. Equal texts ignoring ASCII case give equal hashes. Against a
  // byte-at-a-time loop this saves about 5 % of a big HOSTS file's load and write.
  uint64_t h = 14695981039346656037ull ^ text.size();
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    uint64_t word = 0;
    const size_t take = left < 8 ? left : 8;
    std::memcpy(&word, p, take);
    h = (h ^ LowerEightBytes(word)) * 0x9e3779b97f4a7c15ull;
    h ^= h >> 29;
    p += take;
    left -= take;
  }
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  return static_cast<uint32_t>(h);
}

}  // namespace

EntryList::EntryList() : slots_(kFirstIndexSlots, Slot{0, 0}) {}

uint64_t EntryList::Store(std::string_view text) {
  uint64_t offset = arena_.size();
  arena_.append(text);
  return offset;
}

size_t EntryList::FindSlot(std::string_view name, uint32_t hash) const {
  if (slots_.empty()) RebuildIndex(0);
  size_t mask = slots_.size() - 1;
  size_t slot = hash & mask;
  while (slots_[slot].row != 0) {
    if (slots_[slot].hash == hash && EqualsIgnoreAsciiCase(NameAt(slots_[slot].row - 1), name)) return slot;
    slot = (slot + 1) & mask;
  }
  return slot;
}

uint32_t EntryList::PlainDetails(std::string_view address) {
  for (uint32_t index : plain_details_) {
    const Details& details = details_[index];
    if (std::string_view(arena_.data() + details.address_offset, details.address_length) == address) return index;
  }
  // No kept details has the address's text either.
  details_.push_back(Details{Store(address), 0, static_cast<uint32_t>(address.size()), 0});
  const uint32_t index = static_cast<uint32_t>(details_.size() - 1);
  if (plain_details_.size() < kPlainDetailsKept) {
    plain_details_.push_back(index);
  } else {
    // The oldest gives way: a list with more addresses than this shares less, nothing more.
    plain_details_[next_plain_] = index;
    next_plain_ = (next_plain_ + 1) % kPlainDetailsKept;
  }
  return index;
}

uint64_t EntryList::AddressOffset(std::string_view address) {
  for (uint32_t index : plain_details_) {
    const Details& details = details_[index];
    if (std::string_view(arena_.data() + details.address_offset, details.address_length) == address) {
      return details.address_offset;
    }
  }
  return Store(address);
}

void EntryList::DropIndex() { BigVector<Slot>().swap(slots_); }

void EntryList::RebuildIndex(size_t slot_count) const {
  if (slot_count == 0) {
    slot_count = kFirstIndexSlots;
    while (slot_count < 2 * rows_.size()) slot_count *= 2;
  }
  slots_.assign(slot_count, Slot{0, 0});
  const size_t mask = slot_count - 1;
  for (size_t row = 0; row < rows_.size(); ++row) {
    const uint32_t hash = HashIgnoreAsciiCase(NameAt(static_cast<uint32_t>(row)));
    size_t slot = hash & mask;
    while (slots_[slot].row != 0) slot = (slot + 1) & mask;
    slots_[slot] = Slot{static_cast<uint32_t>(row + 1), hash};
  }
}

void EntryList::GrowIndex() { Reserve(rows_.size(), 0, true); }

bool EntryList::Add(std::string_view name, std::string_view address, std::string_view description,
                    bool listed_with_www) {
  return AddKeyed(name, address, description, listed_with_www, HashIgnoreAsciiCase(name));
}

uint32_t EntryList::KeyAhead(std::string_view name) const {
  const uint32_t hash = HashIgnoreAsciiCase(name);
  if (!slots_.empty()) PrefetchLine(&slots_[hash & (slots_.size() - 1)]);
  return hash;
}

bool EntryList::AddKeyed(std::string_view name, std::string_view address, std::string_view description,
                         bool listed_with_www, uint32_t hash) {
  size_t slot = FindSlot(name, hash);
  if (slots_[slot].row != 0) {
    Row& present = rows_[slots_[slot].row - 1];
    if (listed_with_www && present.listed_with_www == 0) {
      flags_set_.push_back(slots_[slot].row - 1);
      present.listed_with_www = 1;
      ++rows_listed_with_www_;
    }
    return false;
  }

  Row row{};
  row.listed_with_www = listed_with_www ? 1 : 0;
  row.name_offset = Store(name);
  row.name_length = static_cast<uint32_t>(name.size());
  if (!description.empty() && description != "#") {
    Details details{};
    details.address_offset = AddressOffset(address);
    details.address_length = static_cast<uint32_t>(address.size());
    details.description_offset = Store(description);
    details.description_length = static_cast<uint32_t>(description.size());
    details_.push_back(details);
    row.details = static_cast<uint32_t>(details_.size() - 1);
  } else {
    row.details = PlainDetails(address);
  }
  rows_.push_back(row);
  rows_listed_with_www_ += row.listed_with_www;
  text_bytes_ += name.size() + address.size() + details_[row.details].description_length;
  slots_[slot] = Slot{static_cast<uint32_t>(rows_.size()), hash};
  if (rows_.size() * 2 > slots_.size()) GrowIndex();
  return true;
}

void EntryList::Reserve(size_t rows, size_t bytes, bool with_index, const YieldFn& yield) {
  rows_.reserve(rows_.size() + rows);
  arena_.reserve(arena_.size() + bytes);
  if (!with_index) return;
  if (slots_.empty()) RebuildIndex(0);
  size_t wanted = slots_.size();
  while (wanted < 2 * (rows_.size() + rows)) wanted *= 2;
  if (wanted == slots_.size()) return;
  BigVector<Slot> old;
  old.swap(slots_);
  // The new index is cleared a megabyte at a time: fresh memory can be slow to come when the
  // system must first gather it, and the window goes on answering meanwhile.
  slots_.reserve(wanted);
  constexpr size_t kSlotsAtATime = kPieceBytes / sizeof(Slot);
  while (slots_.size() < wanted) {
    slots_.resize(std::min(wanted, slots_.size() + kSlotsAtATime), Slot{0, 0});
    if (yield) yield();
  }
  size_t mask = wanted - 1;
  for (const Slot& value : old) {
    if (value.row == 0) continue;
    size_t slot = value.hash & mask;
    while (slots_[slot].row != 0) slot = (slot + 1) & mask;
    slots_[slot] = value;
  }
}

bool EntryList::Contains(std::string_view name) const {
  uint32_t hash = HashIgnoreAsciiCase(name);
  return slots_[FindSlot(name, hash)].row != 0;
}

bool EntryList::ContainsListedWithWww(std::string_view name) const {
  const uint32_t row = slots_[FindSlot(name, HashIgnoreAsciiCase(name))].row;
  return row != 0 && rows_[row - 1].listed_with_www != 0;
}

void EntryList::Clear() {
  arena_.clear();
  arena_.shrink_to_fit();
  rows_.clear();
  rows_.shrink_to_fit();
  details_.clear();
  details_.shrink_to_fit();
  plain_details_.clear();
  next_plain_ = 0;
  text_bytes_ = 0;
  rows_listed_with_www_ = 0;
  flags_set_.clear();
  flags_set_.shrink_to_fit();
  slots_.assign(kFirstIndexSlots, Slot{0, 0});
  order_.clear();
  order_.shrink_to_fit();
  sorted_count_ = 0;
  name_order_.clear();
  name_order_.shrink_to_fit();
  name_rank_.clear();
  name_rank_.shrink_to_fit();
  name_sorted_count_ = 0;
}

void EntryList::RollBack(const Mark& mark) {
  // The rows that go take their flags with them; the rows that stay lose the flags set since.
  for (size_t i = mark.flags_set; i < flags_set_.size(); ++i) {
    const uint32_t row = flags_set_[i];
    if (row < mark.rows && row < rows_.size() && rows_[row].listed_with_www != 0) {
      rows_[row].listed_with_www = 0;
      --rows_listed_with_www_;
    }
  }
  flags_set_.resize(std::min(flags_set_.size(), mark.flags_set));
  if (mark.rows >= rows_.size()) return;
  for (size_t row = mark.rows; row < rows_.size(); ++row) rows_listed_with_www_ -= rows_[row].listed_with_www;
  rows_.resize(mark.rows);
  details_.resize(mark.details);
  arena_.resize(mark.arena);
  text_bytes_ = mark.text_bytes;
  std::erase_if(plain_details_, [&mark](uint32_t index) { return index >= mark.details; });
  next_plain_ = 0;
  // The index is made again from the rows left.
  RebuildIndex(slots_.size());
  sorted_count_ = kStale;
  name_sorted_count_ = kStale;
  name_rank_.clear();
}

size_t EntryList::RemoveRows(std::span<const size_t> display_rows) {
  const BigVector<uint32_t>& order = Order();
  BigVector<uint32_t> renumber(rows_.size(), 0);
  for (size_t place : display_rows) {
    if (place < order.size()) renumber[order[place]] = kGone;
  }
  return RemoveMarked(renumber);
}

size_t EntryList::RemoveRowsWhere(const std::function<bool(std::string_view name)>& doomed) {
  BigVector<uint32_t> renumber(rows_.size(), 0);
  for (size_t row = 0; row < rows_.size(); ++row) {
    if (doomed(NameAt(static_cast<uint32_t>(row)))) renumber[row] = kGone;
  }
  return RemoveMarked(renumber);
}

size_t EntryList::RemoveMarked(BigVector<uint32_t>& renumber) {
  const size_t old_count = rows_.size();
  size_t kept = 0;
  for (size_t row = 0; row < old_count; ++row) {
    const uint32_t old_row = static_cast<uint32_t>(row);
    if (renumber[row] == kGone) {
      // The texts stay in the arena until the list is cleared.
      text_bytes_ -= NameAt(old_row).size() + AddressAt(old_row).size() + DescriptionAt(old_row).size();
      rows_listed_with_www_ -= rows_[row].listed_with_www;
      continue;
    }
    renumber[row] = static_cast<uint32_t>(kept);
    rows_[kept++] = rows_[row];
  }
  const size_t removed = old_count - kept;
  if (removed == 0) return 0;
  flags_set_.clear();
  if (kept == 0) {
    Clear();
    return removed;
  }
  rows_.resize(kept);

  // The orders lose the rows that went and keep their sequence: no sort is needed again.
  auto drop_gone = [&renumber](BigVector<uint32_t>& order) {
    size_t out = 0;
    for (uint32_t row : order) {
      if (renumber[row] != kGone) order[out++] = renumber[row];
    }
    order.resize(out);
  };
  const bool order_valid = sorted_count_ == old_count;
  if (name_sorted_count_ == old_count) {
    drop_gone(name_order_);
    name_sorted_count_ = kept;
  } else {
    name_sorted_count_ = kStale;
  }
  if (order_valid && !OrderIsNameOrder()) drop_gone(order_);
  sorted_count_ = order_valid ? kept : kStale;
  name_rank_.clear();

  // The index is made anew from the slots' hashes: no name is hashed again.
  if (!slots_.empty()) {
    BigVector<Slot> old;
    old.swap(slots_);
    slots_.assign(old.size(), Slot{0, 0});
    const size_t mask = slots_.size() - 1;
    for (const Slot& value : old) {
      if (value.row == 0 || renumber[value.row - 1] == kGone) continue;
      size_t slot = value.hash & mask;
      while (slots_[slot].row != 0) slot = (slot + 1) & mask;
      slots_[slot] = Slot{renumber[value.row - 1] + 1, value.hash};
    }
  }
  return removed;
}

std::vector<bool> EntryList::RowsShowing(std::string_view text, const AnsiToUtf8Fn& ansi_to_utf8) const {
  std::vector<bool> matches(rows_.size());
  for (size_t row = 0; row < rows_.size(); ++row) {
    const auto at = static_cast<uint32_t>(row);
    if (ShownTextContains(NameAt(at), text, ansi_to_utf8) || ShownTextContains(DescriptionAt(at), text, ansi_to_utf8)) {
      matches[row] = true;
    }
  }
  return matches;
}

size_t EntryList::FindText(std::string_view text, size_t begin, size_t end, const AnsiToUtf8Fn& ansi_to_utf8) const {
  const BigVector<uint32_t>& order = Order();
  end = std::min(end, order.size());
  if (begin >= end) return kNoRow;
  const std::vector<bool> matches = RowsShowing(text, ansi_to_utf8);
  for (size_t place = begin; place < end; ++place) {
    if (matches[order[place]]) return place;
  }
  return kNoRow;
}

std::string_view EntryList::TextAt(uint32_t row, Column column) const {
  switch (column) {
    case Column::kDomaine:
      return NameAt(row);
    case Column::kDescription:
      return DescriptionAt(row);
    case Column::kRedirection:
      return AddressAt(row);
  }
  return {};
}

bool EntryList::ForEachRow(const std::function<bool(const RowTexts&)>& visit) const {
  const BigVector<uint32_t>& order = Order();
  const size_t count = order.size();
  for (size_t i = 0; i < count; ++i) {
    // The row kLookAhead rows on, and the texts of the one half as far.
    if (i + kLookAhead < count) PrefetchLine(&rows_[order[i + kLookAhead]]);
    if (i + kLookAhead / 2 < count) {
      const Row& ahead = rows_[order[i + kLookAhead / 2]];
      PrefetchLine(arena_.data() + ahead.name_offset);
      PrefetchLine(&details_[ahead.details]);
    }
    const uint32_t row = order[i];
    if (!visit(RowTexts{NameAt(row), DescriptionAt(row), AddressAt(row), rows_[row].listed_with_www != 0})) {
      return false;
    }
  }
  return true;
}

std::string_view EntryList::Description(size_t display_row) const {
  return DescriptionAt(Order()[display_row]);
}

std::string_view EntryList::Address(size_t display_row) const {
  return AddressAt(Order()[display_row]);
}

std::string_view EntryList::Text(size_t display_row, Column column) const {
  return TextAt(Order()[display_row], column);
}

void EntryList::SetSort(Column column, SortDirection direction) {
  if (column == sort_column_ && direction == sort_direction_) return;
  sort_column_ = column;
  sort_direction_ = direction;
  sorted_count_ = kStale;
}

const BigVector<uint32_t>& EntryList::Order() const {
  if (sorted_count_ != rows_.size()) SortOrder({});
  return OrderIsNameOrder() ? name_order_ : order_;
}

void EntryList::Sort(const YieldFn& yield) const {
  if (sorted_count_ != rows_.size()) SortOrder(yield);
}

const BigVector<uint32_t>& EntryList::NameOrder(const YieldFn& yield) const {
  const size_t n = rows_.size();
  if (name_sorted_count_ == n) return name_order_;
  // Names are unique ignoring case, so byte order never ties but for the impossible; the
  // row number keeps the order total anyway.
  name_order_.clear();
  name_order_.shrink_to_fit();
  name_order_ = SortIndexesByText(
      n, [this](uint32_t row) { return NameAt(row); }, [](uint32_t row) { return row; }, yield);
  name_sorted_count_ = n;
  name_rank_.clear();
  return name_order_;
}

void EntryList::SortOrder(const YieldFn& yield) const {
  sorting_ = true;
  const BigVector<uint32_t>& by_name = NameOrder(yield);
  if (OrderIsNameOrder()) {
    // The name order itself is shown; no copy of it is kept.
    order_.clear();
    order_.shrink_to_fit();
  } else if (sort_column_ == Column::kDomaine) {
    order_ = by_name;
  } else {
    // The other columns break ties by the name: each row's place in the name order.
    if (name_rank_.size() != by_name.size()) {
      name_rank_.resize(by_name.size());
      for (size_t i = 0; i < by_name.size(); ++i) name_rank_[by_name[i]] = static_cast<uint32_t>(i);
    }
    order_ = by_name;
    SortIdsByText(
        order_, [this](uint32_t row) { return TextAt(row, sort_column_); },
        [this](uint32_t row) { return name_rank_[row]; }, yield);
  }
  if (sort_direction_ == SortDirection::kDescending) std::reverse(order_.begin(), order_.end());
  sorted_count_ = rows_.size();
  sorting_ = false;
}

}  // namespace quorvale
