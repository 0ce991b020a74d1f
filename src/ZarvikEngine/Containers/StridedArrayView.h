#ifndef ZarvikEngine_Containers_StridedArrayView_h
#define ZarvikEngine_Containers_StridedArrayView_h

#include <array>
#include <cstddef>
#include <iterator>
#include <span>
#include <type_traits>

#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine {

using Size2D = std::array<std::size_t, 2>;
using Stride2D = std::array<std::ptrdiff_t, 2>;

namespace Implementation {
/* char or const char, matching the constness of T */
template<class T>
using ByteOf = std::conditional_t<std::is_const_v<T>, const char, char>;

/* Whether elements of elementSize bytes starting offset bytes into dataSize bytes, with the
   given sizes and strides per dimension, all lie inside; a negative stride reaches below the
   offset */
template<std::size_t dimensions>
bool stridedElementsFit(std::size_t dataSize, std::ptrdiff_t offset, std::size_t elementSize,
                        const std::array<std::size_t, dimensions>& sizes,
                        const std::array<std::ptrdiff_t, dimensions>& strides) {
    std::ptrdiff_t begin = offset, end = offset + std::ptrdiff_t(elementSize);
    for (std::size_t d = 0; d != dimensions; ++d) {
        if (!sizes[d])
            return true;
        const std::ptrdiff_t reach = std::ptrdiff_t(sizes[d] - 1) * strides[d];
        (reach < 0 ? begin : end) += reach;
    }
    return begin >= 0 && std::size_t(end) <= dataSize;
}
} // namespace Implementation

/* Non-owning view of size elements, each stride bytes after the previous one */
template<class T>
class StridedArrayView1D {
public:
    using Type = T;
    using Byte = Implementation::ByteOf<T>;

    class Iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = std::remove_cv_t<T>;
        using difference_type = std::ptrdiff_t;
        using pointer = T*;
        using reference = T&;

        Iterator() = default;
        Iterator(Byte* data, std::ptrdiff_t stride, std::size_t i)
            : _data{data}, _stride{stride}, _i{std::ptrdiff_t(i)} {}

        T& operator*() const { return *reinterpret_cast<T*>(_data + _i * _stride); }
        T* operator->() const { return &**this; }
        T& operator[](std::ptrdiff_t n) const { return *(*this + n); }
        Iterator& operator++() { return ++_i, *this; }
        Iterator operator++(int) { return Iterator{_data, _stride, std::size_t(_i++)}; }
        Iterator& operator--() { return --_i, *this; }
        Iterator operator--(int) { return Iterator{_data, _stride, std::size_t(_i--)}; }
        Iterator& operator+=(std::ptrdiff_t n) { return _i += n, *this; }
        Iterator& operator-=(std::ptrdiff_t n) { return _i -= n, *this; }
        friend Iterator operator+(Iterator a, std::ptrdiff_t n) { return a += n; }
        friend Iterator operator+(std::ptrdiff_t n, Iterator a) { return a += n; }
        friend Iterator operator-(Iterator a, std::ptrdiff_t n) { return a -= n; }
        friend std::ptrdiff_t operator-(const Iterator& a, const Iterator& b) {
            return a._i - b._i;
        }
        friend bool operator==(const Iterator& a, const Iterator& b) { return a._i == b._i; }
        friend auto operator<=>(const Iterator& a, const Iterator& b) { return a._i <=> b._i; }

    private:
        Byte* _data{};
        std::ptrdiff_t _stride{};
        std::ptrdiff_t _i{};
    };

    constexpr StridedArrayView1D() noexcept = default;

    /* Contiguous elements */
    StridedArrayView1D(std::span<T> data) noexcept
        : _data{reinterpret_cast<Byte*>(data.data())}, _size{data.size()}, _stride{sizeof(T)} {}

    /* Elements starting at `first` inside `data`; aborts when they don't fit */
    StridedArrayView1D(std::span<Byte> data, T* first, std::size_t size, std::ptrdiff_t stride)
        : StridedArrayView1D{first, size, stride} {
        ZE_ASSERT(
            Implementation::stridedElementsFit<1>(data.size(),
                                                  reinterpret_cast<Byte*>(first) - data.data(),
                                                  sizeof(T), {size}, {stride}),
            "Containers::StridedArrayView: data size" << data.size() << "is not enough for" << size
                                                      << "elements of stride" << stride);
    }

    /* Unchecked */
    StridedArrayView1D(T* first, std::size_t size, std::ptrdiff_t stride) noexcept
        : _data{reinterpret_cast<Byte*>(first)}, _size{size}, _stride{stride} {}

    /* Mutable to const */
    template<class U>
    requires(std::is_same_v<const U, T> && !std::is_same_v<U, T>)
        StridedArrayView1D(const StridedArrayView1D<U>& other)
    noexcept
        : _data{static_cast<const char*>(other.data())}, _size{other.size()},
          _stride{other.stride()} {}

    Byte* data() const { return _data; }
    std::size_t size() const { return _size; }
    std::ptrdiff_t stride() const { return _stride; }
    bool empty() const { return _size == 0; }

    T& operator[](std::size_t i) const {
        return *reinterpret_cast<T*>(_data + std::ptrdiff_t(i) * _stride);
    }
    T& front() const { return (*this)[0]; }
    T& back() const { return (*this)[_size - 1]; }

    Iterator begin() const { return Iterator{_data, _stride, 0}; }
    Iterator end() const { return Iterator{_data, _stride, _size}; }

    /* Elements begin to end - 1 */
    StridedArrayView1D slice(std::size_t begin, std::size_t end) const {
        ZE_ASSERT(begin <= end && end <= _size,
                  "Containers::StridedArrayView::slice(): slice ["
                      << Debug::nospace << begin << Debug::nospace << ":" << Debug::nospace << end
                      << Debug::nospace << "] out of range for" << _size << "elements");
        return StridedArrayView1D{reinterpret_cast<T*>(_data + std::ptrdiff_t(begin) * _stride),
                                  end - begin, _stride};
    }
    StridedArrayView1D prefix(std::size_t count) const { return slice(0, count); }
    StridedArrayView1D suffix(std::size_t count) const { return slice(_size - count, _size); }

    /* Every step-th element, starting with the first */
    StridedArrayView1D every(std::size_t step) const {
        ZE_ASSERT(step, "Containers::StridedArrayView::every(): expected a non-zero step");
        return StridedArrayView1D{reinterpret_cast<T*>(_data), (_size + step - 1) / step,
                                  _stride * std::ptrdiff_t(step)};
    }

    /* Whether the elements follow each other without gaps */
    bool isContiguous() const { return _size <= 1 || _stride == std::ptrdiff_t(sizeof(T)); }

    std::span<T> asContiguous() const {
        ZE_ASSERT(isContiguous(),
                  "Containers::StridedArrayView::asContiguous(): the view is not contiguous");
        return {reinterpret_cast<T*>(_data), _size};
    }

