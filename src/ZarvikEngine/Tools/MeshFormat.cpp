#include "ZarvikEngine/Tools/MeshFormat.h"

#include <algorithm>
#include <bit>
#include <string_view>
#include <utility>

#include "ZarvikEngine/Tools/HugePages.h"
#include "ZarvikEngine/Tools/MeshTools.h"

namespace ZarvikEngine {

namespace {

/* By bit position */
constexpr std::string_view FlagNames[]{"Positions",
                                       "TextureCoordinates",
                                       "Normals",
                                       "Tangents",
                                       "ObjectIds",
                                       "Skinning",
                                       "ExtendedSkinning",
                                       "Colors",
                                       "SecondaryTextureCoordinates",
                                       "Slug",
                                       "Quantized"};

} // namespace

Debug& operator<<(Debug& debug, MeshDataFlag value) {
    const auto bits = std::uint32_t(value);
    const bool named = std::has_single_bit(bits) && std::countr_zero(bits) < std::ssize(FlagNames);
    return printEnum(debug, "MeshDataFlag", named ? FlagNames[std::countr_zero(bits)] : "", bits);
}

Debug& operator<<(Debug& debug, MeshDataFlags value) {
    return printEnumSet(debug, value, "MeshDataFlags{}");
}

std::vector<Trade::MeshAttributeData> getLayout(MeshDataFlags layout, MeshDataFlags quantized,
                                                std::uint32_t vertexCount) {
    if (!layout)
        layout = MeshDataFlag::Positions;

    struct Present {
        const MeshAttributeSlot* slot;
        VertexFormat format;
        std::uint16_t arraySize;
        std::size_t size;
    };
    std::array<Present, MeshAttributeSlots.size()> present;
    std::size_t presentCount = 0, vertexSize = 0;
    for (const MeshAttributeSlot& slot : MeshAttributeSlots) {
        if (!(layout >= slot.flag))
            continue;
        const VertexFormat format = quantized >= slot.flag ? slot.quantizedFormat : slot.format;
        if (format == VertexFormat{})
            continue;
        /* Arrays grow where the layout has the extending flag too */
        const std::uint16_t arraySize =
            slot.extendedBy && layout >= slot.extendedBy ? slot.extendedArraySize : slot.arraySize;
        const std::size_t size = vertexFormatSize(format) * std::max<std::size_t>(arraySize, 1);
        present[presentCount++] = {&slot, format, arraySize, size};
        vertexSize += size;
    }
    /* Flags without slots of their own, such as Quantized or ExtendedSkinning alone, give
       no attributes */
    ZE_INTERNAL_ASSERT(vertexSize > 0);

    std::vector<Trade::MeshAttributeData> attributes;
    attributes.reserve(presentCount);
    std::size_t offset = 0;
    for (std::size_t i = 0; i != presentCount; ++i) {
        attributes.emplace_back(present[i].slot->attribute, present[i].format, offset, vertexCount,
                                std::ptrdiff_t(vertexSize), present[i].arraySize);
        offset += present[i].size;
    }
    return attributes;
}

namespace {

/* Vertices converted at a time: every attribute of a block is converted before the next
   block, so that the source vertices come from memory once rather than once per attribute.
   Blocks of the widest layouts stay in the first-level cache from one attribute to the next. */
constexpr std::size_t BlockSize = 256;

void convertBlockwise(std::span<const MeshTools::AttributeConversion> conversions,
                      std::size_t vertexCount) {
    for (std::size_t begin = 0; begin < vertexCount; begin += BlockSize) {
        const std::size_t end = std::min(begin + BlockSize, vertexCount);
        for (const MeshTools::AttributeConversion& conversion : conversions)
            conversion(begin, end);
    }
}

/* Calls f(name, id) for each destination attribute the source has too, id counted per name */
template<class F>
void forEachSharedAttribute(const Trade::MeshData& destination, const Trade::MeshData& source,
                            F f) {
    for (std::uint32_t i = 0; i != destination.attributeCount(); ++i) {
        const Trade::MeshAttribute name = destination.attributeName(i);
        std::uint32_t id = 0;
        for (std::uint32_t j = 0; j != i; ++j)
            id += destination.attributeName(j) == name;
        if (id < source.attributeCount(name))
            f(name, id);
    }
}

using Prepare = MeshTools::AttributeConversion (*)(const Trade::MeshData&, Trade::MeshData&,
                                                   Trade::MeshAttribute, std::uint32_t);

/* The attributes stored quantized and how they are converted each way */
struct Quantization {
    Trade::MeshAttribute name;
    MeshDataFlag flag;
    Prepare pack, unpack;
};
constexpr Quantization Quantizations[]{
    {Trade::MeshAttribute::Normal, MeshDataFlag::Normals,
     MeshTools::preparePackAttribute<Vector3, Vector3s>,
     MeshTools::prepareUnpackAttribute<Vector3s, Vector3>},
    {Trade::MeshAttribute::Tangent, MeshDataFlag::Tangents,
     MeshTools::preparePackAttribute<Vector4, Vector4s>,
     MeshTools::prepareUnpackAttribute<Vector4s, Vector4>},
    {Trade::MeshAttribute::Color, MeshDataFlag::Colors,
     MeshTools::preparePackAttribute<Vector4, Vector4us>,
     MeshTools::prepareUnpackAttribute<Vector4us, Vector4>},
    {Trade::MeshAttribute::Weights, MeshDataFlag::Skinning,
     MeshTools::preparePackArrayAttribute<float, std::uint16_t>,
     MeshTools::prepareUnpackArrayAttribute<std::uint16_t, float>},
};

/* Packs (or unpacks) the attributes whose flag is in flags, copies the others */
void convertAttributes(bool pack, MeshDataFlags flags, Trade::MeshData& destination,
                       const Trade::MeshData& source) {
    std::vector<MeshTools::AttributeConversion> conversions;
    forEachSharedAttribute(destination, source, [&](Trade::MeshAttribute name, std::uint32_t id) {
        Prepare prepare = MeshTools::prepareCopyAttribute;
        for (const Quantization& quantization : Quantizations)
            if (quantization.name == name && flags >= quantization.flag)
                prepare = pack ? quantization.pack : quantization.unpack;
        conversions.push_back(prepare(source, destination, name, id));
    });
    convertBlockwise(conversions, source.vertexCount());
}

} // namespace

Trade::MeshData cloneMeshDataUninitialized(MeshDataFlags layout, MeshDataFlags quantized,
                                           const Trade::MeshData& source) {
    const std::uint32_t vertexCount = source.vertexCount();
    std::vector<Trade::MeshAttributeData> attributes = getLayout(layout, quantized, vertexCount);
    std::vector<char> vertexData = MeshTools::Implementation::hugePageBytes(
        std::size_t(attributes.front().stride()) * vertexCount);
    if (!source.isIndexed())
        return Trade::MeshData{source.primitive(), std::move(vertexData), std::move(attributes),
                               vertexCount};
    const std::uint32_t indexCount = source.indexCount();
    return Trade::MeshData{
        source.primitive(),
        MeshTools::Implementation::hugePageBytes(std::size_t(indexCount) * sizeof(std::uint32_t)),
        Trade::MeshIndexData{MeshIndexType::UnsignedInt, 0, indexCount},
        std::move(vertexData),
        std::move(attributes),
        vertexCount};
}

Trade::MeshData packMesh(MeshDataFlags layout, MeshDataFlags quantize,
                         const Trade::MeshData& source) {
    Trade::MeshData destination = cloneMeshDataUninitialized(layout, quantize, source);
    copyMeshIndexData(destination, source);
    convertAttributes(true, quantize, destination, source);
    return destination;
}

Trade::MeshData unpackMesh(MeshDataFlags targetLayout, MeshDataFlags unpack,
                           const Trade::MeshData& source) {
    ZE_INTERNAL_ASSERT(!(targetLayout >= MeshDataFlag::Quantized));
    /* Everything not unpacked stays quantized, the normal's padding goes with the normals */
    Trade::MeshData destination = cloneMeshDataUninitialized(targetLayout, ~unpack, source);
    copyMeshIndexData(destination, source);
    convertAttributes(false, unpack, destination, source);
    return destination;
}

Trade::MeshData packMesh(MeshDataFlags quantize, const Trade::MeshData& source) {
    return packMesh(getMeshFlags(source), quantize, source);
}

Trade::MeshData unpackMesh(MeshDataFlags unpack, const Trade::MeshData& source) {
    return unpackMesh(getMeshFlags(source), unpack, source);
}

std::vector<Trade::MeshAttributeData> getLayout(MeshDataFlags flags, std::uint32_t vertexCount) {
    return getLayout(flags & ~MeshDataFlag::Quantized,
                     flags >= MeshDataFlag::Quantized ? flags : MeshDataFlags{}, vertexCount);
}

MeshDataFlags getMeshFlags(const Trade::MeshData& mesh) {
    MeshDataFlags present, missing;
    for (const MeshAttributeSlot& slot : MeshAttributeSlots) {
        /* The quantized normal's padding says nothing about the mesh */
        if (slot.format == VertexFormat{})
            continue;
        if (mesh.attributeCount(slot.attribute) > slot.id) {
            present |= slot.flag;
            if (mesh.attributeArraySize(mesh.attributeId(slot.attribute, slot.id)) > slot.arraySize)
                present |= slot.extendedBy;
        } else
            missing |= slot.extendedBy | slot.flag;
    }
    return present & ~missing;
}

Trade::MeshData cloneMeshData(MeshDataFlags flags, const Trade::MeshData& source) {
    Trade::MeshData destination = cloneMeshDataUninitialized(
        flags, flags >= MeshDataFlag::Quantized ? flags : MeshDataFlags{}, source);
    copyMeshIndexData(destination, source);
    copyMeshVertexData(destination, source);
    return destination;
}

void copyMeshIndexData(Trade::MeshData& destination, const Trade::MeshData& source) {
    if (source.isIndexed())
        MeshTools::indicesInto(source, destination.mutableIndices<std::uint32_t>());
}

void copyMeshVertexData(Trade::MeshData& destination, const Trade::MeshData& source) {
    forEachSharedAttribute(destination, source, [&](Trade::MeshAttribute name, std::uint32_t id) {
        MeshTools::copyAttribute(source, destination, name, id);
    });
}

void packMeshAttributeDataInto(Trade::MeshAttribute name,
                               const StridedArrayView2D<const char>& source,
                               const StridedArrayView2D<char>& destination) {
    using MeshTools::Implementation::elementsOf;
    switch (name) {
    case Trade::MeshAttribute::Tangent:
    case Trade::MeshAttribute::Normal:
        return MeshTools::packInto(elementsOf<const float>(source),
                                   elementsOf<std::int16_t>(destination));
    case Trade::MeshAttribute::Color:
    case Trade::MeshAttribute::Weights:
        return MeshTools::packInto(elementsOf<const float>(source),
                                   elementsOf<std::uint16_t>(destination));
    default:
        return MeshTools::copyInto(source, destination);
    }
}

void unpackMeshAttributeDataInto(Trade::MeshAttribute name,
                                 const StridedArrayView2D<const char>& source,
                                 const StridedArrayView2D<char>& destination) {
    using MeshTools::Implementation::elementsOf;
    switch (name) {
    case Trade::MeshAttribute::Tangent:
    case Trade::MeshAttribute::Normal:
        return MeshTools::unpackInto(elementsOf<const std::int16_t>(source),
                                     elementsOf<float>(destination));
    case Trade::MeshAttribute::Color:
    case Trade::MeshAttribute::Weights:
        return MeshTools::unpackInto(elementsOf<const std::uint16_t>(source),
                                     elementsOf<float>(destination));
    default:
        return MeshTools::copyInto(source, destination);
    }
}

} // namespace ZarvikEngine
