#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorvale {

// The sort buffer: a growable list of domain entries indexed from 0, each a name possibly
// followed by a comment part that starts with " #[".
class SortBuffer {
 public:
  size_t size() const { return items_.size(); }
  bool empty() const { return items_.empty(); }
  std::string_view operator[](size_t index) const { return items_[index]; }

  void Append(std::string_view item) { items_.emplace_back(item); }
  void Clear() { items_.clear(); }

  std::vector<std::string>& items() { return items_; }
  const std::vector<std::string>& items() const { return items_; }

 private:
  std::vector<std::string> items_;
};

}  // namespace quorvale
