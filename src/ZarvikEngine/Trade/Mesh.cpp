#include "ZarvikEngine/Trade/Mesh.h"

#include <iterator>
#include <string_view>

namespace ZarvikEngine {

namespace {
/* Indexed by value - 1 */
constexpr std::string_view PrimitiveNames[]{
    "Points",      "Lines",     "LineLoop", "LineStrip", "Triangles", "TriangleStrip",
    "TriangleFan", "Instances", "Faces",    "Edges",     "Meshlets",
};
constexpr std::string_view IndexTypeNames[]{"UnsignedByte", "UnsignedShort", "UnsignedInt"};
} // namespace

Debug& operator<<(Debug& debug, MeshPrimitive value) {
    const std::uint32_t index = std::uint32_t(value) - 1;
    return Implementation::printWrappableEnum(
        debug, "MeshPrimitive", index < std::size(PrimitiveNames) ? PrimitiveNames[index] : "",
        std::uint32_t(value));
}

Debug& operator<<(Debug& debug, MeshIndexType value) {
    return Implementation::printWrappableEnum(
        debug, "MeshIndexType",
        isMeshIndexTypeKnown(value) ? IndexTypeNames[std::uint32_t(value) - 1] : "",
        std::uint32_t(value));
}

bool isMeshIndexTypeKnown(MeshIndexType type) {
    return std::uint32_t(type) - 1 < std::size(IndexTypeNames);
}

std::uint32_t meshIndexTypeSize(MeshIndexType type) {
    ZE_ASSERT(!isImplementationSpecific(type),
              "meshIndexTypeSize(): can't determine size of an implementation-specific type"
                  << fmt::format("{:#x}", unwrapImplementationSpecific(type)));
    ZE_ASSERT(isMeshIndexTypeKnown(type), "meshIndexTypeSize(): invalid type" << type);
    return 1u << (std::uint32_t(type) - 1);
}

} // namespace ZarvikEngine
