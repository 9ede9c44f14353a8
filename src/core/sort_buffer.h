#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "big_buffer.h"

namespace quorvale {

// The sort buffer: a growable list of domain entries indexed from 0, each a name possibly
// followed by a comment part that starts with " #[". The texts live in one arena and the
// list holds their places, so that sorting a million entries moves small records, never the
// texts. Views stay valid until the buffer is next changed.
class SortBuffer {
 public:
  size_t size() const { return spans_.size(); }
  bool empty() const { return spans_.empty(); }
  std::string_view operator[](size_t index) const {
    return {arena_.data() + spans_[index].offset, spans_[index].length};
  }

  void Append(std::string_view item) {
    spans_.push_back({arena_.size(), static_cast<uint32_t>(item.size())});
    arena_.append(item);
  }
  // Makes room for `items` more entries of `bytes` more bytes in all.
  void Reserve(size_t items, size_t bytes);
  void Clear();
  // Bytes of all entries' texts.
  size_t text_bytes() const { return arena_.size(); }
  // Takes away the entries appended after the buffer held `items` entries of `bytes` bytes in
  // all (size() and text_bytes() then), as a failed load does.
  void RollBack(size_t items, size_t bytes) {
    if (items >= spans_.size()) return;
    spans_.resize(items);
    arena_.resize(bytes);
  }

  // Puts the entries in the given order: order[i] is the index of the entry that becomes
  // entry i. Entries left out are dropped.
  void Arrange(std::span<const uint32_t> order);
  // Keeps, in their order, the entries for which keep(entry) is true and drops the others.
  // `keep` sees the entries in order, once each; the texts stay where they are meanwhile.
  template <typename Keep>
  void KeepIf(Keep keep) {
    size_t kept = 0;
    for (size_t i = 0; i < spans_.size(); ++i) {
      if (keep((*this)[i])) spans_[kept++] = spans_[i];
    }
    spans_.resize(kept);
  }

 private:
  struct Span {
    uint64_t offset;
    uint32_t length;
  };
  BigString arena_;
  BigVector<Span> spans_;
};

}  // namespace quorvale