private:
    Byte* _data{};
    std::size_t _size{};
    std::ptrdiff_t _stride{};
};

/* Non-owning view of size[0] rows of size[1] elements each, with a byte stride per dimension */
template<class T>
class StridedArrayView2D {
public:
    using Type = T;
    using Byte = Implementation::ByteOf<T>;

    constexpr StridedArrayView2D() noexcept = default;

    /* Contiguous rows of contiguous elements over data, which must hold them all */
    StridedArrayView2D(std::span<T> data, Size2D size)
        : StridedArrayView2D{
              std::span<Byte>{reinterpret_cast<Byte*>(data.data()), data.size_bytes()}, data.data(),
              size, Stride2D{std::ptrdiff_t(size[1] * sizeof(T)), std::ptrdiff_t(sizeof(T))}} {}

    /* Elements starting at `first` inside `data`; aborts when they don't fit */
    StridedArrayView2D(std::span<Byte> data, T* first, Size2D size, Stride2D stride)
        : StridedArrayView2D{first, size, stride} {
        ZE_ASSERT(Implementation::stridedElementsFit(data.size(),
                                                     reinterpret_cast<Byte*>(first) - data.data(),
                                                     sizeof(T), size, stride),
                  "Containers::StridedArrayView: data size"
                      << data.size() << "is not enough for {" << Debug::nospace << size[0]
                      << Debug::nospace << "," << size[1] << Debug::nospace
                      << "} elements of stride {" << Debug::nospace << stride[0] << Debug::nospace
                      << "," << stride[1] << Debug::nospace << "}");
    }

    /* Unchecked */
    StridedArrayView2D(T* first, Size2D size, Stride2D stride) noexcept
        : _data{reinterpret_cast<Byte*>(first)}, _size{size}, _stride{stride} {}

    /* Mutable to const */
    template<class U>
    requires(std::is_same_v<const U, T> && !std::is_same_v<U, T>)
        StridedArrayView2D(const StridedArrayView2D<U>& other)
    noexcept
        : _data{static_cast<const char*>(other.data())}, _size{other.size()},
          _stride{other.stride()} {}

    Byte* data() const { return _data; }
    Size2D size() const { return _size; }
    Stride2D stride() const { return _stride; }
    bool empty() const { return _size[0] == 0 || _size[1] == 0; }

    /* Row i */
    StridedArrayView1D<T> operator[](std::size_t i) const {
        return StridedArrayView1D<T>{reinterpret_cast<T*>(_data + std::ptrdiff_t(i) * _stride[0]),
                                     _size[1], _stride[1]};
    }

    /* Rows begin to end - 1 */
    StridedArrayView2D sliceRows(std::size_t begin, std::size_t end) const {
        ZE_ASSERT(begin <= end && end <= _size[0],
                  "Containers::StridedArrayView::slice(): slice ["
                      << Debug::nospace << begin << Debug::nospace << ":" << Debug::nospace << end
                      << Debug::nospace << "] out of range for" << _size[0] << "elements");
        return StridedArrayView2D{reinterpret_cast<T*>(_data + std::ptrdiff_t(begin) * _stride[0]),
                                  Size2D{end - begin, _size[1]}, _stride};
    }

    /* Rows become columns */
    StridedArrayView2D transposed() const {
        return StridedArrayView2D{reinterpret_cast<T*>(_data), Size2D{_size[1], _size[0]},
                                  Stride2D{_stride[1], _stride[0]}};
    }

    /* Whether every element follows the previous one without gaps, row after row */
    bool isContiguous() const {
        return _stride[1] == std::ptrdiff_t(sizeof(T)) &&
               (_size[0] <= 1 || _stride[0] == std::ptrdiff_t(_size[1] * sizeof(T)));
    }

    std::span<T> asContiguous() const {
        ZE_ASSERT(isContiguous(),
                  "Containers::StridedArrayView::asContiguous(): the view is not contiguous");
        return {reinterpret_cast<T*>(_data), _size[0] * _size[1]};
    }

private:
    Byte* _data{};
    Size2D _size{};
    Stride2D _stride{};
};

} // namespace ZarvikEngine

#endif
