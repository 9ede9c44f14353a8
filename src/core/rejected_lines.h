#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace quorvale {

// Stores the rejected lines of a load at the next index of RejectedLines, overwriting the
// initial empty element first (each load starts from one empty element).
class RejectedLineSink {
 public:
  explicit RejectedLineSink(std::vector<std::string>& lines) : lines_(lines) {}
  void Add(std::string_view line) {
    if (next_ < lines_.size()) {
      lines_[next_].assign(line);
    } else {
      lines_.emplace_back(line);
    }
    ++next_;
  }

 private:
  std::vector<std::string>& lines_;
  size_t next_ = 0;
};

}  // namespace quorvale
