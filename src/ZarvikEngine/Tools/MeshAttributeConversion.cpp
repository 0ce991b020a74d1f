#include "ZarvikEngine/Tools/MeshAttributeConversion.h"

#include <algorithm>
#include <string>
#include <utility>

#include <emmintrin.h>
#include <fmt/format.h>

namespace ZarvikEngine::MeshTools {

namespace {

/* "{3, 4}", as sizes of views are printed */
std::string printed(Size2D size) {
    return fmt::format("{{{}, {}}}", size[0], size[1]);
}

template<std::size_t size>
void copyRows(const char* from, std::ptrdiff_t fromStride, char* to, std::ptrdiff_t toStride,
              std::size_t rows) {
    for (std::size_t i = 0; i != rows; ++i, from += fromStride, to += toStride)
        std::memcpy(to, from, size);
}

/* Component type and count of an attribute value type */
template<class T>
struct Components {
    using Type = T;
    static constexpr std::size_t Count = 1;
};
template<glm::length_t size, class T, glm::qualifier q>
struct Components<glm::vec<size, T, q>> {
    using Type = T;
    static constexpr std::size_t Count = size;
};

/* The ways components are converted */
struct Cast {
    template<class From, class To>
    static void into(const StridedArrayView2D<const From>& source,
                     const StridedArrayView2D<To>& destination) {
        castInto(source, destination);
    }
};
struct Unpack {
    template<class From, class To>
    static void into(const StridedArrayView2D<const From>& source,
                     const StridedArrayView2D<To>& destination) {
        unpackInto(source, destination);
    }
};
struct Pack {
    template<class From, class To>
    static void into(const StridedArrayView2D<const From>& source,
                     const StridedArrayView2D<To>& destination) {
        packInto(source, destination);
    }
};

/* Rows of one From value each into rows of one To value each. The components both have are
   converted; a fourth one the source lacks (alpha of a color) becomes 1. */
template<class Way, class From, class To>
void convertValues(const StridedArrayView2D<const char>& source,
                   const StridedArrayView2D<char>& destination) {
    using FromComponent = typename Components<From>::Type;
    using ToComponent = typename Components<To>::Type;
    constexpr std::size_t fromCount = Components<From>::Count, toCount = Components<To>::Count;
    constexpr std::size_t common = std::min(fromCount, toCount);
    const std::size_t rows = source.size()[0];
    Way::into(
        StridedArrayView2D<const FromComponent>{
            reinterpret_cast<const FromComponent*>(source.data()), Size2D{rows, common},
            Stride2D{source.stride()[0], sizeof(FromComponent)}},
        StridedArrayView2D<ToComponent>{reinterpret_cast<ToComponent*>(destination.data()),
                                        Size2D{rows, common},
                                        Stride2D{destination.stride()[0], sizeof(ToComponent)}});
    if constexpr (toCount > fromCount) {
        static_assert(toCount == 4 && fromCount == 3, "only an alpha channel can be added");
        const ToComponent alpha{1};
        char* to = destination.data() + 3 * sizeof(ToComponent);
        for (std::size_t i = 0; i != rows; ++i, to += destination.stride()[0])
            std::memcpy(to, &alpha, sizeof(alpha));
    }
}

/* Rows of arrays of From into rows of as many To */
template<class Way, class From, class To>
void convertArrays(const StridedArrayView2D<const char>& source,
                   const StridedArrayView2D<char>& destination) {
    Way::into(Implementation::elementsOf<const From>(source),
              Implementation::elementsOf<To>(destination));
}

void copyRowsInto(const StridedArrayView2D<const char>& source,
                  const StridedArrayView2D<char>& destination) {
    copyInto(source, destination);
}

/* The first rows and columns of a view */
StridedArrayView2D<char> prefix(const StridedArrayView2D<char>& view, Size2D size) {
    return {view.data(), size, view.stride()};
}

template<class Way, class From, class To>
AttributeConversion prepareValues(const char* function, const char* verb,
                                  const Trade::MeshData& source, Trade::MeshData& destination,
                                  Trade::MeshAttribute attribute, std::uint32_t id) {
    /* The typed views check that the formats have the sizes of the types */
    const std::size_t vertexCount = source.attribute<From>(attribute, id).size();
    const std::size_t destinationCount = destination.mutableAttribute<To>(attribute, id).size();
    ZE_ASSERT(destinationCount >= vertexCount, function
                                                   << "can't" << verb << attribute
                                                   << "to smaller size (would cause loss of data)"
                                                   << vertexCount << "->" << destinationCount);
    const StridedArrayView2D<char> to = destination.mutableAttribute(attribute, id);
    return {convertValues<Way, From, To>, source.attribute(attribute, id),
            prefix(to, Size2D{vertexCount, to.size()[1]})};
}

template<class Way, class From, class To>
AttributeConversion prepareArrays(const char* function, const char* verb,
                                  const Trade::MeshData& source, Trade::MeshData& destination,
                                  Trade::MeshAttribute attribute, std::uint32_t id) {
    const Size2D from = source.attribute<From[]>(attribute, id).size();
    const Size2D to = destination.mutableAttribute<To[]>(attribute, id).size();
    ZE_ASSERT(to[0] >= from[0] && to[1] >= from[1],
              function << "can't" << verb << attribute
                       << "to smaller size (would cause loss of data)" << printed(from) << "->"
                       << printed(to));
    return {
        convertArrays<Way, From, To>, source.attribute(attribute, id),
        prefix(destination.mutableAttribute(attribute, id), Size2D{from[0], from[1] * sizeof(To)})};
}

} // namespace

namespace Implementation {

void checkDestinationSize(const char* function, Size2D source, Size2D destination) {
    ZE_ASSERT(source == destination, function << "wrong destination size, got"
                                              << printed(destination) << "but expected"
                                              << printed(source));
}

} // namespace Implementation

namespace {

typedef float Float4 __attribute__((vector_size(16)));
typedef std::int32_t Int4 __attribute__((vector_size(16)));

/* pack() of four values at once in SSE2 lanes, with the same clamping and rounding. Packing
   value by value branches on every one and takes several times longer. */
template<class Integral>
Int4 packLanes(Float4 values) {
    constexpr float min = std::is_signed_v<Integral> ? -1.0f : 0.0f;
    constexpr auto max =
        float(ZarvikEngine::Implementation::normalizedMax<Integral, sizeof(Integral) * 8>());
    /* maxps and minps give their second operand for NaN, which, unequal to itself, then
       becomes 0 */
    const Float4 limited = _mm_min_ps(_mm_max_ps(values, Float4{} + min), Float4{} + 1.0f);
    const Float4 clamped = values == values ? limited : Float4{};
    const Float4 scaled = clamped * max;
    const Int4 truncated = __builtin_convertvector(scaled, Int4);
    const Float4 fraction = scaled - __builtin_convertvector(truncated, Float4);
    /* A comparison gives -1 where it holds */
    return truncated - (fraction >= 0.5f) + (fraction <= -0.5f);
}

/* Rows packed four components at a time; N as for Implementation::convertRows(). Rows of
   whole groups of four are read and written a group at a time, others component by
   component. */
template<std::size_t N, class Integral>
void packRows(const StridedArrayView2D<const float>& source,
              const StridedArrayView2D<Integral>& destination) {
    typedef Integral Integral4 __attribute__((vector_size(4 * sizeof(Integral))));
    constexpr bool wholeGroups = N != 0 && N % 4 == 0;
    const std::size_t rows = source.size()[0];
    const std::size_t count = N ? N : source.size()[1];
    const std::ptrdiff_t fromRow = source.stride()[0], toRow = destination.stride()[0];
    const std::ptrdiff_t fromColumn = N ? std::ptrdiff_t(sizeof(float)) : source.stride()[1];
    const std::ptrdiff_t toColumn = N ? std::ptrdiff_t(sizeof(Integral)) : destination.stride()[1];
    const char* from = source.data();
    char* to = destination.data();
    for (std::size_t i = 0; i != rows; ++i, from += fromRow, to += toRow) {
        for (std::size_t j = 0; j < count; j += 4) {
            const std::size_t lanes = std::min<std::size_t>(count - j, 4);
            /* Lane by lane, as a vector loaded from separate stores would wait for them */
            const auto value = [&](std::size_t k) {
                float value = 0.0f;
                if (k < lanes)
                    std::memcpy(&value, from + std::ptrdiff_t(j + k) * fromColumn, sizeof(float));
                return value;
            };
            const Float4 values = wholeGroups
                                      ? _mm_loadu_ps(reinterpret_cast<const float*>(from) + j)
                                      : Float4{value(0), value(1), value(2), value(3)};
            const auto packed = __builtin_convertvector(packLanes<Integral>(values), Integral4);
            if constexpr (wholeGroups)
                std::memcpy(to + j * sizeof(Integral), &packed, sizeof(packed));
            else
                for (std::size_t k = 0; k != lanes; ++k) {
                    const Integral result = packed[k];
                    std::memcpy(to + std::ptrdiff_t(j + k) * toColumn, &result, sizeof(Integral));
                }
        }
    }
}

} // namespace

template<class Integral>
void packInto(const StridedArrayView2D<const float>& source,
              const StridedArrayView2D<Integral>& destination) {
    Implementation::checkDestinationSize("Math::packInto():", source.size(), destination.size());
    Implementation::withComponentCount(source, destination,
                                       [&](auto count) { packRows<count>(source, destination); });
}

template void packInto(const StridedArrayView2D<const float>&,
                       const StridedArrayView2D<std::int8_t>&);
template void packInto(const StridedArrayView2D<const float>&,
                       const StridedArrayView2D<std::uint8_t>&);
template void packInto(const StridedArrayView2D<const float>&,
                       const StridedArrayView2D<std::int16_t>&);
template void packInto(const StridedArrayView2D<const float>&,
                       const StridedArrayView2D<std::uint16_t>&);

void copyInto(const StridedArrayView2D<const char>& source,
              const StridedArrayView2D<char>& destination) {
    ZE_ASSERT(source.size() == destination.size(),
              "Utility::copy(): sizes" << printed(source.size()) << "and"
                                       << printed(destination.size()) << "don't match");
    const std::size_t rows = source.size()[0], size = source.size()[1];
    if (!rows || !size)
        return;
    if (source.isContiguous() && destination.isContiguous()) {
        std::memcpy(destination.data(), source.data(), rows * size);
        return;
    }
    ZE_ASSERT(source.stride()[1] == 1 && destination.stride()[1] == 1,
              "Utility::copy(): rows are not contiguous");
    const char* from = source.data();
    char* to = destination.data();
    const std::ptrdiff_t fromStride = source.stride()[0], toStride = destination.stride()[0];
    /* Fixed sizes make each row a few moves instead of a call */
    switch (size) {
    case 4:
        return copyRows<4>(from, fromStride, to, toStride, rows);
    case 8:
        return copyRows<8>(from, fromStride, to, toStride, rows);
    case 12:
        return copyRows<12>(from, fromStride, to, toStride, rows);
    case 16:
        return copyRows<16>(from, fromStride, to, toStride, rows);
    }
    for (std::size_t i = 0; i != rows; ++i, from += fromStride, to += toStride)
        std::memcpy(to, from, size);
}

AttributeConversion::AttributeConversion(Function function,
                                         const StridedArrayView2D<const char>& source,
                                         const StridedArrayView2D<char>& destination)
    : _function{function}, _source{source}, _destination{destination} {
    ZE_INTERNAL_ASSERT(source.size()[0] == destination.size()[0]);
}

template<class From, class To>
AttributeConversion prepareCastAttribute(const Trade::MeshData& source,
                                         Trade::MeshData& destination,
                                         Trade::MeshAttribute attribute, std::uint32_t id) {
    return prepareValues<Cast, From, To>("MeshTools::castAttribute():", "cast", source, destination,
                                         attribute, id);
}

template<class From, class To>
AttributeConversion prepareUnpackAttribute(const Trade::MeshData& source,
                                           Trade::MeshData& destination,
                                           Trade::MeshAttribute attribute, std::uint32_t id) {
    return prepareValues<Unpack, From, To>("MeshTools::unpackAttribute():", "unpack", source,
                                           destination, attribute, id);
}

template<class From, class To>
AttributeConversion preparePackAttribute(const Trade::MeshData& source,
                                         Trade::MeshData& destination,
                                         Trade::MeshAttribute attribute, std::uint32_t id) {
    return prepareValues<Pack, From, To>("MeshTools::packAttribute():", "pack", source, destination,
                                         attribute, id);
}

template<class From, class To>
AttributeConversion prepareCastArrayAttribute(const Trade::MeshData& source,
                                              Trade::MeshData& destination,
                                              Trade::MeshAttribute attribute, std::uint32_t id) {
    return prepareArrays<Cast, From, To>("MeshTools::castArrayAttribute():", "cast", source,
                                         destination, attribute, id);
}

template<class From, class To>
AttributeConversion prepareUnpackArrayAttribute(const Trade::MeshData& source,
                                                Trade::MeshData& destination,
                                                Trade::MeshAttribute attribute, std::uint32_t id) {
    return prepareArrays<Unpack, From, To>("MeshTools::unpackArrayAttribute():", "unpack", source,
                                           destination, attribute, id);
}

template<class From, class To>
AttributeConversion preparePackArrayAttribute(const Trade::MeshData& source,
                                              Trade::MeshData& destination,
                                              Trade::MeshAttribute attribute, std::uint32_t id) {
    return prepareArrays<Pack, From, To>("MeshTools::packArrayAttribute():", "pack", source,
                                         destination, attribute, id);
}

AttributeConversion prepareCopyAttribute(const Trade::MeshData& source,
                                         Trade::MeshData& destination,
                                         Trade::MeshAttribute attribute, std::uint32_t id) {
    const StridedArrayView2D<const char> from = source.attribute(attribute, id);
    const StridedArrayView2D<char> to = destination.mutableAttribute(attribute, id);
    ZE_ASSERT(to.size()[0] >= from.size()[0] && to.size()[1] >= from.size()[1],
              "MeshTools::copyAttribute(): can't copy"
                  << attribute << "to smaller size (would cause loss of data)");
    return {copyRowsInto, from, prefix(to, from.size())};
}

void joinTangentsAndBitangents(const Trade::MeshData& source, Trade::MeshData& destination) {
    const auto tangents = source.attribute<Vector3>(Trade::MeshAttribute::Tangent);
    const auto bitangents = source.attribute<Vector3>(Trade::MeshAttribute::Bitangent);
    const auto normals =
        std::as_const(destination).attribute<Vector3>(Trade::MeshAttribute::Normal);
    const auto joined = destination.mutableAttribute<Vector4>(Trade::MeshAttribute::Tangent);
    ZE_ASSERT(joined.size() >= tangents.size(),
              "joinTangentsAndBitangents(): can't copy"
                  << Trade::MeshAttribute::Tangent << "to smaller size (would cause loss of data)");
    for (std::size_t i = 0; i != tangents.size(); ++i) {
        const Vector3 tangent = tangents[i];
        joined[i] = Vector4{tangent, glm::dot(glm::cross(normals[i], tangent), bitangents[i])};
    }
}

/* The instances the import pipeline needs */

#define ZE_ATTRIBUTE_FAMILY(family, From, To)                                                      \
    template AttributeConversion family<From, To>(const Trade::MeshData&, Trade::MeshData&,        \
                                                  Trade::MeshAttribute, std::uint32_t);

ZE_ATTRIBUTE_FAMILY(prepareCastAttribute, Vector2b, Vector2)
ZE_ATTRIBUTE_FAMILY(prepareCastAttribute, Vector2ub, Vector2)
ZE_ATTRIBUTE_FAMILY(prepareCastAttribute, Vector2s, Vector2)
ZE_ATTRIBUTE_FAMILY(prepareCastAttribute, Vector2us, Vector2)
ZE_ATTRIBUTE_FAMILY(prepareCastAttribute, Vector3b, Vector3)
ZE_ATTRIBUTE_FAMILY(prepareCastAttribute, Vector3ub, Vector3)
ZE_ATTRIBUTE_FAMILY(prepareCastAttribute, Vector3s, Vector3)
ZE_ATTRIBUTE_FAMILY(prepareCastAttribute, Vector3us, Vector3)
ZE_ATTRIBUTE_FAMILY(prepareCastAttribute, Color3, Color4)
ZE_ATTRIBUTE_FAMILY(prepareCastAttribute, Vector4ub, Vector4us)
ZE_ATTRIBUTE_FAMILY(prepareCastAttribute, Vector4ui, Vector4us)

ZE_ATTRIBUTE_FAMILY(prepareUnpackAttribute, Vector2b, Vector2)
ZE_ATTRIBUTE_FAMILY(prepareUnpackAttribute, Vector2ub, Vector2)
ZE_ATTRIBUTE_FAMILY(prepareUnpackAttribute, Vector2s, Vector2)
ZE_ATTRIBUTE_FAMILY(prepareUnpackAttribute, Vector2us, Vector2)
ZE_ATTRIBUTE_FAMILY(prepareUnpackAttribute, Vector3b, Vector3)
ZE_ATTRIBUTE_FAMILY(prepareUnpackAttribute, Vector3ub, Vector3)
ZE_ATTRIBUTE_FAMILY(prepareUnpackAttribute, Vector3s, Vector3)
ZE_ATTRIBUTE_FAMILY(prepareUnpackAttribute, Vector3us, Vector3)
ZE_ATTRIBUTE_FAMILY(prepareUnpackAttribute, Vector4b, Vector4)
ZE_ATTRIBUTE_FAMILY(prepareUnpackAttribute, Vector4ub, Vector4)
ZE_ATTRIBUTE_FAMILY(prepareUnpackAttribute, Vector4s, Vector4)
ZE_ATTRIBUTE_FAMILY(prepareUnpackAttribute, Vector4us, Vector4)
ZE_ATTRIBUTE_FAMILY(prepareUnpackAttribute, Vector3ub, Vector4)
ZE_ATTRIBUTE_FAMILY(prepareUnpackAttribute, Vector3us, Vector4)

ZE_ATTRIBUTE_FAMILY(preparePackAttribute, Vector3, Vector3s)
ZE_ATTRIBUTE_FAMILY(preparePackAttribute, Vector4, Vector4s)
ZE_ATTRIBUTE_FAMILY(preparePackAttribute, Vector4, Vector4us)

ZE_ATTRIBUTE_FAMILY(prepareCastArrayAttribute, std::uint8_t, std::uint16_t)
ZE_ATTRIBUTE_FAMILY(prepareCastArrayAttribute, std::uint32_t, std::uint16_t)
ZE_ATTRIBUTE_FAMILY(prepareUnpackArrayAttribute, std::uint8_t, float)
ZE_ATTRIBUTE_FAMILY(prepareUnpackArrayAttribute, std::uint16_t, float)
ZE_ATTRIBUTE_FAMILY(preparePackArrayAttribute, float, std::uint16_t)

#undef ZE_ATTRIBUTE_FAMILY

} // namespace ZarvikEngine::MeshTools
