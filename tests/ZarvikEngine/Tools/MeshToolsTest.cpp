#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "MeshTestHelpers.h"
#include "TestHelpers.h"
#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/StringArray.h"
#include "ZarvikEngine/Tools/MeshTools.h"
#include "ZarvikEngine/Tools/MorphTargetSet.h"
#include "ZarvikEngine/Tools/Normals.h"

namespace ZarvikEngine::MeshTools {
namespace {

using Test::indexedMeshWith;
using Test::meshOf;
using Test::meshWith;
using Test::Shape;
using Test::sphereShape;
using Test::weldPositions;
using Trade::MeshAttribute;
using MA = MeshAttribute;
using VF = VertexFormat;

/* Writes the values into the attribute, which must be of type T */
template<class T>
void fill(Trade::MeshData& mesh, MeshAttribute name, std::initializer_list<T> values,
          std::uint32_t id = 0) {
    const auto view = mesh.mutableAttribute<T>(name, id);
    std::size_t i = 0;
    for (const T& value : values)
        view[i++] = value;
}

TEST(MeshTools, AttributeFamilies) {
    Trade::MeshData source = meshWith({{MA::Normal, VF::Vector3bNormalized},
                                       {MA::Color, VF::Vector3ubNormalized},
                                       {MA::Color, VF::Vector3},
                                       {MA::TextureCoordinates, VF::Vector2us},
                                       {MA::Tangent, VF::Vector4},
                                       {MA::ObjectId, VF::Vector4ui}},
                                      2);
    fill<Vector3b>(source, MA::Normal, {{-128, 0, 127}, {-127, 64, -1}});
    fill<Vector3ub>(source, MA::Color, {{255, 0, 51}, {0, 255, 0}});
    fill<Color3>(source, MA::Color, {{0.5f, 0.25f, 1.0f}, {}}, 1);
    fill<Vector2us>(source, MA::TextureCoordinates, {{65535, 3}, {7, 0}});
    fill<Vector4>(source, MA::Tangent, {{0.5f, -0.5f, 1.0f, -1.0f}, {}});
    fill<Vector4ui>(source, MA::ObjectId, {{70000, 65535, 1, 2}, {}});

    /* A third vertex the conversions leave alone */
    Trade::MeshData destination = meshWith({{MA::Normal, VF::Vector3},
                                            {MA::Color, VF::Vector4},
                                            {MA::Color, VF::Vector4},
                                            {MA::TextureCoordinates, VF::Vector2},
                                            {MA::Tangent, VF::Vector4s},
                                            {MA::ObjectId, VF::Vector4us}},
                                           3);
    fill<Vector3>(destination, MA::Normal, {{}, {}, {9.0f, 9.0f, 9.0f}});

    unpackAttribute<Vector3b, Vector3>(source, destination, MA::Normal, 0);
    const auto normals = destination.attribute<Vector3>(MA::Normal);
    EXPECT_EQ(normals[0], (Vector3{-1.0f, 0.0f, 1.0f}));
    EXPECT_EQ(normals[1].y, 64.0f / 127);
    EXPECT_EQ(normals[2], (Vector3{9.0f, 9.0f, 9.0f}));

    unpackAttribute<Vector3ub, Vector4>(source, destination, MA::Color, 0);
    EXPECT_EQ(destination.attribute<Vector4>(MA::Color)[0], (Vector4{1.0f, 0.0f, 0.2f, 1.0f}));
    castAttribute<Color3, Color4>(source, destination, MA::Color, 1);
    EXPECT_EQ(destination.attribute<Vector4>(MA::Color, 1)[0], (Vector4{0.5f, 0.25f, 1.0f, 1.0f}));
    castAttribute<Vector2us, Vector2>(source, destination, MA::TextureCoordinates, 0);
    EXPECT_EQ(destination.attribute<Vector2>(MA::TextureCoordinates)[0], (Vector2{65535.0f, 3.0f}));
    packAttribute<Vector4, Vector4s>(source, destination, MA::Tangent, 0);
    EXPECT_EQ(destination.attribute<Vector4s>(MA::Tangent)[0],
              (Vector4s{16384, -16384, 32767, -32767}));
    /* A plain cast keeps the low bits */
    castAttribute<Vector4ui, Vector4us>(source, destination, MA::ObjectId, 0);
    EXPECT_EQ(destination.attribute<Vector4us>(MA::ObjectId)[0],
              (Vector4us{70000 - 65536, 65535, 1, 2}));

    const Trade::MeshData three = meshWith({{MA::Normal, VF::Vector3bNormalized}}, 3);
    Trade::MeshData two = meshWith({{MA::Normal, VF::Vector3}}, 2);
    ZE_EXPECT_ABORT((unpackAttribute<Vector3b, Vector3>(three, two, MA::Normal, 0)),
                    "MeshTools::unpackAttribute(): can't unpack Trade::MeshAttribute::Normal to "
                    "smaller size (would cause loss of data) 3 -> 2");
}

TEST(MeshTools, PackingMatchesPack) {
    /* Packing works on groups of components at once; every value has to come out as pack()
       gives it: halves rounding away from zero, out-of-range values clamped, NaN as 0 */
    std::vector<float> values{0.0f,
                              -0.0f,
                              1.0f,
                              -1.0f,
                              0.5f / 32767,
                              -0.5f / 32767,
                              1.5f / 255,
                              std::nextafter(0.5f / 65535, 0.0f),
                              1.0001f,
                              -1.0001f,
                              1e30f,
                              -std::numeric_limits<float>::infinity(),
                              std::numeric_limits<float>::quiet_NaN(),
                              std::numeric_limits<float>::denorm_min()};
    std::mt19937 random{5};
    std::uniform_real_distribution<float> around{-1.2f, 1.2f};
    while (values.size() != 9 * 40)
        values.push_back(around(random));
    const auto check = [&](auto integral, std::size_t columns, std::ptrdiff_t columnStride) {
        using Integral = decltype(integral);
        SCOPED_TRACE(::testing::Message{} << sizeof(Integral) << " " << columns << " "
                                          << columnStride);
        const std::size_t rows = values.size() / columns / 2;
        std::vector<Integral> packed(2 * values.size());
        packInto(
            StridedArrayView2D<const float>{
                values.data(), Size2D{rows, columns},
                Stride2D{2 * std::ptrdiff_t(columns * sizeof(float)), columnStride}},
            StridedArrayView2D<Integral>{packed.data(), Size2D{rows, columns},
                                         Stride2D{std::ptrdiff_t(columns * sizeof(Integral)),
                                                  std::ptrdiff_t(sizeof(Integral))}});
        for (std::size_t i = 0; i != rows; ++i)
            for (std::size_t j = 0; j != columns; ++j)
                ASSERT_EQ(
                    packed[i * columns + j],
                    pack<Integral>(values[2 * i * columns + j * columnStride / sizeof(float)]))
                    << i << " " << j;
    };
    for (const std::size_t columns : {1, 3, 4, 5, 8}) {
        check(std::int16_t{}, columns, sizeof(float));
        check(std::uint16_t{}, columns, sizeof(float));
        check(std::uint8_t{}, columns, sizeof(float));
    }
    check(std::int8_t{}, 4, 2 * sizeof(float));
}

TEST(MeshTools, ArrayFamiliesAndCopies) {
    Trade::MeshData source = meshWith({{MA::JointIds, VF::UnsignedByte, 4},
                                       {MA::Weights, VF::UnsignedShortNormalized, 4},
                                       {MA::TextureCoordinates, VF::Vector2}},
                                      2);
    for (std::uint32_t i = 0; i != 2; ++i) {
        for (std::uint32_t j = 0; j != 4; ++j) {
            source.mutableAttribute<std::uint8_t[]>(MA::JointIds)[i][j] = std::uint8_t(250 + i + j);
            source.mutableAttribute<std::uint16_t[]>(MA::Weights)[i][j] =
                std::uint16_t(65535 * j / 3);
        }
    }
    fill<Vector2>(source, MA::TextureCoordinates, {{0.5f, 2.0f}, {-1.0f, 3.0f}});

    /* Larger destinations: further array elements and bytes stay */
    Trade::MeshData destination = meshWith({{MA::JointIds, VF::UnsignedShort, 8},
                                            {MA::Weights, VF::Float, 4},
                                            {MA::TextureCoordinates, VF::Vector3}},
                                           2);
    destination.mutableAttribute<std::uint16_t[]>(MA::JointIds)[1][7] = 0xbeef;
    fill<Vector3>(destination, MA::TextureCoordinates, {{7.0f, 7.0f, 7.0f}, {}});

    castArrayAttribute<std::uint8_t, std::uint16_t>(source, destination, MA::JointIds, 0);
    const auto joints = destination.attribute<std::uint16_t[]>(MA::JointIds);
    EXPECT_EQ(joints[1][3], 254);
    EXPECT_EQ(joints[1][7], 0xbeef);
    unpackArrayAttribute<std::uint16_t, float>(source, destination, MA::Weights, 0);
    EXPECT_EQ(destination.attribute<float[]>(MA::Weights)[1][3], 1.0f);
    copyAttribute(source, destination, MA::TextureCoordinates, 0);
    EXPECT_EQ(destination.attribute<Vector3>(MA::TextureCoordinates)[0],
              (Vector3{0.5f, 2.0f, 7.0f}));

    /* And back, packing the weights */
    Trade::MeshData repacked = meshWith({{MA::Weights, VF::UnsignedShortNormalized, 4}}, 2);
    packArrayAttribute<float, std::uint16_t>(destination, repacked, MA::Weights, 0);
    EXPECT_EQ(std::memcmp(repacked.vertexData().data(), source.attribute(MA::Weights).data(), 16),
              0);

    Trade::MeshData wide = meshWith({{MA::JointIds, VF::UnsignedInt, 8}}, 3);
    Trade::MeshData narrow = meshWith({{MA::JointIds, VF::UnsignedShort, 4}}, 3);
    ZE_EXPECT_ABORT(
        (castArrayAttribute<std::uint32_t, std::uint16_t>(wide, narrow, MA::JointIds, 0)),
        "MeshTools::castArrayAttribute(): can't cast Trade::MeshAttribute::JointIds "
        "to smaller size (would cause loss of data) {3, 8} -> {3, 4}");
    ZE_EXPECT_ABORT(copyAttribute(destination, source, MA::TextureCoordinates, 0),
                    "MeshTools::copyAttribute(): can't copy "
                    "Trade::MeshAttribute::TextureCoordinates to smaller size (would cause loss "
                    "of data)");
}

TEST(MeshTools, TangentsAndBitangentsJoined) {
    Trade::MeshData source =
        meshWith({{MA::Tangent, VF::Vector3}, {MA::Bitangent, VF::Vector3}}, 2);
    fill<Vector3>(source, MA::Tangent, {{1.0f, 0.0f, 0.0f}, {0.0f, 0.0f, 2.0f}});
    fill<Vector3>(source, MA::Bitangent, {{0.0f, -1.0f, 0.0f}, {0.0f, 3.0f, 0.0f}});
    Trade::MeshData destination =
        meshWith({{MA::Normal, VF::Vector3}, {MA::Tangent, VF::Vector4}}, 2);
    fill<Vector3>(destination, MA::Normal, {{0.0f, 0.0f, 1.0f}, {1.0f, 0.0f, 0.0f}});
    joinTangentsAndBitangents(source, destination);
    const auto tangents = destination.attribute<Vector4>(MA::Tangent);
    EXPECT_EQ(tangents[0], (Vector4{1.0f, 0.0f, 0.0f, -1.0f}));
    /* The triple product, not just its sign */
    EXPECT_EQ(tangents[1], (Vector4{0.0f, 0.0f, 2.0f, -6.0f}));

    Trade::MeshData small = meshWith({{MA::Normal, VF::Vector3}, {MA::Tangent, VF::Vector4}}, 1);
    ZE_EXPECT_ABORT(joinTangentsAndBitangents(source, small),
                    "joinTangentsAndBitangents(): can't copy Trade::MeshAttribute::Tangent to "
                    "smaller size (would cause loss of data)");
}

/* The indices of a mesh as 32-bit values */
std::vector<std::uint32_t> indicesOf(const Trade::MeshData& mesh) {
    std::vector<std::uint32_t> indices(mesh.indexCount());
    indicesInto(mesh, std::span{indices});
    return indices;
}

TEST(MeshTools, StripsAndFansBecomeTriangles) {
    Trade::MeshData strip = indexedMeshWith<std::uint8_t>(
        {{MA::Position, VF::Vector3}, {MA::ObjectId, VF::UnsignedShort}}, 4, {3, 0, 2, 1},
        MeshPrimitive::TriangleStrip);
    fill<std::uint16_t>(strip, MA::ObjectId, {10, 11, 12, 13});
    const Trade::MeshData triangles = convertToTriangles(std::move(strip));
    EXPECT_EQ(triangles.primitive(), MeshPrimitive::Triangles);
    EXPECT_EQ(indicesOf(triangles), (std::vector<std::uint32_t>{0, 1, 2, 2, 1, 3}));
    /* De-indexed in index order */
    const auto ids = triangles.attribute<std::uint16_t>(MA::ObjectId);
    EXPECT_EQ(std::vector<std::uint16_t>(ids.begin(), ids.end()),
              (std::vector<std::uint16_t>{13, 10, 12, 11}));

    const Trade::MeshData fan =
        convertToTriangles(meshWith({{MA::Position, VF::Vector3}}, 5, MeshPrimitive::TriangleFan));
    EXPECT_EQ(indicesOf(fan), (std::vector<std::uint32_t>{0, 1, 2, 0, 2, 3, 0, 3, 4}));

    /* Triangle lists and vertex data that isn't owned pass through as they are */
    std::vector<char> bytes(36);
    const Trade::MeshData viewed = convertToTriangles(
        Trade::MeshData{MeshPrimitive::TriangleFan,
                        Trade::DataStorage::view(bytes),
                        {Trade::MeshAttributeData{MA::Position, VF::Vector3, 0, 3, 12}}});
    EXPECT_EQ(viewed.vertexData().data(), bytes.data());
    Trade::MeshData list = meshWith({{MA::Position, VF::Vector3}}, 3);
    const char* data = list.vertexData().data();
    EXPECT_EQ(convertToTriangles(std::move(list)).vertexData().data(), data);

    ZE_EXPECT_ABORT(
        convertToTriangles(meshWith({{MA::Position, VF::Vector3}}, 4, MeshPrimitive::Lines)),
        "MeshTools::generateIndices(): invalid primitive MeshPrimitive::Lines");
}

TEST(MeshTools, FlatNormals) {
    Trade::MeshData mesh = meshWith({{MA::Position, VF::Vector3}, {MA::Normal, VF::Vector3}}, 7);
    fill<Vector3>(mesh, MA::Position,
                  {{0.0f, 0.0f, 0.0f},
                   {2.0f, 0.0f, 0.0f},
                   {0.0f, 3.0f, 0.0f},
                   {0.3f, 0.1f, 0.7f},
                   {-1.2f, 0.4f, 0.9f},
                   {0.5f, -2.0f, 0.25f},
                   {}});
    fill<Vector3>(mesh, MA::Normal, {{}, {}, {}, {}, {}, {}, {5.0f, 5.0f, 5.0f}});
    generateNormals(mesh);
    const auto positions = mesh.attribute<Vector3>(MA::Position);
    const auto normals = mesh.attribute<Vector3>(MA::Normal);
    EXPECT_EQ(normals[0], (Vector3{0.0f, 0.0f, 1.0f}));
    const Vector3 second =
        glm::normalize(glm::cross(positions[4] - positions[3], positions[5] - positions[3]));
    for (std::size_t i = 3; i != 6; ++i)
        EXPECT_EQ(normals[i], second);
    /* The incomplete triangle is left alone */
    EXPECT_EQ(normals[6], (Vector3{5.0f, 5.0f, 5.0f}));
}

TEST(MeshTools, SmoothNormals) {
    /* Shared vertices everywhere, as without texture seams */
    Shape sphere = sphereShape(64, 32);
    weldPositions(sphere);
    /* A stray index not divisible by three is ignored */
    sphere.indices.push_back(0);
    Trade::MeshData mesh = meshOf(sphere);
    generateNormals(mesh);
    const auto normals = mesh.attribute<Vector3>(MA::Normal);
    std::vector<bool> used(sphere.positions.size());
    for (const std::uint32_t index : sphere.indices)
        used[index] = true;
    for (std::size_t i = 0; i != normals.size(); ++i) {
        if (!used[i])
            continue;
        ASSERT_LT(glm::length(normals[i] - sphere.positions[i]), 0.01f) << i;
        ASSERT_NEAR(glm::length(normals[i]), 1.0f, 1e-5f);
    }

    /* Angle weighting: a vertex between two perpendicular faces gets the bisector however
       finely either face is triangulated (here three triangles of area 1 against one of area
       0.5); a degenerate triangle counts for nothing */
    const std::vector<Vector3> positions{{0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f},
                                         {1.0f, 1.0f, 0.0f}, {0.0f, 1.0f, 0.0f},
                                         {0.5f, 1.0f, 0.0f}, {0.0f, 0.0f, -1.0f}};
    const std::vector<std::uint16_t> indices{0, 1, 2, 0, 2, 4, 0, 4, 3, 0, 5, 3, 0, 0, 1};
    std::vector<Vector3> result(positions.size());
    generateSmoothNormalsInto(StridedArrayView1D<const std::uint16_t>{std::span{indices}},
                              StridedArrayView1D<const Vector3>{std::span{positions}},
                              StridedArrayView1D<Vector3>{std::span{result}});
    EXPECT_TRUE(fuzzyEqual(result[0], glm::normalize(Vector3{1.0f, 0.0f, 1.0f})));
}

TEST(MeshTools, NormalsOfAnyFiniteScale) {
    /* Products of coordinates far from 1 overflow or underflow floats. Scaling a mesh by a
       power of two changes its normals by no more than rounding. */
    Shape sphere = sphereShape(16, 8);
    weldPositions(sphere);
    const auto normalsAt = [&](float scale, bool smooth) {
        std::vector<Vector3> positions;
        if (smooth)
            for (const Vector3& position : sphere.positions)
                positions.push_back(position * scale);
        else
            for (const std::uint32_t index : sphere.indices)
                positions.push_back(sphere.positions[index] * scale);
        std::vector<Vector3> normals(positions.size());
        if (smooth)
            generateSmoothNormalsInto(StridedArrayView1D<const std::uint32_t>{sphere.indices},
                                      StridedArrayView1D<const Vector3>{positions},
                                      StridedArrayView1D<Vector3>{normals});
        else
            generateFlatNormalsInto(StridedArrayView1D<const Vector3>{positions},
                                    StridedArrayView1D<Vector3>{normals});
        return normals;
    };
    for (const bool smooth : {false, true}) {
        const std::vector<Vector3> expected = normalsAt(1.0f, smooth);
        /* Up to coordinates near the largest float, whose differences overflow too */
        for (const float scale : {0x1p-100f, 0x1p-60f, 0x1p60f, 0x1p100f, 0x1p127f}) {
            SCOPED_TRACE(scale);
            const std::vector<Vector3> normals = normalsAt(scale, smooth);
            for (std::size_t i = 0; i != normals.size(); ++i)
                ASSERT_LT(glm::length(normals[i] - expected[i]), 1e-6f) << smooth << " " << i;
        }
    }

    /* Any finite triangle, here with coordinates as large as in a report of NaN normals */
    const std::vector<Vector3> positions{
        {0.0f, 0.0f, 0.0f}, {1.0f, 0.0f, 0.0f}, {1e30f, -1e30f, 1e30f}};
    const std::vector<std::uint8_t> indices{0, 1, 2};
    std::vector<Vector3> normals(3);
    generateSmoothNormalsInto(StridedArrayView1D<const std::uint8_t>{std::span{indices}},
                              StridedArrayView1D<const Vector3>{std::span{positions}},
                              StridedArrayView1D<Vector3>{std::span{normals}});
    for (const Vector3& normal : normals)
        EXPECT_TRUE(fuzzyEqual(normal, glm::normalize(Vector3{0.0f, -1.0f, -1.0f})));
}

TEST(MeshToolsDeathTest, GenerationNeedsAttributes) {
    Trade::MeshData halfPosition =
        meshWith({{MA::Position, VF::Vector3h}, {MA::Normal, VF::Vector3}}, 3);
    ZE_EXPECT_ABORT(generateNormals(halfPosition),
                    "MeshTools::generateNormals(): mesh must have Vector3 position attribute");
    Trade::MeshData noNormal = meshWith({{MA::Position, VF::Vector3}}, 3);
    ZE_EXPECT_ABORT(generateNormals(noNormal),
                    "MeshTools::generateNormals(): mesh must have Vector3 normal attribute");
    Trade::MeshData strip = meshWith({{MA::Position, VF::Vector3}, {MA::Normal, VF::Vector3}}, 3,
                                     MeshPrimitive::TriangleStrip);
    ZE_EXPECT_ABORT(generateNormals(strip),
                    "MeshTools::generateNormals(): mesh must have triangle primitives");
}

TEST(MeshTools, MorphTargetSet) {
    std::vector<Trade::MeshData> meshes;
    meshes.push_back(meshWith({{MA::Position, VF::Vector3}}, 2));
    meshes.push_back(meshWith({{MA::Position, VF::Vector3}}, 5));
    meshes.push_back(meshWith({{MA::Normal, VF::Vector3}}, 2));
    const std::string_view names[]{"smile", "blink", "smile"};
    const ZarvikEngine::MorphTargetSet set{fromStrings(std::span{names}), std::move(meshes)};
    EXPECT_EQ(set.targetName(1), "blink");
    EXPECT_EQ(set.targetMeshData(1).vertexCount(), 5);
    EXPECT_EQ(set.targetIndex("smile"), 0);
    EXPECT_EQ(set.targetIndex("frown"), -1);
    ZE_EXPECT_ABORT(set.targetMeshData(3),
                    "MorphTargetSet::targetMeshData(): index 3 out of range for 3 targets");
}

} // namespace
} // namespace ZarvikEngine::MeshTools
