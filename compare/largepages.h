#pragma once

#include <sys/mman.h>

#include <cstddef>
#include <new>
#include <utility>
#include <vector>

namespace compare {

// An allocator for arrays of many megabytes (of plain values): they are mapped on their own and asked to stand on
// large pages where the system offers them, so that filling one costs a few hundred page faults
// instead of one every 4 KiB (what dominates filling a fresh array of a line's worth per line of a
// program of millions of lines). Small ones come from the heap as usual.
template <typename T>
struct LargePages
{
    using value_type = T;
    static constexpr std::size_t kMapped = std::size_t(2) << 20; // from this size on

    LargePages() = default;
    template <typename U>
    LargePages(const LargePages<U> &) noexcept
    {
    }

    T *allocate(std::size_t n)
    {
        const std::size_t bytes = n * sizeof(T);
        if (bytes < kMapped)
            return static_cast<T *>(::operator new(bytes));
        void *p = ::mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (p == MAP_FAILED)
            throw std::bad_alloc();
        ::madvise(p, bytes, MADV_HUGEPAGE); // a hint: without it, ordinary pages
        return static_cast<T *>(p);
    }
    void deallocate(T *p, std::size_t n) noexcept
    {
        const std::size_t bytes = n * sizeof(T);
        if (bytes < kMapped)
            ::operator delete(p);
        else
            ::munmap(p, bytes);
    }
    // Made without a value, elements are left as they come (zero, from a fresh mapping): an array
    // about to be filled is not written twice.
    template <typename U>
    void construct(U *p) noexcept
    {
        ::new (static_cast<void *>(p)) U;
    }
    template <typename U, typename... Args>
    void construct(U *p, Args &&...args)
    {
        ::new (static_cast<void *>(p)) U(std::forward<Args>(args)...);
    }
    template <typename U>
    bool operator==(const LargePages<U> &) const noexcept
    {
        return true;
    }
};

template <typename T>
using LargeVector = std::vector<T, LargePages<T>>;

} // namespace compare
