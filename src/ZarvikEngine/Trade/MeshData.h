#ifndef ZarvikEngine_Trade_MeshData_h
#define ZarvikEngine_Trade_MeshData_h

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <type_traits>
#include <vector>

#include "ZarvikEngine/Containers/StridedArrayView.h"
#include "ZarvikEngine/Trade/Data.h"
#include "ZarvikEngine/Trade/Mesh.h"
#include "ZarvikEngine/Trade/MeshAttribute.h"
#include "ZarvikEngine/Trade/VertexFormat.h"

namespace ZarvikEngine::Trade {

/* Where the indices of an indexed mesh lie in its index data */
class MeshIndexData {
public:
    constexpr MeshIndexData(MeshIndexType type, std::size_t offset, std::uint32_t count) noexcept
        : _type{type}, _offset{offset}, _count{count} {}

    constexpr MeshIndexType type() const { return _type; }
    /* Bytes from the start of the index data to the first index */
    constexpr std::size_t offset() const { return _offset; }
    constexpr std::uint32_t count() const { return _count; }

private:
    MeshIndexType _type;
    std::size_t _offset;
    std::uint32_t _count;
};

/* Description of one vertex attribute: either an offset into the vertex data the mesh will be
   given, or a view of memory inside that vertex data. Each vertex holds one value of the format,
   or arraySize of them for an array attribute. */
class MeshAttributeData {
public:
    /* Placeholder without a name or format, to be assigned over */
    constexpr MeshAttributeData() noexcept = default;

    /* Values start offset bytes into the vertex data, stride bytes apart */
    MeshAttributeData(MeshAttribute name, VertexFormat format, std::size_t offset,
                      std::uint32_t vertexCount, std::ptrdiff_t stride, std::uint16_t arraySize = 0,
                      std::int32_t morphTargetId = -1);

    /* One row per vertex, holding the contiguous bytes of its value (or values) */
    MeshAttributeData(MeshAttribute name, VertexFormat format,
                      const StridedArrayView2D<const char>& data, std::uint16_t arraySize = 0,
                      std::int32_t morphTargetId = -1);

    /* One element per vertex, of the size of the value (or values) */
    template<class T>
    MeshAttributeData(MeshAttribute name, VertexFormat format, const StridedArrayView1D<T>& data,
                      std::uint16_t arraySize = 0, std::int32_t morphTargetId = -1)
        : MeshAttributeData{name, format,
                            StridedArrayView2D<const char>{
                                reinterpret_cast<const char*>(data.data()),
                                Size2D{data.size(), sizeof(T)}, Stride2D{data.stride(), 1}},
                            arraySize, morphTargetId} {}

    MeshAttribute name() const { return _name; }
    VertexFormat format() const { return _format; }
    bool isOffsetOnly() const { return _isOffsetOnly; }
    std::uint32_t vertexCount() const { return _vertexCount; }
    std::int16_t stride() const { return _stride; }
    /* 0 for attributes that aren't arrays */
    std::uint16_t arraySize() const { return _arraySize; }
    /* -1 for attributes of the base mesh */
    std::int32_t morphTargetId() const { return _morphTargetId; }

    /* Bytes from the start of vertexData to the first value; a view has to point inside it */
    std::size_t offset(std::span<const char> vertexData) const;

private:
    MeshAttribute _name{};
    bool _isOffsetOnly{true};
    std::int8_t _morphTargetId{-1};
    std::uint16_t _arraySize{};
    VertexFormat _format{};
    std::uint32_t _vertexCount{};
    std::int16_t _stride{};
    union {
        std::size_t _offset{};
        const char* _pointer;
    };
};

/* A mesh: primitive, optional indices and vertex attributes over index and vertex data that
   are owned or viewed. Move-only. Accessors return views without copying or allocating. */
class MeshData {
    /* Typed view of one attribute; T[] gives rows of array elements */
    template<class T>
    using AttributeView =
        std::conditional_t<std::is_unbounded_array_v<T>,
                           StridedArrayView2D<std::remove_extent_t<T>>, StridedArrayView1D<T>>;

public:
    /* Take the vertex count from the attributes */
    static constexpr std::uint32_t ImplicitVertexCount = ~0u;

