// An allocator for the large working arrays of the word indexing. Memory the
// process touches for the first time costs a page fault per 4 KB page, and
// on a virtual machine a fault costs tens of microseconds: an array of tens
// of megabytes spent more time faulting than being written. Allocations of
// a few megabytes and up are mapped on their own, aligned to 2 MB and offered
// to the kernel for transparent huge pages, so that one fault brings in 2 MB.
// Smaller allocations go to the ordinary heap.
#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <cstdint>
#include <new>
#include <vector>

namespace quill {

template <class T>
struct LargePageAllocator {
    using value_type = T;
    static constexpr std::size_t kHuge = std::size_t(2) << 20;
    static constexpr std::size_t kMapped = std::size_t(4) << 20;

    LargePageAllocator() = default;
    template <class U>
    LargePageAllocator(const LargePageAllocator<U>&) {}

    T* allocate(std::size_t n) {
        std::size_t bytes = n * sizeof(T);
        if (bytes < kMapped) return static_cast<T*>(::operator new(bytes));
        std::size_t len = mappedLength(bytes);
        // Mapped with room to align the start to a huge page.
        void* p = mmap(nullptr, len + kHuge, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED) throw std::bad_alloc();
        auto start = reinterpret_cast<uintptr_t>(p);
        uintptr_t aligned = (start + kHuge - 1) & ~uintptr_t(kHuge - 1);
        if (aligned > start) munmap(p, aligned - start);
        uintptr_t end = start + len + kHuge;
        if (end > aligned + len) munmap(reinterpret_cast<void*>(aligned + len), end - (aligned + len));
        (void)madvise(reinterpret_cast<void*>(aligned), len, MADV_HUGEPAGE);
        return reinterpret_cast<T*>(aligned);
    }
    void deallocate(T* p, std::size_t n) {
        std::size_t bytes = n * sizeof(T);
        if (bytes < kMapped) ::operator delete(p);
        else munmap(p, mappedLength(bytes));
    }
    template <class U>
    bool operator==(const LargePageAllocator<U>&) const {
        return true;
    }

private:
    static std::size_t mappedLength(std::size_t bytes) { return (bytes + kHuge - 1) & ~(kHuge - 1); }
};

template <class T>
using LargeVector = std::vector<T, LargePageAllocator<T>>;

}  // namespace quill
