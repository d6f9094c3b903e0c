#pragma once
// An allocator whose blocks start on a 64-byte cache line. The AVX-512 rest pass writes a
// whole group's inverse frames as whole lines that bypass the caches (nothing reads them
// again in that pass) where the matrices are line-aligned, which the default allocator does
// not promise for 128-byte elements; elsewhere it stores them as usual.

#include <cstddef>
#include <new>

template <class T>
struct LineAligned {
    static_assert(alignof(T) <= 64, "an element that needs more than a line");
    using value_type = T;
    static constexpr std::align_val_t kAlignment{64};

    LineAligned() = default;
    template <class U>
    LineAligned(const LineAligned<U>&) noexcept {}

    T* allocate(std::size_t n) { return static_cast<T*>(::operator new(n * sizeof(T), kAlignment)); }
    void deallocate(T* p, std::size_t) noexcept { ::operator delete(p, kAlignment); }

    template <class U>
    bool operator==(const LineAligned<U>&) const noexcept {
        return true;
    }
    template <class U>
    bool operator!=(const LineAligned<U>&) const noexcept {
        return false;
    }
};
