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

using Test::Bytes;
using Test::toVector;
using Trade::MeshAttribute;
using Trade::MeshAttributeData;

Bytes& f32(Bytes& bytes, float value) {
    return bytes.u32(std::bit_cast<std::uint32_t>(value));
}

std::vector<char> shortIndices() {
    return Bytes{}.u16(0).u16(1).u16(1);
}

/* Two vertices of five bytes: a position, an object id of morph target 3 and two joint ids;
   three 16-bit indices */
Trade::MeshData threeAttributeMesh() {
    std::vector<char> vertices = Bytes{}.sequence(1, 10);
    return Trade::MeshData{
        MeshPrimitive::Triangles,
        shortIndices(),
        Trade::MeshIndexData{MeshIndexType::UnsignedShort, 0, 3},
        std::move(vertices),
        {MeshAttributeData{MeshAttribute::Position, VertexFormat::Vector2ub, 0, 2, 5},
         MeshAttributeData{MeshAttribute::ObjectId, VertexFormat::UnsignedByte, 2, 2, 5, 0, 3},
         MeshAttributeData{MeshAttribute::JointIds, VertexFormat::UnsignedByte, 3, 2, 5, 2}}};
}

Bytes& attributeEntry(Bytes& bytes, VertexFormat format, MeshAttribute name,
                      std::int8_t morphTargetId, std::uint32_t vertexCount, std::int16_t stride,
                      std::uint16_t arraySize, std::uint32_t offset) {
    return bytes.u32(std::uint32_t(format))
        .u16(std::uint16_t(name))
        .u8(1)
        .u8(std::uint8_t(morphTargetId))
        .u32(vertexCount)
        .u16(std::uint16_t(stride))
        .u16(arraySize)
        .u32(offset);
}

/* Every prefix of a valid payload is rejected with a message */
template<class Record>
void expectTruncationsRejected(const std::vector<char>& payload) {
    for (std::size_t size = 0; size != payload.size(); ++size)
        EXPECT_TRUE(Record::validate(std::span{payload}.first(size))) << "prefix of" << size;
}

/* Each byte of a valid payload set to a few values: whatever validation accepts, every reader
   has to take without aborting or reading outside the payload (which the sanitizer build
   checks) */
template<class Record, class Read>
void readEveryAcceptedCorruption(const std::vector<char>& valid, Read read) {
    for (std::size_t i = 0; i != valid.size(); ++i)
        for (const char value : {'\0', '\1', '\x7f', '\x80', '\xff'}) {
            std::vector<char> payload = valid;
            payload[i] = value;
            if (!Record::validate(payload))
                read(payload);
        }
}

/* Reads every byte of the views, so that the sanitizer sees reads outside them; the sum keeps
   the reads from being optimized away */
volatile unsigned byteSum;
void touch(const StridedArrayView2D<const char>& view) {
    for (std::size_t i = 0; i != view.size()[0]; ++i)
        for (std::size_t j = 0; j != view.size()[1]; ++j)
            byteSum = byteSum + unsigned(view[i][j]);
}
template<class T>
void touch(std::span<const T> values) {
    for (const char byte :
         std::span{reinterpret_cast<const char*>(values.data()), values.size_bytes()})
        byteSum = byteSum + unsigned(byte);
}

