#include <bit>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "AssetTestHelpers.h"
#include "TestHelpers.h"
#include "ZarvikEngine/Data/MeshRecords.h"
#include "ZarvikEngine/Tools/MorphTargetSet.h"

namespace ZarvikEngine::Data {
namespace {

using Test::appended;
using Test::Bytes;
using Test::expectValidationErrors;
using Test::expectValidationGuardsReaders;
using Test::patched;
using Test::touch;
using Test::toVector;
using Trade::MeshAttribute;
using Trade::MeshAttributeData;

Bytes& f32(Bytes& bytes, std::initializer_list<float> values) {
    for (const float value : values)
        bytes.u32(std::bit_cast<std::uint32_t>(value));
    return bytes;
}

/* Two vertices of five bytes: a position, an object id of morph target 3 and two joint ids;
   three 16-bit indices */
Trade::MeshData threeAttributeMesh() {
    return Trade::MeshData{
        MeshPrimitive::Triangles,
        std::vector<char>(Bytes{}.u16(0).u16(1).u16(1)),
        Trade::MeshIndexData{MeshIndexType::UnsignedShort, 0, 3},
        std::vector<char>(Bytes{}.sequence(1, 10)),
        {MeshAttributeData{MeshAttribute::Position, VertexFormat::Vector2ub, 0, 2, 5},
         MeshAttributeData{MeshAttribute::ObjectId, VertexFormat::UnsignedByte, 2, 2, 5, 0, 3},
         MeshAttributeData{MeshAttribute::JointIds, VertexFormat::UnsignedByte, 3, 2, 5, 2}}};
}

std::vector<char> meshPayload(std::span<const char> compressedVertices = {},
                              std::span<const char> compressedIndices = {}) {
    std::vector<char> file;
    createMeshChunk(threeAttributeMesh(), compressedVertices, compressedIndices, {}, file);
    return toVector(AssetChunkView{file}.data());
}

/* Format, name, offset-only flag, morph target id, vertex count, stride, array size, offset */
Bytes& attributeEntry(Bytes& bytes, VertexFormat format, MeshAttribute name,
                      std::int8_t morphTargetId, std::uint32_t vertexCount, std::int16_t stride,
                      std::uint16_t arraySize, std::uint32_t offset) {
    bytes.u32(std::uint32_t(format)).u16(std::uint16_t(name)).u8(1).u8(std::uint8_t(morphTargetId));
    return bytes.u32(vertexCount).u16(std::uint16_t(stride)).u16(arraySize).u32(offset);
}

void touch(const StridedArrayView2D<const char>& view) {
    for (std::size_t i = 0; i != view.size()[0]; ++i)
        for (std::size_t j = 0; j != view.size()[1]; ++j)
            Test::byteSum = Test::byteSum + unsigned(view[i][j]);
}

void readMesh(std::span<const char> payload) {
    const MeshData record{payload};
    record.attributeDataCopy();
    touch(record.vertexData());
    touch(record.indexData());
    if (record.header().compression)
        return;
    /* A copy ends where the data ends */
    const Trade::MeshData mesh = record.meshCopy();
    for (std::uint32_t i = 0; i != mesh.attributeCount(); ++i)
        touch(mesh.attribute(i));
    if (mesh.isIndexed())
        touch(mesh.indices());
}

TEST(MeshRecords, IndexedMeshIsAppendedAndReadInPlace) {
    std::vector<char> file;
    appendHeaderData(file);
    createMeshChunk(threeAttributeMesh(), {}, {}, BoundingSphere{{1.0f, 2.0f, 3.0f}, 4.0f}, file);
    /* Index data at 52 + 3 × 20 + fourByteAlign(10) */
    Bytes expected;
    expected.chars("ZVKM").u32(132);
    expected.u32(132).u32(60).u32(10).u32(6).u32(2).u32(3).u32(3).u32(2).u8(0).zeros(3);
    f32(expected, {1.0f, 2.0f, 3.0f, 4.0f});
    attributeEntry(expected, VertexFormat::Vector2ub, MeshAttribute::Position, -1, 2, 5, 0, 0);
    attributeEntry(expected, VertexFormat::UnsignedByte, MeshAttribute::ObjectId, 3, 2, 5, 0, 2);
    attributeEntry(expected, VertexFormat::UnsignedByte, MeshAttribute::JointIds, -1, 2, 5, 2, 3);
    expected.sequence(1, 10).zeros(2).u16(0).u16(1).u16(1).zeros(2);
    ASSERT_EQ(file.size(), 24 + 8 + 132u);
    EXPECT_EQ(std::vector<char>(file.begin() + 24, file.end()), std::vector<char>(expected));

    const std::span<const char> payload = AssetChunkView{file}.next().data();
    const MeshData record{payload};
    EXPECT_EQ(record.vertexData().data(), payload.data() + 112);
    EXPECT_EQ(record.vertexData().size(), 10u);
    EXPECT_EQ(record.indexData().data(), payload.data() + 124);
    EXPECT_EQ(record.indexData().size(), 6u);

    /* A view of the payload, and a copy that owns its data */
    const Trade::MeshData mesh = record.mesh();
    EXPECT_EQ(mesh.vertexDataFlags(), Trade::DataFlags{});
    EXPECT_EQ(mesh.indexData().data(), record.indexData().data());
    EXPECT_EQ(mesh.attribute<std::uint8_t[]>(MeshAttribute::JointIds)[1][1], 10);
    const Trade::MeshData copy = record.meshCopy();
    EXPECT_EQ(copy.vertexDataFlags(), Trade::DataFlag::Owned | Trade::DataFlag::Mutable);
    EXPECT_EQ(copy.attribute<std::uint8_t>(MeshAttribute::ObjectId)[1], 8);
    EXPECT_EQ(copy.indices<std::uint16_t>()[1], 1);

    /* Written again, only the morph target id, which isn't read back, differs */
    EXPECT_EQ(record.attributeDataCopy()[1].morphTargetId(), -1);
    std::vector<char> again;
    createMeshChunk(copy, {}, {}, BoundingSphere{{1.0f, 2.0f, 3.0f}, 4.0f}, again);
    std::vector<char> original{file.begin() + 24, file.end()};
    original[8 + 52 + 20 + 7] = char(-1);
    EXPECT_EQ(again, original);

    EXPECT_GT(expectValidationGuardsReaders<MeshData>(toVector(payload), readMesh), 0u);
}

TEST(MeshRecords, MeshWithoutIndicesEndsAfterItsVertices) {
    std::vector<char> file;
    const Trade::MeshData mesh{
        MeshPrimitive::Triangles,
        std::vector<char>(Bytes{}.sequence(7, 6)),
        {MeshAttributeData{MeshAttribute::Position, VertexFormat::Vector3ub, 0, 2, 3}}};
    createMeshChunk(mesh, {}, {}, {}, file);
    Bytes expected;
    expected.chars("ZVKM").u32(80);
    expected.u32(80).u32(20).u32(6).u32(0).u32(2).u32(0).u32(1).u32(3).u8(0).zeros(3).zeros(16);
    attributeEntry(expected, VertexFormat::Vector3ub, MeshAttribute::Position, -1, 2, 3, 0, 0);
    EXPECT_EQ(file, std::vector<char>(expected.sequence(7, 6).zeros(2)));

    const MeshData record{AssetChunkView{file}.data()};
    EXPECT_TRUE(record.indexData().empty());
    const Trade::MeshData read = record.mesh();
    EXPECT_FALSE(read.isIndexed());
    EXPECT_EQ(read.attribute(0)[1][2], 12);
    expectValidationGuardsReaders<MeshData>(toVector(AssetChunkView{file}.data()), readMesh);
}

TEST(MeshRecords, CompressedDataIsStoredButNotPresentedAsAMesh) {
    const std::vector<char> compressed = Bytes{}.fill(5, 0xcc);
    const std::vector<char> payload = meshPayload(compressed);
    const MeshData record{payload};
    EXPECT_EQ(record.header().compression, MeshData::CompressedVertexData);
    EXPECT_EQ(record.header().vertexDataSize, 5u);
    EXPECT_EQ(record.header().totalSize, 52 + 60 + 8 + 8u);
    EXPECT_EQ(toVector(record.vertexData()), compressed);
    EXPECT_EQ(toVector(record.indexData()), std::vector<char>(Bytes{}.u16(0).u16(1).u16(1)));
    /* Attribute offsets refer to the decompressed data, which validation can't see */
    expectValidationGuardsReaders<MeshData>(payload, readMesh);

    const std::vector<char> both = meshPayload(compressed, compressed);
    EXPECT_EQ(MeshData{both}.header().compression, 3);
    expectValidationGuardsReaders<MeshData>(both, readMesh);

    ZE_EXPECT_ABORT(MeshData{both}.mesh(),
                    "Vertex or index data are compressed, decompress them first");
    const std::vector<char> indices = meshPayload({}, compressed);
    ZE_EXPECT_ABORT(MeshData{indices}.meshCopy(),
                    "Vertex or index data are compressed, decompress them first");
}

TEST(MeshRecordsDeathTest, MeshWriterAndViewsAbortOnMisuse) {
    std::vector<char> file;
    /* Indices that don't start at the start of their data */
    const Trade::MeshData offsetIndices{
        MeshPrimitive::Triangles,
        std::vector<char>(8),
        Trade::MeshIndexData{MeshIndexType::UnsignedShort, 2, 3},
        std::vector<char>(2),
        {MeshAttributeData{MeshAttribute::Position, VertexFormat::UnsignedByte, 0, 2, 1}}};
    ZE_EXPECT_ABORT(createMeshChunk(offsetIndices, {}, {}, {}, file),
                    "createMeshChunk(): expected the indices at the start of the index data but "
                    "they start at byte 2");
    /* Sizes are checked before any byte is read */
    const std::span<const char> huge{file.data(), std::size_t{1} << 32};
    ZE_EXPECT_ABORT(createMeshChunk(threeAttributeMesh(), huge, {}, {}, file),
                    "createMeshChunk(): a payload of 4294967416 bytes doesn't fit a chunk");

    const std::vector<char> odd = Bytes{}.u32(82).u32(30).zeros(44).zeros(30);
    ZE_EXPECT_ABORT(MeshData{odd}.attributeData(),
                    "Containers::arrayCast(): can't reinterpret 30 1-byte items into a 20-byte "
                    "type");
}

TEST(MeshRecords, MeshValidationNamesTheProblem) {
    const std::vector<char> valid = meshPayload();
    expectValidationErrors<MeshData>({
        {patched(valid, 4, 40u), "attribute data of 40 bytes doesn't hold 3 attributes"},
        {patched(valid, 0, 136u), "total size 136 differs from the payload size 132"},
        {patched(valid, 8, 20u), "sections end at byte 140 but the total size is 132"},
        {patched(valid, 32, '\4'), "unknown compression bits 0x4"},
        {patched(valid, 16, ~0u), "vertex count 4294967295 is reserved"},
        {patched(valid, 28, 0u), "unknown index type 0"},
        {patched(valid, 20, 4u),
         "4 indices of 2 take 8 bytes, more than the 6 bytes of index data"},
        {patched(valid, 52 + 20, 0u), "attribute 1 has an unknown vertex format 0"},
        {patched(valid, 52 + 20 + 8, 3u), "attribute 1 has 3 vertices but the mesh has 2"},
        {patched(valid, 52 + 40 + 16, 7u),
         "attribute 2 [7:14] runs past the 10 bytes of vertex data"},
        /* A negative stride runs backwards from the offset */
        {patched(valid, 52 + 12, std::int16_t{-5}),
         "attribute 0 [-5:2] runs past the 10 bytes of vertex data"},
        /* Large counts and strides don't overflow */
        {patched(valid, 52 + 12, std::int16_t{0x7fff}),
         "attribute 0 [0:32769] runs past the 10 bytes of vertex data"},
        /* Index bounds aren't checked for compressed indices */
        {patched(patched(valid, 20, 4u), 32, char(MeshData::CompressedIndexData)), "accepted"},
    });
}

/* Targets of two vertices of four bytes: a position and an object id */
MorphTargetSet morphTargets(std::size_t secondSize = 8) {
    std::vector<Trade::MeshData> meshes;
    for (const auto& [first, size] : {std::pair{1, std::size_t{8}}, {21, secondSize}})
        meshes.emplace_back(
            MeshPrimitive::Triangles, std::vector<char>(Bytes{}.sequence(first, size)),
            std::vector<MeshAttributeData>{
                MeshAttributeData{MeshAttribute::Position, VertexFormat::Vector3ub, 0, 2, 4},
                MeshAttributeData{MeshAttribute::ObjectId, VertexFormat::UnsignedByte, 3, 2, 4, 0,
                                  1}});
    return MorphTargetSet{fromStrings(std::vector<std::string_view>{"smile", ""}),
                          std::move(meshes)};
}

Bytes morphHeaderAndAttributes(bool compressed, std::uint32_t targetDataSize) {
    Bytes bytes;
    bytes.u32(2).u32(2).u8(compressed).zeros(3).u32(40).u32(8).u32(targetDataSize);
    attributeEntry(bytes, VertexFormat::Vector3ub, MeshAttribute::Position, -1, 2, 4, 0, 0);
    attributeEntry(bytes, VertexFormat::UnsignedByte, MeshAttribute::ObjectId, 1, 2, 4, 0, 3);
    return bytes;
}

void readMorphTargets(std::span<const char> payload) {
    const MorphTargetData record{payload};
    for (std::size_t i = 0; i != record.header().targetCount; ++i) {
        touch(std::span{record.targetNames()[i]});
        /* A copy ends where the target ends */
        const std::vector<char> target = toVector(record.vertexData(i));
        if (record.header().compressed)
            continue;
        /* Uncompressed targets are meshes of the shared attributes */
        const Trade::MeshData mesh{MeshPrimitive::Triangles, Trade::DataStorage::view(target),
                                   record.attributeDataCopy(), record.header().vertexCount};
        for (std::uint32_t j = 0; j != mesh.attributeCount(); ++j)
            touch(mesh.attribute(j));
    }
}

TEST(MeshRecords, MorphTargetsShareOneAttributeTable) {
    const std::vector<char> payload = createMorphTargetData(morphTargets(), {});
    Bytes expected = morphHeaderAndAttributes(false, 16);
    expected.u32(8).u32(16).sequence(1, 8).sequence(21, 8).string("smile").string("");
    EXPECT_EQ(payload, std::vector<char>(expected));

    const MorphTargetData record{payload};
    EXPECT_EQ(toVector(record.vertexData(1)), std::vector<char>(Bytes{}.sequence(21, 8)));
    EXPECT_EQ(record.vertexData().size(), 16 + 7u);
    EXPECT_EQ(record.targetNameData().size(), 7u);
    EXPECT_EQ(record.targetNames().strings(), (std::vector<std::string_view>{"smile", ""}));
    EXPECT_EQ(record.attributeData()[1].morphTargetId, 1);
    EXPECT_EQ(record.attributeDataCopy()[1].morphTargetId(), -1);
    /* A target is a mesh over its bytes */
    const Trade::MeshData target{MeshPrimitive::Triangles,
                                 Trade::DataStorage::view(record.vertexData(1)),
                                 record.attributeDataCopy(), record.header().vertexCount};
    EXPECT_EQ(target.attribute<std::uint8_t>(MeshAttribute::ObjectId)[1], 28);

    /* Copies and moves keep their own name index */
    MorphTargetData copy = record;
    const MorphTargetData moved = std::move(copy);
    EXPECT_EQ(moved.targetNames()[0], "smile");

    expectValidationGuardsReaders<MorphTargetData>(payload, readMorphTargets);
}

TEST(MeshRecords, CompressedMorphTargetsArePaddedTogether) {
    const std::vector<char> compressed[]{Bytes{}.fill(3, 0xaa), Bytes{}.fill(2, 0xbb)};
    const std::vector<char> payload = createMorphTargetData(morphTargets(), compressed);
    /* The first target's uncompressed size stays in the header */
    Bytes expected = morphHeaderAndAttributes(true, 8);
    expected.u32(3).u32(5).fill(3, 0xaa).fill(2, 0xbb).zeros(3).string("smile").string("");
    EXPECT_EQ(payload, std::vector<char>(expected));
    const MorphTargetData record{payload};
    EXPECT_EQ(toVector(record.vertexData(0)), compressed[0]);
    EXPECT_EQ(toVector(record.vertexData(1)), compressed[1]);
    EXPECT_EQ(record.targetNames()[0], "smile");
    expectValidationGuardsReaders<MorphTargetData>(payload, readMorphTargets);

    expectValidationErrors<MorphTargetData>({
        {patched(payload, 8, '\2'), "compressed flag 2 is neither 0 nor 1"},
        {patched(payload, 12, 30u),
         "attribute data of 30 bytes isn't a whole number of attributes"},
        {patched(payload, 0, 1u << 28),
         "268435456 targets with 8 bytes of data run past the 87-byte payload"},
        {patched(payload, 20, 100u),
         "2 targets with 100 bytes of data run past the 87-byte payload"},
        /* Target ends at 64 and 68, target data at 72, names at 80 */
        {patched(payload, 68, 2u), "target 1 ends at byte 2, before its start at 3"},
        {patched(payload, 68, 9u), "targets end at byte 9 of 8 bytes of target data"},
        /* Uncompressed, every target has the first one's size */
        {patched(payload, 8, '\0'), "target 0 has 3 bytes of vertex data, expected 8"},
        {patched(payload, 86, 'x'),
         "strings section of 7 bytes holds fewer than 2 zero-terminated strings"},
        {appended(payload, "x"),
         "strings section of 8 bytes holds more than 2 zero-terminated strings"},
        {patched(payload, 24, 0u), "attribute 0 has an unknown vertex format 0"},
        {patched(payload, 4, 3u), "attribute 0 has 2 vertices but the mesh has 3"},
    });
}

TEST(MeshRecordsDeathTest, MorphTargetWriterNeedsMatchingTargets) {
    ZE_EXPECT_ABORT(createMorphTargetData(MorphTargetSet{StringArray{}, {}}, {}),
                    "createMorphTargetData(): expected at least one target");
    const std::vector<char> compressed[1]{};
    ZE_EXPECT_ABORT(createMorphTargetData(morphTargets(), compressed),
                    "createMorphTargetData(): got 1 compressed targets for 2 targets");
    ZE_EXPECT_ABORT(createMorphTargetData(morphTargets(12), {}),
                    "createMorphTargetData(): target 1 has 12 bytes of vertex data but the first "
                    "has 8");
    const std::vector<char> payload = createMorphTargetData(morphTargets(), {});
    ZE_EXPECT_ABORT(MorphTargetData{payload}.vertexData(2),
                    "MorphTargetData::vertexData(): invalid index 2 for size 2");
    /* What validation keeps from the constructor */
    ZE_EXPECT_ABORT(MorphTargetData{std::span{payload}.first(payload.size() - 1)},
                    "StringArrayView(): data did not contain 2 existing elements values");
}

TEST(MeshRecords, SkinStoresPosesScalingsAndJoints) {
    const DualQuaternion poses[]{
        DualQuaternion{}, dualQuaternionFromTranslation({1.0f, 2.0f, 3.0f}), DualQuaternion{}};
    const Vector3 scalings[]{{1.0f, 1.0f, 1.0f}, {2.0f, 2.0f, 2.0f}, {0.5f, 1.0f, 4.0f}};
    const Id joints[]{Id(5), Id(0), Id(65534)};
    const std::vector<char> payload = createSkinData(poses, scalings, joints);
    Bytes expected;
    expected.u32(3);
    f32(expected, {0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f,
                   0.5f, 1.0f, 1.5f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f});
    f32(expected, {1.0f, 1.0f, 1.0f, 2.0f, 2.0f, 2.0f, 0.5f, 1.0f, 4.0f});
    EXPECT_EQ(payload, std::vector<char>(expected.u16(5).u16(0).u16(65534)));

    const SkinData skin{payload};
    EXPECT_EQ(skin.data().size(), 138u);
    EXPECT_EQ(skin.inverseBindPose()[1].dual, poses[1].dual);
    EXPECT_EQ(skin.inverseBindPoseScaling()[2], scalings[2]);
    EXPECT_EQ(std::vector<Id>(skin.joints().begin(), skin.joints().end()),
              std::vector<Id>(std::begin(joints), std::end(joints)));
    EXPECT_EQ(createSkinData({}, {}, {}), std::vector<char>(Bytes{}.u32(0)));

    std::vector<char> longer = payload;
    longer.push_back(0);
    EXPECT_EQ(SkinData::validate(longer), "3 joints take 142 bytes but the payload has 143");
    expectValidationGuardsReaders<SkinData>(payload, [](std::span<const char> bytes) {
        const SkinData read{bytes};
        touch(read.inverseBindPose());
        touch(read.inverseBindPoseScaling());
        touch(read.joints());
    });

    ZE_EXPECT_ABORT(createSkinData(poses, std::span{scalings}.first(1), joints),
                    "Utility::copy(): sizes 1 and 3 don't match");
    ZE_EXPECT_ABORT(createSkinData(std::span{poses}.first(1), scalings, joints),
                    "Utility::copy(): sizes 1 and 3 don't match");
    /* One joint with a byte too many */
    const std::vector<char> odd = Bytes{}.u32(1).zeros(44).zeros(3);
    ZE_EXPECT_ABORT(SkinData{odd}.joints(),
                    "Containers::arrayCast(): can't reinterpret 3 1-byte items into a 2-byte "
                    "type");
}

} // namespace
} // namespace ZarvikEngine::Data
