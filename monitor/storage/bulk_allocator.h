// Allocator of the large arrays that ReadRange and LoadCurves fill.
//
// Two things make a read into fresh storage cost little more than a read
// into storage that is reused:
//   - resize() default-initialises the elements: memory the read is about
//     to overwrite is not zeroed first (types with member initialisers still
//     run them);
//   - blocks of one huge page (2 MiB) and more are aligned to 2 MiB and
//     offered to the system's transparent huge pages, so the first touch of
//     a fresh array takes one page fault per 2 MiB instead of one per 4 KiB.
//     Only whole 2 MiB pages inside the block are offered: the tail of a
//     block never pulls in a huge page it fills only in part.
// Containers that use it behave like any std::vector otherwise.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <new>
#include <utility>

namespace kv90 {

template <class T>
struct BulkAllocator {
  using value_type = T;
  static constexpr std::size_t kHugeAlign = std::size_t{2} << 20;
  static constexpr std::size_t kHugeBytes = kHugeAlign;

  BulkAllocator() noexcept = default;
  template <class U>
  BulkAllocator(const BulkAllocator<U>&) noexcept {}  // NOLINT: allocators convert implicitly

  T* allocate(std::size_t n) {
    if (n > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_array_new_length();
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kHugeBytes) return static_cast<T*>(::operator new(bytes, std::align_val_t{alignof(T)}));
    void* p = ::operator new(bytes, std::align_val_t{kHugeAlign});
#ifdef MADV_HUGEPAGE
    madvise(p, bytes / kHugeAlign * kHugeAlign, MADV_HUGEPAGE);  // advice only: a refusal changes nothing
#endif
    return static_cast<T*>(p);
  }
  void deallocate(T* p, std::size_t n) noexcept {
    const std::size_t bytes = n * sizeof(T);
    if (bytes < kHugeBytes) {
      ::operator delete(p, std::align_val_t{alignof(T)});
      return;
    }
    ::operator delete(p, std::align_val_t{kHugeAlign});
  }

  template <class U>
  void construct(U* p) noexcept(noexcept(::new (static_cast<void*>(p)) U)) {
    ::new (static_cast<void*>(p)) U;
  }
  template <class U, class... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }

  template <class U>
  bool operator==(const BulkAllocator<U>&) const noexcept {
    return true;
  }
};

}  // namespace kv90
