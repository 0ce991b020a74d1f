#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "MeshTestHelpers.h"
#include "TestHelpers.h"
#include "ZarvikEngine/DebugString.h"
#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/Tools/MeshFormat.h"

namespace ZarvikEngine {
namespace {

using Test::indexedMeshWith;
using Test::meshWith;
using Test::TestAttribute;
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
using MA = MeshAttribute;
using VF = VertexFormat;
const Slot Slots[]{
    {0x1, MA::Position, VF::Vector3, 12, VF::Vector3, 12, 0, 0},
    {0x2, MA::TextureCoordinates, VF::Vector2, 8, VF::Vector2, 8, 0, 0},
    {0x100, MA::TextureCoordinates, VF::Vector2, 8, VF::Vector2, 8, 0, 0},
    {0x80, MA::Color, VF::Vector4, 16, VF::Vector4usNormalized, 8, 0, 0},
    {0x8, MA::Tangent, VF::Vector4, 16, VF::Vector4sNormalized, 8, 0, 0},
    {0x10, MA::ObjectId, VF::UnsignedInt, 4, VF::UnsignedInt, 4, 0, 0},
    {0x4, MA::Normal, VF::Vector3, 12, VF::Vector3sNormalized, 6, 0, 0},
    {0x4, MA(32768 + 42), VF{}, 0, VF::UnsignedShort, 2, 0, 0},
    {0x20, MA::JointIds, VF::UnsignedShort, 2, VF::UnsignedShort, 2, 4, 8},
    {0x20, MA::Weights, VF::Float, 4, VF::UnsignedShortNormalized, 2, 4, 8},
    {0x200, MA(32768 + 4), VF::Vector2, 8, VF::Vector2, 8, 0, 0},
    {0x200, MA(32768 + 5), VF::Vector2, 8, VF::Vector2, 8, 0, 0},
    {0x200, MA(32768 + 6), VF::Vector4, 16, VF::Vector4, 16, 0, 0},
    {0x200, MA(32768 + 7), VF::Vector4, 16, VF::Vector4, 16, 0, 0},
    {0x200, MA(32768 + 8), VF::Vector4, 16, VF::Vector4, 16, 0, 0},
    {0x200, MA(32768 + 9), VF::Vector4ubNormalized, 4, VF::Vector4ubNormalized, 4, 0, 0},
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
    /* Only the normals quantized: the padding follows them */
    expectLayout(getLayout(F::Positions | F::Normals | F::Tangents, F::Normals, 7),
                 {{MA::Position, VF::Vector3, 0, 0},
                  {MA::Tangent, VF::Vector4, 12, 0},
                  {MA::Normal, VF::Vector3sNormalized, 28, 0},
                  {Trade::meshAttributeCustom(42), VF::UnsignedShort, 34, 0}},
                 36);
    expectLayout(getLayout(MeshDataFlags{}, 7), {{MA::Position, VF::Vector3, 0, 0}}, 12);

    EXPECT_EQ(debugString(F::Positions | F::Quantized),
              "MeshDataFlag::Positions|MeshDataFlag::Quantized");
    EXPECT_EQ(debugString(MeshDataFlags{}), "MeshDataFlags{}");
    EXPECT_EQ(debugString(MeshDataFlag(0x800)), "MeshDataFlag(2048)");
}

TEST(MeshFormat, FlagsOfImportedMeshes) {
    using F = MeshDataFlag;
    const TestAttribute position{MA::Position, VF::Vector3};
    const std::pair<Trade::MeshData, MeshDataFlags> cases[]{
        /* Joint ids without weights aren't skinning */
        {meshWith(
             {position, {MA::Normal, VF::Vector3sNormalized}, {MA::JointIds, VF::UnsignedByte, 4}},
             3),
         F::Positions | F::Normals},
        {meshWith({position, {MA::JointIds, VF::UnsignedByte, 6}, {MA::Weights, VF::Float, 4}}, 3),
         F::Positions | F::Skinning | F::ExtendedSkinning},
        {meshWith({position,
                   {MA::TextureCoordinates, VF::Vector2},
                   {MA::TextureCoordinates, VF::Vector2us}},
                  3),
         F::Positions | F::TextureCoordinates | F::SecondaryTextureCoordinates},
        /* Morph targets don't count, and the quantized normal's padding says nothing */
        {meshWith({position,
                   {MA::TextureCoordinates, VF::Vector2, 0, 0},
                   {Trade::meshAttributeCustom(42), VF::UnsignedShort}},
                  3),
         F::Positions},
        /* Five of the six text attributes are no Slug */
        {meshWith({{Trade::meshAttributeCustom(4), VF::Vector2},
                   {Trade::meshAttributeCustom(5), VF::Vector2},
                   {Trade::meshAttributeCustom(6), VF::Vector4},
                   {Trade::meshAttributeCustom(7), VF::Vector4},
                   {Trade::meshAttributeCustom(8), VF::Vector4}},
                  3),
         MeshDataFlags{}},
    };
    for (const auto& [mesh, flags] : cases)
        EXPECT_EQ(getMeshFlags(mesh), flags);
}

TEST(MeshFormat, CloneAndCopy) {
    using F = MeshDataFlag;
    Trade::MeshData source = indexedMeshWith<std::uint8_t>(
        {{MA::Normal, VF::Vector3}, {MA::Position, VF::Vector3}, {MA::Color, VF::Vector4}}, 3,
        {2, 1, 0, 0, 1});
    for (std::uint32_t i = 0; i != 3; ++i) {
        const float f = float(i);
        source.mutableAttribute<Vector3>(MA::Position)[i] = {f, f + 0.5f, -f};
        source.mutableAttribute<Vector3>(MA::Normal)[i] = {0.0f, 1.0f, f};
    }

    const Trade::MeshData empty = cloneMeshDataUninitialized(F::Positions | F::Normals, {}, source);
    EXPECT_EQ(empty.indexType(), MeshIndexType::UnsignedInt);
    EXPECT_EQ(empty.indexCount(), 5);
    EXPECT_EQ(empty.vertexData().size(), 3 * 24);

    /* Colors aren't in the layout, texture coordinates aren't in the source */
    const Trade::MeshData clone =
        cloneMeshData(F::Positions | F::Normals | F::TextureCoordinates, source);
    EXPECT_EQ(clone.attributeCount(), 3);
    const auto indices = clone.indices<std::uint32_t>();
    EXPECT_EQ(std::vector<std::uint32_t>(indices.begin(), indices.end()),
              (std::vector<std::uint32_t>{2, 1, 0, 0, 1}));
    for (std::uint32_t i = 0; i != 3; ++i) {
        EXPECT_EQ(clone.attribute<Vector3>(MA::Position)[i],
                  source.attribute<Vector3>(MA::Position)[i]);
        EXPECT_EQ(clone.attribute<Vector3>(MA::Normal)[i],
                  source.attribute<Vector3>(MA::Normal)[i]);
        EXPECT_EQ(clone.attribute<Vector2>(MA::TextureCoordinates)[i], Vector2{});
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
        mesh.mutableAttribute<Vector3>(MA::Position)[i] = 100.0f * vector();
        mesh.mutableAttribute<Vector2>(MA::TextureCoordinates)[i] = {unit(random), 2.0f};
        mesh.mutableAttribute<Vector3>(MA::Normal)[i] = glm::normalize(vector());
        mesh.mutableAttribute<Vector4>(MA::Tangent)[i] = {vector(), i % 2 ? 1.0f : -1.0f};
        mesh.mutableAttribute<Color4>(MA::Color)[i] = {unit(random), unit(random), unit(random),
                                                       1.0f};
        mesh.mutableAttribute<std::uint32_t>(MA::ObjectId)[i] = random();
        for (std::uint32_t j = 0; j != 4; ++j) {
            mesh.mutableAttribute<std::uint16_t[]>(MA::JointIds)[i][j] = std::uint16_t(random());
            mesh.mutableAttribute<float[]>(MA::Weights)[i][j] = unit(random);
        }
    }
    return mesh;
}

/* Bytes of an attribute equal, or its float components within the tolerance */
void expectClose(const Trade::MeshData& actual, const Trade::MeshData& expected, MA name,
                 float tolerance) {
    const auto a = actual.attribute(name), b = expected.attribute(name);
    ASSERT_EQ(a.size(), b.size());
    for (std::size_t i = 0; i != a.size()[0]; ++i) {
        if (tolerance == 0.0f) {
            ASSERT_EQ(std::memcmp(&a[i][0], &b[i][0], a.size()[1]), 0)
                << unsigned(name) << " " << i;
            continue;
        }
        for (std::size_t j = 0; j != a.size()[1]; j += 4) {
            float x, y;
            std::memcpy(&x, &a[i][j], 4);
            std::memcpy(&y, &b[i][j], 4);
            ASSERT_NEAR(x, y, tolerance) << unsigned(name) << " " << i;
        }
    }
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
    EXPECT_EQ(packed.indices<std::uint32_t>()[0], 2499);
    /* Rounded to nearest, the padding zero */
    for (std::uint32_t i = 0; i < source.vertexCount(); i += 97) {
        EXPECT_EQ(packed.attribute<Vector3s>(MA::Normal)[i],
                  pack<Vector3s>(source.attribute<Vector3>(MA::Normal)[i]));
        EXPECT_EQ(packed.attribute<std::uint16_t>(Trade::meshAttributeCustom(42))[i], 0);
    }

    const Trade::MeshData unpacked = unpackMesh(flags, packed);
    EXPECT_EQ(unpacked.attributeStride(0), source.attributeStride(0));
    const std::pair<MA, float> tolerances[]{
        {MA::Position, 0.0f},      {MA::TextureCoordinates, 0.0f}, {MA::ObjectId, 0.0f},
        {MA::JointIds, 0.0f},      {MA::Normal, 1.0f / 32767},     {MA::Tangent, 1.0f / 32767},
        {MA::Color, 1.0f / 65535}, {MA::Weights, 1.0f / 65535}};
    for (const auto& [name, tolerance] : tolerances)
        expectClose(unpacked, source, name, tolerance);

    /* Unpacking only the normals keeps the rest quantized and drops the padding */
    const Trade::MeshData normalsOnly = unpackMesh(F::Normals, packed);
    EXPECT_FALSE(normalsOnly.hasAttribute(Trade::meshAttributeCustom(42)));
    EXPECT_EQ(normalsOnly.attributeFormat(normalsOnly.attributeId(MA::Color)),
              VF::Vector4usNormalized);
    expectClose(normalsOnly, unpacked, MA::Normal, 0.0f);
}

/* Two rows of the array's bytes */
template<class T, std::size_t Size>
StridedArrayView2D<char> rowsOf(T (&data)[Size]) {
    return {std::span{reinterpret_cast<char*>(data), sizeof(data)}, Size2D{2, sizeof(data) / 2}};
}

TEST(MeshFormat, AttributeDataByName) {
    float normals[]{1.0f, -1.0f, 0.5f, 0.0f, -0.25f, 1.0f};
    std::int16_t packedNormals[6];
    packMeshAttributeDataInto(MA::Normal, rowsOf(normals), rowsOf(packedNormals));
    EXPECT_EQ(std::vector<std::int16_t>(packedNormals, packedNormals + 6),
              (std::vector<std::int16_t>{32767, -32767, 16384, 0, -8192, 32767}));

    /* The most negative value clamps */
    packedNormals[1] = -32768;
    float unpacked[6];
    unpackMeshAttributeDataInto(MA::Normal, rowsOf(packedNormals), rowsOf(unpacked));
    EXPECT_EQ(unpacked[1], -1.0f);
    EXPECT_EQ(unpacked[2], 16384.0f / 32767);

    /* Colors are unsigned, positions are copied */
    std::uint16_t packedColors[6];
    packMeshAttributeDataInto(MA::Color, rowsOf(normals), rowsOf(packedColors));
    EXPECT_EQ(packedColors[2], 32768);
    float copied[6]{};
    packMeshAttributeDataInto(MA::Position, rowsOf(normals), rowsOf(copied));
    EXPECT_EQ(std::memcmp(copied, normals, sizeof(copied)), 0);

    ZE_EXPECT_ABORT(packMeshAttributeDataInto(MA::Position, rowsOf(normals), rowsOf(packedNormals)),
                    "Utility::copy(): sizes {2, 12} and {2, 6} don't match");
    ZE_EXPECT_ABORT(packMeshAttributeDataInto(MA::Tangent, rowsOf(normals),
                                              rowsOf(packedNormals).sliceRows(0, 1)),
                    "Math::packInto(): wrong destination size, got {1, 3} but expected {2, 3}");
}

TEST(MeshFormatDeathTest, Assertions) {
    ZE_EXPECT_ABORT_PREFIX(getLayout(MeshDataFlag::ExtendedSkinning, {}, 3),
                           "Assertion vertexSize > 0 failed at ZarvikEngine/Tools/MeshFormat.cpp:");
    const Trade::MeshData mesh = meshWith({{MA::Position, VF::Vector3}}, 3);
    ZE_EXPECT_ABORT_PREFIX(unpackMesh(MeshDataFlag::Positions | MeshDataFlag::Quantized, {}, mesh),
                           "Assertion !(targetLayout >= MeshDataFlag::Quantized) failed at "
                           "ZarvikEngine/Tools/MeshFormat.cpp:");
    /* Conversions refuse smaller destinations with the attribute tools' messages */
    const Trade::MeshData extended = meshWith({{MA::Position, VF::Vector3},
                                               {MA::JointIds, VF::UnsignedShort, 8},
                                               {MA::Weights, VF::Float, 8}},
                                              3);
    ZE_EXPECT_ABORT(packMesh(MeshDataFlag::Positions | MeshDataFlag::Skinning,
                             MeshDataFlag::Skinning, extended),
                    "MeshTools::copyAttribute(): can't copy Trade::MeshAttribute::JointIds to "
                    "smaller size (would cause loss of data)");
}

} // namespace
} // namespace ZarvikEngine
