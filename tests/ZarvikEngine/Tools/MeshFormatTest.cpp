#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "../Trade/Printed.h"
#include "MeshTestHelpers.h"
#include "TestHelpers.h"
#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/Tools/MeshFormat.h"

namespace ZarvikEngine {
namespace {

using Test::AttributeSpec;
using Test::indexedMeshWith;
using Test::meshWith;
using Test::printed;
using Trade::MeshAttribute;

/* The layout table as the file format documents it, with the sizes written out, to check the
   library's table and layout code against */
struct Slot {
    std::uint32_t flag;
    MeshAttribute name;
    VertexFormat full;
    std::uint32_t fullSize;
    VertexFormat quantized;
    std::uint32_t quantizedSize;
    std::uint16_t arraySize;
    std::uint16_t extendedArraySize;
};
const Slot Slots[]{
    {0x1, MeshAttribute::Position, VertexFormat::Vector3, 12, VertexFormat::Vector3, 12, 0, 0},
    {0x2, MeshAttribute::TextureCoordinates, VertexFormat::Vector2, 8, VertexFormat::Vector2, 8, 0,
     0},
    {0x100, MeshAttribute::TextureCoordinates, VertexFormat::Vector2, 8, VertexFormat::Vector2, 8,
     0, 0},
    {0x80, MeshAttribute::Color, VertexFormat::Vector4, 16, VertexFormat::Vector4usNormalized, 8, 0,
     0},
    {0x8, MeshAttribute::Tangent, VertexFormat::Vector4, 16, VertexFormat::Vector4sNormalized, 8, 0,
     0},
    {0x10, MeshAttribute::ObjectId, VertexFormat::UnsignedInt, 4, VertexFormat::UnsignedInt, 4, 0,
     0},
    {0x4, MeshAttribute::Normal, VertexFormat::Vector3, 12, VertexFormat::Vector3sNormalized, 6, 0,
     0},
    {0x4, MeshAttribute(32768 + 42), VertexFormat{}, 0, VertexFormat::UnsignedShort, 2, 0, 0},
    {0x20, MeshAttribute::JointIds, VertexFormat::UnsignedShort, 2, VertexFormat::UnsignedShort, 2,
     4, 8},
    {0x20, MeshAttribute::Weights, VertexFormat::Float, 4, VertexFormat::UnsignedShortNormalized, 2,
     4, 8},
    {0x200, MeshAttribute(32768 + 4), VertexFormat::Vector2, 8, VertexFormat::Vector2, 8, 0, 0},
    {0x200, MeshAttribute(32768 + 5), VertexFormat::Vector2, 8, VertexFormat::Vector2, 8, 0, 0},
    {0x200, MeshAttribute(32768 + 6), VertexFormat::Vector4, 16, VertexFormat::Vector4, 16, 0, 0},
    {0x200, MeshAttribute(32768 + 7), VertexFormat::Vector4, 16, VertexFormat::Vector4, 16, 0, 0},
    {0x200, MeshAttribute(32768 + 8), VertexFormat::Vector4, 16, VertexFormat::Vector4, 16, 0, 0},
    {0x200, MeshAttribute(32768 + 9), VertexFormat::Vector4ubNormalized, 4,
     VertexFormat::Vector4ubNormalized, 4, 0, 0},
};

struct Expected {
    MeshAttribute name;
    VertexFormat format;
    std::size_t offset;
    std::uint16_t arraySize;
};

/* Name, format, offset and array size of each attribute */
void expectLayout(const std::vector<Trade::MeshAttributeData>& attributes,
                  const std::vector<Expected>& expected, std::ptrdiff_t stride,
                  std::uint32_t vertexCount = 7) {
    ASSERT_EQ(attributes.size(), expected.size());
    for (std::size_t i = 0; i != expected.size(); ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(attributes[i].name(), expected[i].name);
        EXPECT_EQ(attributes[i].format(), expected[i].format);
        EXPECT_EQ(attributes[i].offset({}), expected[i].offset);
        EXPECT_EQ(attributes[i].arraySize(), expected[i].arraySize);
        EXPECT_EQ(attributes[i].stride(), stride);
        EXPECT_EQ(attributes[i].vertexCount(), vertexCount);
    }
}

TEST(MeshFormat, LayoutOfEveryFlagCombination) {
    for (std::uint32_t bits = 0; bits != 1024; ++bits) {
        for (const bool quantized : {false, true}) {
            SCOPED_TRACE(::testing::Message() << bits << (quantized ? " quantized" : ""));
            const std::uint32_t layout = bits ? bits : 0x1;
            std::vector<Expected> expected;
            std::size_t offset = 0;
            for (const Slot& slot : Slots) {
                const VertexFormat format = quantized ? slot.quantized : slot.full;
                if (!(layout & slot.flag) || format == VertexFormat{})
                    continue;
                const std::uint16_t arraySize =
                    slot.arraySize && (layout & 0x40) ? slot.extendedArraySize : slot.arraySize;
                expected.push_back({slot.name, format, offset, arraySize});
                offset += (quantized ? slot.quantizedSize : slot.fullSize) *
                          std::max<std::uint16_t>(arraySize, 1);
            }
            /* ExtendedSkinning alone names no attribute, see the death test */
            if (!offset)
                continue;

            const MeshDataFlags flags{bits};
            expectLayout(getLayout(quantized ? flags | MeshDataFlag::Quantized : flags, 7),
                         expected, std::ptrdiff_t(offset));
            expectLayout(getLayout(flags, quantized ? flags : MeshDataFlags{}, 7), expected,
                         std::ptrdiff_t(offset));

            /* A mesh in the layout reports the flags back, normalized */
            const MeshDataFlags reported = getMeshFlags(cloneMeshDataUninitialized(
                flags, quantized ? flags : MeshDataFlags{}, meshWith({}, 2)));
            /* Extended skinning needs skinning, and a single texture coordinate set counts as
               the first whichever slot it came from */
            MeshDataFlags normalized{layout};
            if (!(normalized >= MeshDataFlag::Skinning))
                normalized &= ~MeshDataFlag::ExtendedSkinning;
            if (!(normalized >= MeshDataFlag::TextureCoordinates) &&
                normalized >= MeshDataFlag::SecondaryTextureCoordinates)
                normalized ^=
                    MeshDataFlag::TextureCoordinates | MeshDataFlag::SecondaryTextureCoordinates;
            EXPECT_EQ(reported, normalized);
        }
    }
}

TEST(MeshFormat, LayoutEdgeCases) {
    using F = MeshDataFlag;
    const MeshDataFlags common = F::Positions | F::Normals | F::TextureCoordinates;
    expectLayout(getLayout(common, 7),
                 {{MeshAttribute::Position, VertexFormat::Vector3, 0, 0},
                  {MeshAttribute::TextureCoordinates, VertexFormat::Vector2, 12, 0},
                  {MeshAttribute::Normal, VertexFormat::Vector3, 20, 0}},
                 32);
    expectLayout(getLayout(common | F::Quantized, 7),
                 {{MeshAttribute::Position, VertexFormat::Vector3, 0, 0},
                  {MeshAttribute::TextureCoordinates, VertexFormat::Vector2, 12, 0},
                  {MeshAttribute::Normal, VertexFormat::Vector3sNormalized, 20, 0},
                  {Trade::meshAttributeCustom(42), VertexFormat::UnsignedShort, 26, 0}},
                 28);
    expectLayout(getLayout(F::Positions | F::Skinning | F::ExtendedSkinning, 7),
                 {{MeshAttribute::Position, VertexFormat::Vector3, 0, 0},
                  {MeshAttribute::JointIds, VertexFormat::UnsignedShort, 12, 8},
                  {MeshAttribute::Weights, VertexFormat::Float, 28, 8}},
                 60);
    EXPECT_EQ(getLayout(F::Slug, 7).front().stride(), 68);
    expectLayout(getLayout(MeshDataFlags{}, 7),
                 {{MeshAttribute::Position, VertexFormat::Vector3, 0, 0}}, 12);
    /* Only the normals quantized */
    expectLayout(getLayout(F::Positions | F::Normals | F::Tangents, F::Normals, 7),
                 {{MeshAttribute::Position, VertexFormat::Vector3, 0, 0},
                  {MeshAttribute::Tangent, VertexFormat::Vector4, 12, 0},
                  {MeshAttribute::Normal, VertexFormat::Vector3sNormalized, 28, 0},
                  {Trade::meshAttributeCustom(42), VertexFormat::UnsignedShort, 34, 0}},
                 36);

    EXPECT_EQ(printed(F::Positions | F::Quantized),
              "MeshDataFlag::Positions|MeshDataFlag::Quantized");
    EXPECT_EQ(printed(MeshDataFlags{}), "MeshDataFlags{}");
    EXPECT_EQ(printed(MeshDataFlag(0x800)), "MeshDataFlag(2048)");
}

TEST(MeshFormat, FlagsOfImportedMeshes) {
    using F = MeshDataFlag;
    const AttributeSpec position{MeshAttribute::Position, VertexFormat::Vector3};
    /* Joint ids without weights aren't skinning */
    EXPECT_EQ(getMeshFlags(meshWith({position,
                                     {MeshAttribute::Normal, VertexFormat::Vector3sNormalized},
                                     {MeshAttribute::JointIds, VertexFormat::UnsignedByte, 4}},
                                    3)),
              F::Positions | F::Normals);
    EXPECT_EQ(getMeshFlags(meshWith({position,
                                     {MeshAttribute::JointIds, VertexFormat::UnsignedByte, 6},
                                     {MeshAttribute::Weights, VertexFormat::Float, 4}},
                                    3)),
              F::Positions | F::Skinning | F::ExtendedSkinning);
    EXPECT_EQ(getMeshFlags(meshWith({position,
                                     {MeshAttribute::TextureCoordinates, VertexFormat::Vector2},
                                     {MeshAttribute::TextureCoordinates, VertexFormat::Vector2us}},
                                    3)),
              F::Positions | F::TextureCoordinates | F::SecondaryTextureCoordinates);
    /* Morph targets don't count, and the quantized normal's padding says nothing */
    EXPECT_EQ(
        getMeshFlags(meshWith({position,
                               {MeshAttribute::TextureCoordinates, VertexFormat::Vector2, 0, 0},
                               {Trade::meshAttributeCustom(42), VertexFormat::UnsignedShort}},
                              3)),
        MeshDataFlags{F::Positions});
    /* Five of the six text attributes are no Slug */
    EXPECT_EQ(getMeshFlags(meshWith({{Trade::meshAttributeCustom(4), VertexFormat::Vector2},
                                     {Trade::meshAttributeCustom(5), VertexFormat::Vector2},
                                     {Trade::meshAttributeCustom(6), VertexFormat::Vector4},
                                     {Trade::meshAttributeCustom(7), VertexFormat::Vector4},
                                     {Trade::meshAttributeCustom(8), VertexFormat::Vector4}},
                                    3)),
              MeshDataFlags{});
}

TEST(MeshFormat, CloneAndCopy) {
    using F = MeshDataFlag;
    Trade::MeshData source =
        indexedMeshWith<std::uint8_t>({{MeshAttribute::Normal, VertexFormat::Vector3},
                                       {MeshAttribute::Position, VertexFormat::Vector3},
                                       {MeshAttribute::Color, VertexFormat::Vector4}},
                                      3, {2, 1, 0, 0, 1});
    for (std::uint32_t i = 0; i != 3; ++i) {
        const float f = float(i);
        source.mutableAttribute<Vector3>(MeshAttribute::Position)[i] = {f, f + 0.5f, -f};
        source.mutableAttribute<Vector3>(MeshAttribute::Normal)[i] = {0.0f, 1.0f, f};
    }

    const Trade::MeshData empty = cloneMeshDataUninitialized(F::Positions | F::Normals, {}, source);
    EXPECT_EQ(empty.primitive(), MeshPrimitive::Triangles);
    EXPECT_EQ(empty.vertexCount(), 3);
    EXPECT_EQ(empty.indexType(), MeshIndexType::UnsignedInt);
    EXPECT_EQ(empty.indexCount(), 5);
    EXPECT_EQ(empty.vertexData().size(), 3 * 24);
    for (const char byte : empty.vertexData())
        EXPECT_EQ(byte, 0);

    /* Colors aren't in the layout, texture coordinates aren't in the source */
    const Trade::MeshData clone =
        cloneMeshData(F::Positions | F::Normals | F::TextureCoordinates, source);
    EXPECT_EQ(clone.attributeCount(), 3);
    const auto indices = clone.indices<std::uint32_t>();
    EXPECT_EQ(std::vector<std::uint32_t>(indices.begin(), indices.end()),
              (std::vector<std::uint32_t>{2, 1, 0, 0, 1}));
    for (std::uint32_t i = 0; i != 3; ++i) {
        EXPECT_EQ(clone.attribute<Vector3>(MeshAttribute::Position)[i],
                  source.attribute<Vector3>(MeshAttribute::Position)[i]);
        EXPECT_EQ(clone.attribute<Vector3>(MeshAttribute::Normal)[i],
                  source.attribute<Vector3>(MeshAttribute::Normal)[i]);
        EXPECT_EQ(clone.attribute<Vector2>(MeshAttribute::TextureCoordinates)[i], Vector2{});
    }
}

/* A skinned, colored mesh with 16-bit indices and random values in range */
Trade::MeshData fullPrecisionMesh(std::uint32_t vertexCount, std::mt19937& random) {
    using F = MeshDataFlag;
    std::vector<std::uint16_t> indices(vertexCount);
    for (std::uint32_t i = 0; i != vertexCount; ++i)
        indices[i] = std::uint16_t(vertexCount - 1 - i);
    const MeshDataFlags flags = F::Positions | F::TextureCoordinates | F::Normals | F::Tangents |
                                F::Colors | F::Skinning | F::ObjectIds;
    Trade::MeshData mesh =
        cloneMeshDataUninitialized(flags, {}, indexedMeshWith({}, vertexCount, indices));
    copyMeshIndexData(mesh, indexedMeshWith({}, vertexCount, indices));

    std::uniform_real_distribution<float> signedUnit{-1.0f, 1.0f}, unit{0.0f, 1.0f};
    const auto vector = [&] {
        return Vector3{signedUnit(random), signedUnit(random), signedUnit(random)};
    };
    for (std::uint32_t i = 0; i != vertexCount; ++i) {
        mesh.mutableAttribute<Vector3>(MeshAttribute::Position)[i] = 100.0f * vector();
        mesh.mutableAttribute<Vector2>(MeshAttribute::TextureCoordinates)[i] = {unit(random), 2.0f};
        mesh.mutableAttribute<Vector3>(MeshAttribute::Normal)[i] = glm::normalize(vector());
        mesh.mutableAttribute<Vector4>(MeshAttribute::Tangent)[i] = {vector(),
                                                                     i % 2 ? 1.0f : -1.0f};
        mesh.mutableAttribute<Color4>(MeshAttribute::Color)[i] = {unit(random), unit(random),
                                                                  unit(random), 1.0f};
        mesh.mutableAttribute<std::uint32_t>(MeshAttribute::ObjectId)[i] = random();
        for (std::uint32_t j = 0; j != 4; ++j) {
            mesh.mutableAttribute<std::uint16_t[]>(MeshAttribute::JointIds)[i][j] =
                std::uint16_t(random());
            mesh.mutableAttribute<float[]>(MeshAttribute::Weights)[i][j] = unit(random);
        }
    }
    return mesh;
}

template<class T>
void expectNear(const StridedArrayView1D<const T>& actual,
                const StridedArrayView1D<const T>& expected, float tolerance) {
    ASSERT_EQ(actual.size(), expected.size());
    for (std::size_t i = 0; i != actual.size(); ++i)
        for (glm::length_t j = 0; j != T::length(); ++j)
            ASSERT_NEAR(actual[i][j], expected[i][j], tolerance) << i << " " << j;
}

TEST(MeshFormat, PackThenUnpack) {
    using F = MeshDataFlag;
    std::mt19937 random{7};
    /* More vertices than one conversion block */
    const Trade::MeshData source = fullPrecisionMesh(2500, random);
    const MeshDataFlags flags = getMeshFlags(source);

    const Trade::MeshData packed = packMesh(flags, source);
    EXPECT_EQ(getMeshFlags(packed), flags);
    EXPECT_EQ(packed.attributeStride(0), 12 + 8 + 8 + 8 + 4 + 8 + 8 + 8);
    EXPECT_EQ(packed.indexType(), MeshIndexType::UnsignedInt);
    EXPECT_EQ(packed.indices<std::uint32_t>()[0], 2499);
    EXPECT_EQ(packed.attributeFormat(packed.attributeId(MeshAttribute::Tangent)),
              VertexFormat::Vector4sNormalized);
    for (std::uint32_t i = 0; i < source.vertexCount(); i += 97) {
        EXPECT_EQ(packed.attribute<Vector3s>(MeshAttribute::Normal)[i],
                  pack<Vector3s>(source.attribute<Vector3>(MeshAttribute::Normal)[i]));
        EXPECT_EQ(packed.attribute<std::uint16_t>(Trade::meshAttributeCustom(42))[i], 0);
        EXPECT_EQ(packed.attribute<std::uint16_t[]>(MeshAttribute::Weights)[i][3],
                  pack<std::uint16_t>(source.attribute<float[]>(MeshAttribute::Weights)[i][3]));
    }

    const Trade::MeshData unpacked = unpackMesh(flags, packed);
    EXPECT_EQ(unpacked.attributeStride(0), source.attributeStride(0));
    const auto same = [&](MeshAttribute name) {
        const auto a = unpacked.attribute(name), b = source.attribute(name);
        for (std::size_t i = 0; i != a.size()[0]; ++i)
            ASSERT_EQ(std::memcmp(a[i].data(), b[i].data(), a.size()[1]), 0)
                << unsigned(name) << " " << i;
    };
    for (const MeshAttribute name : {MeshAttribute::Position, MeshAttribute::TextureCoordinates,
                                     MeshAttribute::ObjectId, MeshAttribute::JointIds})
        same(name);
    expectNear(unpacked.attribute<Vector3>(MeshAttribute::Normal),
               source.attribute<Vector3>(MeshAttribute::Normal), 1.0f / 32767);
    expectNear(unpacked.attribute<Vector4>(MeshAttribute::Tangent),
               source.attribute<Vector4>(MeshAttribute::Tangent), 1.0f / 32767);
    expectNear(unpacked.attribute<Vector4>(MeshAttribute::Color),
               source.attribute<Vector4>(MeshAttribute::Color), 1.0f / 65535);
    for (std::uint32_t i = 0; i != source.vertexCount(); ++i)
        for (std::uint32_t j = 0; j != 4; ++j)
            ASSERT_NEAR(unpacked.attribute<float[]>(MeshAttribute::Weights)[i][j],
                        source.attribute<float[]>(MeshAttribute::Weights)[i][j], 1.0f / 65535);

    /* Unpacking only the normals keeps the rest quantized and drops the padding */
    const Trade::MeshData normalsOnly = unpackMesh(F::Normals, packed);
    EXPECT_FALSE(normalsOnly.hasAttribute(Trade::meshAttributeCustom(42)));
    EXPECT_EQ(normalsOnly.attributeFormat(normalsOnly.attributeId(MeshAttribute::Normal)),
              VertexFormat::Vector3);
    EXPECT_EQ(normalsOnly.attributeFormat(normalsOnly.attributeId(MeshAttribute::Color)),
              VertexFormat::Vector4usNormalized);
    expectNear(normalsOnly.attribute<Vector3>(MeshAttribute::Normal),
               unpacked.attribute<Vector3>(MeshAttribute::Normal), 0.0f);
}

TEST(MeshFormat, AttributeDataByName) {
    const float normals[]{1.0f, -1.0f, 0.5f, 0.0f, -0.25f, 1.0f};
    std::int16_t packedNormals[6];
    const StridedArrayView2D<const char> normalBytes{
        std::span{reinterpret_cast<const char*>(normals), sizeof(normals)}, Size2D{2, 12}};
    const StridedArrayView2D<char> packedBytes{
        std::span{reinterpret_cast<char*>(packedNormals), sizeof(packedNormals)}, Size2D{2, 6}};
    packMeshAttributeDataInto(MeshAttribute::Normal, normalBytes, packedBytes);
    EXPECT_EQ(std::vector<std::int16_t>(packedNormals, packedNormals + 6),
              (std::vector<std::int16_t>{32767, -32767, 16384, 0, -8192, 32767}));

    /* The most negative value clamps */
    packedNormals[1] = -32768;
    float unpacked[6];
    unpackMeshAttributeDataInto(
        MeshAttribute::Normal, packedBytes,
        StridedArrayView2D<char>{std::span{reinterpret_cast<char*>(unpacked), sizeof(unpacked)},
                                 Size2D{2, 12}});
    EXPECT_EQ(unpacked[1], -1.0f);
    EXPECT_EQ(unpacked[2], 16384.0f / 32767);

    /* Colors are unsigned, positions are copied */
    std::uint16_t packedColors[6];
    packMeshAttributeDataInto(
        MeshAttribute::Color, normalBytes,
        StridedArrayView2D<char>{std::span{reinterpret_cast<char*>(packedColors), 12},
                                 Size2D{2, 6}});
    EXPECT_EQ(packedColors[0], 65535);
    EXPECT_EQ(packedColors[2], 32768);
    float copied[6]{};
    packMeshAttributeDataInto(
        MeshAttribute::Position, normalBytes,
        StridedArrayView2D<char>{std::span{reinterpret_cast<char*>(copied), sizeof(copied)},
                                 Size2D{2, 12}});
    EXPECT_EQ(std::memcmp(copied, normals, sizeof(copied)), 0);

    ZE_EXPECT_ABORT(packMeshAttributeDataInto(MeshAttribute::Position, normalBytes, packedBytes),
                    "Utility::copy(): sizes {2, 12} and {2, 6} don't match");
    ZE_EXPECT_ABORT(
        packMeshAttributeDataInto(MeshAttribute::Tangent, normalBytes, packedBytes.sliceRows(0, 1)),
        "Math::packInto(): wrong destination size, got {1, 3} but expected {2, 3}");
}

TEST(MeshFormatDeathTest, Assertions) {
    ZE_EXPECT_ABORT_PREFIX(getLayout(MeshDataFlag::ExtendedSkinning, {}, 3),
                           "Assertion vertexSize > 0 failed at ZarvikEngine/Tools/MeshFormat.cpp:");
    const Trade::MeshData mesh = meshWith({{MeshAttribute::Position, VertexFormat::Vector3}}, 3);
    ZE_EXPECT_ABORT_PREFIX(unpackMesh(MeshDataFlag::Positions | MeshDataFlag::Quantized, {}, mesh),
                           "Assertion !(targetLayout >= MeshDataFlag::Quantized) failed at "
                           "ZarvikEngine/Tools/MeshFormat.cpp:");
    /* Conversions refuse smaller destinations with the attribute tools' messages */
    const Trade::MeshData extended =
        meshWith({{MeshAttribute::Position, VertexFormat::Vector3},
                  {MeshAttribute::JointIds, VertexFormat::UnsignedShort, 8},
                  {MeshAttribute::Weights, VertexFormat::Float, 8}},
                 3);
    ZE_EXPECT_ABORT(packMesh(MeshDataFlag::Positions | MeshDataFlag::Skinning,
                             MeshDataFlag::Skinning, extended),
                    "MeshTools::copyAttribute(): can't copy Trade::MeshAttribute::JointIds to "
                    "smaller size (would cause loss of data)");
}

} // namespace
} // namespace ZarvikEngine
