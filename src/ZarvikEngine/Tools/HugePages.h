#ifndef ZarvikEngine_Tools_HugePages_h
#define ZarvikEngine_Tools_HugePages_h

/* Memory for passes over meshes of millions of vertices. Fresh memory costs a page fault per
   4 KiB page when first touched, which otherwise dominates such a pass; memory that asks for
   transparent huge pages costs one per 2 MiB. */

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include <sys/mman.h>

namespace ZarvikEngine::MeshTools::Implementation {

constexpr std::size_t HugePageSize = std::size_t{2} << 20;

/* Asks for huge pages in the whole 2 MiB pages between begin and end; only advice, the memory
   works all the same without */
inline void adviseHugePages(const void* begin, const void* end) {
    const auto first = (reinterpret_cast<std::uintptr_t>(begin) + HugePageSize - 1) &
                       ~std::uintptr_t{HugePageSize - 1};
    const auto last = reinterpret_cast<std::uintptr_t>(end) & ~std::uintptr_t{HugePageSize - 1};
    if (last > first)
        madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
}

/* Allocates whole, aligned huge pages for temporary arrays of at least one huge page;
   smaller ones, as of the many small meshes of a scene, come from the default allocator */
template<class T>
struct HugePageAllocator {
    using value_type = T;

    HugePageAllocator() = default;
    template<class U>
    HugePageAllocator(const HugePageAllocator<U>&) {}

    T* allocate(std::size_t count) {
        if (count * sizeof(T) < HugePageSize)
            return std::allocator<T>{}.allocate(count);
        const std::size_t size = (count * sizeof(T) + HugePageSize - 1) & ~(HugePageSize - 1);
        void* const data = std::aligned_alloc(HugePageSize, size);
        if (!data)
            throw std::bad_alloc{};
        adviseHugePages(data, static_cast<char*>(data) + size);
        return static_cast<T*>(data);
    }
    void deallocate(T* data, std::size_t count) {
        if (count * sizeof(T) < HugePageSize)
            std::allocator<T>{}.deallocate(data, count);
        else
            std::free(data);
    }

    /* Elements made without a value are left uninitialized: such arrays are filled right
       after, and zeroing them first would be one more pass over a lot of memory */
    template<class U>
    void construct(U* element) {
        ::new (static_cast<void*>(element)) U;
    }
    template<class U, class... Args>
    void construct(U* element, Args&&... args) {
        ::new (static_cast<void*>(element)) U(std::forward<Args>(args)...);
    }

    template<class U>
    bool operator==(const HugePageAllocator<U>&) const {
        return true;
    }
};

template<class T>
using HugePageVector = std::vector<T, HugePageAllocator<T>>;

/* A zeroed byte array to hand out as owned mesh data, which has to use the default
   allocator: only its whole 2 MiB pages inside can ask for huge pages */
inline std::vector<char> hugePageBytes(std::size_t size) {
    std::vector<char> bytes;
    bytes.reserve(size);
    adviseHugePages(bytes.data(), bytes.data() + size);
    bytes.resize(size);
    return bytes;
}

} // namespace ZarvikEngine::MeshTools::Implementation

#endif
