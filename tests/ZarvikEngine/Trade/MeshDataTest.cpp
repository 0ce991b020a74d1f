#include <cstring>
#include <vector>

#include <gtest/gtest.h>

#include "TestHelpers.h"
#include "ZarvikEngine/DebugString.h"
#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/Trade/MeshData.h"

namespace ZarvikEngine::Trade {
namespace {

using MA = MeshAttribute;
using VF = VertexFormat;

/* An interleaved vertex as an engine layout would have it */
struct Vertex {
    Vector3 position;
    Vector3s normal;
    std::uint16_t padding;
    Vector2 textureCoordinates;
    std::uint8_t jointIds[4];
    Vector2ub secondaryTextureCoordinates;
    std::uint8_t padding2[2];
};
static_assert(sizeof(Vertex) == 36);

constexpr std::uint16_t Indices[]{0xfeed, 0xfeed, 0, 1, 2, 2, 1, 3};

std::vector<Vertex> vertices() {
    std::vector<Vertex> result(4);
    for (std::uint8_t i = 0; i != 4; ++i) {
        const float f = i;
        result[i].position = {f, f * 2.0f, -f};
        result[i].normal = {0, 32767, std::int16_t(-i)};
        result[i].padding = std::uint16_t(1000 + i);
        for (std::uint8_t j = 0; j != 4; ++j)
            result[i].jointIds[j] = std::uint8_t(i * 4 + j);
        result[i].secondaryTextureCoordinates = {std::uint8_t(i * 60), 255};
    }
    return result;
}

template<class T>
std::vector<char> bytesOf(std::span<const T> data) {
    const auto* begin = reinterpret_cast<const char*>(data.data());
    return {begin, begin + data.size_bytes()};
}

std::vector<MeshAttributeData> layout(std::uint32_t vertexCount) {
    return {
        {MA::Position, VF::Vector3, 0, vertexCount, 36},
        {MA::Normal, VF::Vector3sNormalized, 12, vertexCount, 36},
        {meshAttributeCustom(42), VF::UnsignedShort, 18, vertexCount, 36},
        {MA::TextureCoordinates, VF::Vector2, 20, vertexCount, 36},
        {MA::JointIds, VF::UnsignedByte, 28, vertexCount, 36, 4},
        {MA::TextureCoordinates, VF::Vector2ubNormalized, 32, vertexCount, 36},
    };
}

MeshData interleavedMesh() {
    const std::vector<Vertex> data = vertices();
    return MeshData{MeshPrimitive::Triangles, bytesOf(std::span<const std::uint16_t>{Indices}),
                    MeshIndexData{MeshIndexType::UnsignedShort, 4, 6},
                    bytesOf(std::span<const Vertex>{data}), layout(4)};
}

/* Everything a reader sees of the mesh above, however it holds its data */
void expectInterleavedContents(const MeshData& mesh) {
    const std::vector<Vertex> expected = vertices();
    ASSERT_EQ(mesh.attributeCount(), 6u);
    EXPECT_EQ(mesh.vertexCount(), 4u);
    EXPECT_EQ(mesh.attributeOffset(3), 20u);
    EXPECT_EQ(mesh.attributeId(MA::TextureCoordinates, 1), 5u);
    EXPECT_EQ(mesh.findAttributeId(MA::TextureCoordinates, 2), std::nullopt);

    /* Raw rows hold exactly the bytes of each vertex's value */
    const StridedArrayView2D<const char> normals = mesh.attribute(1);
    EXPECT_EQ(normals.size(), (Size2D{4, 6}));
    EXPECT_EQ(std::memcmp(&normals[3][0], &expected[3].normal, 6), 0);

    const auto secondary = mesh.attribute<Vector2ub>(MA::TextureCoordinates, 1);
    const auto jointIds = mesh.attribute<std::uint8_t[]>(MA::JointIds);
    ASSERT_EQ(jointIds.size(), (Size2D{4, 4}));
    for (std::size_t i = 0; i != 4; ++i) {
        EXPECT_EQ(mesh.attribute<Vector3>(0)[i], expected[i].position);
        EXPECT_EQ(secondary[i], expected[i].secondaryTextureCoordinates);
        EXPECT_EQ(mesh.attribute<std::uint16_t>(meshAttributeCustom(42))[i], expected[i].padding);
        EXPECT_EQ(jointIds[i][3], expected[i].jointIds[3]);
    }
    const StridedArrayView1D<const std::uint16_t> indices = mesh.indices<std::uint16_t>();
    EXPECT_EQ(std::vector<std::uint16_t>(indices.begin(), indices.end()),
              (std::vector<std::uint16_t>{0, 1, 2, 2, 1, 3}));
}

TEST(MeshData, EnumValuesAndPrinting) {
    EXPECT_EQ(std::uint16_t(MA::ObjectId), 9u);
    EXPECT_EQ(std::uint32_t(MeshIndexType::UnsignedInt), 3u);
    EXPECT_EQ(std::uint32_t(MeshPrimitive::Meshlets), 11u);
    static_assert(meshAttributeCustom(42) == MeshAttribute(32810));
    EXPECT_TRUE(isMeshAttributeCustom(meshAttributeCustom(32767)));
    EXPECT_FALSE(isMeshAttributeCustom(MeshAttribute(32767)));

    EXPECT_EQ(debugString(meshAttributeCustom(42)), "Trade::MeshAttribute::Custom(42)");
    EXPECT_EQ(debugString(MeshAttribute(10)), "Trade::MeshAttribute(10)");
    EXPECT_EQ(debugString(wrapImplementationSpecific<MeshPrimitive>(0x4)),
              "MeshPrimitive::ImplementationSpecific(0x4)");
    EXPECT_EQ(debugString(DataFlag::Owned | DataFlag::Mutable),
              "Trade::DataFlag::Owned|Trade::DataFlag::Mutable");
    EXPECT_EQ(debugString(DataFlags{}), "Trade::DataFlags{}");
    EXPECT_EQ(debugString(DataFlag::Mutable | DataFlag(0x80)),
              "Trade::DataFlag::Mutable|Trade::DataFlag(128)");
}

TEST(MeshData, OwnedViewedAndCopied) {
    MeshData mesh = interleavedMesh();
    EXPECT_EQ(mesh.vertexDataFlags(), DataFlag::Owned | DataFlag::Mutable);
    expectInterleavedContents(mesh);

    /* Moving keeps the data where it is; writes land in the vertex and index data */
    const char* vertexData = mesh.vertexData().data();
    MeshData moved = std::move(mesh);
    moved.mutableAttribute<Vector3>(MA::Position)[2] = {7.0f, 8.0f, 9.0f};
    moved.mutableAttribute<std::uint8_t[]>(4)[1][3] = 99;
    moved.mutableIndices<std::uint16_t>()[0] = 3;
    EXPECT_EQ(moved.vertexData().data(), vertexData);
    EXPECT_EQ(moved.vertexData()[2 * sizeof(Vertex) + 11], '\x41'); /* 9.0f = 0x41100000 */
    EXPECT_EQ(moved.vertexData()[sizeof(Vertex) + 31], 99);
    EXPECT_EQ(reinterpret_cast<const std::uint16_t*>(moved.indexData().data())[2], 3u);

    /* Releasing hands the arrays out and leaves a mesh without data */
    EXPECT_EQ(moved.releaseVertexData().data(), vertexData);
    EXPECT_EQ(moved.vertexCount(), 0u);
    EXPECT_TRUE(moved.attribute<Vector3>(0).empty());
    moved.releaseIndexData();
    EXPECT_TRUE(moved.indices().empty());

    /* Attributes given as views into viewed memory become offsets; writable viewed indices are
       written in place */
    const std::vector<Vertex> data = vertices();
    std::vector<std::uint16_t> indices{std::begin(Indices), std::end(Indices)};
    std::vector<MeshAttributeData> attributes = layout(4);
    attributes[4] = {
        MA::JointIds, VF::UnsignedByte,
        StridedArrayView1D<const std::uint8_t[4]>{&data[0].jointIds, 4, sizeof(Vertex)}, 4};
    const std::span<const char> vertexBytes{reinterpret_cast<const char*>(data.data()),
                                            data.size() * sizeof(Vertex)};
    MeshData viewed{MeshPrimitive::Triangles,
                    DataStorage::mutableView(
                        std::span<char>{reinterpret_cast<char*>(indices.data()), sizeof(Indices)}),
                    MeshIndexData{MeshIndexType::UnsignedShort, 4, 6},
                    DataStorage::view(vertexBytes), std::move(attributes)};
    EXPECT_EQ(viewed.vertexDataFlags(), DataFlags{});
    EXPECT_EQ(viewed.indexDataFlags(), DataFlag::Mutable);
    EXPECT_EQ(viewed.attributeOffset(4), 28u);
    expectInterleavedContents(viewed);
    viewed.mutableIndices<std::uint16_t>()[5] = 0;
    EXPECT_EQ(indices[7], 0u);

    const MeshData owned = copy(viewed);
    EXPECT_EQ(owned.indexDataFlags(), DataFlag::Owned | DataFlag::Mutable);
    EXPECT_NE(owned.vertexData().data(), vertexBytes.data());
    EXPECT_EQ(std::memcmp(owned.vertexData().data(), vertexBytes.data(), vertexBytes.size()), 0);
    EXPECT_EQ(owned.attributeOffset(4), 28u);
    EXPECT_EQ(owned.indices<std::uint16_t>()[5], 0u);
}

TEST(MeshData, UnusualLayouts) {
    /* No vertices: attribute offsets needn't point into anything */
    const MeshData empty{MeshPrimitive::Points, std::vector<char>{}, layout(0)};
    EXPECT_EQ(empty.attribute<Vector3>(0).size(), 0u);
    EXPECT_EQ((MeshData{MeshPrimitive::Triangles, std::vector<char>{}, {}, 3}).vertexCount(), 3u);
    /* ... nor do views, whose address must not end up as an offset */
    const char elsewhere[12]{};
    const MeshData emptyView{
        MeshPrimitive::Points,
        std::vector<char>{},
        {MeshAttributeData{MA::Position, VF::Vector3,
                           StridedArrayView2D<const char>{elsewhere, {0, 12}, {12, 1}}}}};
    EXPECT_EQ(emptyView.attributeOffset(0), 0u);

    /* A shared value (zero stride) and a layout read backwards (negative stride) */
    const float values[]{1.0f, 2.0f, 3.0f};
    const MeshData strided{
        MeshPrimitive::Points,
        DataStorage::view(
            std::span<const char>{reinterpret_cast<const char*>(values), sizeof(values)}),
        {{MA::Weights, VF::Float, 4, 3, 0}, {meshAttributeCustom(1), VF::Float, 8, 3, -4}}};
    EXPECT_EQ(strided.attribute<float>(0)[2], 2.0f);
    EXPECT_EQ(strided.attribute<float>(1)[2], 1.0f);

    /* Morph target attributes are counted apart from the base mesh */
    std::vector<MeshAttributeData> attributes = layout(4);
    attributes.push_back({MA::Position, VF::Vector3, 0, 4, 36, 0, 0});
    const MeshData morphed{MeshPrimitive::Triangles, std::vector<char>(4 * 36),
                           std::move(attributes)};
    EXPECT_EQ(morphed.attributeCount(MA::Position), 1u);
    EXPECT_EQ(morphed.attributeId(MA::Position, 0, 0), 6u);
    EXPECT_FALSE(morphed.hasAttribute(MA::Normal, 0));
}

TEST(MeshDataDeathTest, ChecksLayoutIdsTypesAndOwnership) {
    ZE_EXPECT_ABORT((MeshData{MeshPrimitive::Triangles,
                              std::vector<char>(40),
                              {{MA::Position, VF::Vector3, 0, 4, 12}}}),
                    "Trade::MeshData: attribute 0 [0:48] is not contained in passed vertexData "
                    "array of size 40");
    ZE_EXPECT_ABORT(
        (MeshData{MeshPrimitive::Triangles,
                  std::vector<char>(48),
                  {{MA::Position, VF::Vector3, 0, 4, 12}, {MA::Normal, VF::Vector3, 12, 4, -12}}}),
        "Trade::MeshData: attribute 1 [-24:24] is not contained in passed "
        "vertexData array of size 48");
    ZE_EXPECT_ABORT(
        (MeshData{MeshPrimitive::Triangles,
                  std::vector<char>(48),
                  {{MA::Position, VF::Vector3, 0, 4, 12}, {MA::Normal, VF::Vector3, 0, 3, 12}}}),
        "Trade::MeshData: attribute 1 has 3 vertices but 4 expected");
    ZE_EXPECT_ABORT((MeshData{MeshPrimitive::Triangles, std::vector<char>{}, {}}),
                    "Trade::MeshData: vertex count can't be implicit if there are no attributes");
    ZE_EXPECT_ABORT((MeshData{MeshPrimitive::Triangles,
                              std::vector<char>(14),
                              MeshIndexData{MeshIndexType::UnsignedShort, 4, 6},
                              std::vector<char>{},
                              {},
                              0}),
                    "Trade::MeshData: indices [4:16] are not contained in passed indexData "
                    "array of size 14");
    ZE_EXPECT_ABORT((MeshAttributeData{MA::Position, VF::Vector3, 0, 4, 40000}),
                    "Trade::MeshAttributeData: expected stride to fit into 16 bits but got 40000");
    ZE_EXPECT_ABORT((MeshAttributeData{MA::Position, VF::Vector3, 0, 4, 12, 0, 128}),
                    "Trade::MeshAttributeData: expected morph target ID to be either -1 or less "
                    "than 128 but got 128");
    const Vector2 positions[3]{};
    ZE_EXPECT_ABORT((MeshAttributeData{MA::Position, VF::Vector3,
                                       StridedArrayView1D<const Vector2>{positions}}),
                    "Trade::MeshAttributeData: expected second view dimension size 12 for "
                    "VertexFormat::Vector3 but got 8");
    ZE_EXPECT_ABORT(meshAttributeCustom(32768),
                    "Trade::meshAttributeCustom(): index 32768 too large");
    ZE_EXPECT_ABORT(meshAttributeCustom(MA::Normal),
                    "Trade::meshAttributeCustom(): Trade::MeshAttribute::Normal is not custom");

    const MeshData mesh = interleavedMesh();
    ZE_EXPECT_ABORT(mesh.attribute(6),
                    "Trade::MeshData::attribute(): index 6 out of range for 6 attributes");
    ZE_EXPECT_ABORT(mesh.attributeStride(7),
                    "Trade::MeshData::attributeStride(): index 7 out of range for 6 attributes");
    ZE_EXPECT_ABORT(mesh.attribute<Vector2>(MA::TextureCoordinates, 2),
                    "Trade::MeshData::attribute(): index 2 out of range for 2 "
                    "Trade::MeshAttribute::TextureCoordinates attributes");
    ZE_EXPECT_ABORT(mesh.attributeId(MA::Normal, 0, 1),
                    "Trade::MeshData::attributeId(): index 0 out of range for 0 "
                    "Trade::MeshAttribute::Normal attributes in morph target 1");
    ZE_EXPECT_ABORT(mesh.attribute<Vector2>(MA::Position),
                    "Trade::MeshData::attribute(): improper type requested for "
                    "Trade::MeshAttribute::Position of format VertexFormat::Vector3");
    ZE_EXPECT_ABORT(mesh.attribute<std::uint8_t>(MA::JointIds),
                    "Trade::MeshData::attribute(): use T[] to access an array attribute");
    ZE_EXPECT_ABORT(mesh.attribute<Vector3[]>(0),
                    "Trade::MeshData::attribute(): Trade::MeshAttribute::Position is not an array "
                    "attribute, can't use T[] to access it");
    ZE_EXPECT_ABORT(mesh.indices<std::uint32_t>(),
                    "Trade::MeshData::indices(): improper type requested for "
                    "MeshIndexType::UnsignedShort");

    const MeshData notIndexed{MeshPrimitive::Points, std::vector<char>{}, {}, 0};
    ZE_EXPECT_ABORT(notIndexed.indexCount(),
                    "Trade::MeshData::indexCount(): the mesh is not indexed");
    ZE_EXPECT_ABORT(notIndexed.indices(), "Trade::MeshData::indices(): the mesh is not indexed");

    const std::vector<char> bytes(48);
    MeshData viewed{MeshPrimitive::Triangles,
                    DataStorage::view(bytes),
                    {{MA::Position, VF::Vector3, 0, 4, 12}}};
    ZE_EXPECT_ABORT(viewed.mutableAttribute(0),
                    "Trade::MeshData::mutableAttribute(): vertex data not mutable");
    ZE_EXPECT_ABORT(viewed.mutableVertexData(),
                    "Trade::MeshData::mutableVertexData(): vertex data not mutable");
    ZE_EXPECT_ABORT(viewed.releaseVertexData(),
                    "Trade::MeshData::releaseVertexData(): vertex data not owned");
}

} // namespace
} // namespace ZarvikEngine::Trade
