#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "core/entry_list.h"
#include "core/sort_buffer.h"

namespace quorvale::testing {

// One row of a list as the user sees it, for whole-list comparisons in tests.
struct Row {
  std::string name;
  std::string description;
  std::string address;

  bool operator==(const Row&) const = default;
};

inline void PrintTo(const Row& row, std::ostream* out) {
  *out << "{\"" << row.name << "\", \"" << row.description << "\", \"" << row.address << "\"}";
}

// The rows of `list` in display order.
inline std::vector<Row> Rows(const EntryList& list) {
  std::vector<Row> rows;
  rows.reserve(list.size());
  for (size_t i = 0; i < list.size(); ++i) {
    rows.push_back({std::string(list.Name(i)), std::string(list.Description(i)), std::string(list.Address(i))});
  }
  return rows;
}

// The entries of the sort buffer, from index 0 up.
inline std::vector<std::string> Entries(const SortBuffer& buffer) {
  std::vector<std::string> entries;
  for (size_t i = 0; i < buffer.size(); ++i) entries.emplace_back(buffer[i]);
  return entries;
}

}  // namespace quorvale::testing
