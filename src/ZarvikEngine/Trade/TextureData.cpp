#include "ZarvikEngine/Trade/TextureData.h"

#include <iterator>
#include <string_view>

namespace ZarvikEngine::Trade {

namespace {
/* Indexed by value */
constexpr std::string_view TypeNames[]{"Texture1D",      "Texture1DArray", "Texture2D",
                                       "Texture2DArray", "Texture3D",      "CubeMap",
                                       "CubeMapArray"};
} // namespace

Debug& operator<<(Debug& debug, TextureType value) {
    const std::size_t index = std::size_t(value);
    return printEnum(debug, "Trade::TextureType",
                     index < std::size(TypeNames) ? TypeNames[index] : "", index);
}

} // namespace ZarvikEngine::Trade
