/* ImportedSceneCache::convertMesh(): imported meshes into the engine's vertex layouts */

#include <algorithm>
#include <span>

#include "ZarvikEngine/Tools/ImportedSceneCache.h"
#include "ZarvikEngine/Tools/MeshAttributeConversion.h"
#include "ZarvikEngine/Tools/MeshTools.h"

namespace ZarvikEngine {

namespace {

using Trade::MeshAttribute;
using Prepare = MeshTools::AttributeConversion (*)(const Trade::MeshData&, Trade::MeshData&,
                                                   MeshAttribute, std::uint32_t);

/* A source format the layouts take over, and how */
struct AcceptedFormat {
    VertexFormat format;
    Prepare prepare;
};

constexpr Prepare Copy = MeshTools::prepareCopyAttribute;

constexpr AcceptedFormat PositionFormats[]{
    {VertexFormat::Vector3, Copy},
    {VertexFormat::Vector3b, MeshTools::prepareCastAttribute<Vector3b, Vector3>},
    {VertexFormat::Vector3ub, MeshTools::prepareCastAttribute<Vector3ub, Vector3>},
    {VertexFormat::Vector3s, MeshTools::prepareCastAttribute<Vector3s, Vector3>},
    {VertexFormat::Vector3us, MeshTools::prepareCastAttribute<Vector3us, Vector3>},
    {VertexFormat::Vector3bNormalized, MeshTools::prepareUnpackAttribute<Vector3b, Vector3>},
    {VertexFormat::Vector3ubNormalized, MeshTools::prepareUnpackAttribute<Vector3ub, Vector3>},
    {VertexFormat::Vector3sNormalized, MeshTools::prepareUnpackAttribute<Vector3s, Vector3>},
    {VertexFormat::Vector3usNormalized, MeshTools::prepareUnpackAttribute<Vector3us, Vector3>},
};

constexpr AcceptedFormat NormalFormats[]{
    {VertexFormat::Vector3, Copy},
    {VertexFormat::Vector3bNormalized, MeshTools::prepareUnpackAttribute<Vector3b, Vector3>},
    {VertexFormat::Vector3sNormalized, MeshTools::prepareUnpackAttribute<Vector3s, Vector3>},
};

constexpr AcceptedFormat TextureCoordinateFormats[]{
    {VertexFormat::Vector2, Copy},
    {VertexFormat::Vector2b, MeshTools::prepareCastAttribute<Vector2b, Vector2>},
    {VertexFormat::Vector2ub, MeshTools::prepareCastAttribute<Vector2ub, Vector2>},
    {VertexFormat::Vector2s, MeshTools::prepareCastAttribute<Vector2s, Vector2>},
    {VertexFormat::Vector2us, MeshTools::prepareCastAttribute<Vector2us, Vector2>},
    {VertexFormat::Vector2bNormalized, MeshTools::prepareUnpackAttribute<Vector2b, Vector2>},
    {VertexFormat::Vector2ubNormalized, MeshTools::prepareUnpackAttribute<Vector2ub, Vector2>},
    {VertexFormat::Vector2sNormalized, MeshTools::prepareUnpackAttribute<Vector2s, Vector2>},
    {VertexFormat::Vector2usNormalized, MeshTools::prepareUnpackAttribute<Vector2us, Vector2>},
};

constexpr AcceptedFormat TangentFormats[]{
    {VertexFormat::Vector4, Copy},
    {VertexFormat::Vector4bNormalized, MeshTools::prepareUnpackAttribute<Vector4b, Vector4>},
    {VertexFormat::Vector4sNormalized, MeshTools::prepareUnpackAttribute<Vector4s, Vector4>},
};

constexpr AcceptedFormat JointIdFormats[]{
    {VertexFormat::UnsignedByte, MeshTools::prepareCastArrayAttribute<std::uint8_t, std::uint16_t>},
    {VertexFormat::UnsignedShort, Copy},
    {VertexFormat::UnsignedInt, MeshTools::prepareCastArrayAttribute<std::uint32_t, std::uint16_t>},
};

constexpr AcceptedFormat WeightFormats[]{
    {VertexFormat::Float, Copy},
    {VertexFormat::UnsignedByteNormalized,
     MeshTools::prepareUnpackArrayAttribute<std::uint8_t, float>},
    {VertexFormat::UnsignedShortNormalized,
     MeshTools::prepareUnpackArrayAttribute<std::uint16_t, float>},
};

/* Three-component colors get an alpha of 1 */
constexpr AcceptedFormat ColorFormats[]{
    {VertexFormat::Vector4, Copy},
    {VertexFormat::Vector3, MeshTools::prepareCastAttribute<Color3, Color4>},
    {VertexFormat::Vector3ubNormalized, MeshTools::prepareUnpackAttribute<Vector3ub, Vector4>},
    {VertexFormat::Vector3usNormalized, MeshTools::prepareUnpackAttribute<Vector3us, Vector4>},
    {VertexFormat::Vector4ubNormalized, MeshTools::prepareUnpackAttribute<Vector4ub, Vector4>},
    {VertexFormat::Vector4usNormalized, MeshTools::prepareUnpackAttribute<Vector4us, Vector4>},
};

/* Ids are copied bytewise into the zeroed 32-bit slots */
constexpr AcceptedFormat ObjectIdFormats[]{
    {VertexFormat::UnsignedByte, Copy},
    {VertexFormat::UnsignedShort, Copy},
    {VertexFormat::UnsignedInt, Copy},
};

/* Skinned vertices keep at most this many influences */
constexpr std::uint16_t MaxInfluences = 8;

/* Vertices converted per block, so that each block of a large mesh comes from memory once for
   all its attributes */
constexpr std::size_t BlockSize = 1024;

/* How the nth attribute of a name is taken over, if it is */
Prepare acceptedPrepare(const Trade::MeshData& mesh, MeshAttribute name, std::uint32_t id,
                        std::span<const AcceptedFormat> formats) {
    const std::optional<std::uint32_t> attribute = mesh.findAttributeId(name, id);
    if (!attribute)
        return nullptr;
    const VertexFormat format = mesh.attributeFormat(*attribute);
    const auto found = std::find_if(formats.begin(), formats.end(),
                                    [&](const AcceptedFormat& f) { return f.format == format; });
    return found == formats.end() ? nullptr : found->prepare;
}

/* "[SceneLoader] <problem> in mesh <name>, <action>", for named meshes only */
void warnAttribute(std::string_view mesh, std::string_view problem, std::string_view action) {
    if (!mesh.empty())
        Warning{} << "[SceneLoader]" << problem << "in mesh" << mesh << Debug::nospace << ","
                  << action;
}

/* The mesh as a triangle list over the original data: whole triangles of an indexed list,
   skinning arrays cut to MaxInfluences. Strips and fans become indexed lists, which needs new
   data only when they are indexed. */
Trade::MeshData triangleView(const Trade::MeshData& mesh) {
    std::vector<Trade::MeshAttributeData> attributes = Trade::attributeLayout(mesh);
    for (Trade::MeshAttributeData& attribute : attributes)
        if ((attribute.name() == MeshAttribute::JointIds ||
             attribute.name() == MeshAttribute::Weights) &&
            attribute.arraySize() > MaxInfluences)
            attribute = Trade::MeshAttributeData{
                attribute.name(),         attribute.format(), attribute.offset(mesh.vertexData()),
                attribute.vertexCount(),  attribute.stride(), MaxInfluences,
                attribute.morphTargetId()};

    auto vertexData = Trade::DataStorage::view(mesh.vertexData());
    if (!mesh.isIndexed())
        return MeshTools::convertToTriangles(Trade::MeshData{
            mesh.primitive(), std::move(vertexData), std::move(attributes), mesh.vertexCount()});
    const std::uint32_t indexCount = mesh.primitive() == MeshPrimitive::Triangles
                                         ? mesh.indexCount() / 3 * 3
                                         : mesh.indexCount();
    return MeshTools::convertToTriangles(
        Trade::MeshData{mesh.primitive(), Trade::DataStorage::view(mesh.indexData()),
                        Trade::MeshIndexData{mesh.indexType(), mesh.indexOffset(), indexCount},
                        std::move(vertexData), std::move(attributes), mesh.vertexCount()});
}

} // namespace

bool ImportedSceneCache::canConvertMesh(const Trade::MeshData& mesh) {
    const MeshPrimitive primitive = mesh.primitive();
    if (primitive != MeshPrimitive::Triangles && primitive != MeshPrimitive::TriangleStrip &&
        primitive != MeshPrimitive::TriangleFan) {
        Warning{} << "[SceneLoader] Skipping mesh: Only triangle primitives are supported";
        return false;
    }
    if (!mesh.hasAttribute(MeshAttribute::Position)) {
        Warning{} << "[SceneLoader] Skipping mesh: Missing position attribute";
        return false;
    }
    return true;
}

Trade::MeshData ImportedSceneCache::convertMesh(const Trade::MeshData& mesh, MeshDataFlags flags,
                                                std::string_view name) {
    ZE_ASSERT(mesh.vertexDataFlags() >= Trade::DataFlag::Owned,
              "SceneLoader::addMesh(): MeshData vertex data is not owned");
    ZE_ASSERT(!mesh.isIndexed() || mesh.indexDataFlags() >= Trade::DataFlag::Owned,
              "SceneLoader::addMesh(): MeshData index data is not owned");
    ZE_ASSERT(mesh.primitive() == MeshPrimitive::Triangles ||
                  mesh.primitive() == MeshPrimitive::TriangleStrip ||
                  mesh.primitive() == MeshPrimitive::TriangleFan,
              "ImportedSceneCache::convertMesh(): can't convert" << mesh.primitive());

    const std::optional<std::uint32_t> position = mesh.findAttributeId(MeshAttribute::Position);
    ZE_ASSERT(position, "ImportedSceneCache::convertMesh(): the mesh has no positions");
    const Prepare positions = acceptedPrepare(mesh, MeshAttribute::Position, 0, PositionFormats);
    if (!positions) {
        if (!name.empty())
            Warning{} << "[SceneLoader] Skipping mesh" << name << Debug::nospace
                      << ": Unsupported position format" << mesh.attributeFormat(*position);
        return Trade::copy(mesh);
    }

    MeshDataFlags layout = getMeshFlags(mesh) | MeshDataFlag::Positions | MeshDataFlag::Normals;
    if (flags)
        layout &= flags;
    /* Tangents are generated when asked for, whether the mesh has any or not */
    const bool tangentsWanted =
        flags ? flags >= MeshDataFlag::Tangents : layout >= MeshDataFlag::Tangents;
    if (tangentsWanted)
        layout |= MeshDataFlag::Tangents;

    Trade::MeshData source = triangleView(mesh);

    struct Planned {
        MeshAttribute name;
        std::uint32_t id;
        Prepare prepare;
    };
    std::vector<Planned> planned{{MeshAttribute::Position, 0, positions}};

    /* Each flag is kept with the conversions of its attributes, or dropped with a warning */
    auto take = [&](std::initializer_list<std::pair<MeshAttribute, std::span<const AcceptedFormat>>>
                        attributes,
                    std::uint32_t id) {
        std::vector<Planned> conversions;
        for (const auto& [attribute, formats] : attributes) {
            const Prepare prepare = acceptedPrepare(source, attribute, id, formats);
            if (!prepare)
                return false;
            conversions.push_back({attribute, id, prepare});
        }
        planned.insert(planned.end(), conversions.begin(), conversions.end());
        return true;
    };

    bool generateNormals = false;
    if (layout >= MeshDataFlag::Normals && !take({{MeshAttribute::Normal, NormalFormats}}, 0)) {
        warnAttribute(name, "Unsupported/missing normals", "generating");
        generateNormals = true;
    }

    if (layout >= MeshDataFlag::TextureCoordinates &&
        !take({{MeshAttribute::TextureCoordinates, TextureCoordinateFormats}}, 0)) {
        warnAttribute(name, "Unsupported texture coordinates format", "ignoring");
        layout &= ~(MeshDataFlag::TextureCoordinates | MeshDataFlag::SecondaryTextureCoordinates);
    }
    if (layout >= MeshDataFlag::SecondaryTextureCoordinates &&
        !take({{MeshAttribute::TextureCoordinates, TextureCoordinateFormats}}, 1)) {
        warnAttribute(name, "Unsupported texture coordinates format", "ignoring");
        layout &= ~MeshDataFlag::SecondaryTextureCoordinates;
    }

    bool joinTangents = false, generateTangents = false;
    if (tangentsWanted && !take({{MeshAttribute::Tangent, TangentFormats}}, 0)) {
        const std::optional<std::uint32_t> tangent = source.findAttributeId(MeshAttribute::Tangent);
        const std::optional<std::uint32_t> bitangent =
            source.findAttributeId(MeshAttribute::Bitangent);
        if (tangent && bitangent && source.attributeFormat(*tangent) == VertexFormat::Vector3 &&
            source.attributeFormat(*bitangent) == VertexFormat::Vector3)
            joinTangents = true;
        else if (layout >= MeshDataFlag::TextureCoordinates) {
            warnAttribute(name, "Unsupported/missing tangents", "generating");
            generateTangents = true;
        } else {
            warnAttribute(name, "Cannot generate tangents without texture coordinates", "ignoring");
            layout &= ~MeshDataFlag::Tangents;
        }
    }

    if (layout >= MeshDataFlag::Skinning) {
        const std::uint32_t joints = source.attributeId(MeshAttribute::JointIds);
        if (mesh.attributeArraySize(mesh.attributeId(MeshAttribute::JointIds)) > MaxInfluences ||
            mesh.attributeArraySize(mesh.attributeId(MeshAttribute::Weights)) > MaxInfluences)
            if (!name.empty())
                Warning{} << "[SceneLoader] Skinning attributes have more than 8 elements for mesh"
                          << name << Debug::nospace << ", only importing the first 8";
        if (!acceptedPrepare(source, MeshAttribute::JointIds, 0, JointIdFormats)) {
            warnAttribute(name, "Unsupported joint ids format", "ignoring");
            layout &= ~(MeshDataFlag::Skinning | MeshDataFlag::ExtendedSkinning);
        } else if (!acceptedPrepare(source, MeshAttribute::Weights, 0, WeightFormats)) {
            warnAttribute(name, "Unsupported joint weights format", "ignoring");
            layout &= ~(MeshDataFlag::Skinning | MeshDataFlag::ExtendedSkinning);
        } else {
            take({{MeshAttribute::JointIds, JointIdFormats},
                  {MeshAttribute::Weights, WeightFormats}},
                 0);
            if (source.attributeFormat(joints) == VertexFormat::UnsignedInt && !name.empty())
                Warning{} << "[SceneLoader] Casting joint ids down to UnsignedShort. If the "
                             "skeleton has more than 65535 bones, this is will lose information.";
        }
    }

    if (layout >= MeshDataFlag::Colors && !take({{MeshAttribute::Color, ColorFormats}}, 0)) {
        warnAttribute(name, "Unsupported colors format", "ignoring");
        layout &= ~MeshDataFlag::Colors;
    }

    if (layout >= MeshDataFlag::ObjectIds && !take({{MeshAttribute::ObjectId, ObjectIdFormats}}, 0))
        layout &= ~MeshDataFlag::ObjectIds;

    Trade::MeshData converted = cloneMeshDataUninitialized(layout, {}, source);
    copyMeshIndexData(converted, source);

    std::vector<MeshTools::AttributeConversion> conversions;
    conversions.reserve(planned.size());
    for (const Planned& attribute : planned)
        conversions.push_back(attribute.prepare(source, converted, attribute.name, attribute.id));
    for (std::size_t begin = 0; begin < source.vertexCount(); begin += BlockSize) {
        const std::size_t end = std::min<std::size_t>(begin + BlockSize, source.vertexCount());
        for (const MeshTools::AttributeConversion& conversion : conversions)
            conversion(begin, end);
    }

    if (generateNormals)
        MeshTools::generateNormals(converted);
    if (joinTangents)
        MeshTools::joinTangentsAndBitangents(source, converted);
    if (generateTangents)
        MeshTools::generateTangents(converted);
    return converted;
}

} // namespace ZarvikEngine
