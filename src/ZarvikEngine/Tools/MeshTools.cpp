#include "ZarvikEngine/Tools/MeshTools.h"

#include <cstring>
#include <numeric>
#include <optional>
#include <utility>
#include <vector>

#include "ZarvikEngine/Tools/Normals.h"
#include "ZarvikEngine/Tools/Tangents.h"

namespace ZarvikEngine::MeshTools {

namespace {

/* Takes owned vertex data over and references anything else */
Trade::DataStorage takeVertexData(Trade::MeshData& mesh) {
    const Trade::DataFlags flags = mesh.vertexDataFlags();
    if (flags >= Trade::DataFlag::Owned)
        return mesh.releaseVertexData();
    if (flags >= Trade::DataFlag::Mutable)
        return Trade::DataStorage::mutableView(mesh.mutableVertexData());
    return Trade::DataStorage::view(mesh.vertexData());
}

template<class T>
void copyIndices(const StridedArrayView1D<const T>& source,
                 const StridedArrayView1D<std::uint32_t>& destination) {
    for (std::size_t i = 0; i != destination.size(); ++i)
        destination[i] = source[i];
}

/* An attribute of the name in the given format, if the mesh has one */
std::optional<std::uint32_t> attributeOfFormat(const Trade::MeshData& mesh,
                                               Trade::MeshAttribute name, VertexFormat format) {
    const std::optional<std::uint32_t> id = mesh.findAttributeId(name);
    if (id && mesh.attributeFormat(*id) == format)
        return id;
    return std::nullopt;
}

} // namespace

void indicesInto(const Trade::MeshData& mesh,
                 const StridedArrayView1D<std::uint32_t>& destination) {
    ZE_ASSERT(destination.size() <= mesh.indexCount(), "MeshTools::indicesInto(): can't take"
                                                           << destination.size() << "indices out of"
                                                           << mesh.indexCount());
    switch (mesh.indexType()) {
    case MeshIndexType::UnsignedByte:
        return copyIndices(mesh.indices<std::uint8_t>(), destination);
    case MeshIndexType::UnsignedShort:
        return copyIndices(mesh.indices<std::uint16_t>(), destination);
    case MeshIndexType::UnsignedInt:
        return copyIndices(mesh.indices<std::uint32_t>(), destination);
    }
    ZE_ASSERT_UNREACHABLE("MeshTools::indicesInto(): unsupported index type" << mesh.indexType());
}

Trade::MeshData duplicate(const Trade::MeshData& mesh) {
    ZE_ASSERT(mesh.isIndexed(), "MeshTools::duplicate(): mesh data not indexed");
    std::vector<std::uint32_t> indices(mesh.indexCount());
    indicesInto(mesh, std::span{indices});
    for (const std::uint32_t index : indices)
        ZE_ASSERT(index < mesh.vertexCount(), "MeshTools::duplicate(): index"
                                                  << index << "out of range for"
                                                  << mesh.vertexCount() << "vertices");

    std::size_t stride = 0;
    for (std::uint32_t i = 0; i != mesh.attributeCount(); ++i)
        stride += mesh.attribute(i).size()[1];
    const std::uint32_t vertexCount = mesh.indexCount();
    std::vector<char> vertexData(stride * vertexCount);
    std::vector<Trade::MeshAttributeData> attributes;
    attributes.reserve(mesh.attributeCount());
    std::size_t offset = 0;
    for (std::uint32_t i = 0; i != mesh.attributeCount(); ++i) {
        const StridedArrayView2D<const char> source = mesh.attribute(i);
        const std::size_t size = source.size()[1];
        for (std::size_t j = 0; j != vertexCount; ++j)
            std::memcpy(vertexData.data() + j * stride + offset,
                        source.data() + std::ptrdiff_t(indices[j]) * source.stride()[0], size);
        attributes.emplace_back(mesh.attributeName(i), mesh.attributeFormat(i), offset, vertexCount,
                                std::ptrdiff_t(stride), mesh.attributeArraySize(i),
                                mesh.attributeMorphTargetId(i));
        offset += size;
    }
    return Trade::MeshData{mesh.primitive(), std::move(vertexData), std::move(attributes),
                           vertexCount};
}

Trade::MeshData generateIndices(Trade::MeshData&& mesh) {
    const MeshPrimitive primitive = mesh.primitive();
    ZE_ASSERT(primitive == MeshPrimitive::TriangleStrip || primitive == MeshPrimitive::TriangleFan,
              "MeshTools::generateIndices(): invalid primitive" << primitive);
    ZE_ASSERT(!mesh.isIndexed(), "MeshTools::generateIndices(): the mesh is already indexed");

    const std::uint32_t vertexCount = mesh.vertexCount();
    const std::uint32_t triangleCount = vertexCount >= 3 ? vertexCount - 2 : 0;
    std::vector<char> indexData(std::size_t(triangleCount) * 3 * sizeof(std::uint32_t));
    auto* indices = reinterpret_cast<std::uint32_t*>(indexData.data());
    for (std::uint32_t i = 0; i != triangleCount; ++i) {
        std::uint32_t* const triangle = indices + 3 * i;
        if (primitive == MeshPrimitive::TriangleFan)
            triangle[0] = 0, triangle[1] = i + 1;
        else if (i % 2 == 0)
            triangle[0] = i, triangle[1] = i + 1;
        else
            triangle[0] = i + 1, triangle[1] = i;
        triangle[2] = i + 2;
    }

    std::vector<Trade::MeshAttributeData> attributes = Trade::attributeLayout(mesh);
    Trade::DataStorage vertexData = takeVertexData(mesh);
    return Trade::MeshData{MeshPrimitive::Triangles,
                           std::move(indexData),
                           Trade::MeshIndexData{MeshIndexType::UnsignedInt, 0, triangleCount * 3},
                           std::move(vertexData),
                           std::move(attributes),
                           vertexCount};
}

Trade::MeshData convertToTriangles(Trade::MeshData&& mesh) {
    if (mesh.primitive() == MeshPrimitive::Triangles)
        return std::move(mesh);
    if (mesh.isIndexed())
        return generateIndices(duplicate(mesh));
    return generateIndices(std::move(mesh));
}

void generateNormals(Trade::MeshData& mesh) {
    const std::optional<std::uint32_t> position =
        attributeOfFormat(mesh, Trade::MeshAttribute::Position, VertexFormat::Vector3);
    ZE_ASSERT(position, "MeshTools::generateNormals(): mesh must have Vector3 position attribute");
    const std::optional<std::uint32_t> normal =
        attributeOfFormat(mesh, Trade::MeshAttribute::Normal, VertexFormat::Vector3);
    ZE_ASSERT(normal, "MeshTools::generateNormals(): mesh must have Vector3 normal attribute");
    ZE_ASSERT(mesh.primitive() == MeshPrimitive::Triangles,
              "MeshTools::generateNormals(): mesh must have triangle primitives");

    const StridedArrayView1D<const Vector3> positions = mesh.attribute<Vector3>(*position);
    const StridedArrayView1D<Vector3> normals = mesh.mutableAttribute<Vector3>(*normal);
    if (!mesh.isIndexed()) {
        const std::size_t count = positions.size() / 3 * 3;
        return generateFlatNormalsInto(positions.prefix(count), normals.prefix(count));
    }

    const std::size_t count = mesh.indexCount() / 3 * 3;
    switch (mesh.indexType()) {
    case MeshIndexType::UnsignedByte:
        return generateSmoothNormalsInto(mesh.indices<std::uint8_t>().prefix(count), positions,
                                         normals);
    case MeshIndexType::UnsignedShort:
        return generateSmoothNormalsInto(mesh.indices<std::uint16_t>().prefix(count), positions,
                                         normals);
    case MeshIndexType::UnsignedInt:
        return generateSmoothNormalsInto(mesh.indices<std::uint32_t>().prefix(count), positions,
                                         normals);
    }
    ZE_ASSERT_UNREACHABLE("MeshTools::generateNormals(): unsupported index type"
                          << mesh.indexType());
}

void generateTangents(Trade::MeshData& mesh) {
    const std::optional<std::uint32_t> position =
        attributeOfFormat(mesh, Trade::MeshAttribute::Position, VertexFormat::Vector3);
    ZE_ASSERT(position, "MeshTools::generateTangents(): mesh must have Vector3 position attribute");
    const std::optional<std::uint32_t> normal =
        attributeOfFormat(mesh, Trade::MeshAttribute::Normal, VertexFormat::Vector3);
    ZE_ASSERT(normal, "MeshTools::generateTangents(): mesh must have Vector3 normal attribute");
    const std::optional<std::uint32_t> textureCoordinates =
        attributeOfFormat(mesh, Trade::MeshAttribute::TextureCoordinates, VertexFormat::Vector2);
    ZE_ASSERT(
        textureCoordinates,
        "MeshTools::generateTangents(): mesh must have Vector2 texture coordinates attribute");
    const std::optional<std::uint32_t> tangent =
        attributeOfFormat(mesh, Trade::MeshAttribute::Tangent, VertexFormat::Vector4);
    ZE_ASSERT(tangent, "MeshTools::generateTangents(): mesh must have Vector4 tangent attribute");
    ZE_ASSERT(mesh.primitive() == MeshPrimitive::Triangles,
              "MeshTools::generateTangents(): mesh must have triangle primitives");

    std::vector<std::uint32_t> corners;
    if (mesh.isIndexed()) {
        corners.resize(mesh.indexCount() / 3 * 3);
        indicesInto(mesh, std::span{corners});
    } else {
        corners.resize(mesh.vertexCount() / 3 * 3);
        std::iota(corners.begin(), corners.end(), 0u);
    }
    const bool generated = generateTangentsInto(
        corners, mesh.attribute<Vector3>(*position), mesh.attribute<Vector3>(*normal),
        mesh.attribute<Vector2>(*textureCoordinates), mesh.mutableAttribute<Vector4>(*tangent));
    ZE_ASSERT(generated, "MeshTools::generateTangents(): failed to generate mikktspace tangents");
}

} // namespace ZarvikEngine::MeshTools
