#include "ZarvikEngine/Trade/ImageData.h"

namespace ZarvikEngine::Trade {

const Vector2i& ImageData2D::size() const {
    return std::visit([](const auto& image) -> const Vector2i& { return image.size(); }, _image);
}

std::span<const char> ImageData2D::data() const {
    return std::visit([](const auto& image) { return image.data(); }, _image);
}

std::span<char> ImageData2D::data() {
    return std::visit([](auto& image) { return image.data(); }, _image);
}

const Image2D& ImageData2D::image() const {
    ZE_ASSERT(!isCompressed(), "Trade::ImageData::image(): the image is compressed");
    return std::get<Image2D>(_image);
}

Image2D& ImageData2D::image() {
    ZE_ASSERT(!isCompressed(), "Trade::ImageData::image(): the image is compressed");
    return std::get<Image2D>(_image);
}

const CompressedImage2D& ImageData2D::compressedImage() const {
    ZE_ASSERT(isCompressed(), "Trade::ImageData::compressedImage(): the image is not compressed");
    return std::get<CompressedImage2D>(_image);
}

CompressedImage2D& ImageData2D::compressedImage() {
    ZE_ASSERT(isCompressed(), "Trade::ImageData::compressedImage(): the image is not compressed");
    return std::get<CompressedImage2D>(_image);
}

} // namespace ZarvikEngine::Trade
