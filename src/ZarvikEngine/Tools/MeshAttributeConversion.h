#ifndef ZarvikEngine_Tools_MeshAttributeConversion_h
#define ZarvikEngine_Tools_MeshAttributeConversion_h

/* Conversions of single mesh attributes, with which imported meshes are brought into the
   engine's vertex layouts. The attribute families read one attribute of a source mesh and
   write the attribute of the same name and id in a destination mesh whose vertex storage is
   already allocated; the ...Into() functions below them work on views of rows × components. */

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <type_traits>

#include "ZarvikEngine/Containers/StridedArrayView.h"
#include "ZarvikEngine/Math.h"
#include "ZarvikEngine/Trade/MeshData.h"

namespace ZarvikEngine::MeshTools {

namespace Implementation {

/* Aborts with "<function> wrong destination size, got {…} but expected {…}" on a mismatch */
void checkDestinationSize(const char* function, Size2D source, Size2D destination);

/* Rows of components converted one by one. Values are read and written bytewise, as
   interleaved data of foreign meshes needn't be aligned. N > 0 fixes the component count and
   expects contiguous components, which lets the compiler unroll the row. */
template<std::size_t N, class From, class To, class Convert>
void convertRows(const StridedArrayView2D<const From>& source,
                 const StridedArrayView2D<To>& destination, Convert convert) {
    const std::size_t rows = source.size()[0];
    const std::size_t count = N ? N : source.size()[1];
    const std::ptrdiff_t fromRow = source.stride()[0], toRow = destination.stride()[0];
    const std::ptrdiff_t fromColumn = N ? std::ptrdiff_t(sizeof(From)) : source.stride()[1];
    const std::ptrdiff_t toColumn = N ? std::ptrdiff_t(sizeof(To)) : destination.stride()[1];
    const char* from = source.data();
    char* to = destination.data();
    for (std::size_t i = 0; i != rows; ++i, from += fromRow, to += toRow) {
        for (std::size_t j = 0; j != count; ++j) {
            From value;
            std::memcpy(&value, from + std::ptrdiff_t(j) * fromColumn, sizeof(From));
            const To result = convert(value);
            std::memcpy(to + std::ptrdiff_t(j) * toColumn, &result, sizeof(To));
        }
    }
}

/* Calls rows(count) with the component count as a std::integral_constant where components are
   contiguous and 1, 2, 3, 4 or 8 of them, which lets the compiler unroll a row, and with a
   constant 0 otherwise */
template<class From, class To, class Rows>
void withComponentCount(const StridedArrayView2D<const From>& source,
                        const StridedArrayView2D<To>& destination, Rows rows) {
    if (source.stride()[1] == std::ptrdiff_t(sizeof(From)) &&
        destination.stride()[1] == std::ptrdiff_t(sizeof(To))) {
        switch (source.size()[1]) {
        case 1:
            return rows(std::integral_constant<std::size_t, 1>{});
        case 2:
            return rows(std::integral_constant<std::size_t, 2>{});
        case 3:
            return rows(std::integral_constant<std::size_t, 3>{});
        case 4:
            return rows(std::integral_constant<std::size_t, 4>{});
        case 8:
            return rows(std::integral_constant<std::size_t, 8>{});
        }
    }
    rows(std::integral_constant<std::size_t, 0>{});
}

template<class From, class To, class Convert>
void convertComponents(const char* function, const StridedArrayView2D<const From>& source,
                       const StridedArrayView2D<To>& destination, Convert convert) {
    checkDestinationSize(function, source.size(), destination.size());
    withComponentCount(source, destination,
                       [&](auto count) { convertRows<count>(source, destination, convert); });
}

/* Rows of bytes as rows of elements of T; a row's bytes have to be a multiple of its size */
template<class T, class Byte>
StridedArrayView2D<T> elementsOf(const StridedArrayView2D<Byte>& rows) {
    ZE_ASSERT(rows.size()[1] % sizeof(T) == 0, "Containers::arrayCast(): can't reinterpret"
                                                   << rows.size()[1] << 1 << Debug::nospace
                                                   << "-byte items into a" << sizeof(T)
                                                   << Debug::nospace << "-byte type");
    return {reinterpret_cast<T*>(rows.data()), Size2D{rows.size()[0], rows.size()[1] / sizeof(T)},
            Stride2D{rows.stride()[0], std::ptrdiff_t(sizeof(T))}};
}

} // namespace Implementation

/* Plain numeric conversion of every component */
template<class From, class To>
void castInto(const StridedArrayView2D<const From>& source,
              const StridedArrayView2D<To>& destination) {
    Implementation::convertComponents("Math::castInto():", source, destination,
                                      [](From value) { return To(value); });
}

/* Normalized 8- or 16-bit integers to floats as unpack() does: unsigned to [0, 1], signed to
   [-1, 1] with the most negative value clamped to -1 */
template<class Integral>
void unpackInto(const StridedArrayView2D<const Integral>& source,
                const StridedArrayView2D<float>& destination) {
    Implementation::convertComponents("Math::unpackInto():", source, destination,
                                      [](Integral value) { return unpack<float>(value); });
}

/* Floats to normalized 8- or 16-bit integers as pack() does */
template<class Integral>
void packInto(const StridedArrayView2D<const float>& source,
              const StridedArrayView2D<Integral>& destination);

/* Rows of bytes of equal size */
void copyInto(const StridedArrayView2D<const char>& source,
              const StridedArrayView2D<char>& destination);

/* One attribute's conversion between two meshes, checked when made and then run over all
   vertices or over any range of them. A caller converting several attributes of a large mesh
   runs them block by block, so that each block of source vertices comes from memory once. */
class AttributeConversion {
public:
    /* Converts rows of the bytes of source values into rows of destination bytes */
    using Function = void (*)(const StridedArrayView2D<const char>& source,
                              const StridedArrayView2D<char>& destination);

