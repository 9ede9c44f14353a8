#include "sort_buffer.h"

#include <algorithm>

namespace quorvale {

void SortBuffer::Reserve(size_t items, size_t bytes) {
  // Grow at least twofold, so that many small loads stay linear.
  if (spans_.size() + items > spans_.capacity()) {
    spans_.reserve(std::max(spans_.size() + items, spans_.capacity() * 2));
  }
  if (arena_.size() + bytes > arena_.capacity()) arena_.reserve(std::max(arena_.size() + bytes, arena_.capacity() * 2));
}

void SortBuffer::Clear() {
  arena_.clear();
  spans_.clear();
}

void SortBuffer::Arrange(std::span<const uint32_t> order) {
  BigVector<Span> arranged;
  arranged.reserve(order.size());
  for (uint32_t index : order) arranged.push_back(spans_[index]);
  spans_.swap(arranged);
}

}  // namespace quorvale