TEST(MeshRecords, IndexedMeshIsAppendedAndReadInPlace) {
    std::vector<char> file;
    appendHeaderData(file);
    const AssetChunk chunk = createMeshChunk(threeAttributeMesh(), {}, {},
                                             BoundingSphere{{1.0f, 2.0f, 3.0f}, 4.0f}, file);
    /* Index data at 52 + 3 × 20 + fourByteAlign(10) */
    Bytes expected;
    expected.chars("ZVKM").u32(132);
    expected.u32(132).u32(60).u32(10).u32(6).u32(2).u32(3).u32(3).u32(2).u8(0).zeros(3);
    for (float value : {1.0f, 2.0f, 3.0f, 4.0f})
        f32(expected, value);
    attributeEntry(expected, VertexFormat::Vector2ub, MeshAttribute::Position, -1, 2, 5, 0, 0);
    attributeEntry(expected, VertexFormat::UnsignedByte, MeshAttribute::ObjectId, 3, 2, 5, 0, 2);
    attributeEntry(expected, VertexFormat::UnsignedByte, MeshAttribute::JointIds, -1, 2, 5, 2, 3);
    expected.sequence(1, 10).zeros(2).u16(0).u16(1).u16(1).zeros(2);
    ASSERT_EQ(file.size(), 24 + 8 + 132u);
    EXPECT_EQ(std::vector<char>(file.begin() + 24, file.end()), std::vector<char>(expected));
    EXPECT_EQ(chunk.data().size(), 132u);

    updateHeaderData(file);
    const std::span<const char> payload = AssetChunkView{file}.next().data();
    EXPECT_FALSE(MeshData::validate(payload));
    const MeshData record = AssetChunkView{file}.next().as<MeshData>();
    EXPECT_TRUE(record.assertValid());
    EXPECT_EQ(record.header().boundingSphere.radius(), 4.0f);
    ASSERT_EQ(record.attributeData().size(), 3u);
    EXPECT_EQ(record.attributeData()[2].arraySize, 2u);
    EXPECT_EQ(record.vertexData().data(), payload.data() + 112);
    EXPECT_EQ(record.vertexData().size(), 10u);
    EXPECT_EQ(record.indexData().data(), payload.data() + 124);
    EXPECT_EQ(record.indexData().size(), 6u);
    /* The morph target id isn't read back */
    const std::vector<MeshAttributeData> attributes = record.attributeDataCopy();
    ASSERT_EQ(attributes.size(), 3u);
    EXPECT_EQ(attributes[1].name(), MeshAttribute::ObjectId);
    EXPECT_EQ(attributes[1].morphTargetId(), -1);
    EXPECT_EQ(attributes[2].offset({}), 3u);

    const Trade::MeshData mesh = record.mesh();
    EXPECT_EQ(mesh.primitive(), MeshPrimitive::Triangles);
    EXPECT_EQ(mesh.vertexDataFlags(), Trade::DataFlags{});
    EXPECT_EQ(mesh.vertexData().data(), record.vertexData().data());
    EXPECT_EQ(mesh.indexData().data(), record.indexData().data());
    EXPECT_EQ(mesh.indexType(), MeshIndexType::UnsignedShort);
    EXPECT_EQ(mesh.indices<std::uint16_t>()[2], 1);
    EXPECT_EQ(mesh.vertexCount(), 2u);
    EXPECT_EQ(mesh.attribute<std::uint8_t[]>(MeshAttribute::JointIds)[1][1], 10);

    const Trade::MeshData copy = record.meshCopy();
    EXPECT_EQ(copy.vertexDataFlags(), Trade::DataFlag::Owned | Trade::DataFlag::Mutable);
    EXPECT_NE(copy.vertexData().data(), record.vertexData().data());
    EXPECT_EQ(copy.attribute<std::uint8_t>(MeshAttribute::ObjectId)[1], 8);
    EXPECT_EQ(copy.indices<std::uint16_t>()[1], 1);

    /* Written again, only the morph target id that wasn't read back differs */
    std::vector<char> again;
    createMeshChunk(copy, {}, {}, BoundingSphere{{1.0f, 2.0f, 3.0f}, 4.0f}, again);
    std::vector<char> original{file.begin() + 24, file.end()};
    original[8 + 52 + 20 + 7] = char(-1);
    EXPECT_EQ(again, original);

    expectTruncationsRejected<MeshData>(toVector(payload));
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
    expected.sequence(7, 6).zeros(2);
    EXPECT_EQ(file, std::vector<char>(expected));

    const MeshData record{AssetChunkView{file}.data()};
    EXPECT_FALSE(MeshData::validate(AssetChunkView{file}.data()));
    EXPECT_TRUE(record.indexData().empty());
    const Trade::MeshData read = record.mesh();
    EXPECT_FALSE(read.isIndexed());
    EXPECT_EQ(read.attribute(0)[1][2], 12);

    expectTruncationsRejected<MeshData>(toVector(AssetChunkView{file}.data()));
}