    /* The views have the same number of rows */
    AttributeConversion(Function function, const StridedArrayView2D<const char>& source,
                        const StridedArrayView2D<char>& destination);

    std::size_t vertexCount() const { return _source.size()[0]; }

    /* Vertices begin to end - 1 */
    void operator()(std::size_t begin, std::size_t end) const {
        _function(_source.sliceRows(begin, end), _destination.sliceRows(begin, end));
    }
    void operator()() const { (*this)(0, vertexCount()); }

private:
    Function _function;
    StridedArrayView2D<const char> _source;
    StridedArrayView2D<char> _destination;
};

/* Attribute families. The destination needs at least as many vertices as the source.

   castAttribute: plain conversion; Vector2/Vector3 of 8- and 16-bit integers → Vector2/Vector3,
   Color3 → Color4 (alpha 1), Vector4ub and Vector4ui → Vector4us.
   unpackAttribute: normalized unpack; Vector2/3/4 of 8- and 16-bit integers → Vector2/3/4,
   Vector3ub and Vector3us → Vector4 (colors, alpha 1).
   packAttribute: normalized pack; Vector3 → Vector3s, Vector4 → Vector4s and Vector4us.

   The prepare...() forms check and return the conversion, the others run it at once. */

template<class From, class To>
AttributeConversion prepareCastAttribute(const Trade::MeshData& source,
                                         Trade::MeshData& destination,
                                         Trade::MeshAttribute attribute, std::uint32_t id);
template<class From, class To>
AttributeConversion prepareUnpackAttribute(const Trade::MeshData& source,
                                           Trade::MeshData& destination,
                                           Trade::MeshAttribute attribute, std::uint32_t id);
template<class From, class To>
AttributeConversion preparePackAttribute(const Trade::MeshData& source,
                                         Trade::MeshData& destination,
                                         Trade::MeshAttribute attribute, std::uint32_t id);

template<class From, class To>
void castAttribute(const Trade::MeshData& source, Trade::MeshData& destination,
                   Trade::MeshAttribute attribute, std::uint32_t id) {
    prepareCastAttribute<From, To>(source, destination, attribute, id)();
}
template<class From, class To>
void unpackAttribute(const Trade::MeshData& source, Trade::MeshData& destination,
                     Trade::MeshAttribute attribute, std::uint32_t id) {
    prepareUnpackAttribute<From, To>(source, destination, attribute, id)();
}
template<class From, class To>
void packAttribute(const Trade::MeshData& source, Trade::MeshData& destination,
                   Trade::MeshAttribute attribute, std::uint32_t id) {
    preparePackAttribute<From, To>(source, destination, attribute, id)();
}

/* Array families, element by element. The destination needs at least as many vertices and
   array elements as the source; its further elements are left alone.

   castArrayAttribute: unsigned char and unsigned int → unsigned short (joint ids).
   unpackArrayAttribute: unsigned char and unsigned short → float (weights).
   packArrayAttribute: float → unsigned short (weights). */

template<class From, class To>
AttributeConversion prepareCastArrayAttribute(const Trade::MeshData& source,
                                              Trade::MeshData& destination,
                                              Trade::MeshAttribute attribute, std::uint32_t id);
template<class From, class To>
AttributeConversion prepareUnpackArrayAttribute(const Trade::MeshData& source,
                                                Trade::MeshData& destination,
                                                Trade::MeshAttribute attribute, std::uint32_t id);
template<class From, class To>
AttributeConversion preparePackArrayAttribute(const Trade::MeshData& source,
                                              Trade::MeshData& destination,
                                              Trade::MeshAttribute attribute, std::uint32_t id);

template<class From, class To>
void castArrayAttribute(const Trade::MeshData& source, Trade::MeshData& destination,
                        Trade::MeshAttribute attribute, std::uint32_t id) {
    prepareCastArrayAttribute<From, To>(source, destination, attribute, id)();
}
template<class From, class To>
void unpackArrayAttribute(const Trade::MeshData& source, Trade::MeshData& destination,
                          Trade::MeshAttribute attribute, std::uint32_t id) {
    prepareUnpackArrayAttribute<From, To>(source, destination, attribute, id)();
}
template<class From, class To>
void packArrayAttribute(const Trade::MeshData& source, Trade::MeshData& destination,
                        Trade::MeshAttribute attribute, std::uint32_t id) {
    preparePackArrayAttribute<From, To>(source, destination, attribute, id)();
}

/* Byte copy; a larger destination element receives the source bytes at its start */
AttributeConversion prepareCopyAttribute(const Trade::MeshData& source,
                                         Trade::MeshData& destination,
                                         Trade::MeshAttribute attribute, std::uint32_t id);
inline void copyAttribute(const Trade::MeshData& source, Trade::MeshData& destination,
                          Trade::MeshAttribute attribute, std::uint32_t id) {
    prepareCopyAttribute(source, destination, attribute, id)();
}

/* From the source's Vector3 tangents and bitangents into the destination's Vector4 tangents:
   the tangent in x, y, z and dot(cross(normal, tangent), bitangent) in w, with the normals
   the destination already has */
void joinTangentsAndBitangents(const Trade::MeshData& source, Trade::MeshData& destination);

} // namespace ZarvikEngine::MeshTools

#endif