    /* Indexed mesh. Every attribute must have vertexCount vertices and lie inside vertexData,
       and the indices must lie inside indexData. */
    MeshData(MeshPrimitive primitive, DataStorage indexData, const MeshIndexData& indices,
             DataStorage vertexData, std::vector<MeshAttributeData> attributes,
             std::uint32_t vertexCount = ImplicitVertexCount);

    /* Mesh without indices */
    MeshData(MeshPrimitive primitive, DataStorage vertexData,
             std::vector<MeshAttributeData> attributes,
             std::uint32_t vertexCount = ImplicitVertexCount);

    MeshData(const MeshData&) = delete;
    MeshData(MeshData&&) noexcept = default;
    MeshData& operator=(const MeshData&) = delete;
    MeshData& operator=(MeshData&&) noexcept = default;

    MeshPrimitive primitive() const { return _primitive; }

    /* Index data */

    DataFlags indexDataFlags() const { return _indexData.flags(); }
    std::span<const char> indexData() const { return _indexData.data(); }
    std::span<char> mutableIndexData();

    bool isIndexed() const { return _indexType != MeshIndexType{}; }
    MeshIndexType indexType() const;
    std::uint32_t indexCount() const;
    /* Bytes from the start of the index data to the first index */
    std::size_t indexOffset() const;

    /* One row of index-size bytes per index */
    StridedArrayView2D<const char> indices() const;
    StridedArrayView2D<char> mutableIndices();

    /* T must have the size of the index type */
    template<class T>
    StridedArrayView1D<const T> indices() const {
        return typedIndices<const T>(indices(), "indices");
    }
    template<class T>
    StridedArrayView1D<T> mutableIndices() {
        return typedIndices<T>(mutableIndices(), "mutableIndices");
    }

    /* Vertex data */

    DataFlags vertexDataFlags() const { return _vertexData.flags(); }
    std::span<const char> vertexData() const { return _vertexData.data(); }
    std::span<char> mutableVertexData();
    std::uint32_t vertexCount() const { return _vertexCount; }

    /* Attribute properties by id */

    std::uint32_t attributeCount() const { return std::uint32_t(_attributes.size()); }
    MeshAttribute attributeName(std::uint32_t id) const;
    VertexFormat attributeFormat(std::uint32_t id) const;
    /* Bytes from the start of the vertex data to the first value */
    std::size_t attributeOffset(std::uint32_t id) const;
    std::int16_t attributeStride(std::uint32_t id) const;
    std::uint16_t attributeArraySize(std::uint32_t id) const;
    std::int32_t attributeMorphTargetId(std::uint32_t id) const;

    /* Attributes by name: the nth attribute of a name among those of one morph target (-1 for
       the base mesh) */

    std::uint32_t attributeCount(MeshAttribute name, std::int32_t morphTargetId = -1) const;
    bool hasAttribute(MeshAttribute name, std::int32_t morphTargetId = -1) const {
        return findAttributeId(name, 0, morphTargetId).has_value();
    }
    std::optional<std::uint32_t> findAttributeId(MeshAttribute name, std::uint32_t nth = 0,
                                                 std::int32_t morphTargetId = -1) const;
    /* Like findAttributeId(), aborting when there is no such attribute */
    std::uint32_t attributeId(MeshAttribute name, std::uint32_t nth = 0,
                              std::int32_t morphTargetId = -1) const;

    /* Attribute data: one row per vertex of the bytes of its value (or values) */

