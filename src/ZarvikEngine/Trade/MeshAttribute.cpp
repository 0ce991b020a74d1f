#include "ZarvikEngine/Trade/MeshAttribute.h"

#include <iterator>
#include <string_view>

#include <fmt/format.h>

namespace ZarvikEngine::Trade {

namespace {
/* Indexed by value - 1 */
constexpr std::string_view Names[]{
    "Position", "Tangent",  "Bitangent", "Normal",   "TextureCoordinates",
    "Color",    "JointIds", "Weights",   "ObjectId",
};
} // namespace

Debug& operator<<(Debug& debug, MeshAttribute value) {
    if (isMeshAttributeCustom(value))
        return debug.print(
            fmt::format("Trade::MeshAttribute::Custom({})", meshAttributeCustom(value)));
    const std::size_t index = std::size_t(value) - 1;
    return printEnum(debug, "Trade::MeshAttribute", index < std::size(Names) ? Names[index] : "",
                     std::uint16_t(value));
}

} // namespace ZarvikEngine::Trade
