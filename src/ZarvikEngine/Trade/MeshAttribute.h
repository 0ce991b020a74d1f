#ifndef ZarvikEngine_Trade_MeshAttribute_h
#define ZarvikEngine_Trade_MeshAttribute_h

#include <cstdint>

#include "ZarvikEngine/Debug.h"

namespace ZarvikEngine::Trade {

/* Meaning of a mesh attribute. The numbering is stored in asset files; zero is reserved as
   invalid. Values from 32768 up are custom attributes, see meshAttributeCustom(). */
enum class MeshAttribute : std::uint16_t {
    Position = 1,
    /* Three components, or four with the bitangent sign (±1) in the last */
    Tangent,
    Bitangent,
    Normal,
    TextureCoordinates,
    Color,
    /* Array attribute of UnsignedInt, UnsignedShort or UnsignedByte */
    JointIds,
    /* Array attribute of Float, Half, UnsignedByteNormalized or UnsignedShortNormalized */
    Weights,
    ObjectId,
};

inline constexpr std::uint16_t MeshAttributeCustomBase = 32768;

/* "Trade::MeshAttribute::Position", "Trade::MeshAttribute::Custom(42)" or
   "Trade::MeshAttribute(12)" */
Debug& operator<<(Debug& debug, MeshAttribute value);

constexpr bool isMeshAttributeCustom(MeshAttribute name) {
    return std::uint16_t(name) >= MeshAttributeCustomBase;
}

/* The custom attribute with the given id, which has to be less than 32768 */
constexpr MeshAttribute meshAttributeCustom(std::uint16_t id) {
    ZE_ASSERT(id < MeshAttributeCustomBase,
              "Trade::meshAttributeCustom(): index" << id << "too large");
    return MeshAttribute(MeshAttributeCustomBase + id);
}

/* Id of a custom attribute */
constexpr std::uint16_t meshAttributeCustom(MeshAttribute name) {
    ZE_ASSERT(isMeshAttributeCustom(name),
              "Trade::meshAttributeCustom():" << name << "is not custom");
    return std::uint16_t(name) - MeshAttributeCustomBase;
}

} // namespace ZarvikEngine::Trade

#endif