    StridedArrayView2D<const char> attribute(std::uint32_t id) const;
    StridedArrayView2D<char> mutableAttribute(std::uint32_t id);
    StridedArrayView2D<const char> attribute(MeshAttribute name, std::uint32_t nth = 0,
                                             std::int32_t morphTargetId = -1) const {
        return attribute(checkedAttributeId("attribute", name, nth, morphTargetId));
    }
    StridedArrayView2D<char> mutableAttribute(MeshAttribute name, std::uint32_t nth = 0,
                                              std::int32_t morphTargetId = -1) {
        return mutableAttribute(checkedAttributeId("mutableAttribute", name, nth, morphTargetId));
    }

    /* Typed attribute data. T must have the size of the format; array attributes are accessed
       as T[], giving one row of arraySize() elements per vertex. */

    template<class T>
    AttributeView<const T> attribute(std::uint32_t id) const {
        checkAttributeType("attribute", id, sizeof(std::remove_extent_t<T>),
                           std::is_unbounded_array_v<T>);
        return typedAttribute<const T>(attribute(id), _attributes[id].arraySize());
    }
    template<class T>
    AttributeView<T> mutableAttribute(std::uint32_t id) {
        checkAttributeType("mutableAttribute", id, sizeof(std::remove_extent_t<T>),
                           std::is_unbounded_array_v<T>);
        return typedAttribute<T>(mutableAttribute(id), _attributes[id].arraySize());
    }
    template<class T>
    AttributeView<const T> attribute(MeshAttribute name, std::uint32_t nth = 0,
                                     std::int32_t morphTargetId = -1) const {
        return attribute<T>(checkedAttributeId("attribute", name, nth, morphTargetId));
    }
    template<class T>
    AttributeView<T> mutableAttribute(MeshAttribute name, std::uint32_t nth = 0,
                                      std::int32_t morphTargetId = -1) {
        return mutableAttribute<T>(
            checkedAttributeId("mutableAttribute", name, nth, morphTargetId));
    }

    /* Moves owned data out; aborts for data that isn't owned. The mesh then has no indices
       (respectively no vertices), its attribute list stays. */
    std::vector<char> releaseIndexData();
    std::vector<char> releaseVertexData();

private:
    void checkAttributeId(const char* function, std::uint32_t id) const;
    std::uint32_t checkedAttributeId(const char* function, MeshAttribute name, std::uint32_t nth,
                                     std::int32_t morphTargetId) const;
    void checkAttributeType(const char* function, std::uint32_t id, std::size_t typeSize,
                            bool isArray) const;
    void checkIndexType(const char* function, std::size_t typeSize) const;

    template<class T, class Byte>
    static AttributeView<T> typedAttribute(const StridedArrayView2D<Byte>& bytes,
                                           std::uint16_t arraySize) {
        using Element = std::remove_extent_t<T>;
        if constexpr (std::is_unbounded_array_v<T>)
            return {reinterpret_cast<Element*>(bytes.data()), Size2D{bytes.size()[0], arraySize},
                    Stride2D{bytes.stride()[0], std::ptrdiff_t(sizeof(Element))}};
        else
            return {reinterpret_cast<T*>(bytes.data()), bytes.size()[0], bytes.stride()[0]};
    }

    template<class T, class Byte>
    StridedArrayView1D<T> typedIndices(const StridedArrayView2D<Byte>& bytes,
                                       const char* function) const {
        checkIndexType(function, sizeof(T));
        return {reinterpret_cast<T*>(bytes.data()), bytes.size()[0], bytes.stride()[0]};
    }

    DataStorage _indexData;
    DataStorage _vertexData;
    /* All offset-only, views are turned into offsets on construction */
    std::vector<MeshAttributeData> _attributes;
    std::size_t _indexOffset{};
    std::uint32_t _indexCount{};
    std::uint32_t _vertexCount{};
    MeshIndexType _indexType{};
    MeshPrimitive _primitive;
};

/* The mesh's attributes described by offsets alone, for a mesh built on the same vertex layout */
std::vector<MeshAttributeData> attributeLayout(const MeshData& mesh);

/* An owning copy of a mesh, whether the original owns its data or not */
MeshData copy(const MeshData& mesh);

} // namespace ZarvikEngine::Trade

#endif
