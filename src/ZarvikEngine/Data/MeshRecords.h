#ifndef ZarvikEngine_Data_MeshRecords_h
#define ZarvikEngine_Data_MeshRecords_h

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "ZarvikEngine/BoundingSphere.h"
#include "ZarvikEngine/Data/AssetChunk.h"
#include "ZarvikEngine/Data/Id.h"
#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/StringArray.h"
#include "ZarvikEngine/Trade/MeshData.h"

namespace ZarvikEngine {
class MorphTargetSet;
}

namespace ZarvikEngine::Data {

/* A packed mesh: attribute table, vertex data and index data, read in place */
class MeshData : public RecordView {
public:
    /* One attribute as stored, its offset relative to the vertex data */
    struct MeshAttributeData32 {
        VertexFormat format;
        Trade::MeshAttribute name;
        /* Always 1 */
        std::uint8_t offsetOnly;
        /* Of the attribute the entry was written from; not read back */
        std::int8_t morphTargetId;
        std::uint32_t vertexCount;
        std::int16_t stride;
        /* 0 for attributes that aren't arrays */
        std::uint16_t arraySize;
        std::uint32_t offset;
    };
    static_assert(sizeof(MeshAttributeData32) == 20);

    struct Header {
        /* The whole payload */
        std::uint32_t totalSize;
        std::uint32_t attributeDataSize;
        /* Sizes as stored, so compressed ones when compressed */
        std::uint32_t vertexDataSize;
        std::uint32_t indexDataSize;
        std::uint32_t vertexCount;
        /* 0 for meshes that aren't indexed */
        std::uint32_t indexCount;
        std::uint32_t attributeCount;
        /* UnsignedInt for meshes that aren't indexed */
        MeshIndexType indexType;
        /* CompressedVertexData, CompressedIndexData */
        std::uint8_t compression;
        std::uint8_t padding[3];
        BoundingSphere boundingSphere;
    };
    static_assert(sizeof(Header) == 52);

    static constexpr Magic magic = Magic::Mesh;
    static constexpr std::uint8_t CompressedVertexData = 1 << 0;
    static constexpr std::uint8_t CompressedIndexData = 1 << 1;

    using RecordView::RecordView;

    /* A message naming the first problem that would make a reader abort or read outside the
       payload; nothing for a payload that every reader can take. Compressed data can't be
       checked against the attributes, check header().compression before mesh(). */
    static std::optional<std::string> validate(std::span<const char> payload);

    const Header& header() const { return at<Header>(0); }
    std::span<const MeshAttributeData32> attributeData() const;
    /* Padding excluded */
    std::span<const char> vertexData() const;
    std::span<const char> indexData() const;
    /* Offset-only attributes of the base mesh */
    std::vector<Trade::MeshAttributeData> attributeDataCopy() const;

    /* Triangles over the payload, not indexed when there are no indices. The record has to
       outlive the mesh. Aborts for compressed data. */
    Trade::MeshData mesh() const;
    /* The same owning copies of the data */
    Trade::MeshData meshCopy() const;

    /* Views trust their bytes, validate() is where they are checked */
    bool assertValid() const { return true; }

private:
    Trade::MeshData makeMesh(bool copy) const;
};

/* Appends a mesh chunk to file. Non-empty compressed views are stored in place of the mesh's
   own vertex or index data; the indices have to start at the start of the index data. */
AssetChunk createMeshChunk(const Trade::MeshData& mesh, std::span<const char> compressedVertexData,
                           std::span<const char> compressedIndexData, const BoundingSphere& sphere,
                           std::vector<char>& file);

/* The vertex data of the morph targets of one mesh, all laid out alike, and their names */
class MorphTargetData : public RecordView {
public:
    struct Header {
        std::uint32_t targetCount;
        /* Of the first target */
        std::uint32_t vertexCount;
        /* 1 when the target data is stored compressed */
        std::uint8_t compressed;
        std::uint8_t padding[3];
        std::uint32_t attributeDataSize;
        /* Uncompressed vertex data of the first target */
        std::uint32_t vertexDataSize;
        /* Stored data of all targets, padded to four bytes */
        std::uint32_t targetDataSize;
    };
    static_assert(sizeof(Header) == 24);

    static constexpr Magic magic = Magic::MorphTarget;

    MorphTargetData() = default;
    /* Indexes the targetCount names after the target data */
    explicit MorphTargetData(std::span<const char> data);

    /* See MeshData::validate() */
    static std::optional<std::string> validate(std::span<const char> payload);

    const Header& header() const { return at<Header>(0); }
    /* Shared by all targets */
    std::span<const MeshData::MeshAttributeData32> attributeData() const;
    std::vector<Trade::MeshAttributeData> attributeDataCopy() const;
    /* Where the data of each target ends inside the target data */
    std::span<const std::uint32_t> vertexDataOffsets() const;
    /* The stored bytes of target i */
    std::span<const char> vertexData(std::size_t i) const;
    /* From the start of the target data to the end of the payload, names included */
    std::span<const char> vertexData() const { return _data.subspan(targetDataOffset()); }
    /* The packed names */
    std::span<const char> targetNameData() const {
        return _data.subspan(targetDataOffset() + header().targetDataSize);
    }
    const StringArrayView& targetNames() const { return _names; }

private:
    std::size_t targetDataOffset() const {
        return sizeof(Header) + header().attributeDataSize + 4 * std::size_t{header().targetCount};
    }

    StringArrayView _names;
};

/* The targets' own vertex data is stored when compressedTargets is empty, else one compressed
   array per target. The set must have a target, and uncompressed targets the vertex data size
   of the first. */
std::vector<char> createMorphTargetData(const MorphTargetSet& set,
                                        std::span<const std::vector<char>> compressedTargets);

/* Inverse bind poses of the joints of a skin and the objects that drive them */
class SkinData : public RecordView {
public:
    static constexpr Magic magic = Magic::Skin;

    using RecordView::RecordView;

    /* See MeshData::validate() */
    static std::optional<std::string> validate(std::span<const char> payload);

    /* The joint count */
    std::uint32_t header() const { return at<std::uint32_t>(0); }
    /* After the joint count */
    std::span<const char> data() const { return _data.subspan(4); }
    std::span<const DualQuaternion> inverseBindPose() const;
    std::span<const Vector3> inverseBindPoseScaling() const;
    std::span<const Id> joints() const;
};

/* The three arrays have one entry per joint */
std::vector<char> createSkinData(std::span<const DualQuaternion> inverseBindPose,
                                 std::span<const Vector3> inverseBindPoseScaling,
                                 std::span<const Id> joints);

} // namespace ZarvikEngine::Data

#endif
