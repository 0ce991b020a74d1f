#ifndef ZarvikEngine_Trade_Mesh_h
#define ZarvikEngine_Trade_Mesh_h

#include <cstdint>

#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/Trade/WrappedEnum.h"

namespace ZarvikEngine {

/* How the vertices of a mesh form primitives. The numbering is stored in asset files; zero is
   reserved as invalid. */
enum class MeshPrimitive : std::uint32_t {
    Points = 1,
    Lines,
    LineLoop,
    LineStrip,
    Triangles,
    TriangleStrip,
    TriangleFan,
    /* Per-instance data */
    Instances,
    /* Per-face data */
    Faces,
    /* Per-edge data */
    Edges,
    Meshlets,
};

/* Type of the indices of an indexed mesh. The numbering is stored in asset files; zero is
   reserved as invalid. */
enum class MeshIndexType : std::uint32_t {
    UnsignedByte = 1,
    UnsignedShort,
    UnsignedInt,
};

template<>
inline constexpr bool IsImplementationSpecificWrappable<MeshPrimitive> = true;
template<>
inline constexpr bool IsImplementationSpecificWrappable<MeshIndexType> = true;

/* "MeshPrimitive::Triangles", "MeshPrimitive::ImplementationSpecific(0x4)" or
   "MeshPrimitive(12)" */
Debug& operator<<(Debug& debug, MeshPrimitive value);
Debug& operator<<(Debug& debug, MeshIndexType value);

/* Whether the type is a named one, which meshIndexTypeSize() accepts */
bool isMeshIndexTypeKnown(MeshIndexType type);

/* Bytes of one index: 1, 2 or 4 */
std::uint32_t meshIndexTypeSize(MeshIndexType type);

} // namespace ZarvikEngine

#endif
