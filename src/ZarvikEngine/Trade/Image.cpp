#include "ZarvikEngine/Trade/Image.h"

#include <utility>

namespace ZarvikEngine {

PixelStorage& PixelStorage::setAlignment(std::int32_t alignment) {
    ZE_ASSERT(alignment == 1 || alignment == 2 || alignment == 4 || alignment == 8,
              "PixelStorage::setAlignment(): expected alignment to be 1, 2, 4 or 8 but got"
                  << alignment);
    _alignment = alignment;
    return *this;
}

PixelStorage& PixelStorage::setRowLength(std::int32_t rowLength) {
    ZE_ASSERT(rowLength >= 0,
              "PixelStorage::setRowLength(): expected a non-negative length but got" << rowLength);
    _rowLength = rowLength;
    return *this;
}

std::size_t PixelStorage::rowStride(std::size_t pixelSize, std::int32_t width) const {
    const std::size_t rowBytes = std::size_t(_rowLength ? _rowLength : width) * pixelSize;
    return (rowBytes + _alignment - 1) / _alignment * _alignment;
}

std::size_t PixelStorage::dataSize(std::size_t pixelSize, const Vector2i& size) const {
    return size.x && size.y ? rowStride(pixelSize, size.x) * std::size_t(size.y) : 0;
}

template<class T>
BasicImageView2D<T>::BasicImageView2D(PixelStorage storage, PixelFormat format,
                                      const Vector2i& size, std::span<T> data)
    : _storage{storage}, _format{format},
      _pixelSize{pixelFormatSize(format)}, _size{size}, _data{data} {
    const std::size_t expected = _storage.dataSize(_pixelSize, size);
    ZE_ASSERT(data.size() >= expected, "ImageView: data too small, got"
                                           << data.size() << "but expected at least" << expected
                                           << "bytes");
}

template<class T>
StridedArrayView2D<T> BasicImageView2D<T>::pixels() const {
    return {_data.data(), Size2D{std::size_t(_size.y), std::size_t(_size.x) * _pixelSize},
            Stride2D{std::ptrdiff_t(rowStride()), 1}};
}

template<class T>
void BasicImageView2D<T>::checkPixelType(std::size_t typeSize) const {
    ZE_ASSERT(typeSize == _pixelSize, "ImageView::pixels(): can't view"
                                          << _pixelSize << Debug::nospace << "-byte pixels of"
                                          << _format << "as a" << typeSize << Debug::nospace
                                          << "-byte type");
}

template class BasicImageView2D<const char>;
template class BasicImageView2D<char>;

std::size_t compressedImageDataSize(CompressedPixelFormat format, const Vector2i& size) {
    const Vector3i blockSize = compressedPixelFormatBlockSize(format);
    const std::size_t blocksX = std::size_t((size.x + blockSize.x - 1) / blockSize.x);
    const std::size_t blocksY = std::size_t((size.y + blockSize.y - 1) / blockSize.y);
    return blocksX * blocksY * compressedPixelFormatBlockDataSize(format);
}

template<class T>
BasicCompressedImageView2D<T>::BasicCompressedImageView2D(CompressedPixelFormat format,
                                                          const Vector2i& size, std::span<T> data)
    : _format{format}, _size{size}, _data{data} {
    const std::size_t expected = compressedImageDataSize(format, size);
    ZE_ASSERT(data.size() >= expected, "CompressedImageView: data too small, got"
                                           << data.size() << "but expected at least" << expected
                                           << "bytes");
}

template class BasicCompressedImageView2D<const char>;
template class BasicCompressedImageView2D<char>;

Image2D::Image2D(PixelStorage storage, PixelFormat format, const Vector2i& size,
                 std::vector<char>&& data)
    : _storage{storage}, _format{format}, _size{size}, _data{std::move(data)} {
    const std::size_t expected = _storage.dataSize(pixelFormatSize(format), size);
    ZE_ASSERT(_data.size() >= expected, "Image: data too small, got"
                                            << _data.size() << "but expected at least" << expected
                                            << "bytes");
}

std::vector<char> Image2D::release() {
    _size = {};
    return std::move(_data);
}

CompressedImage2D::CompressedImage2D(CompressedPixelFormat format, const Vector2i& size,
                                     std::vector<char>&& data)
    : _format{format}, _size{size}, _data{std::move(data)} {
    const std::size_t expected = compressedImageDataSize(format, size);
    ZE_ASSERT(_data.size() >= expected, "CompressedImage: data too small, got"
                                            << _data.size() << "but expected at least" << expected
                                            << "bytes");
}

std::vector<char> CompressedImage2D::release() {
    _size = {};
    return std::move(_data);
}

} // namespace ZarvikEngine
