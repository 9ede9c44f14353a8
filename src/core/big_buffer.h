#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <string>
#include <type_traits>
#include <vector>

namespace quorvale {

// Memory for the few big buffers of a large list: its texts, rows, key index and display
// orders, the sort buffer, the sort's keys.
//
// This is the one place where the core asks the operating system for memory advice. On
// Linux, a block of a huge page or more is marked for transparent huge pages (2 MB pages
// instead of 4 KB) before it is first touched: a million-line load fills tens of megabytes of
// fresh memory once, and taking it 2 MB at a time saves about a tenth of the load's time. The
// first such block also sets the C library's allocator to serve blocks of up to 32 MB from its
// heap and to keep up to 256 MB of freed heap, so that one step's buffers are reused by the
// next (the load's by the sort, the sort's by the writing) instead of being mapped afresh.
// Elsewhere these are plain operator new and delete.
void* AllocateBigBuffer(size_t bytes);
void FreeBigBuffer(void* block, size_t bytes) noexcept;

template <typename T>
class BigBufferAllocator {
 public:
  using value_type = T;

  BigBufferAllocator() = default;
  template <typename U>
  BigBufferAllocator(const BigBufferAllocator<U>&) noexcept {}  // implicit, as the containers need

  T* allocate(size_t count) {
    if (count > SIZE_MAX / sizeof(T)) throw std::bad_array_new_length();
    return static_cast<T*>(AllocateBigBuffer(count * sizeof(T)));
  }
  void deallocate(T* block, size_t count) noexcept { FreeBigBuffer(block, count * sizeof(T)); }

  template <typename U>
  bool operator==(const BigBufferAllocator<U>&) const noexcept {
    return true;
  }
};

template <typename T>
using BigVector = std::vector<T, BigBufferAllocator<T>>;
using BigString = std::basic_string<char, std::char_traits<char>, BigBufferAllocator<char>>;

// `count` objects of a trivial type, left uninitialised (fresh memory is cleared by the
// system as it is first touched; clearing it again up front would touch it all twice).
template <typename T>
class BigArray {
  static_assert(std::is_trivial_v<T>);

 public:
  explicit BigArray(size_t count)
      : items_(BigBufferAllocator<T>().allocate(count)), count_(count) {}
  BigArray(BigArray&& other) noexcept : items_(other.items_), count_(other.count_) {
    other.items_ = nullptr;
    other.count_ = 0;
  }
  BigArray& operator=(BigArray&&) = delete;
  ~BigArray() {
    if (items_ != nullptr) FreeBigBuffer(items_, count_ * sizeof(T));
  }

  T* get() const { return items_; }
  T& operator[](size_t index) const { return items_[index]; }

 private:
  T* items_;
  size_t count_;
};

}  // namespace quorvale
