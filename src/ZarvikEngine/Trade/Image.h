#ifndef ZarvikEngine_Trade_Image_h
#define ZarvikEngine_Trade_Image_h

#include <cstddef>
#include <cstdint>
#include <span>
#include <type_traits>
#include <vector>

#include "ZarvikEngine/Containers/StridedArrayView.h"
#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/Trade/PixelFormat.h"

namespace ZarvikEngine {

/* How the rows of pixel data lie in memory: each row starts at a multiple of the alignment,
   and holds rowLength pixels (the image width when 0) before its padding */
class PixelStorage {
public:
    constexpr PixelStorage() noexcept = default;

    constexpr std::int32_t alignment() const { return _alignment; }
    /* 1, 2, 4 or 8 */
    PixelStorage& setAlignment(std::int32_t alignment);

    constexpr std::int32_t rowLength() const { return _rowLength; }
    PixelStorage& setRowLength(std::int32_t rowLength);

    /* Bytes from the start of one row to the next */
    std::size_t rowStride(std::size_t pixelSize, std::int32_t width) const;

    /* Bytes of the pixel data of an image of that size: every row with its padding, the last
       one included */
    std::size_t dataSize(std::size_t pixelSize, const Vector2i& size) const;

    constexpr bool operator==(const PixelStorage&) const = default;

private:
    std::int32_t _alignment{4};
    std::int32_t _rowLength{};
};

/* Non-owning view of 2D pixel data; T is const char or char. Rows follow each other in memory
   order. */
template<class T>
class BasicImageView2D {
public:
    /* The data has to hold storage.dataSize() bytes at least */
    BasicImageView2D(PixelStorage storage, PixelFormat format, const Vector2i& size,
                     std::span<T> data);
    BasicImageView2D(PixelFormat format, const Vector2i& size, std::span<T> data)
        : BasicImageView2D{PixelStorage{}, format, size, data} {}

    /* Mutable to const */
    template<class U>
    requires(std::is_same_v<const U, T> && !std::is_same_v<U, T>)
        BasicImageView2D(const BasicImageView2D<U>& other)
    noexcept
        : _storage{other.storage()}, _format{other.format()}, _pixelSize{other.pixelSize()},
          _size{other.size()}, _data{other.data()} {}

    PixelStorage storage() const { return _storage; }
    PixelFormat format() const { return _format; }
    /* Bytes of one pixel */
    std::uint32_t pixelSize() const { return _pixelSize; }
    const Vector2i& size() const { return _size; }
    std::span<T> data() const { return _data; }
    std::size_t rowStride() const { return _storage.rowStride(_pixelSize, _size.x); }

    /* One row per image row of the bytes of its pixels, padding excluded */
    StridedArrayView2D<T> pixels() const;

    /* One row per image row of its pixels; U must have the size of a pixel */
    template<class U>
    StridedArrayView2D<std::conditional_t<std::is_const_v<T>, const U, U>> pixels() const {
        checkPixelType(sizeof(U));
        return {reinterpret_cast<std::conditional_t<std::is_const_v<T>, const U, U>*>(_data.data()),
                Size2D{std::size_t(_size.y), std::size_t(_size.x)},
                Stride2D{std::ptrdiff_t(rowStride()), std::ptrdiff_t(sizeof(U))}};
    }

private:
    void checkPixelType(std::size_t typeSize) const;

    PixelStorage _storage;
    PixelFormat _format;
    std::uint32_t _pixelSize;
    Vector2i _size;
    std::span<T> _data;
};

using ImageView2D = BasicImageView2D<const char>;
using MutableImageView2D = BasicImageView2D<char>;

/* Non-owning view of block-compressed 2D pixel data; T is const char or char */
template<class T>
class BasicCompressedImageView2D {
public:
    /* The data has to hold every block covering the size */
    BasicCompressedImageView2D(CompressedPixelFormat format, const Vector2i& size,
                               std::span<T> data);

    /* Mutable to const */
    template<class U>
    requires(std::is_same_v<const U, T> && !std::is_same_v<U, T>)
        BasicCompressedImageView2D(const BasicCompressedImageView2D<U>& other)
    noexcept : _format{other.format()}, _size{other.size()}, _data{other.data()} {}

    CompressedPixelFormat format() const { return _format; }
    const Vector2i& size() const { return _size; }
    std::span<T> data() const { return _data; }

private:
    CompressedPixelFormat _format;
    Vector2i _size;
    std::span<T> _data;
};

using CompressedImageView2D = BasicCompressedImageView2D<const char>;
using MutableCompressedImageView2D = BasicCompressedImageView2D<char>;

/* Bytes of the blocks that cover an image of that size */
std::size_t compressedImageDataSize(CompressedPixelFormat format, const Vector2i& size);

/* 2D pixel data owned by the image. Move-only. Pixel access goes through the views it converts
   to. */
class Image2D {
public:
    /* The data has to hold storage.dataSize() bytes at least */
    Image2D(PixelStorage storage, PixelFormat format, const Vector2i& size,
            std::vector<char>&& data);
    Image2D(PixelFormat format, const Vector2i& size, std::vector<char>&& data)
        : Image2D{PixelStorage{}, format, size, std::move(data)} {}

    Image2D(const Image2D&) = delete;
    Image2D(Image2D&&) noexcept = default;
    Image2D& operator=(const Image2D&) = delete;
    Image2D& operator=(Image2D&&) noexcept = default;

    PixelStorage storage() const { return _storage; }
    PixelFormat format() const { return _format; }
    std::uint32_t pixelSize() const { return pixelFormatSize(_format); }
    const Vector2i& size() const { return _size; }
    std::span<const char> data() const { return _data; }
    std::span<char> data() { return _data; }

    operator ImageView2D() const { return {_storage, _format, _size, data()}; }
    operator MutableImageView2D() { return {_storage, _format, _size, data()}; }

    StridedArrayView2D<const char> pixels() const { return ImageView2D{*this}.pixels(); }
    StridedArrayView2D<char> pixels() { return MutableImageView2D{*this}.pixels(); }
    template<class U>
    StridedArrayView2D<const U> pixels() const {
        return ImageView2D{*this}.pixels<U>();
    }
    template<class U>
    StridedArrayView2D<U> pixels() {
        return MutableImageView2D{*this}.pixels<U>();
    }

    /* Moves the data out, leaving the image empty */
    std::vector<char> release();

private:
    PixelStorage _storage;
    PixelFormat _format;
    Vector2i _size;
    std::vector<char> _data;
};

/* Block-compressed 2D pixel data owned by the image. Move-only. */
class CompressedImage2D {
public:
    /* The data has to hold every block covering the size */
    CompressedImage2D(CompressedPixelFormat format, const Vector2i& size, std::vector<char>&& data);

    CompressedImage2D(const CompressedImage2D&) = delete;
    CompressedImage2D(CompressedImage2D&&) noexcept = default;
    CompressedImage2D& operator=(const CompressedImage2D&) = delete;
    CompressedImage2D& operator=(CompressedImage2D&&) noexcept = default;

    CompressedPixelFormat format() const { return _format; }
    const Vector2i& size() const { return _size; }
    std::span<const char> data() const { return _data; }
    std::span<char> data() { return _data; }

    operator CompressedImageView2D() const { return {_format, _size, data()}; }
    operator MutableCompressedImageView2D() { return {_format, _size, data()}; }

    /* Moves the data out, leaving the image empty */
    std::vector<char> release();

private:
    CompressedPixelFormat _format;
    Vector2i _size;
    std::vector<char> _data;
};

} // namespace ZarvikEngine

#endif
