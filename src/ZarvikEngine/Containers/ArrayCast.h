#ifndef ZarvikEngine_Containers_ArrayCast_h
#define ZarvikEngine_Containers_ArrayCast_h

#include <span>
#include <type_traits>

#include "ZarvikEngine/Containers/StridedArrayView.h"
#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine {

/* Reinterprets a contiguous array as elements of U; the byte size must be a multiple of
   sizeof(U). U has to keep the source's constness. */
template<class U, class T>
std::span<U> arrayCast(std::span<T> view) {
    static_assert(std::is_const_v<U> || !std::is_const_v<T>, "arrayCast() can't drop const");
    const std::size_t bytes = view.size_bytes();
    ZE_ASSERT(bytes % sizeof(U) == 0, "Containers::arrayCast(): can't reinterpret"
                                          << view.size() << sizeof(T) << Debug::nospace
                                          << "-byte items into a" << sizeof(U) << Debug::nospace
                                          << "-byte type");
    return {reinterpret_cast<U*>(view.data()), bytes / sizeof(U)};
}

/* Reinterprets each element of a strided view as U, which must fit into the stride */
template<class U, class T>
StridedArrayView1D<U> arrayCast(const StridedArrayView1D<T>& view) {
    static_assert(std::is_const_v<U> || !std::is_const_v<T>, "arrayCast() can't drop const");
    const std::size_t stride = std::size_t(view.stride() < 0 ? -view.stride() : view.stride());
    ZE_ASSERT(view.size() <= 1 || sizeof(U) <= stride,
              "Containers::arrayCast(): can't fit a"
                  << sizeof(U) << Debug::nospace << "-byte type into a stride of" << view.stride());
    return StridedArrayView1D<U>{reinterpret_cast<U*>(view.data()), view.size(), view.stride()};
}

/* Turns the contiguous second dimension of a 2D view into one element of U per row */
template<class U, class T>
StridedArrayView1D<U> arrayCast(const StridedArrayView2D<T>& view) {
    static_assert(std::is_const_v<U> || !std::is_const_v<T>, "arrayCast() can't drop const");
    ZE_ASSERT(view.size()[1] <= 1 || view.stride()[1] == std::ptrdiff_t(sizeof(T)),
              "Containers::arrayCast(): last dimension is not contiguous");
    ZE_ASSERT(view.size()[1] * sizeof(T) == sizeof(U),
              "Containers::arrayCast(): can't reinterpret"
                  << view.size()[1] << sizeof(T) << Debug::nospace << "-byte items into a"
                  << sizeof(U) << Debug::nospace << "-byte type");
    return StridedArrayView1D<U>{reinterpret_cast<U*>(view.data()), view.size()[0],
                                 view.stride()[0]};
}

} // namespace ZarvikEngine

#endif
