#ifndef ZarvikEngine_Tools_MeshFormat_h
#define ZarvikEngine_Tools_MeshFormat_h

/* The engine's interleaved vertex layouts. A set of MeshDataFlag bits names the attributes a
   layout holds; the slot table maps each to a mesh attribute and its full-precision and
   quantized formats, in layout order. Layouts are stored in asset files and read by the
   runtime, so the table must not change. */

#include <array>
#include <cstdint>
#include <vector>

#include "ZarvikEngine/Containers/EnumSet.h"
#include "ZarvikEngine/Containers/StridedArrayView.h"
#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/Trade/MeshData.h"

namespace ZarvikEngine {

enum class MeshDataFlag : std::uint32_t {
    Positions = 0x1,
    /* The first texture coordinate set */
    TextureCoordinates = 0x2,
    Normals = 0x4,
    /* Four components, the handedness in w */
    Tangents = 0x8,
    ObjectIds = 0x10,
    /* Joint ids and weights, four influences per vertex */
    Skinning = 0x20,
    /* Eight influences instead of four, together with Skinning */
    ExtendedSkinning = 0x40,
    Colors = 0x80,
    SecondaryTextureCoordinates = 0x100,
    /* The six vertex attributes of text meshes */
    Slug = 0x200,
    /* In a single flag set: every attribute of the set in its quantized format */
    Quantized = 0x400,
};

using MeshDataFlags = EnumSet<MeshDataFlag>;
ZE_ENUMSET_OPERATORS(MeshDataFlags)

/* "MeshDataFlag::Normals" */
Debug& operator<<(Debug& debug, MeshDataFlag value);
/* "MeshDataFlag::Positions|MeshDataFlag::Normals", "MeshDataFlags{}" when empty */
Debug& operator<<(Debug& debug, MeshDataFlags value);

/* One attribute of the layouts */
struct MeshAttributeSlot {
    /* Present when the layout has this flag */
    MeshDataFlag flag;
    Trade::MeshAttribute attribute;
    /* Among attributes of the same name */
    std::uint32_t id;
    /* VertexFormat{} where the slot exists only in quantized form */
    VertexFormat format;
    VertexFormat quantizedFormat;
    /* 0 for attributes that aren't arrays */
    std::uint16_t arraySize;
    /* Empty where the array size never changes */
    MeshDataFlags extendedBy;
    std::uint16_t extendedArraySize;
};

/* The slots in layout order. The custom attribute 42 only pads the quantized normal to eight
   bytes and stays zero; custom attributes 4 to 9 are the text attributes. */
inline constexpr std::array<MeshAttributeSlot, 16> MeshAttributeSlots{{
    {MeshDataFlag::Positions,
     Trade::MeshAttribute::Position,
     0,
     VertexFormat::Vector3,
     VertexFormat::Vector3,
     0,
     {},
     0},
    {MeshDataFlag::TextureCoordinates,
     Trade::MeshAttribute::TextureCoordinates,
     0,
     VertexFormat::Vector2,
     VertexFormat::Vector2,
     0,
     {},
     0},
    {MeshDataFlag::SecondaryTextureCoordinates,
     Trade::MeshAttribute::TextureCoordinates,
     1,
     VertexFormat::Vector2,
     VertexFormat::Vector2,
     0,
     {},
     0},
    {MeshDataFlag::Colors,
     Trade::MeshAttribute::Color,
     0,
     VertexFormat::Vector4,
     VertexFormat::Vector4usNormalized,
     0,
     {},
     0},
    {MeshDataFlag::Tangents,
     Trade::MeshAttribute::Tangent,
     0,
     VertexFormat::Vector4,
     VertexFormat::Vector4sNormalized,
     0,
     {},
     0},
    {MeshDataFlag::ObjectIds,
     Trade::MeshAttribute::ObjectId,
     0,
     VertexFormat::UnsignedInt,
     VertexFormat::UnsignedInt,
     0,
     {},
     0},
    {MeshDataFlag::Normals,
     Trade::MeshAttribute::Normal,
     0,
     VertexFormat::Vector3,
     VertexFormat::Vector3sNormalized,
     0,
     {},
     0},
    {MeshDataFlag::Normals,
     Trade::meshAttributeCustom(42),
     0,
     VertexFormat{},
     VertexFormat::UnsignedShort,
     0,
     {},
     0},
    {MeshDataFlag::Skinning, Trade::MeshAttribute::JointIds, 0, VertexFormat::UnsignedShort,
     VertexFormat::UnsignedShort, 4, MeshDataFlag::ExtendedSkinning, 8},
    {MeshDataFlag::Skinning, Trade::MeshAttribute::Weights, 0, VertexFormat::Float,
     VertexFormat::UnsignedShortNormalized, 4, MeshDataFlag::ExtendedSkinning, 8},
    {MeshDataFlag::Slug,
     Trade::meshAttributeCustom(4),
     0,
     VertexFormat::Vector2,
     VertexFormat::Vector2,
     0,
     {},
     0},
    {MeshDataFlag::Slug,
     Trade::meshAttributeCustom(5),
     0,
     VertexFormat::Vector2,
     VertexFormat::Vector2,
     0,
     {},
     0},
    {MeshDataFlag::Slug,
     Trade::meshAttributeCustom(6),
     0,
     VertexFormat::Vector4,
     VertexFormat::Vector4,
     0,
     {},
     0},
    {MeshDataFlag::Slug,
     Trade::meshAttributeCustom(7),
     0,
     VertexFormat::Vector4,
     VertexFormat::Vector4,
     0,
     {},
     0},
    {MeshDataFlag::Slug,
     Trade::meshAttributeCustom(8),
     0,
     VertexFormat::Vector4,
     VertexFormat::Vector4,
     0,
     {},
     0},
    {MeshDataFlag::Slug,
     Trade::meshAttributeCustom(9),
     0,
     VertexFormat::Vector4ubNormalized,
     VertexFormat::Vector4ubNormalized,
     0,
     {},
     0},
}};

/* The flags whose every slot the mesh has (morph-target attributes aside); an array longer
   than the slot's adds the extending flag. Never Quantized. */
MeshDataFlags getMeshFlags(const Trade::MeshData& mesh);

/* The interleaved attributes of the layout for vertexCount vertices, slots whose flag is in
   quantized in their quantized format. An empty layout means positions only. */
std::vector<Trade::MeshAttributeData> getLayout(MeshDataFlags layout, MeshDataFlags quantized,
                                                std::uint32_t vertexCount);
/* The flags without Quantized as the layout, all of them quantized when Quantized is in */
std::vector<Trade::MeshAttributeData> getLayout(MeshDataFlags flags, std::uint32_t vertexCount);

/* A mesh of the source's primitive and vertex count with zeroed vertex data in the layout
   and, when the source is indexed, room for its indices as 32-bit values */
Trade::MeshData cloneMeshDataUninitialized(MeshDataFlags layout, MeshDataFlags quantized,
                                           const Trade::MeshData& source);
/* cloneMeshDataUninitialized() as getLayout(flags, …) reads the flags, then the indices and
   every attribute both meshes have copied over */
Trade::MeshData cloneMeshData(MeshDataFlags flags, const Trade::MeshData& source);

/* Writes the indices of an indexed source into the destination's 32-bit index buffer */
void copyMeshIndexData(Trade::MeshData& destination, const Trade::MeshData& source);
/* Copies every destination attribute (name and id) the source also has, bytewise into
   elements at least as large */
void copyMeshVertexData(Trade::MeshData& destination, const Trade::MeshData& source);

/* The source in the layout, the attributes of the flags in quantize quantized: normals and
   tangents to signed, colors and weights to unsigned 16-bit normalized values. Attributes the
   source lacks stay zero. */
Trade::MeshData packMesh(MeshDataFlags layout, MeshDataFlags quantize,
                         const Trade::MeshData& source);
/* With the source's own flags as the layout */
Trade::MeshData packMesh(MeshDataFlags quantize, const Trade::MeshData& source);

/* The reverse: the attributes of the flags in unpack back to floats, the others kept in
   their quantized formats. The layout mustn't contain Quantized. */
Trade::MeshData unpackMesh(MeshDataFlags targetLayout, MeshDataFlags unpack,
                           const Trade::MeshData& source);
/* With the source's own flags as the layout */
Trade::MeshData unpackMesh(MeshDataFlags unpack, const Trade::MeshData& source);

/* One attribute's rows between the two forms by its name: tangents and normals to (from)
   signed, colors and weights to (from) unsigned 16-bit normalized, anything else copied.
   Rows hold the bytes of one vertex each. */
void packMeshAttributeDataInto(Trade::MeshAttribute name,
                               const StridedArrayView2D<const char>& source,
                               const StridedArrayView2D<char>& destination);
void unpackMeshAttributeDataInto(Trade::MeshAttribute name,
                                 const StridedArrayView2D<const char>& source,
                                 const StridedArrayView2D<char>& destination);

} // namespace ZarvikEngine

#endif
