#include "entry_list.h"

#include <algorithm>

#include "text.h"

namespace quorvale {

namespace {

uint64_t HashIgnoreAsciiCase(std::string_view text) {
  // FNV-1a over the lower-cased bytes, then a final mix so the low bits spread well.
  uint64_t h = 14695981039346656037ull;
  for (char c : text) {
    h ^= static_cast<unsigned char>(AsciiLower(c));
    h *= 1099511628211ull;
  }
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  return h;
}

}  // namespace

EntryList::EntryList() : slots_(1024, 0) {}

uint64_t EntryList::Store(std::string_view text) {
  uint64_t offset = arena_.size();
  arena_.append(text);
  return offset;
}

size_t EntryList::FindSlot(std::string_view name, uint64_t hash) const {
  size_t mask = slots_.size() - 1;
  size_t slot = hash & mask;
  while (slots_[slot] != 0) {
    if (EqualsIgnoreAsciiCase(NameAt(slots_[slot] - 1), name)) return slot;
    slot = (slot + 1) & mask;
  }
  return slot;
}

void EntryList::GrowIndex() {
  std::vector<uint32_t> old;
  old.swap(slots_);
  slots_.assign(old.size() * 2, 0);
  size_t mask = slots_.size() - 1;
  for (uint32_t value : old) {
    if (value == 0) continue;
    size_t slot = HashIgnoreAsciiCase(NameAt(value - 1)) & mask;
    while (slots_[slot] != 0) slot = (slot + 1) & mask;
    slots_[slot] = value;
  }
}

bool EntryList::Add(std::string_view name, std::string_view address, std::string_view description) {
  uint64_t hash = HashIgnoreAsciiCase(name);
  size_t slot = FindSlot(name, hash);
  if (slots_[slot] != 0) return false;

  Row row{};
  row.name_offset = Store(name);
  row.name_length = static_cast<uint32_t>(name.size());
  // Nearly every row shares its address with the row before; keep one copy.
  if (!rows_.empty() && AddressAt(static_cast<uint32_t>(rows_.size() - 1)) == address) {
    row.address_offset = rows_.back().address_offset;
  } else {
    row.address_offset = Store(address);
  }
  row.address_length = static_cast<uint32_t>(address.size());
  if (!description.empty() && description != "#") {
    row.description_offset = Store(description);
    row.description_length = static_cast<uint32_t>(description.size());
  }
  rows_.push_back(row);
  slots_[slot] = static_cast<uint32_t>(rows_.size());
  if (rows_.size() * 2 > slots_.size()) GrowIndex();
  return true;
}

bool EntryList::Contains(std::string_view name) const {
  return slots_[FindSlot(name, HashIgnoreAsciiCase(name))] != 0;
}

void EntryList::Clear() {
  arena_.clear();
  arena_.shrink_to_fit();
  rows_.clear();
  rows_.shrink_to_fit();
  slots_.assign(1024, 0);
  order_.clear();
  order_.shrink_to_fit();
  sorted_count_ = 0;
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
  sorted_count_ = static_cast<size_t>(-1);
}

const std::vector<uint32_t>& EntryList::Order() const {
  if (sorted_count_ != rows_.size()) SortOrder();
  return order_;
}

void EntryList::SortOrder() const {
  const size_t n = rows_.size();
  order_.resize(n);
  for (size_t i = 0; i < n; ++i) order_[i] = static_cast<uint32_t>(i);
  // Names are unique ignoring case but may differ only in case, which byte order separates;
  // the row number keeps the order total for the impossible tie.
  auto ascending = [this](uint32_t a, uint32_t b) {
    if (sort_column_ != Column::kDomaine) {
      int c = TextAt(a, sort_column_).compare(TextAt(b, sort_column_));
      if (c != 0) return c < 0;
    }
    int c = NameAt(a).compare(NameAt(b));
    if (c != 0) return c < 0;
    return a < b;
  };
  if (sort_direction_ == SortDirection::kAscending) {
    std::sort(order_.begin(), order_.end(), ascending);
  } else {
    std::sort(order_.begin(), order_.end(), [&](uint32_t a, uint32_t b) { return ascending(b, a); });
  }
  sorted_count_ = n;
}

}  // namespace quorvale
