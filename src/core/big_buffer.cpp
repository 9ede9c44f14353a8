#include "big_buffer.h"

#include <cstdint>
#include <cstring>
#include <new>

#if defined(__linux__)
#include <sys/mman.h>
#endif
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace quorvale {

namespace {

// The size of a transparent huge page on x86-64 and most other Linux systems.
constexpr size_t kHugePageBytes = size_t{2} << 20;
// Blocks up to this size come from the allocator's heap (glibc's own default cap).
constexpr int kHeapBlockLimit = 32 << 20;
// Freed heap kept for reuse before any is given back to the system.
constexpr int kFreedHeapKept = 256 << 20;

void SetUpAllocator() {
#if defined(__GLIBC__)
  static const bool done = [] {
    // Best effort: a refused setting leaves the allocator as it was.
    (void)mallopt(M_MMAP_THRESHOLD, kHeapBlockLimit);
    (void)mallopt(M_TRIM_THRESHOLD, kFreedHeapKept);
    return true;
  }();
  (void)done;
#endif
}

// `bytes` rounded up to whole huge pages.
size_t WholeHugePages(size_t bytes) { return (bytes + kHugePageBytes - 1) & ~(kHugePageBytes - 1); }

// Asks for huge pages over the whole huge pages that the block touches, before any is
// touched; the block's neighbours in the heap may share its first and last huge page.
void AdviseHugePages(void* block, size_t bytes) {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  const uintptr_t start = reinterpret_cast<uintptr_t>(block) & ~(kHugePageBytes - 1);
  const uintptr_t end = (reinterpret_cast<uintptr_t>(block) + bytes + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
  // Best effort: where the advice is refused (huge pages turned off, a range only partly
  // mapped), the pages are ordinary ones.
  (void)madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
#else
  (void)block;
  (void)bytes;
#endif
}

}  // namespace

void* AllocateBigBuffer(size_t bytes) {
  if (bytes < kHugePageBytes) return ::operator new(bytes);
  SetUpAllocator();
  // Whole huge pages starting on one, cut from a plain block a huge page longer (the block's
  // address is kept just before them): none of these huge pages is shared with a neighbour
  // that the advice does not cover, and a freed block serves the next one of its size.
  const size_t length = WholeHugePages(bytes);
  void* area = ::operator new(length + kHugePageBytes + sizeof(void*));
  const uintptr_t start =
      (reinterpret_cast<uintptr_t>(area) + sizeof(void*) + kHugePageBytes - 1) & ~(kHugePageBytes - 1);
  void* block = reinterpret_cast<void*>(start);
  std::memcpy(reinterpret_cast<char*>(block) - sizeof(void*), &area, sizeof(void*));
  AdviseHugePages(block, length);
  return block;
}

void FreeBigBuffer(void* block, size_t bytes) noexcept {
  if (bytes < kHugePageBytes) {
    ::operator delete(block);  // plain operator delete finds the size itself
    return;
  }
  void* area = nullptr;
  std::memcpy(&area, reinterpret_cast<char*>(block) - sizeof(void*), sizeof(void*));
  ::operator delete(area);
}

}  // namespace quorvale
