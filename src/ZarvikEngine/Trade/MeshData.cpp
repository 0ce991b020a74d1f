#include "ZarvikEngine/Trade/MeshData.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <utility>

namespace ZarvikEngine::Trade {

namespace {

std::int16_t checkedStride(std::ptrdiff_t stride) {
    ZE_ASSERT(stride >= std::numeric_limits<std::int16_t>::min() &&
                  stride <= std::numeric_limits<std::int16_t>::max(),
              "Trade::MeshAttributeData: expected stride to fit into 16 bits but got" << stride);
    return std::int16_t(stride);
}

std::int8_t checkedMorphTargetId(std::int32_t id) {
    ZE_ASSERT(id >= -1 && id < 128,
              "Trade::MeshAttributeData: expected morph target ID to be either -1 or less than "
              "128 but got"
                  << id);
    return std::int8_t(id);
}

/* Bytes of the value (or values) of one vertex */
std::size_t elementSize(VertexFormat format, std::uint16_t arraySize) {
    return std::size_t(vertexFormatSize(format)) * std::max<std::uint16_t>(arraySize, 1);
}

} // namespace

MeshAttributeData::MeshAttributeData(MeshAttribute name, VertexFormat format, std::size_t offset,
                                     std::uint32_t vertexCount, std::ptrdiff_t stride,
                                     std::uint16_t arraySize, std::int32_t morphTargetId)
    : _name{name}, _isOffsetOnly{true}, _morphTargetId{checkedMorphTargetId(morphTargetId)},
      _arraySize{arraySize}, _format{format},
      _vertexCount{vertexCount}, _stride{checkedStride(stride)}, _offset{offset} {}

MeshAttributeData::MeshAttributeData(MeshAttribute name, VertexFormat format,
                                     const StridedArrayView2D<const char>& data,
                                     std::uint16_t arraySize, std::int32_t morphTargetId)
    : _name{name}, _isOffsetOnly{false}, _morphTargetId{checkedMorphTargetId(morphTargetId)},
      _arraySize{arraySize}, _format{format}, _vertexCount{std::uint32_t(data.size()[0])},
      _stride{checkedStride(data.stride()[0])}, _pointer{data.data()} {
    const std::size_t expected = elementSize(format, arraySize);
    ZE_ASSERT(data.size()[1] == expected,
              "Trade::MeshAttributeData: expected second view dimension size"
                  << expected << "for" << format << "but got" << data.size()[1]);
    ZE_ASSERT(data.size()[1] <= 1 || data.stride()[1] == 1,
              "Trade::MeshAttributeData: second view dimension is not contiguous");
    ZE_ASSERT(data.size()[0] <= std::numeric_limits<std::uint32_t>::max(),
              "Trade::MeshAttributeData: expected vertex count to fit into 32 bits but got"
                  << data.size()[0]);
}

std::size_t MeshAttributeData::offset(std::span<const char> vertexData) const {
    if (_isOffsetOnly)
        return _offset;
    return std::uintptr_t(_pointer) - std::uintptr_t(vertexData.data());
}

MeshData::MeshData(MeshPrimitive primitive, DataStorage indexData, const MeshIndexData& indices,
                   DataStorage vertexData, std::vector<MeshAttributeData> attributes,
                   std::uint32_t vertexCount)
    : MeshData{primitive, std::move(vertexData), std::move(attributes), vertexCount} {
    _indexData = std::move(indexData);
    const std::size_t begin = indices.offset();
    const std::size_t end =
        begin + std::size_t(indices.count()) * meshIndexTypeSize(indices.type());
    ZE_ASSERT(end <= _indexData.data().size(),
              "Trade::MeshData: indices ["
                  << Debug::nospace << begin << Debug::nospace << ":" << Debug::nospace << end
                  << Debug::nospace << "] are not contained in passed indexData array of size"
                  << _indexData.data().size());
    _indexType = indices.type();
    _indexOffset = begin;
    _indexCount = indices.count();
}

MeshData::MeshData(MeshPrimitive primitive, DataStorage vertexData,
                   std::vector<MeshAttributeData> attributes, std::uint32_t vertexCount)
    : _vertexData{std::move(vertexData)}, _attributes{std::move(attributes)},
      _vertexCount{vertexCount}, _primitive{primitive} {
    if (_vertexCount == ImplicitVertexCount) {
        ZE_ASSERT(!_attributes.empty(),
                  "Trade::MeshData: vertex count can't be implicit if there are no attributes");
        _vertexCount = _attributes.front().vertexCount();
    }

    const std::span<const char> data = _vertexData.data();
    for (std::size_t i = 0; i != _attributes.size(); ++i) {
        MeshAttributeData& attribute = _attributes[i];
        ZE_ASSERT(attribute.vertexCount() == _vertexCount,
                  "Trade::MeshData: attribute" << i << "has" << attribute.vertexCount()
                                               << "vertices but" << _vertexCount << "expected");
        /* A view of no vertices points anywhere, its offset would depend on the address */
        const std::size_t offset =
            attribute.isOffsetOnly() || _vertexCount ? attribute.offset(data) : 0;
        if (_vertexCount) {
            /* The first value is at offset, the last one offset + (count - 1)·stride; a
               negative stride runs backwards */
            const std::int64_t last = std::int64_t(_vertexCount - 1) * attribute.stride();
            const std::int64_t begin = std::int64_t(offset) + std::min<std::int64_t>(last, 0);
            const std::int64_t end =
                std::int64_t(offset) + std::max<std::int64_t>(last, 0) +
                std::int64_t(elementSize(attribute.format(), attribute.arraySize()));
            ZE_ASSERT(begin >= 0 && end <= std::int64_t(data.size()),
                      "Trade::MeshData: attribute"
                          << i << Debug::nospace << " [" << Debug::nospace << begin
                          << Debug::nospace << ":" << Debug::nospace << end << Debug::nospace
                          << "] is not contained in passed vertexData array of size"
                          << data.size());
        }
        attribute = MeshAttributeData{attribute.name(),
                                      attribute.format(),
                                      offset,
                                      _vertexCount,
                                      attribute.stride(),
                                      attribute.arraySize(),
                                      attribute.morphTargetId()};
    }
}

std::span<char> MeshData::mutableIndexData() {
    ZE_ASSERT(_indexData.flags() >= DataFlag::Mutable,
              "Trade::MeshData::mutableIndexData(): index data not mutable");
    return _indexData.mutableData();
}

MeshIndexType MeshData::indexType() const {
    ZE_ASSERT(isIndexed(), "Trade::MeshData::indexType(): the mesh is not indexed");
    return _indexType;
}

std::uint32_t MeshData::indexCount() const {
    ZE_ASSERT(isIndexed(), "Trade::MeshData::indexCount(): the mesh is not indexed");
    return _indexCount;
}

std::size_t MeshData::indexOffset() const {
    ZE_ASSERT(isIndexed(), "Trade::MeshData::indexOffset(): the mesh is not indexed");
    return _indexOffset;
}

StridedArrayView2D<const char> MeshData::indices() const {
    ZE_ASSERT(isIndexed(), "Trade::MeshData::indices(): the mesh is not indexed");
    const std::size_t size = meshIndexTypeSize(_indexType);
    return {_indexCount ? _indexData.data().data() + _indexOffset : nullptr,
            Size2D{_indexCount, size}, Stride2D{std::ptrdiff_t(size), 1}};
}

StridedArrayView2D<char> MeshData::mutableIndices() {
    ZE_ASSERT(isIndexed(), "Trade::MeshData::mutableIndices(): the mesh is not indexed");
    ZE_ASSERT(_indexData.flags() >= DataFlag::Mutable,
              "Trade::MeshData::mutableIndices(): index data not mutable");
    const StridedArrayView2D<const char> view = indices();
    return {const_cast<char*>(view.data()), view.size(), view.stride()};
}

void MeshData::checkIndexType(const char* function, std::size_t typeSize) const {
    ZE_ASSERT(typeSize == meshIndexTypeSize(_indexType),
              "Trade::MeshData::" << Debug::nospace << function << Debug::nospace
                                  << "(): improper type requested for" << _indexType);
}

std::span<char> MeshData::mutableVertexData() {
    ZE_ASSERT(_vertexData.flags() >= DataFlag::Mutable,
              "Trade::MeshData::mutableVertexData(): vertex data not mutable");
    return _vertexData.mutableData();
}

void MeshData::checkAttributeId(const char* function, std::uint32_t id) const {
    ZE_ASSERT(id < _attributes.size(), "Trade::MeshData::" << Debug::nospace << function
                                                           << Debug::nospace << "(): index" << id
                                                           << "out of range for"
                                                           << _attributes.size() << "attributes");
}

MeshAttribute MeshData::attributeName(std::uint32_t id) const {
    checkAttributeId("attributeName", id);
    return _attributes[id].name();
}

VertexFormat MeshData::attributeFormat(std::uint32_t id) const {
    checkAttributeId("attributeFormat", id);
    return _attributes[id].format();
}

std::size_t MeshData::attributeOffset(std::uint32_t id) const {
    checkAttributeId("attributeOffset", id);
    return _attributes[id].offset({});
}

std::int16_t MeshData::attributeStride(std::uint32_t id) const {
    checkAttributeId("attributeStride", id);
    return _attributes[id].stride();
}

std::uint16_t MeshData::attributeArraySize(std::uint32_t id) const {
    checkAttributeId("attributeArraySize", id);
    return _attributes[id].arraySize();
}

std::int32_t MeshData::attributeMorphTargetId(std::uint32_t id) const {
    checkAttributeId("attributeMorphTargetId", id);
    return _attributes[id].morphTargetId();
}

std::uint32_t MeshData::attributeCount(MeshAttribute name, std::int32_t morphTargetId) const {
    return std::uint32_t(std::count_if(
        _attributes.begin(), _attributes.end(), [&](const MeshAttributeData& attribute) {
            return attribute.name() == name && attribute.morphTargetId() == morphTargetId;
        }));
}

std::optional<std::uint32_t> MeshData::findAttributeId(MeshAttribute name, std::uint32_t nth,
                                                       std::int32_t morphTargetId) const {
    for (std::uint32_t id = 0; id != _attributes.size(); ++id) {
        const MeshAttributeData& attribute = _attributes[id];
        if (attribute.name() == name && attribute.morphTargetId() == morphTargetId && !nth--)
            return id;
    }
    return std::nullopt;
}

std::uint32_t MeshData::attributeId(MeshAttribute name, std::uint32_t nth,
                                    std::int32_t morphTargetId) const {
    return checkedAttributeId("attributeId", name, nth, morphTargetId);
}

std::uint32_t MeshData::checkedAttributeId(const char* function, MeshAttribute name,
                                           std::uint32_t nth, std::int32_t morphTargetId) const {
    const std::optional<std::uint32_t> id = findAttributeId(name, nth, morphTargetId);
    if (!id) [[unlikely]] {
        Fatal fatal;
        fatal << "Trade::MeshData::" << Debug::nospace << function << Debug::nospace << "(): index"
              << nth << "out of range for" << attributeCount(name, morphTargetId) << name
              << "attributes";
        if (morphTargetId != -1)
            fatal << "in morph target" << morphTargetId;
    }
    return *id;
}

void MeshData::checkAttributeType(const char* function, std::uint32_t id, std::size_t typeSize,
                                  bool isArray) const {
    checkAttributeId(function, id);
    const MeshAttributeData& attribute = _attributes[id];
    ZE_ASSERT(typeSize == vertexFormatSize(attribute.format()),
              "Trade::MeshData::" << Debug::nospace << function << Debug::nospace
                                  << "(): improper type requested for" << attribute.name()
                                  << "of format" << attribute.format());
    ZE_ASSERT(isArray || !attribute.arraySize(),
              "Trade::MeshData::" << Debug::nospace << function << Debug::nospace
                                  << "(): use T[] to access an array attribute");
    ZE_ASSERT(!isArray || attribute.arraySize(),
              "Trade::MeshData::" << Debug::nospace << function << Debug::nospace
                                  << "():" << attribute.name()
                                  << "is not an array attribute, can't use T[] to access it");
}

StridedArrayView2D<const char> MeshData::attribute(std::uint32_t id) const {
    checkAttributeId("attribute", id);
    const MeshAttributeData& attribute = _attributes[id];
    /* Without vertices there may be no data to point into */
    return {_vertexCount ? _vertexData.data().data() + attribute.offset({}) : nullptr,
            Size2D{_vertexCount, elementSize(attribute.format(), attribute.arraySize())},
            Stride2D{attribute.stride(), 1}};
}

StridedArrayView2D<char> MeshData::mutableAttribute(std::uint32_t id) {
    checkAttributeId("mutableAttribute", id);
    ZE_ASSERT(_vertexData.flags() >= DataFlag::Mutable,
              "Trade::MeshData::mutableAttribute(): vertex data not mutable");
    const StridedArrayView2D<const char> view = attribute(id);
    return {const_cast<char*>(view.data()), view.size(), view.stride()};
}

std::vector<char> MeshData::releaseIndexData() {
    ZE_ASSERT(_indexData.flags() >= DataFlag::Owned,
              "Trade::MeshData::releaseIndexData(): index data not owned");
    _indexCount = 0;
    return _indexData.release();
}

std::vector<char> MeshData::releaseVertexData() {
    ZE_ASSERT(_vertexData.flags() >= DataFlag::Owned,
              "Trade::MeshData::releaseVertexData(): vertex data not owned");
    _vertexCount = 0;
    return _vertexData.release();
}

std::vector<MeshAttributeData> attributeLayout(const MeshData& mesh) {
    std::vector<MeshAttributeData> attributes;
    attributes.reserve(mesh.attributeCount());
    for (std::uint32_t i = 0; i != mesh.attributeCount(); ++i)
        attributes.emplace_back(mesh.attributeName(i), mesh.attributeFormat(i),
                                mesh.attributeOffset(i), mesh.vertexCount(),
                                mesh.attributeStride(i), mesh.attributeArraySize(i),
                                mesh.attributeMorphTargetId(i));
    return attributes;
}

MeshData copy(const MeshData& mesh) {
    std::vector<MeshAttributeData> attributes = attributeLayout(mesh);
    std::vector<char> vertexData{mesh.vertexData().begin(), mesh.vertexData().end()};
    if (!mesh.isIndexed())
        return MeshData{mesh.primitive(), std::move(vertexData), std::move(attributes),
                        mesh.vertexCount()};
    return MeshData{mesh.primitive(),
                    std::vector<char>{mesh.indexData().begin(), mesh.indexData().end()},
                    MeshIndexData{mesh.indexType(), mesh.indexOffset(), mesh.indexCount()},
                    std::move(vertexData),
                    std::move(attributes),
                    mesh.vertexCount()};
}

} // namespace ZarvikEngine::Trade
