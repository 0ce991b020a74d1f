#include <cmath>
#include <cstdint>
#include <ctime>
#include <numeric>
#include <vector>

#include <gtest/gtest.h>

#include "MeshTestHelpers.h"
#include "TestHelpers.h"
#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/Tools/MeshTools.h"
#include "ZarvikEngine/Tools/Tangents.h"

namespace ZarvikEngine::MeshTools {
namespace {

using Test::indexedMeshWith;
using Test::meshOf;
using Test::meshWith;
using Test::Point;
using Test::Shape;
using Test::sphereShape;
using Test::TestAttribute;
using MA = Trade::MeshAttribute;
using VF = VertexFormat;

Shape planeShape(std::uint32_t columns, std::uint32_t rows) {
    return Test::gridShape(columns, rows, [&](std::uint32_t c, std::uint32_t r) {
        return Point{
            {float(c) / columns, float(r) / rows, 0.0f}, {0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 0.0f}};
    });
}

/* Radius 1 around the y axis, u around it, v along it */
Shape cylinderShape(std::uint32_t segments, std::uint32_t rows) {
    return Test::gridShape(segments, rows, [&](std::uint32_t c, std::uint32_t r) {
        const float phi = 2.0f * glm::pi<float>() * float(c % segments) / float(segments);
        const Vector3 normal{std::sin(phi), 0.0f, std::cos(phi)};
        return Point{normal + Vector3{0.0f, 2.0f * float(r) / rows, 0.0f},
                     normal,
                     {std::cos(phi), 0.0f, -std::sin(phi)}};
    });
}

/* Generates the tangents and checks them against the analytic ones at the vertices the
   filter accepts */
template<class Filter>
void expectAnalyticTangents(const Shape& shape, float handedness, Filter filter) {
    Trade::MeshData mesh = meshOf(shape);
    generateTangents(mesh);
    const auto tangents = mesh.attribute<Vector4>(MA::Tangent);
    std::size_t checked = 0;
    for (std::size_t i = 0; i != tangents.size(); ++i) {
        const Vector3 tangent{tangents[i]};
        ASSERT_NEAR(glm::length(tangent), 1.0f, 1e-5f) << i;
        ASSERT_LT(std::abs(glm::dot(tangent, shape.normals[i])), 1e-3f) << i;
        ASSERT_EQ(tangents[i].w, handedness) << i;
        if (!filter(i))
            continue;
        ASSERT_LT(glm::length(tangent - shape.tangents[i]), 1e-2f) << i;
        ++checked;
    }
    EXPECT_GT(checked, tangents.size() / 2);
}

TEST(Tangents, AnalyticSurfaces) {
    expectAnalyticTangents(planeShape(7, 5), 1.0f, [](std::size_t) { return true; });
    /* Fine enough for the vertices on the texture seam, which see triangles on one side
       only, to be within the tolerance */
    expectAnalyticTangents(cylinderShape(512, 4), 1.0f, [](std::size_t) { return true; });
    /* Everywhere but at the poles, where the tangent isn't defined */
    const std::uint32_t segments = 512, rings = 64;
    expectAnalyticTangents(sphereShape(segments, rings), 1.0f, [&](std::size_t i) {
        const std::size_t ring = i / (segments + 1);
        return ring != 0 && ring != rings;
    });
}

TEST(Tangents, MirroredMappingFlipsHandedness) {
    /* u runs against x: the tangent points along -x and the bitangent, still +y, is -1 times
       cross(normal, tangent) */
    Shape mirrored = planeShape(4, 4);
    for (std::size_t i = 0; i != mirrored.positions.size(); ++i) {
        mirrored.textureCoordinates[i].x = 1.0f - mirrored.textureCoordinates[i].x;
        mirrored.tangents[i] = {-1.0f, 0.0f, 0.0f};
    }
    expectAnalyticTangents(mirrored, -1.0f, [](std::size_t) { return true; });

    /* Two halves mirrored against each other along a shared edge keep their own signs: the
       copies of the edge vertices differ in their texture coordinates */
    Shape halves = planeShape(2, 1);
    Shape other = planeShape(2, 1);
    const auto offset = std::uint32_t(halves.positions.size());
    for (std::size_t i = 0; i != other.positions.size(); ++i) {
        halves.positions.push_back(other.positions[i] * Vector3{-1.0f, 1.0f, 1.0f});
        halves.normals.push_back(other.normals[i]);
        halves.textureCoordinates.push_back(other.textureCoordinates[i]);
        halves.tangents.push_back({-1.0f, 0.0f, 0.0f});
    }
    /* Mirrored geometry needs the opposite winding to keep facing +z */
    for (std::size_t i = 0; i != other.indices.size(); i += 3)
        halves.indices.insert(halves.indices.end(),
                              {other.indices[i] + offset, other.indices[i + 2] + offset,
                               other.indices[i + 1] + offset});
    Trade::MeshData mesh = meshOf(halves);
    generateTangents(mesh);
    const auto tangents = mesh.attribute<Vector4>(MA::Tangent);
    for (std::size_t i = 0; i != tangents.size(); ++i) {
        EXPECT_EQ(tangents[i].w, i < offset ? 1.0f : -1.0f) << i;
        EXPECT_LT(glm::length(Vector3{tangents[i]} - halves.tangents[i]), 1e-5f) << i;
    }
}

TEST(Tangents, DegenerateInputStaysFinite) {
    /* A regular triangle, one with a repeated vertex, one with collinear positions, one with
       all texture coordinates equal, one of a single point, and a vertex only a degenerate
       triangle uses */
    const std::vector<Vector3> positions{{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {2, 0, 0}, {3, 0, 0},
                                         {5, 5, 5}, {6, 5, 5}, {5, 6, 5}, {9, 9, 9}};
    const std::vector<Vector2> textureCoordinates{{0, 0},       {1, 0},       {0, 1},
                                                  {0.5f, 0.5f}, {0.5f, 0.5f}, {0.5f, 0.5f},
                                                  {0.2f, 0.2f}, {0.2f, 0.2f}, {}};
    const std::vector<std::uint32_t> indices{0, 1, 2, 0, 0, 1, 0, 1, 3, 5, 6, 7,
                                             1, 3, 4, 4, 4, 4, 2, 1, 3, 8, 8, 0};
    std::vector<Vector3> normals(positions.size(), Vector3{0.0f, 0.0f, 1.0f});
    normals[4] = Vector3{0.0f};
    std::vector<Vector4> tangents(positions.size());
    ASSERT_TRUE(generateTangentsInto(
        indices, std::span<const Vector3>{positions}, std::span<const Vector3>{normals},
        std::span<const Vector2>{textureCoordinates}, std::span<Vector4>{tangents}));
    for (std::size_t i = 0; i != tangents.size(); ++i) {
        SCOPED_TRACE(i);
        for (glm::length_t j = 0; j != 4; ++j)
            EXPECT_TRUE(std::isfinite(tangents[i][j]));
        EXPECT_NEAR(glm::length(Vector3{tangents[i]}), 1.0f, 1e-5f);
        EXPECT_EQ(std::abs(tangents[i].w), 1.0f);
    }
    /* The regular triangle's frame is unaffected */
    EXPECT_LT(glm::length(tangents[0] - Vector4{1.0f, 0.0f, 0.0f, 1.0f}), 1e-5f);

    /* An index out of range makes the algorithm fail */
    const std::vector<std::uint32_t> outOfRange{0, 1, 9};
    EXPECT_FALSE(generateTangentsInto(
        outOfRange, std::span<const Vector3>{positions}, std::span<const Vector3>{normals},
        std::span<const Vector2>{textureCoordinates}, std::span<Vector4>{tangents}));
}

TEST(Tangents, AnyFiniteScale) {
    /* Products of coordinates far from 1 overflow or underflow floats. Scaling positions,
       normals or texture coordinates by a power of two changes tangents by no more than
       rounding. Two rings with equal texture coordinates give triangles without a mapping in
       between. */
    Shape sphere = sphereShape(16, 8);
    for (std::size_t i = 3 * 17; i != 5 * 17; ++i)
        sphere.textureCoordinates[i] = {0.5f, 0.5f};
    const auto tangentsAt = [&](float positionScale, float normalScale, float mappingScale) {
        Shape scaled = sphere;
        for (std::size_t i = 0; i != scaled.positions.size(); ++i) {
            scaled.positions[i] *= positionScale;
            scaled.normals[i] *= normalScale;
            scaled.textureCoordinates[i] *= mappingScale;
        }
        std::vector<Vector4> tangents(scaled.positions.size());
        EXPECT_TRUE(generateTangentsInto(scaled.indices, std::span<const Vector3>{scaled.positions},
                                         std::span<const Vector3>{scaled.normals},
                                         std::span<const Vector2>{scaled.textureCoordinates},
                                         std::span<Vector4>{tangents}));
        return tangents;
    };
    const std::vector<Vector4> expected = tangentsAt(1.0f, 1.0f, 1.0f);
    const float scales[][3]{{0x1p-100f, 1.0f, 1.0f},
                            {0x1p100f, 1.0f, 1.0f},
                            /* Differences of coordinates this large overflow too */
                            {0x1p127f, 1.0f, 1.0f},
                            {1.0f, 0x1p-100f, 1.0f},
                            {1.0f, 0x1p100f, 1.0f},
                            {1.0f, 1.0f, 0x1p100f},
                            {0x1p127f, 0x1p127f, 0x1p127f}};
    for (const auto& [positionScale, normalScale, mappingScale] : scales) {
        SCOPED_TRACE(::testing::Message{} << positionScale << " " << normalScale << " "
                                          << mappingScale);
        const std::vector<Vector4> tangents = tangentsAt(positionScale, normalScale, mappingScale);
        for (std::size_t i = 0; i != tangents.size(); ++i) {
            ASSERT_LT(glm::length(Vector3{tangents[i] - expected[i]}), 1e-6f) << i;
            ASSERT_EQ(tangents[i].w, expected[i].w) << i;
        }
    }
}

/* CPU time of this thread, which other processes on the machine don't count towards */
double threadSeconds() {
    timespec time;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
    return double(time.tv_sec) + double(time.tv_nsec) * 1e-9;
}

TEST(Tangents, ManyTrianglesWithoutMappingAroundOneVertex) {
    /* Three shapes of 50000 triangles each with all texture coordinates on one line, as a
       triangulated polygon or a constant mapping gives them: a closed fan, a star of triangles
       sharing only their tip, and a book of triangles sharing one edge. Their corners at the
       shared vertex have to be resolved in time linear in their number. */
    const std::uint32_t count = 50000;
    std::vector<Vector3> positions;
    std::vector<Vector2> textureCoordinates;
    std::vector<std::uint32_t> indices;
    const auto vertex = [&](const Vector3& position, float u) {
        positions.push_back(position);
        textureCoordinates.push_back({u, 0.0f});
        return std::uint32_t(positions.size() - 1);
    };
    const auto onCircle = [&](std::uint32_t i, float z) {
        const float angle = 1.0f + 2.0f * glm::pi<float>() * float(i) / float(count);
        return Vector3{std::cos(angle), std::sin(angle), z};
    };

    /* In the fan only the first triangle has a mapping, a mirrored one, on the edge from the
       center to the first rim vertex: its orientation spreads around the whole fan */
    const std::uint32_t center = vertex({}, 0.0f), rim = std::uint32_t(positions.size());
    for (std::uint32_t i = 0; i != count; ++i)
        vertex(onCircle(i, 0.0f), 1.0f + float(i));
    const std::uint32_t mapped = vertex(onCircle(count - 1, 0.0f) * 0.5f, 0.0f);
    textureCoordinates[mapped] = {0.0f, -1.0f};
    indices.insert(indices.end(), {center, rim, mapped});
    for (std::uint32_t i = 0; i != count; ++i)
        indices.insert(indices.end(), {center, rim + i, rim + (i + 1) % count});

    const std::uint32_t tip = vertex({0.0f, 0.0f, 5.0f}, 0.0f);
    for (std::uint32_t i = 0; i != count; ++i)
        indices.insert(indices.end(), {tip, vertex(onCircle(2 * i, 5.0f) * 2.0f, 1.0f),
                                       vertex(onCircle(2 * i + 1, 5.0f) * 2.0f, 2.0f)});
    const std::uint32_t spineBegin = vertex({0.0f, 0.0f, 10.0f}, 0.0f);
    const std::uint32_t spineEnd = vertex({0.0f, 1.0f, 10.0f}, 1.0f);
    for (std::uint32_t i = 0; i != count; ++i)
        indices.insert(indices.end(),
                       {spineBegin, spineEnd, vertex(onCircle(i, 10.0f), 2.0f + float(i))});

    const std::vector<Vector3> normals(positions.size(), Vector3{0.0f, 0.0f, 1.0f});
    std::vector<Vector4> tangents(positions.size());
    const double start = threadSeconds();
    ASSERT_TRUE(generateTangentsInto(
        indices, std::span<const Vector3>{positions}, std::span<const Vector3>{normals},
        std::span<const Vector2>{textureCoordinates}, std::span<Vector4>{tangents}));
    /* Tens of milliseconds, against tens of seconds for time quadratic in the count */
    EXPECT_LT(threadSeconds() - start, 1.0);

    /* The center's corners all join the mapped triangle, whose tangent runs along its edge
       of increasing u; corners with nothing mapped get a tangent of their own */
    EXPECT_LT(glm::length(tangents[center] - Vector4{onCircle(0, 0.0f), -1.0f}), 1e-5f);
    for (std::uint32_t i = 2; i != count - 1; ++i)
        ASSERT_EQ(tangents[rim + i], (Vector4{1.0f, 0.0f, 0.0f, -1.0f})) << i;
    for (std::uint32_t i = tip; i != positions.size(); ++i)
        ASSERT_EQ(tangents[i], (Vector4{1.0f, 0.0f, 0.0f, 1.0f})) << i;
}

TEST(Tangents, MeshesWithoutIndices) {
    /* Every corner its own vertex: the welding by position, normal and texture coordinates
       joins them again; the vertex of no complete triangle is left alone */
    const Shape plane = planeShape(3, 3);
    Shape corners;
    for (const std::uint32_t index : plane.indices) {
        corners.positions.push_back(plane.positions[index]);
        corners.normals.push_back(plane.normals[index]);
        corners.textureCoordinates.push_back(plane.textureCoordinates[index]);
    }
    Trade::MeshData mesh = meshOf(corners, 1);
    generateTangents(mesh);
    const auto tangents = mesh.attribute<Vector4>(MA::Tangent);
    for (std::size_t i = 0; i != plane.indices.size(); ++i)
        EXPECT_LT(glm::length(tangents[i] - Vector4{1.0f, 0.0f, 0.0f, 1.0f}), 1e-5f) << i;
    EXPECT_EQ(tangents[plane.indices.size()], Vector4{});
}

TEST(TangentsDeathTest, GenerationNeedsAttributes) {
    const std::vector<TestAttribute> all{{MA::Position, VF::Vector3},
                                         {MA::Normal, VF::Vector3},
                                         {MA::TextureCoordinates, VF::Vector2},
                                         {MA::Tangent, VF::Vector4}};
    const std::pair<MA, std::string> missing[]{
        {MA::Position, "Vector3 position"},
        {MA::Normal, "Vector3 normal"},
        {MA::TextureCoordinates, "Vector2 texture coordinates"},
        {MA::Tangent, "Vector4 tangent"}};
    for (const auto& [name, what] : missing) {
        std::vector<TestAttribute> attributes;
        for (const TestAttribute& attribute : all)
            if (attribute.name != name)
                attributes.push_back(attribute);
        Trade::MeshData mesh = meshWith(attributes, 3);
        ZE_EXPECT_ABORT(generateTangents(mesh),
                        "MeshTools::generateTangents(): mesh must have " + what + " attribute");
    }

    Trade::MeshData fan =
        indexedMeshWith<std::uint16_t>(all, 3, {0, 1, 3}, MeshPrimitive::TriangleFan);
    ZE_EXPECT_ABORT(generateTangents(fan),
                    "MeshTools::generateTangents(): mesh must have triangle primitives");
    Trade::MeshData outOfRange = indexedMeshWith<std::uint16_t>(all, 3, {0, 1, 3});
    ZE_EXPECT_ABORT(generateTangents(outOfRange),
                    "MeshTools::generateTangents(): failed to generate mikktspace tangents");
}

} // namespace
} // namespace ZarvikEngine::MeshTools
