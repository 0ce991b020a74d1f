#ifndef ZarvikEngine_Trade_VertexFormat_h
#define ZarvikEngine_Trade_VertexFormat_h

#include <cstdint>

#include "ZarvikEngine/Debug.h"
#include "ZarvikEngine/Trade/WrappedEnum.h"

namespace ZarvikEngine {

/* Type of one vertex attribute value. The numbering is stored in asset files and must not
   change; zero is reserved as invalid. Matrix formats are column-major, the Aligned ones pad
   each column to four bytes. */
enum class VertexFormat : std::uint32_t {
    Float = 1,
    Half,
    Double,
    UnsignedByte,
    UnsignedByteNormalized,
    Byte,
    ByteNormalized,
    UnsignedShort,
    UnsignedShortNormalized,
    Short,
    ShortNormalized,
    UnsignedInt,
    Int,
    Vector2,
    Vector2h,
    Vector2d,
    Vector2ub,
    Vector2ubNormalized,
    Vector2b,
    Vector2bNormalized,
    Vector2us,
    Vector2usNormalized,
    Vector2s,
    Vector2sNormalized,
    Vector2ui,
    Vector2i,
    Vector3,
    Vector3h,
    Vector3d,
    Vector3ub,
    Vector3ubNormalized,
    Vector3b,
    Vector3bNormalized,
    Vector3us,
    Vector3usNormalized,
    Vector3s,
    Vector3sNormalized,
    Vector3ui,
    Vector3i,
    Vector4,
    Vector4h,
    Vector4d,
    Vector4ub,
    Vector4ubNormalized,
    Vector4b,
    Vector4bNormalized,
    Vector4us,
    Vector4usNormalized,
    Vector4s,
    Vector4sNormalized,
    Vector4ui,
    Vector4i,
    Matrix2x2,
    Matrix2x2h,
    Matrix2x2d,
    Matrix2x2bNormalized,
    Matrix2x2sNormalized,
    Matrix2x3,
    Matrix2x3h,
    Matrix2x3d,
    Matrix2x3bNormalized,
    Matrix2x3sNormalized,
    Matrix2x4,
    Matrix2x4h,
    Matrix2x4d,
    Matrix2x4bNormalized,
    Matrix2x4sNormalized,
    Matrix2x2bNormalizedAligned,
    Matrix2x3hAligned,
    Matrix2x3bNormalizedAligned,
    Matrix2x3sNormalizedAligned,
    Matrix3x2,
    Matrix3x2h,
    Matrix3x2d,
    Matrix3x2bNormalized,
    Matrix3x2sNormalized,
    Matrix3x3,
    Matrix3x3h,
    Matrix3x3d,
    Matrix3x3bNormalized,
    Matrix3x3sNormalized,
    Matrix3x4,
    Matrix3x4h,
    Matrix3x4d,
    Matrix3x4bNormalized,
    Matrix3x4sNormalized,
    Matrix3x2bNormalizedAligned,
    Matrix3x3hAligned,
    Matrix3x3bNormalizedAligned,
    Matrix3x3sNormalizedAligned,
    Matrix4x2,
    Matrix4x2h,
    Matrix4x2d,
    Matrix4x2bNormalized,
    Matrix4x2sNormalized,
    Matrix4x3,
    Matrix4x3h,
    Matrix4x3d,
    Matrix4x3bNormalized,
    Matrix4x3sNormalized,
    Matrix4x4,
    Matrix4x4h,
    Matrix4x4d,
    Matrix4x4bNormalized,
    Matrix4x4sNormalized,
    Matrix4x2bNormalizedAligned,
    Matrix4x3hAligned,
    Matrix4x3bNormalizedAligned,
    Matrix4x3sNormalizedAligned,
};

template<>
inline constexpr bool IsImplementationSpecificWrappable<VertexFormat> = true;

/* "VertexFormat::Vector3", "VertexFormat::ImplementationSpecific(0x1406)" or
   "VertexFormat(1234)" */
Debug& operator<<(Debug& debug, VertexFormat value);

/* Whether the format is a named one, which every query below accepts. Anything else (zero,
   unknown or wrapped values) makes the queries abort. */
bool isVertexFormatKnown(VertexFormat format);

/* Bytes of one value, all columns of a matrix included */
std::uint32_t vertexFormatSize(VertexFormat format);

/* The scalar format of one component, never normalized: UnsignedShort for Vector3usNormalized,
   Float for Matrix3x3 */
VertexFormat vertexFormatComponentFormat(VertexFormat format);

/* Components of one vector; for matrices the rows, i.e. the size of one column */
std::uint32_t vertexFormatComponentCount(VertexFormat format);

/* Columns of a matrix, 1 for everything else */
std::uint32_t vertexFormatVectorCount(VertexFormat format);

/* Bytes from one column of a matrix to the next, including the padding of Aligned formats */
std::uint32_t vertexFormatVectorStride(VertexFormat format);

/* Whether integer components are read as normalized values; floating-point formats aren't */
bool isVertexFormatNormalized(VertexFormat format);

/* The vector format of componentCount (1 to 4) components of format's component format,
   normalized or not. Only 8- and 16-bit integer formats can be normalized. */
VertexFormat vertexFormat(VertexFormat format, std::uint32_t componentCount, bool normalized);

} // namespace ZarvikEngine

#endif
