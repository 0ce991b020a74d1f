#ifndef ZarvikEngine_Trade_ImageData_h
#define ZarvikEngine_Trade_ImageData_h

#include <span>
#include <variant>
#include <vector>

#include "ZarvikEngine/Trade/Image.h"

namespace ZarvikEngine::Trade {

/* A 2D image as an importer returns it: owned pixel data that is either plain or
   block-compressed. Move-only. */
class ImageData2D {
public:
    ImageData2D(Image2D&& image) noexcept : _image{std::move(image)} {}
    ImageData2D(CompressedImage2D&& image) noexcept : _image{std::move(image)} {}

    bool isCompressed() const { return std::holds_alternative<CompressedImage2D>(_image); }

    const Vector2i& size() const;
    std::span<const char> data() const;
    std::span<char> data();

    /* The image when it isn't compressed */
    const Image2D& image() const;
    Image2D& image();

    /* The image when it is compressed */
    const CompressedImage2D& compressedImage() const;
    CompressedImage2D& compressedImage();

private:
    std::variant<Image2D, CompressedImage2D> _image;
};

} // namespace ZarvikEngine::Trade

#endif
