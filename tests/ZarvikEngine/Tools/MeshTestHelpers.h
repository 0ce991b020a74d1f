#ifndef ZarvikEngine_Tests_Tools_MeshTestHelpers_h
#define ZarvikEngine_Tests_Tools_MeshTestHelpers_h

#include <cmath>
#include <cstdint>
#include <cstring>
#include <map>
#include <tuple>
#include <vector>

#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/Trade/MeshData.h"

namespace ZarvikEngine::Test {

struct TestAttribute {
    Trade::MeshAttribute name;
    VertexFormat format;
    std::uint16_t arraySize = 0;
    std::int32_t morphTargetId = -1;
};

/* Attributes of zeroed vertices, one contiguous array after another (not interleaved, unlike
   the engine layouts, so that conversions between the two are exercised) */
inline std::vector<Trade::MeshAttributeData>
planarLayout(const std::vector<TestAttribute>& attributes, std::uint32_t vertexCount,
             std::size_t& size) {
    std::vector<Trade::MeshAttributeData> result;
    size = 0;
    for (const TestAttribute& attribute : attributes) {
        const std::size_t element =
            vertexFormatSize(attribute.format) * std::max<std::size_t>(attribute.arraySize, 1);
        result.emplace_back(attribute.name, attribute.format, size, vertexCount,
                            std::ptrdiff_t(element), attribute.arraySize, attribute.morphTargetId);
        size += element * vertexCount;
    }
    return result;
}

inline Trade::MeshData meshWith(const std::vector<TestAttribute>& attributes,
                                std::uint32_t vertexCount,
                                MeshPrimitive primitive = MeshPrimitive::Triangles) {
    std::size_t size;
    std::vector<Trade::MeshAttributeData> layout = planarLayout(attributes, vertexCount, size);
    return Trade::MeshData{primitive, std::vector<char>(size), std::move(layout), vertexCount};
}

/* The same, indexed with indices of type T */
template<class T>
Trade::MeshData indexedMeshWith(const std::vector<TestAttribute>& attributes,
                                std::uint32_t vertexCount, const std::vector<T>& indices,
                                MeshPrimitive primitive = MeshPrimitive::Triangles) {
    constexpr MeshIndexType type = sizeof(T) == 1   ? MeshIndexType::UnsignedByte
                                   : sizeof(T) == 2 ? MeshIndexType::UnsignedShort
                                                    : MeshIndexType::UnsignedInt;
    std::size_t size;
    std::vector<Trade::MeshAttributeData> layout = planarLayout(attributes, vertexCount, size);
    const auto* bytes = reinterpret_cast<const char*>(indices.data());
    return Trade::MeshData{primitive,
                           std::vector<char>(bytes, bytes + indices.size() * sizeof(T)),
                           Trade::MeshIndexData{type, 0, std::uint32_t(indices.size())},
                           std::vector<char>(size),
                           std::move(layout),
                           vertexCount};
}

/* An indexed triangle mesh with the analytic tangent direction of each vertex */
struct Shape {
    std::vector<Vector3> positions, normals, tangents;
    std::vector<Vector2> textureCoordinates;
    std::vector<std::uint32_t> indices;
};

/* A grid of (columns + 1) × (rows + 1) vertices at texture coordinates (c / columns,
   r / rows), each cell split into two triangles counterclockwise in texture space. point(c, r)
   gives position, normal and tangent. */
template<class Point>
Shape gridShape(std::uint32_t columns, std::uint32_t rows, Point point) {
    Shape shape;
    for (std::uint32_t r = 0; r <= rows; ++r) {
        for (std::uint32_t c = 0; c <= columns; ++c) {
            const auto [position, normal, tangent] = point(c, r);
            shape.positions.push_back(position);
            shape.normals.push_back(normal);
            shape.tangents.push_back(tangent);
            shape.textureCoordinates.push_back({float(c) / columns, float(r) / rows});
        }
    }
    for (std::uint32_t r = 0; r != rows; ++r) {
        for (std::uint32_t c = 0; c != columns; ++c) {
            const std::uint32_t a = r * (columns + 1) + c, b = a + 1, d = a + columns + 1,
                                e = d + 1;
            shape.indices.insert(shape.indices.end(), {a, b, e, a, e, d});
        }
    }
    return shape;
}

struct Point {
    Vector3 position, normal, tangent;
};

/* The unit sphere, v going from the south pole (row 0) to the north pole, u around the y
   axis, the seam and the poles duplicated as texture mapping needs them */
inline Shape sphereShape(std::uint32_t segments, std::uint32_t rings) {
    return gridShape(segments, rings, [&](std::uint32_t c, std::uint32_t r) {
        const float phi = 2.0f * glm::pi<float>() * float(c % segments) / float(segments);
        const float theta = glm::pi<float>() * float(r) / float(rings);
        /* Exact poles, so that their copies have equal positions */
        const float sine = r == 0 || r == rings ? 0.0f : std::sin(theta);
        const Vector3 position{sine * std::sin(phi), -std::cos(theta), sine * std::cos(phi)};
        return Point{position, position, {std::cos(phi), 0.0f, -std::sin(phi)}};
    });
}

/* Every index replaced by the first vertex of equal position, as a mesh without texture
   seams would have it */
inline void weldPositions(Shape& shape) {
    std::map<std::tuple<float, float, float>, std::uint32_t> first;
    std::vector<std::uint32_t> remap(shape.positions.size());
    for (std::uint32_t i = 0; i != shape.positions.size(); ++i) {
        const Vector3& p = shape.positions[i];
        remap[i] = first.try_emplace({p.x, p.y, p.z}, i).first->second;
    }
    for (std::uint32_t& index : shape.indices)
        index = remap[index];
}

/* Positions, normals, texture coordinates and room for tangents, with 32-bit indices if the
   shape has any, and extra zero vertices at the end */
inline Trade::MeshData meshOf(const Shape& shape, std::uint32_t extra = 0) {
    const auto count = std::uint32_t(shape.positions.size());
    const std::vector<TestAttribute> attributes{
        {Trade::MeshAttribute::Position, VertexFormat::Vector3},
        {Trade::MeshAttribute::Normal, VertexFormat::Vector3},
        {Trade::MeshAttribute::TextureCoordinates, VertexFormat::Vector2},
        {Trade::MeshAttribute::Tangent, VertexFormat::Vector4}};
    Trade::MeshData mesh = shape.indices.empty()
                               ? meshWith(attributes, count + extra)
                               : indexedMeshWith(attributes, count + extra, shape.indices);
    for (std::uint32_t i = 0; i != count; ++i) {
        mesh.mutableAttribute<Vector3>(Trade::MeshAttribute::Position)[i] = shape.positions[i];
        mesh.mutableAttribute<Vector3>(Trade::MeshAttribute::Normal)[i] = shape.normals[i];
        mesh.mutableAttribute<Vector2>(Trade::MeshAttribute::TextureCoordinates)[i] =
            shape.textureCoordinates[i];
    }
    return mesh;
}

} // namespace ZarvikEngine::Test

#endif
