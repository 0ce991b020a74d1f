#ifndef ZarvikEngine_Trade_TextureData_h
#define ZarvikEngine_Trade_TextureData_h

#include <array>
#include <cstdint>

#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/Trade/Sampler.h"

namespace ZarvikEngine::Trade {

enum class TextureType : std::uint8_t {
    Texture1D,
    Texture1DArray,
    Texture2D,
    Texture2DArray,
    Texture3D,
    CubeMap,
    CubeMapArray,
};

/* "Trade::TextureType::Texture2D" or "Trade::TextureType(12)" */
Debug& operator<<(Debug& debug, TextureType value);

/* A texture: which image it samples and how */
class TextureData {
public:
    constexpr TextureData(TextureType type, SamplerFilter minificationFilter,
                          SamplerFilter magnificationFilter, SamplerMipmap mipmapFilter,
                          const std::array<SamplerWrapping, 3>& wrapping,
                          std::uint32_t image) noexcept
        : _type{type}, _minificationFilter{minificationFilter},
          _magnificationFilter{magnificationFilter},
          _mipmapFilter{mipmapFilter}, _wrapping{wrapping}, _image{image} {}

    constexpr TextureType type() const { return _type; }
    constexpr SamplerFilter minificationFilter() const { return _minificationFilter; }
    constexpr SamplerFilter magnificationFilter() const { return _magnificationFilter; }
    constexpr SamplerMipmap mipmapFilter() const { return _mipmapFilter; }
    /* Along x, y and z */
    constexpr const std::array<SamplerWrapping, 3>& wrapping() const { return _wrapping; }
    /* Index of the image among the importer's images */
    constexpr std::uint32_t image() const { return _image; }

private:
    TextureType _type;
    SamplerFilter _minificationFilter;
    SamplerFilter _magnificationFilter;
    SamplerMipmap _mipmapFilter;
    std::array<SamplerWrapping, 3> _wrapping;
    std::uint32_t _image;
};

} // namespace ZarvikEngine::Trade

#endif