TEST(MeshRecords, CompressedDataIsStoredButNotPresentedAsAMesh) {
    std::vector<char> file;
    const std::vector<char> compressed = Bytes{}.fill(5, 0xcc);
    createMeshChunk(threeAttributeMesh(), compressed, {}, {}, file);
    const MeshData record{AssetChunkView{file}.data()};
    EXPECT_EQ(record.header().compression, MeshData::CompressedVertexData);
    EXPECT_EQ(record.header().vertexDataSize, 5u);
    EXPECT_EQ(record.header().totalSize, 52 + 60 + 8 + 8u);
    EXPECT_EQ(toVector(record.vertexData()), compressed);
    EXPECT_EQ(toVector(record.indexData()), shortIndices());
    /* Attribute offsets refer to the decompressed data, which validation can't see */
    EXPECT_FALSE(MeshData::validate(AssetChunkView{file}.data()));

    std::vector<char> both;
    createMeshChunk(threeAttributeMesh(), compressed, compressed, {}, both);
    EXPECT_EQ(MeshData{AssetChunkView{both}.data()}.header().compression, 3);
    EXPECT_FALSE(MeshData::validate(AssetChunkView{both}.data()));
}

TEST(MeshRecordsDeathTest, MeshReadersAndWriterAbortOnMisuse) {
    std::vector<char> file;
    const std::vector<char> compressedIndices = Bytes{}.u8(1);
    createMeshChunk(threeAttributeMesh(), {}, compressedIndices, {}, file);
    const MeshData record{AssetChunkView{file}.data()};
    ZE_EXPECT_ABORT(record.mesh(), "Vertex or index data are compressed, decompress them first");
    ZE_EXPECT_ABORT(record.meshCopy(),
                    "Vertex or index data are compressed, decompress them first");

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

    std::vector<char> odd = Bytes{}.u32(82).u32(30).zeros(44).zeros(30);
    ZE_EXPECT_ABORT(MeshData{odd}.attributeData(),
                    "Containers::arrayCast(): can't reinterpret 30 1-byte items into a 20-byte "
                    "type");
}

TEST(MeshRecords, MeshValidationNamesTheProblem) {
    std::vector<char> file;
    createMeshChunk(threeAttributeMesh(), {}, {}, {}, file);
    const std::vector<char> valid = toVector(AssetChunkView{file}.data());
    /* Each corruption overwrites a field of a valid payload */
    const auto corrupted = [&](std::size_t offset, std::uint32_t value, std::size_t width = 4) {
        std::vector<char> payload = valid;
        std::memcpy(payload.data() + offset, &value, width);
        return MeshData::validate(payload).value_or("");
    };
    EXPECT_EQ(corrupted(4, 40), "attribute data of 40 bytes doesn't hold 3 attributes");
    EXPECT_EQ(corrupted(0, 136), "total size 136 differs from the payload size 132");
    EXPECT_EQ(corrupted(8, 20), "sections end at byte 140 but the total size is 132");
    EXPECT_EQ(corrupted(32, 4, 1), "unknown compression bits 0x4");
    EXPECT_EQ(corrupted(16, ~0u), "vertex count 4294967295 is reserved");
    EXPECT_EQ(corrupted(28, 0), "unknown index type 0");
    EXPECT_EQ(corrupted(20, 4), "4 indices of 2 take 8 bytes, more than the 6 bytes of index data");
    /* Index bounds aren't checked for compressed indices */
    std::vector<char> compressed = valid;
    compressed[20] = 4;
    compressed[32] = MeshData::CompressedIndexData;
    EXPECT_FALSE(MeshData::validate(compressed));
    EXPECT_EQ(corrupted(52 + 20, 0), "attribute 1 has an unknown vertex format 0");
    EXPECT_EQ(corrupted(52 + 20 + 8, 3), "attribute 1 has 3 vertices but the mesh has 2");
    EXPECT_EQ(corrupted(52 + 40 + 16, 7),
              "attribute 2 [7:14] runs past the 10 bytes of vertex data");
    /* A negative stride runs backwards from the offset */
    EXPECT_EQ(corrupted(52 + 12, 0xfffb, 2),
              "attribute 0 [-5:2] runs past the 10 bytes of vertex data");
    /* Large counts and strides don't overflow */
    EXPECT_EQ(corrupted(52 + 12, 0x7fff, 2),
              "attribute 0 [0:32769] runs past the 10 bytes of vertex data");
}

