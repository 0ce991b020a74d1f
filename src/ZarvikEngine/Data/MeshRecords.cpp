#include "ZarvikEngine/Data/MeshRecords.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include <fmt/format.h>

#include "ZarvikEngine/Containers/ArrayCast.h"
#include "ZarvikEngine/Data/RecordValidation.h"
#include "ZarvikEngine/Tools/MorphTargetSet.h"
#include "ZarvikEngine/Utils/Align.h"

namespace ZarvikEngine::Data {

namespace {

using MeshAttributeData32 = MeshData::MeshAttributeData32;

constexpr std::size_t MaxPayloadSize = std::numeric_limits<std::uint32_t>::max();

template<class T>
std::span<const char> bytesOf(std::span<const T> values) {
    return {reinterpret_cast<const char*>(values.data()), values.size_bytes()};
}

void copyBytes(std::span<const char> bytes, char* out) {
    /* memcpy() from the null pointer of an empty view would be undefined */
    if (!bytes.empty())
        std::memcpy(out, bytes.data(), bytes.size());
}

/* One entry per attribute of the mesh, in its order */
void writeAttributes(const Trade::MeshData& mesh, char* out) {
    for (std::uint32_t i = 0; i != mesh.attributeCount(); ++i) {
        const MeshAttributeData32 entry{mesh.attributeFormat(i),
                                        mesh.attributeName(i),
                                        1,
                                        std::int8_t(mesh.attributeMorphTargetId(i)),
                                        mesh.vertexCount(),
                                        mesh.attributeStride(i),
                                        mesh.attributeArraySize(i),
                                        std::uint32_t(mesh.attributeOffset(i))};
        std::memcpy(out + i * sizeof(MeshAttributeData32), &entry, sizeof(entry));
    }
}

std::vector<Trade::MeshAttributeData> attributeCopies(std::span<const MeshAttributeData32> table) {
    std::vector<Trade::MeshAttributeData> attributes;
    attributes.reserve(table.size());
    for (const MeshAttributeData32& entry : table)
        attributes.emplace_back(entry.name, entry.format, entry.offset, entry.vertexCount,
                                entry.stride, entry.arraySize);
    return attributes;
}

/* What Trade::MeshData checks of the attributes when built over vertexDataSize bytes, or only
   the formats and vertex counts when the vertex data is compressed */
std::optional<std::string> validateAttributes(std::span<const char> table,
                                              std::uint32_t vertexCount,
                                              std::optional<std::size_t> vertexDataSize) {
    for (std::size_t i = 0; i != table.size() / sizeof(MeshAttributeData32); ++i) {
        const auto entry =
            Validation::read<MeshAttributeData32>(table.data() + i * sizeof(MeshAttributeData32));
        if (!isVertexFormatKnown(entry.format))
            return fmt::format("attribute {} has an unknown vertex format {}", i,
                               std::uint32_t(entry.format));
        if (entry.vertexCount != vertexCount)
            return fmt::format("attribute {} has {} vertices but the mesh has {}", i,
                               entry.vertexCount, vertexCount);
        if (!vertexDataSize || !vertexCount)
            continue;
        /* A negative stride runs backwards from the offset */
        const std::int64_t last = std::int64_t(vertexCount - 1) * entry.stride;
        const std::int64_t begin = std::int64_t(entry.offset) + std::min<std::int64_t>(last, 0);
        const std::int64_t end = std::int64_t(entry.offset) + std::max<std::int64_t>(last, 0) +
                                 std::int64_t(vertexFormatSize(entry.format)) *
                                     std::max<std::uint16_t>(entry.arraySize, 1);
        if (begin < 0 || end > std::int64_t(*vertexDataSize))
            return fmt::format("attribute {} [{}:{}] runs past the {} bytes of vertex data", i,
                               begin, end, *vertexDataSize);
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> MeshData::validate(std::span<const char> payload) {
    if (auto error = Validation::checkHeaderSize(payload, sizeof(Header)))
        return error;
    const auto header = Validation::read<Header>(payload.data());
    if (header.attributeDataSize !=
        std::uint64_t{header.attributeCount} * sizeof(MeshAttributeData32))
        return fmt::format("attribute data of {} bytes doesn't hold {} attributes",
                           header.attributeDataSize, header.attributeCount);
    if (header.totalSize != payload.size())
        return fmt::format("total size {} differs from the payload size {}", header.totalSize,
                           payload.size());
    const std::uint64_t end = std::uint64_t{sizeof(Header)} + header.attributeDataSize +
                              Utils::fourByteAlign(header.vertexDataSize) +
                              Utils::fourByteAlign(header.indexDataSize);
    if (end != header.totalSize)
        return fmt::format("sections end at byte {} but the total size is {}", end,
                           header.totalSize);
    if (header.compression & ~(CompressedVertexData | CompressedIndexData))
        return fmt::format("unknown compression bits {:#x}", header.compression);
    if (header.vertexCount == Trade::MeshData::ImplicitVertexCount)
        return fmt::format("vertex count {} is reserved", header.vertexCount);
    if (!isMeshIndexTypeKnown(header.indexType))
        return fmt::format("unknown index type {}", std::uint32_t(header.indexType));
    const std::uint64_t indexBytes =
        std::uint64_t{header.indexCount} * meshIndexTypeSize(header.indexType);
    if (!(header.compression & CompressedIndexData) && indexBytes > header.indexDataSize)
        return fmt::format("{} indices of {} take {} bytes, more than the {} bytes of index data",
                           header.indexCount, meshIndexTypeSize(header.indexType), indexBytes,
                           header.indexDataSize);
    return validateAttributes(payload.subspan(sizeof(Header), header.attributeDataSize),
                              header.vertexCount,
                              header.compression & CompressedVertexData
                                  ? std::nullopt
                                  : std::optional{std::size_t{header.vertexDataSize}});
}

std::span<const MeshData::MeshAttributeData32> MeshData::attributeData() const {
    return arrayCast<const MeshAttributeData32>(
        _data.subspan(sizeof(Header), header().attributeDataSize));
}

std::span<const char> MeshData::vertexData() const {
    return _data.subspan(sizeof(Header) + header().attributeDataSize, header().vertexDataSize);
}

std::span<const char> MeshData::indexData() const {
    return _data.subspan(sizeof(Header) + header().attributeDataSize +
                             Utils::fourByteAlign(header().vertexDataSize),
                         header().indexDataSize);
}

std::vector<Trade::MeshAttributeData> MeshData::attributeDataCopy() const {
    return attributeCopies(attributeData());
}

Trade::MeshData MeshData::mesh() const {
    return makeMesh(false);
}

Trade::MeshData MeshData::meshCopy() const {
    return makeMesh(true);
}

Trade::MeshData MeshData::makeMesh(bool copy) const {
    ZE_ASSERT(!(header().compression & (CompressedVertexData | CompressedIndexData)),
              "Vertex or index data are compressed, decompress them first");
    const auto storage = [copy](std::span<const char> bytes) {
        return copy ? Trade::DataStorage{std::vector<char>(bytes.begin(), bytes.end())}
                    : Trade::DataStorage::view(bytes);
    };
    /* An indexed mesh without indices is stored like one that isn't indexed */
    if (!header().indexCount)
        return Trade::MeshData{MeshPrimitive::Triangles, storage(vertexData()), attributeDataCopy(),
                               header().vertexCount};
    return Trade::MeshData{MeshPrimitive::Triangles,
                           storage(indexData()),
                           Trade::MeshIndexData{header().indexType, 0, header().indexCount},
                           storage(vertexData()),
                           attributeDataCopy(),
                           header().vertexCount};
}

AssetChunk createMeshChunk(const Trade::MeshData& mesh, std::span<const char> compressedVertexData,
                           std::span<const char> compressedIndexData, const BoundingSphere& sphere,
                           std::vector<char>& file) {
    MeshData::Header header{};
    header.attributeCount = mesh.attributeCount();
    header.attributeDataSize = mesh.attributeCount() * sizeof(MeshAttributeData32);
    header.vertexCount = mesh.vertexCount();
    header.indexType = MeshIndexType::UnsignedInt;
    if (mesh.isIndexed()) {
        /* Readers find the indices at the start of the index data */
        ZE_ASSERT(!mesh.indexOffset(),
                  "createMeshChunk(): expected the indices at the start of the index data but "
                  "they start at byte"
                      << mesh.indexOffset());
        header.indexCount = mesh.indexCount();
        header.indexType = mesh.indexType();
    }
    header.compression = (compressedVertexData.empty() ? 0 : MeshData::CompressedVertexData) |
                         (compressedIndexData.empty() ? 0 : MeshData::CompressedIndexData);
    header.boundingSphere = sphere;

    const std::span<const char> vertexBytes =
        compressedVertexData.empty() ? mesh.vertexData() : compressedVertexData;
    const std::span<const char> indexBytes =
        compressedIndexData.empty() ? mesh.indexData() : compressedIndexData;
    const std::size_t totalSize = sizeof(header) + header.attributeDataSize +
                                  Utils::fourByteAlign(vertexBytes.size()) +
                                  Utils::fourByteAlign(indexBytes.size());
    ZE_ASSERT(totalSize <= MaxPayloadSize,
              "createMeshChunk(): a payload of" << totalSize << "bytes doesn't fit a chunk");
    header.vertexDataSize = std::uint32_t(vertexBytes.size());
    header.indexDataSize = std::uint32_t(indexBytes.size());
    header.totalSize = std::uint32_t(totalSize);

    const std::size_t start = file.size();
    file.resize(start + calulateAssetChunkSizePadded(totalSize));
    AssetChunk chunk = AssetChunk::create(Magic::Mesh, totalSize, std::span{file}.subspan(start));
    char* out = chunk.data().data();
    std::memcpy(out, &header, sizeof(header));
    writeAttributes(mesh, out + sizeof(header));
    std::size_t offset = sizeof(header) + header.attributeDataSize;
    copyBytes(vertexBytes, out + offset);
    offset += Utils::fourByteAlign(vertexBytes.size());
    const std::size_t size = indexBytes.size();
    copyBytes(indexBytes, out + offset);
    ZE_INTERNAL_ASSERT(offset + Utils::fourByteAlign(size) == header.totalSize);
    return chunk;
}

MorphTargetData::MorphTargetData(std::span<const char> data)
    : RecordView{data}, _names{targetNameData(), header().targetCount} {}

std::optional<std::string> MorphTargetData::validate(std::span<const char> payload) {
    if (auto error = Validation::checkHeaderSize(payload, sizeof(Header)))
        return error;
    const auto header = Validation::read<Header>(payload.data());
    if (auto error = Validation::checkBool(header.compressed, "compressed flag"))
        return error;
    if (header.attributeDataSize % sizeof(MeshAttributeData32))
        return fmt::format("attribute data of {} bytes isn't a whole number of attributes",
                           header.attributeDataSize);
    const std::uint64_t endsOffset = std::uint64_t{sizeof(Header)} + header.attributeDataSize;
    const std::uint64_t namesOffset =
        endsOffset + std::uint64_t{header.targetCount} * 4 + header.targetDataSize;
    if (namesOffset > payload.size())
        return fmt::format("{} targets with {} bytes of data run past the {}-byte payload",
                           header.targetCount, header.targetDataSize, payload.size());

    std::uint32_t previousEnd = 0;
    for (std::size_t i = 0; i != header.targetCount; ++i) {
        const auto end = Validation::read<std::uint32_t>(payload.data() + endsOffset + 4 * i);
        if (end < previousEnd)
            return fmt::format("target {} ends at byte {}, before its start at {}", i, end,
                               previousEnd);
        if (!header.compressed && end - previousEnd != header.vertexDataSize)
            return fmt::format("target {} has {} bytes of vertex data, expected {}", i,
                               end - previousEnd, header.vertexDataSize);
        previousEnd = end;
    }
    if (Utils::fourByteAlign(previousEnd) != header.targetDataSize)
        return fmt::format("targets end at byte {} of {} bytes of target data", previousEnd,
                           header.targetDataSize);

    if (auto error =
            Validation::checkExactStrings(payload.subspan(namesOffset), header.targetCount))
        return error;
    return validateAttributes(
        payload.subspan(sizeof(Header), header.attributeDataSize), header.vertexCount,
        header.compressed ? std::nullopt : std::optional{std::size_t{header.vertexDataSize}});
}

std::vector<char> createMorphTargetData(const MorphTargetSet& set,
                                        std::span<const std::vector<char>> compressedTargets) {
    const std::size_t targetCount = set.targetCount();
    /* The attribute table comes from the first target */
    ZE_ASSERT(targetCount, "createMorphTargetData(): expected at least one target");
    ZE_ASSERT(compressedTargets.empty() || compressedTargets.size() == targetCount,
              "createMorphTargetData(): got" << compressedTargets.size() << "compressed targets for"
                                             << targetCount << "targets");
    const Trade::MeshData& first = set.targetMeshData(0);
    const std::size_t vertexDataSize = first.vertexData().size();
    std::vector<std::span<const char>> targets;
    targets.reserve(targetCount);
    std::size_t targetBytes = 0;
    std::size_t nameBytes = 0;
    for (std::size_t i = 0; i != targetCount; ++i) {
        if (compressedTargets.empty()) {
            targets.push_back(set.targetMeshData(i).vertexData());
            /* Readers take every target to be as large as the first */
            ZE_ASSERT(targets.back().size() == vertexDataSize,
                      "createMorphTargetData(): target" << i << "has" << targets.back().size()
                                                        << "bytes of vertex data but the first has"
                                                        << vertexDataSize);
        } else
            targets.push_back(compressedTargets[i]);
        targetBytes += targets.back().size();
        nameBytes += set.targetName(i).size() + 1;
    }

    MorphTargetData::Header header{};
    header.targetCount = std::uint32_t(targetCount);
    header.vertexCount = first.vertexCount();
    header.compressed = !compressedTargets.empty();
    header.attributeDataSize = first.attributeCount() * sizeof(MeshAttributeData32);
    header.vertexDataSize = std::uint32_t(vertexDataSize);
    header.targetDataSize = std::uint32_t(Utils::fourByteAlign(targetBytes));
    const std::size_t endsOffset = sizeof(header) + header.attributeDataSize;
    const std::size_t targetsOffset = endsOffset + 4 * targetCount;
    const std::size_t namesOffset = targetsOffset + Utils::fourByteAlign(targetBytes);
    ZE_ASSERT(namesOffset + nameBytes <= MaxPayloadSize, "createMorphTargetData(): a payload of"
                                                             << namesOffset + nameBytes
                                                             << "bytes doesn't fit a chunk");

    std::vector<char> out(namesOffset + nameBytes);
    std::memcpy(out.data(), &header, sizeof(header));
    writeAttributes(first, out.data() + sizeof(header));
    std::uint32_t end = 0;
    for (std::size_t i = 0; i != targetCount; ++i) {
        copyBytes(targets[i], out.data() + targetsOffset + end);
        end += std::uint32_t(targets[i].size());
        std::memcpy(out.data() + endsOffset + 4 * i, &end, 4);
    }
    /* Zero bytes after each name are already there */
    char* name = out.data() + namesOffset;
    for (std::size_t i = 0; i != targetCount; ++i)
        name += set.targetName(i).copy(name, std::string_view::npos) + 1;
    return out;
}

std::span<const MeshData::MeshAttributeData32> MorphTargetData::attributeData() const {
    return arrayCast<const MeshAttributeData32>(
        _data.subspan(sizeof(Header), header().attributeDataSize));
}

std::vector<Trade::MeshAttributeData> MorphTargetData::attributeDataCopy() const {
    return attributeCopies(attributeData());
}

std::span<const std::uint32_t> MorphTargetData::vertexDataOffsets() const {
    return {&at<std::uint32_t>(sizeof(Header) + header().attributeDataSize), header().targetCount};
}

std::span<const char> MorphTargetData::vertexData(std::size_t i) const {
    ZE_ASSERT(i < header().targetCount, "MorphTargetData::vertexData(): invalid index"
                                            << i << "for size" << header().targetCount);
    const std::span<const std::uint32_t> ends = vertexDataOffsets();
    const std::uint32_t begin = i ? ends[i - 1] : 0;
    return vertexData().subspan(begin, ends[i] - begin);
}

std::optional<std::string> SkinData::validate(std::span<const char> payload) {
    if (auto error = Validation::checkHeaderSize(payload, 4))
        return error;
    const auto jointCount = Validation::read<std::uint32_t>(payload.data());
    constexpr std::size_t JointSize = sizeof(DualQuaternion) + sizeof(Vector3) + sizeof(Id);
    static_assert(JointSize == 46);
    const std::uint64_t expected = 4 + std::uint64_t{jointCount} * JointSize;
    if (expected != payload.size())
        return fmt::format("{} joints take {} bytes but the payload has {}", jointCount, expected,
                           payload.size());
    return std::nullopt;
}

std::span<const DualQuaternion> SkinData::inverseBindPose() const {
    return {&at<DualQuaternion>(4), header()};
}

std::span<const Vector3> SkinData::inverseBindPoseScaling() const {
    return {&at<Vector3>(4 + sizeof(DualQuaternion) * std::size_t{header()}), header()};
}

std::span<const Id> SkinData::joints() const {
    return arrayCast<const Id>(
        _data.subspan(4 + (sizeof(DualQuaternion) + sizeof(Vector3)) * std::size_t{header()}));
}

std::vector<char> createSkinData(std::span<const DualQuaternion> inverseBindPose,
                                 std::span<const Vector3> inverseBindPoseScaling,
                                 std::span<const Id> joints) {
    const std::size_t jointCount = joints.size();
    ZE_ASSERT(inverseBindPose.size() == jointCount, "Utility::copy(): sizes"
                                                        << inverseBindPose.size() << "and"
                                                        << jointCount << "don't match");
    ZE_ASSERT(inverseBindPoseScaling.size() == jointCount,
              "Utility::copy(): sizes" << inverseBindPoseScaling.size() << "and" << jointCount
                                       << "don't match");
    const std::uint32_t count = std::uint32_t(jointCount);
    std::vector<char> out(4 + inverseBindPose.size_bytes() + inverseBindPoseScaling.size_bytes() +
                          joints.size_bytes());
    char* o = out.data();
    std::memcpy(o, &count, 4);
    o += 4;
    for (const std::span<const char> bytes :
         {bytesOf(inverseBindPose), bytesOf(inverseBindPoseScaling), bytesOf(joints)}) {
        copyBytes(bytes, o);
        o += bytes.size();
    }
    return out;
}

} // namespace ZarvikEngine::Data