/* Targets of two vertices of four bytes: a position and an object id */
MorphTargetSet morphTargets(std::vector<std::uint8_t> firstBytes, std::size_t secondSize = 8) {
    std::vector<Trade::MeshData> meshes;
    for (std::size_t size : {std::size_t{8}, secondSize})
        meshes.emplace_back(
            MeshPrimitive::Triangles,
            std::vector<char>(Bytes{}.sequence(firstBytes[meshes.size()], size)),
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

TEST(MeshRecords, MorphTargetsShareOneAttributeTable) {
    const MorphTargetSet set = morphTargets({1, 21});
    const std::vector<char> payload = createMorphTargetData(set, {});
    EXPECT_EQ(payload, std::vector<char>(morphHeaderAndAttributes(false, 16)
                                             .u32(8)
                                             .u32(16)
                                             .sequence(1, 8)
                                             .sequence(21, 8)
                                             .string("smile")
                                             .string("")));
    EXPECT_FALSE(MorphTargetData::validate(payload));

    const MorphTargetData record{payload};
    ASSERT_EQ(record.vertexDataOffsets().size(), 2u);
    EXPECT_EQ(record.vertexDataOffsets()[1], 16u);
    EXPECT_EQ(toVector(record.vertexData(0)), std::vector<char>(Bytes{}.sequence(1, 8)));
    EXPECT_EQ(toVector(record.vertexData(1)), std::vector<char>(Bytes{}.sequence(21, 8)));
    EXPECT_EQ(record.vertexData().size(), 16 + 7u);
    EXPECT_EQ(record.targetNameData().size(), 7u);
    EXPECT_EQ(record.targetNames().size(), 2u);
    EXPECT_EQ(record.targetNames()[0], "smile");
    EXPECT_EQ(record.targetNames()[1], "");
    ASSERT_EQ(record.attributeData().size(), 2u);
    EXPECT_EQ(record.attributeData()[1].morphTargetId, 1);
    const std::vector<MeshAttributeData> attributes = record.attributeDataCopy();
    ASSERT_EQ(attributes.size(), 2u);
    EXPECT_EQ(attributes[1].morphTargetId(), -1);
    /* A target is a mesh over its bytes */
    const Trade::MeshData target{MeshPrimitive::Triangles,
                                 Trade::DataStorage::view(record.vertexData(1)),
                                 record.attributeDataCopy(), record.header().vertexCount};
    EXPECT_EQ(target.attribute<std::uint8_t>(MeshAttribute::ObjectId)[1], 28);

    /* Copies and moves keep their own name index */
    MorphTargetData copy = record;
    const MorphTargetData moved = std::move(copy);
    EXPECT_EQ(moved.targetNames()[0], "smile");

    expectTruncationsRejected<MorphTargetData>(payload);
}

TEST(MeshRecords, CompressedMorphTargetsArePaddedTogether) {
    const std::vector<char> compressed[]{Bytes{}.fill(3, 0xaa), Bytes{}.fill(2, 0xbb)};
    const std::vector<char> payload = createMorphTargetData(morphTargets({1, 21}), compressed);
    /* The first target's uncompressed size stays in the header */
    EXPECT_EQ(payload, std::vector<char>(morphHeaderAndAttributes(true, 8)
                                             .u32(3)
                                             .u32(5)
                                             .fill(3, 0xaa)
                                             .fill(2, 0xbb)
                                             .zeros(3)
                                             .string("smile")
                                             .string("")));
    EXPECT_FALSE(MorphTargetData::validate(payload));
    const MorphTargetData record{payload};
    EXPECT_EQ(toVector(record.vertexData(0)), compressed[0]);
    EXPECT_EQ(toVector(record.vertexData(1)), compressed[1]);
    EXPECT_EQ(record.targetNames()[0], "smile");
    expectTruncationsRejected<MorphTargetData>(payload);

    const auto corrupted = [&](std::size_t offset, std::uint32_t value, std::size_t width = 4) {
        std::vector<char> bytes = payload;
        std::memcpy(bytes.data() + offset, &value, width);
        return MorphTargetData::validate(bytes).value_or("");
    };
    EXPECT_EQ(corrupted(8, 2, 1), "compressed flag 2 is neither 0 nor 1");
    EXPECT_EQ(corrupted(12, 30), "attribute data of 30 bytes isn't a whole number of attributes");
    EXPECT_EQ(corrupted(0, 1 << 28),
              "268435456 targets with 8 bytes of data run past the 87-byte payload");
    EXPECT_EQ(corrupted(20, 100), "2 targets with 100 bytes of data run past the 87-byte payload");
    /* Target ends at 64 and 68, target data at 72, names at 80 */
    EXPECT_EQ(corrupted(68, 2), "target 1 ends at byte 2, before its start at 3");
    EXPECT_EQ(corrupted(68, 9), "targets end at byte 9 of 8 bytes of target data");
    /* Uncompressed, every target has the first one's size */
    EXPECT_EQ(corrupted(8, 0, 1), "target 0 has 3 bytes of vertex data, expected 8");
    EXPECT_EQ(corrupted(86, 'x', 1),
              "strings section of 7 bytes holds fewer than 2 zero-terminated strings");
    EXPECT_EQ(corrupted(24, 0), "attribute 0 has an unknown vertex format 0");
    EXPECT_EQ(corrupted(4, 3), "attribute 0 has 2 vertices but the mesh has 3");
}

TEST(MeshRecordsDeathTest, MorphTargetWriterNeedsMatchingTargets) {
    ZE_EXPECT_ABORT(createMorphTargetData(MorphTargetSet{StringArray{}, {}}, {}),
                    "createMorphTargetData(): expected at least one target");
    const std::vector<char> compressed[1]{};
    ZE_EXPECT_ABORT(createMorphTargetData(morphTargets({1, 21}), compressed),
                    "createMorphTargetData(): got 1 compressed targets for 2 targets");
    ZE_EXPECT_ABORT(createMorphTargetData(morphTargets({1, 21}, 12), {}),
                    "createMorphTargetData(): target 1 has 12 bytes of vertex data but the first "
                    "has 8");
    const std::vector<char> payload = createMorphTargetData(morphTargets({1, 21}), {});
    ZE_EXPECT_ABORT(MorphTargetData{payload}.vertexData(2),
                    "MorphTargetData::vertexData(): invalid index 2 for size 2");
    /* What validation keeps from the constructor */
    ZE_EXPECT_ABORT(MorphTargetData{std::span{payload}.first(payload.size() - 1)},
                    "StringArrayView(): data did not contain 2 existing elements values");
}

TEST(MeshRecords, AcceptedPayloadsCanBeRead) {
    const std::vector<char> compressed = Bytes{}.fill(5, 0xcc);
    std::vector<char> file;
    createMeshChunk(threeAttributeMesh(), {}, {}, {}, file);
    createMeshChunk(threeAttributeMesh(), compressed, compressed, {}, file);
    const auto readMesh = [](std::span<const char> payload) {
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
    };
    readEveryAcceptedCorruption<MeshData>(toVector(AssetChunkView{file}.data()), readMesh);
    readEveryAcceptedCorruption<MeshData>(toVector(AssetChunkView{file}.next().data()), readMesh);

    const auto readMorphTargets = [](std::span<const char> payload) {
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
    };
    readEveryAcceptedCorruption<MorphTargetData>(createMorphTargetData(morphTargets({1, 21}), {}),
                                                 readMorphTargets);
    const std::vector<char> compressedTargets[]{{'a'}, {}};
    readEveryAcceptedCorruption<MorphTargetData>(
        createMorphTargetData(morphTargets({1, 21}), compressedTargets), readMorphTargets);

    const DualQuaternion poses[2]{};
    const Vector3 scalings[2]{};
    const Id joints[2]{};
    readEveryAcceptedCorruption<SkinData>(createSkinData(poses, scalings, joints),
                                          [](std::span<const char> payload) {
                                              const SkinData skin{payload};
                                              touch(skin.inverseBindPose());
                                              touch(skin.inverseBindPoseScaling());
                                              touch(skin.joints());
                                          });
}

TEST(MeshRecords, SkinStoresPosesScalingsAndJoints) {
    const DualQuaternion poses[]{
        DualQuaternion{}, dualQuaternionFromTranslation({1.0f, 2.0f, 3.0f}), DualQuaternion{}};
    const Vector3 scalings[]{{1.0f, 1.0f, 1.0f}, {2.0f, 2.0f, 2.0f}, {0.5f, 1.0f, 4.0f}};
    const Id joints[]{Id(5), Id(0), Id(65534)};
    const std::vector<char> payload = createSkinData(poses, scalings, joints);
    Bytes expected;
    expected.u32(3);
    for (float value : {0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f,
                        0.5f, 1.0f, 1.5f, 0.0f, 0.0f, 0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f})
        f32(expected, value);
    for (float value : {1.0f, 1.0f, 1.0f, 2.0f, 2.0f, 2.0f, 0.5f, 1.0f, 4.0f})
        f32(expected, value);
    expected.u16(5).u16(0).u16(65534);
    ASSERT_EQ(payload.size(), 142u);
    EXPECT_EQ(payload, std::vector<char>(expected));
    EXPECT_FALSE(SkinData::validate(payload));

    std::vector<char> file;
    const AssetChunk chunk = AssetChunk::create(SkinData::magic, payload, file);
    EXPECT_EQ(chunk.totalSizeAligned(), 152u);
    const SkinData skin = chunk.as<SkinData>();
    EXPECT_EQ(skin.header(), 3u);
    EXPECT_EQ(skin.data().size(), 138u);
    ASSERT_EQ(skin.inverseBindPose().size(), 3u);
    EXPECT_EQ(skin.inverseBindPose()[1].dual, poses[1].dual);
    ASSERT_EQ(skin.inverseBindPoseScaling().size(), 3u);
    EXPECT_EQ(skin.inverseBindPoseScaling()[2], scalings[2]);
    ASSERT_EQ(skin.joints().size(), 3u);
    EXPECT_EQ(skin.joints()[2], Id(65534));

    const std::vector<char> empty = createSkinData({}, {}, {});
    EXPECT_EQ(empty, std::vector<char>(Bytes{}.u32(0)));
    EXPECT_TRUE(SkinData{empty}.joints().empty());

    expectTruncationsRejected<SkinData>(payload);
    std::vector<char> longer = payload;
    longer.push_back(0);
    EXPECT_EQ(SkinData::validate(longer), "3 joints take 142 bytes but the payload has 143");
}

TEST(MeshRecordsDeathTest, SkinArraysMustMatch) {
    const DualQuaternion poses[2]{};
    const Vector3 scalings[2]{};
    const Id joints[2]{};
    ZE_EXPECT_ABORT(createSkinData(poses, std::span{scalings}.first(1), joints),
                    "Utility::copy(): sizes 1 and 2 don't match");
    ZE_EXPECT_ABORT(createSkinData(std::span{poses}.first(1), scalings, joints),
                    "Utility::copy(): sizes 1 and 2 don't match");
    /* One joint with a byte too many */
    const std::vector<char> odd = Bytes{}.u32(1).zeros(44).zeros(3);
    ZE_EXPECT_ABORT(SkinData{odd}.joints(),
                    "Containers::arrayCast(): can't reinterpret 3 1-byte items into a 2-byte "
                    "type");
}

} // namespace
} // namespace ZarvikEngine::Data
